// Test support: an in-memory tree behind the POSIX scans' reader seam,
// counting what is opened and listed, as a file system that logs accesses.
// Workers reading ahead call it from several threads: each call holds a
// lock.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_FAKE_DIRECTORY_READER_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_FAKE_DIRECTORY_READER_POSIX_H_

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "services/file_system/directory_reader_posix.h"

class FakeDirectoryReader : public DirectoryReader {
 public:
  struct Node {
    bool directory = true;
    bool link = false;   // a link to the node `target`
    size_t target = 0;
    size_t parent = 0;
    std::map<std::string, size_t> children;  // their listing order
    size_t opens = 0, listings = 0;
    int open_error = 0;  // every open fails so when set
  };

  FakeDirectoryReader() { nodes_.emplace_back(); }  // the current directory
  // A fresh tree in place of this one (its lock stays).
  FakeDirectoryReader& operator=(FakeDirectoryReader&& other) {
    nodes_ = std::move(other.nodes_);
    open_ = std::move(other.open_);
    next_fd_ = other.next_fd_;
    most_open_ = other.most_open_;
    open_limit_ = other.open_limit_;
    return *this;
  }

  // Adds every missing node of the "/"-separated `path`; a last component
  // ending in "/" is a directory, others are files.
  size_t Add(const std::string& path) {
    size_t node = 0, start = 0;
    while (start < path.size()) {
      size_t end = path.find('/', start);
      const bool directory = end != std::string::npos;
      if (!directory) end = path.size();
      node = Child(node, path.substr(start, end - start), directory);
      start = end + 1;
    }
    return node;
  }
  // Adds a link at `path` to the existing node at `target`.
  void AddLink(const std::string& path, const std::string& target) {
    const size_t to = Add(target);
    const size_t cut = path.rfind('/');
    const size_t parent = cut == std::string::npos ? 0 : Add(path.substr(0, cut + 1));
    const size_t link = Child(parent, path.substr(cut + 1), false);
    nodes_[link].link = true;
    nodes_[link].target = to;
  }
  const Node& NodeAt(const std::string& path) { return nodes_[Add(path)]; }
  size_t MostOpenAtOnce() const { return most_open_; }
  // Opens of every directory together.
  size_t TotalOpens() const {
    size_t opens = 0;
    for (const Node& node : nodes_) opens += node.opens;
    return opens;
  }
  // Opens beyond `limit` descriptors fail as the system's do at its limit.
  void LimitOpen(size_t limit) { open_limit_ = limit; }
  // Every open of the directory at `path` fails with `error`, as one that
  // cannot be read, or that is gone since its parent was listed.
  void FailOpens(const std::string& path, int error) {
    nodes_[Add(path)].open_error = error;
  }

  int OpenAt(int at, const char* name, bool follow) override {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t node;
    if (open_.size() >= open_limit_) return Fail(EMFILE);
    if (!Resolve(at, name, follow, &node)) return -1;
    if (nodes_[node].open_error != 0) return Fail(nodes_[node].open_error);
    if (nodes_[node].link) return Fail(ELOOP);
    if (!nodes_[node].directory) return Fail(ENOTDIR);
    ++nodes_[node].opens;
    const int fd = next_fd_++;
    open_[fd] = {node, false};
    most_open_ = std::max(most_open_, open_.size());
    return fd;
  }
  ssize_t ReadRecords(int fd, char* buffer, size_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = open_.find(fd);
    if (found == open_.end()) return Fail(EBADF);
    if (found->second.read) return 0;
    std::string records;
    Node& node = nodes_[found->second.node];
    for (const auto& child : node.children) {
      const Node& entry = nodes_[child.second];
      AppendRawRecord(&records,
                      entry.link ? DT_LNK : entry.directory ? DT_DIR : DT_REG,
                      child.first);
    }
    if (records.size() > size) return Fail(EINVAL);
    std::memcpy(buffer, records.data(), records.size());
    found->second.read = true;
    ++node.listings;
    return static_cast<ssize_t>(records.size());
  }
  int StatAt(int at, const char* name, struct stat* st, bool follow) override {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t node;
    if (!Resolve(at, name, follow, &node)) return -1;
    std::memset(st, 0, sizeof *st);
    st->st_mode = (nodes_[node].link        ? S_IFLNK
                   : nodes_[node].directory ? S_IFDIR
                                            : S_IFREG) |
                  0644;
    st->st_dev = 1;
    st->st_ino = node + 1;
    return 0;
  }
  void Close(int fd) override {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(fd);
  }
  void CloseAll(std::vector<int>& fds) override {
    for (int fd : fds) Close(fd);
  }
  size_t OpenNow() const { return open_.size(); }

 private:
  struct OpenDirectory {
    size_t node;
    bool read;
  };
  static int Fail(int error) {
    errno = error;
    return -1;
  }
  size_t Child(size_t node, const std::string& name, bool directory) {
    auto found = nodes_[node].children.find(name);
    if (found != nodes_[node].children.end()) return found->second;
    nodes_.emplace_back();
    nodes_.back().directory = directory;
    nodes_.back().parent = node;
    nodes_[node].children[name] = nodes_.size() - 1;
    return nodes_.size() - 1;
  }
  // Links are followed on the way, and at the end when `follow`.
  bool Resolve(int at, const std::string& path, bool follow, size_t* node) {
    *node = 0;
    if (at != AT_FDCWD) {
      auto found = open_.find(at);
      if (found == open_.end()) return Fail(EBADF) == 0;
      *node = found->second.node;
    }
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = std::min(path.find('/', start), path.size());
      const std::string part = path.substr(start, end - start);
      start = end + 1;
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        *node = nodes_[*node].parent;
        continue;
      }
      auto found = nodes_[*node].children.find(part);
      if (found == nodes_[*node].children.end()) return Fail(ENOENT) == 0;
      *node = found->second;
      if (nodes_[*node].link && (start <= path.size() || follow))
        *node = nodes_[*node].target;
    }
    return true;
  }
  std::vector<Node> nodes_;
  std::map<int, OpenDirectory> open_;
  int next_fd_ = 100;
  size_t most_open_ = 0;
  size_t open_limit_ = static_cast<size_t>(-1);
  std::mutex mutex_;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_FAKE_DIRECTORY_READER_POSIX_H_
