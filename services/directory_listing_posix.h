// Whole directory listings for the POSIX entry scan. A listing is read at
// once with getdents64; the listing of a finished scan is kept for the very
// next scan if that is of the same directory (the walker reads each
// directory twice in a row); and the directories of the scans still open
// keep their descriptors, so that their subdirectories are opened relative
// to them rather than by walking the whole path again.
#ifndef KESTRIV_SERVICES_DIRECTORY_LISTING_POSIX_H_
#define KESTRIV_SERVICES_DIRECTORY_LISTING_POSIX_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Growable storage for raw records; never zero-filled, as the system
// writes every byte that is read back.
struct RecordBuffer {
  std::unique_ptr<char[]> data;
  size_t size = 0;
  size_t capacity = 0;
};

struct DirectoryListing {
  std::string dir;       // the directory text of the scan's pattern
  std::string disk_dir;  // the same directory, as found on disk
  int fd = -1;           // its descriptor while kept open, else -1
  RecordBuffer records;  // the raw getdents64 records
  bool second_read = false;  // taken from the listing kept by the last scan
};

// Fills `listing` (which must stay where it is until ReleaseListing) with
// the listing of `dir` and registers it as open; 0 or an error code.
int TakeListing(const std::string& dir, DirectoryListing* listing);

// Unregisters a listing whose scan has ended. With `keep` and unless it
// already served a second read, it is kept for the next scan.
void ReleaseListing(DirectoryListing* listing, bool keep);

// The listing of an open scan whose directory is `disk_dir` on disk, or
// null.
const DirectoryListing* FindOpenListing(const std::string& disk_dir);

// The names in a listing, in its order.
std::vector<std::string> NamesIn(const DirectoryListing& listing);

#endif  // KESTRIV_SERVICES_DIRECTORY_LISTING_POSIX_H_
