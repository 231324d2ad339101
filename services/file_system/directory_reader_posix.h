// How the POSIX scans reach the file system: directory descriptors, raw
// listing records and statuses. The system's calls in a run; an in-memory
// tree that counts what is read in tests.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_DIRECTORY_READER_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_DIRECTORY_READER_POSIX_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class DirectoryReader {
 public:
  virtual ~DirectoryReader() = default;
  // Opens the directory `name` relative to the descriptor `at` (AT_FDCWD for
  // the current directory), following a final link only when `follow`; -1
  // with errno set on failure.
  virtual int OpenAt(int at, const char* name, bool follow) = 0;
  // Fills `buffer` with the next raw getdents64 records of `fd`: the bytes
  // written, 0 at the end, -1 with errno set on failure.
  virtual ssize_t ReadRecords(int fd, char* buffer, size_t size) = 0;
  // Status of `name` relative to `at`, of a final link's target when
  // `follow`; 0, or -1 with errno set.
  virtual int StatAt(int at, const char* name, struct stat* st,
                     bool follow) = 0;
  // Closes a descriptor that OpenAt returned.
  virtual void Close(int fd) = 0;
  // Closes every descriptor in `fds` (each one OpenAt returned); may reorder
  // them.
  virtual void CloseAll(std::vector<int>& fds) = 0;
};

// A reader that makes the system's calls.
std::unique_ptr<DirectoryReader> NewSystemDirectoryReader();

// Calls `visit(type, name)` for each raw getdents64 record in `data`, in
// order. The one place that knows the record layout.
template <typename Visit>
void ForEachRawRecord(const char* data, size_t size, Visit visit);

// Appends one raw getdents64 record, as the system would write it.
void AppendRawRecord(std::string* records, unsigned char type,
                     const std::string& name);

// The offsets of a record's length, type and name (the layout of
// struct dirent64), for ForEachRawRecord.
struct RawRecordLayout {
  static const size_t kLengthOffset;
  static const size_t kTypeOffset;
  static const size_t kNameOffset;
};

template <typename Visit>
void ForEachRawRecord(const char* data, size_t size, Visit visit) {
  for (size_t next = 0; next < size;) {
    const char* record = data + next;
    unsigned short length;
    __builtin_memcpy(&length, record + RawRecordLayout::kLengthOffset,
                     sizeof length);
    if (length == 0) break;
    next += length;
    visit(static_cast<unsigned char>(record[RawRecordLayout::kTypeOffset]),
          record + RawRecordLayout::kNameOffset);
  }
}

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_DIRECTORY_READER_POSIX_H_
