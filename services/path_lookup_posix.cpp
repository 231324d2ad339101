#include "services/path_lookup_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

bool EqualsIgnoringAsciiCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 0x20;
    if (y >= 'A' && y <= 'Z') y += 0x20;
    if (x != y) return false;
  }
  return a[i] == '\0' && i == b.size();
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

const char* DirectoryArgument(const std::string& dir) {
  return dir.empty() ? "." : dir.c_str();
}

std::string FindIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(DirectoryArgument(dir));
  if (d == nullptr) return std::string();
  std::string found;
  while (struct dirent* entry = readdir(d)) {
    if (EqualsIgnoringAsciiCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> components;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

bool ResolveOnDisk(const std::string& path, std::string* resolved) {
  if (path.empty() || Exists(path)) {
    *resolved = path;
    return true;
  }
  std::string current = path[0] == '/' ? "/" : "";
  for (const std::string& component : PathComponents(path)) {
    std::string candidate = JoinPath(current, component);
    if (!Exists(candidate)) {
      if (component == "." || component == "..") return false;
      std::string stored = FindIgnoringCase(current, component);
      if (stored.empty()) return false;
      candidate = JoinPath(current, stored);
    }
    current = candidate;
  }
  *resolved = current;
  return true;
}

bool StatAnyCase(const std::string& path, struct stat* st) {
  if (stat(DirectoryArgument(path), st) == 0) return true;
  std::string resolved;
  return ResolveOnDisk(path, &resolved) && resolved != path &&
         stat(DirectoryArgument(resolved), st) == 0;
}

int OpenDirectoryAnyCase(const std::string& dir, std::string* disk_dir) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  *disk_dir = dir;
  int fd = open(DirectoryArgument(dir), kFlags);
  if (fd >= 0) return fd;
  int error = errno;
  if (ResolveOnDisk(dir, disk_dir) && *disk_dir != dir)
    fd = open(DirectoryArgument(*disk_dir), kFlags);
  if (fd < 0) errno = error;
  return fd;
}
