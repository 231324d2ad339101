#include "services/path_lookup_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>

#include "services/case_fold.h"
#include "services/scan_cache_posix.h"
#include "services/wildcard.h"

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  // Sized once: the short forms join a path for every printed entry.
  std::string path;
  path.reserve(dir.size() + 1 + name.size());
  path += dir;
  if (dir.back() != '/') path += '/';
  path += name;
  return path;
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

std::string StoredSpellingIn(const Listing& listing, const std::string& name) {
  std::string found;
  ListedEntry entry;
  for (size_t offset = 0; NextListedEntry(listing, &offset, &entry);) {
    if (!EqualsIgnoringCase(std::string_view(entry.name, entry.size), name))
      continue;
    if (name.compare(0, std::string::npos, entry.name, entry.size) == 0)
      return name;
    if (found.empty()) found.assign(entry.name, entry.size);
  }
  return found;
}

namespace {

bool IsDotOrDotDot(const std::string& name) {
  return name == "." || name == "..";
}

void CloseKeepingErrno(ScanCache& cache, int fd) {
  const int error = errno;
  cache.reader->Close(fd);
  errno = error;
}

// Opens the components of `rest` one after another below `fd`, which is
// closed on the way when `owned`.
int OpenComponents(ScanCache& cache, int fd, bool owned,
                   const std::string& rest) {
  // The common case, a subdirectory of an open scan's directory.
  if (!owned && !rest.empty() && rest.find('/') == std::string::npos)
    return OpenComponent(cache, fd, rest);
  for (const std::string& component : PathComponents(rest)) {
    const int next = OpenComponent(cache, fd, component);
    if (owned) CloseKeepingErrno(cache, fd);
    if (next < 0) return -1;
    fd = next;
    owned = true;
  }
  return owned ? fd : cache.reader->OpenAt(fd, ".");
}

// Where `dir` lies at or below `text`, the part below it.
bool BelowText(const std::string& text, size_t text_size,
               std::string_view dir, std::string* rest) {
  if (dir.size() < text_size || dir.compare(0, text_size, text, 0, text_size))
    return false;
  if (dir.size() == text_size) {
    rest->clear();
    return true;
  }
  const bool delimited = text_size == 0 || text[text_size - 1] == '/' ||
                         dir[text_size] == '/';
  if (delimited) rest->assign(dir, text_size, std::string::npos);
  return delimited && !(text_size == 0 && dir[0] == '/');
}

}  // namespace

std::string FindStoredName(ScanCache& cache, int at, const std::string& name) {
  if (IsDotOrDotDot(name)) return std::string();
  const int fd = cache.reader->OpenAt(at, ".");
  if (fd < 0) return std::string();
  Listing listing;
  const bool read = ReadListing(*cache.reader, fd, &cache.records, &listing);
  cache.reader->Close(fd);
  if (!read) return std::string();
  std::string found = StoredSpellingIn(listing, name);
  // Windows takes a name without its trailing dots and blanks.
  const std::string trimmed(TrimmedMask(name));
  if (found.empty() && trimmed != name)
    found = StoredSpellingIn(listing, trimmed);
  return found;
}

int OpenComponent(ScanCache& cache, int at, const std::string& name) {
  const int fd = cache.reader->OpenAt(at, name.c_str());
  if (fd >= 0 || errno != ENOENT) return fd;
  cache.spelling_differed = true;
  const std::string stored = FindStoredName(cache, at, name);
  if (stored.empty()) {
    errno = ENOENT;
    return -1;
  }
  return cache.reader->OpenAt(at, stored.c_str());
}

int OpenDirectory(ScanCache& cache, std::string_view dir) {
  // The innermost two frames: a scan's directory, or its parent's.
  const std::string* text = &cache.chain_text;
  std::string rest;
  for (size_t m = cache.frames.size(), tried = 0; m-- > 0 && tried < 2;
       ++tried) {
    const Frame& frame = *cache.frames[m];
    if (BelowText(*text, frame.text_size, dir, &rest)) {
      const int fd = FrameDescriptor(cache, m);
      if (fd >= 0) return OpenComponents(cache, fd, false, rest);
      break;
    }
    if (!frame.nested) text = &frame.saved_text;
  }
  return OpenDirectoryFromStart(cache, dir);
}

namespace {

// Keeps a descriptor of `dir`, opened as `fd`, as the start of the next
// long lookup.
void RememberLookup(ScanCache& cache, std::string_view dir, int fd) {
  const int kept = cache.reader->OpenAt(fd, ".");
  if (kept < 0) return;
  if (cache.lookup_fd >= 0) cache.reader->Close(cache.lookup_fd);
  cache.lookup_fd = kept;
  cache.lookup_text = dir;
}

}  // namespace

int OpenDirectoryFromStart(ScanCache& cache, std::string_view dir) {
  // Most paths open as typed at once; the rest one component at a time,
  // from the long path looked up last where they lie below it.
  constexpr size_t kLongPath = PATH_MAX / 2;
  if (dir.size() < kLongPath) {
    const std::string text(dir.empty() ? std::string_view(".") : dir);
    const int fd = cache.reader->OpenAt(AT_FDCWD, text.c_str());
    if (fd >= 0 || (errno != ENOENT && errno != ENAMETOOLONG)) return fd;
  }
  std::string rest;
  int fd;
  if (cache.lookup_fd >= 0 &&
      BelowText(cache.lookup_text, cache.lookup_text.size(), dir, &rest)) {
    fd = OpenComponents(cache, cache.lookup_fd, false, rest);
  } else {
    const int start = cache.reader->OpenAt(
        AT_FDCWD, !dir.empty() && dir[0] == '/' ? "/" : ".");
    if (start < 0) return -1;
    fd = OpenComponents(cache, start, true, std::string(dir));
  }
  if (fd >= 0 && dir.size() >= kLongPath) RememberLookup(cache, dir, fd);
  return fd;
}

bool StatPath(ScanCache& cache, const std::string& path, struct stat* st,
              bool follow) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::string trimmed = path.substr(0, end);
  const size_t slash = trimmed.rfind('/');
  if (trimmed.empty() || trimmed == "/") {
    return cache.reader->StatAt(AT_FDCWD, trimmed.empty() ? "." : "/", st,
                                true) == 0;
  }
  const std::string dir = slash == std::string::npos ? ""
                          : slash == 0               ? "/"
                                                     : trimmed.substr(0, slash);
  const std::string name =
      slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  const int fd = OpenDirectory(cache, dir);
  if (fd < 0) return false;
  bool found = cache.reader->StatAt(fd, name.c_str(), st, follow) == 0;
  if (!found && errno == ENOENT) {
    const std::string stored = FindStoredName(cache, fd, name);
    found = !stored.empty() &&
            cache.reader->StatAt(fd, stored.c_str(), st, follow) == 0;
  }
  cache.reader->Close(fd);
  return found;
}
