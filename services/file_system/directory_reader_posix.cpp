#include "services/file_system/directory_reader_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

const size_t RawRecordLayout::kLengthOffset = offsetof(struct dirent64, d_reclen);
const size_t RawRecordLayout::kTypeOffset = offsetof(struct dirent64, d_type);
const size_t RawRecordLayout::kNameOffset = offsetof(struct dirent64, d_name);

namespace {

class SystemReader : public DirectoryReader {
 public:
  int OpenAt(int at, const char* name, bool follow) override {
    return openat(at, name,
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
  }
  ssize_t ReadRecords(int fd, char* buffer, size_t size) override {
    return getdents64(fd, buffer, size);
  }
  int StatAt(int at, const char* name, struct stat* st, bool follow) override {
    return fstatat(at, name, st, follow ? 0 : AT_SYMLINK_NOFOLLOW);
  }
  void Close(int fd) override { close(fd); }
  // Neighbouring numbers are closed with one close_range; a system without
  // it closes them one by one.
  void CloseAll(std::vector<int>& fds) override {
    std::sort(fds.begin(), fds.end());
    for (size_t i = 0; i < fds.size();) {
      size_t end = i + 1;
      while (end < fds.size() && fds[end] == fds[end - 1] + 1) ++end;
      const unsigned first = static_cast<unsigned>(fds[i]);
      const unsigned last = static_cast<unsigned>(fds[end - 1]);
      if (end - i == 1 || close_range(first, last, 0) != 0)
        for (size_t k = i; k < end; ++k) close(fds[k]);
      i = end;
    }
  }
};

}  // namespace

std::unique_ptr<DirectoryReader> NewSystemDirectoryReader() {
  return std::make_unique<SystemReader>();
}

void AppendRawRecord(std::string* records, unsigned char type,
                     const std::string& name) {
  const size_t length =
      (offsetof(struct dirent64, d_name) + name.size() + 1 + 7) & ~size_t{7};
  struct dirent64 entry;
  std::memset(&entry, 0, offsetof(struct dirent64, d_name));
  entry.d_ino = 1;
  entry.d_reclen = static_cast<unsigned short>(length);
  entry.d_type = type;
  const size_t start = records->size();
  records->resize(start + length, '\0');
  std::memcpy(&(*records)[start], &entry, offsetof(struct dirent64, d_name));
  std::memcpy(&(*records)[start + offsetof(struct dirent64, d_name)],
              name.data(), name.size());
}
