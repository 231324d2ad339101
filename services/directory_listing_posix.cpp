#include "services/directory_listing_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr size_t kReadChunk = 32 * 1024;
// Descriptors kept for open scans; a deeper walk opens the rest by path, so
// no depth of tree runs out of descriptors.
constexpr size_t kMaxKeptDescriptors = 256;

// The listings of the scans now open, outermost first.
std::vector<DirectoryListing*>& OpenListings() {
  static auto* open = new std::vector<DirectoryListing*>;
  return *open;
}

struct KeptListing {
  bool valid = false;
  DirectoryListing listing;
};

KeptListing& Kept() {
  static auto* kept = new KeptListing;
  return *kept;
}

void CloseDescriptor(DirectoryListing* listing) {
  if (listing->fd >= 0) close(listing->fd);
  listing->fd = -1;
}

// Opens `dir` relative to the innermost open scan when that is of its
// parent directory; -1 when it is not, or when that fails.
int OpenRelative(const std::string& dir, std::string* disk_dir) {
  const auto& open = OpenListings();
  if (open.empty() || open.back()->fd < 0) return -1;
  const DirectoryListing& parent = *open.back();
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos || slash != parent.dir.size() ||
      dir.compare(0, slash, parent.dir) != 0)
    return -1;
  const std::string name = dir.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return -1;
  int fd = openat(parent.fd, name.c_str(), kOpenFlags);
  if (fd >= 0) *disk_dir = parent.disk_dir + "/" + name;
  return fd;
}

void Reserve(RecordBuffer* buffer, size_t capacity) {
  if (capacity <= buffer->capacity) return;
  capacity = std::max(capacity, buffer->capacity * 2);
  std::unique_ptr<char[]> data(new char[capacity]);
  if (buffer->size > 0) std::memcpy(data.get(), buffer->data.get(), buffer->size);
  buffer->data = std::move(data);
  buffer->capacity = capacity;
}

void ReadAll(int fd, RecordBuffer* records) {
  // Room for a good many records per call; a record is at most 280 bytes.
  constexpr size_t kMinRoom = 4096;
  records->size = 0;
  Reserve(records, kReadChunk);
  for (;;) {
    Reserve(records, records->size + kMinRoom);
    ssize_t n = getdents64(fd, records->data.get() + records->size,
                           records->capacity - records->size);
    if (n <= 0) break;
    records->size += static_cast<size_t>(n);
  }
}

int ReadListing(const std::string& dir, DirectoryListing* listing) {
  int fd = OpenRelative(dir, &listing->disk_dir);
  if (fd < 0) fd = OpenDirectoryAnyCase(dir, &listing->disk_dir);
  if (fd < 0) return errno != 0 ? errno : ENOENT;
  ReadAll(fd, &listing->records);
  listing->fd = fd;
  return 0;
}

}  // namespace

int TakeListing(const std::string& dir, DirectoryListing* listing) {
  KeptListing& kept = Kept();
  const bool reuse = kept.valid && kept.listing.dir == dir;
  kept.valid = false;
  // Either way the kept buffer moves on: as the listing itself, or as the
  // storage the new listing is read into.
  std::swap(listing->records, kept.listing.records);
  if (reuse) {
    listing->disk_dir.swap(kept.listing.disk_dir);
    listing->fd = kept.listing.fd;
    kept.listing.fd = -1;
  } else {
    CloseDescriptor(&kept.listing);
    if (int error = ReadListing(dir, listing)) return error;
  }
  listing->dir = dir;
  auto& open = OpenListings();
  if (open.size() >= kMaxKeptDescriptors) CloseDescriptor(listing);
  open.push_back(listing);
  return 0;
}

void ReleaseListing(DirectoryListing* listing) {
  auto& open = OpenListings();
  auto found = std::find(open.rbegin(), open.rend(), listing);
  if (found != open.rend()) open.erase(std::next(found).base());
  KeptListing& kept = Kept();
  CloseDescriptor(&kept.listing);
  std::swap(kept.listing, *listing);
  kept.valid = true;
}

const DirectoryListing* FindOpenListing(const std::string& disk_dir) {
  const auto& open = OpenListings();
  for (auto listing = open.rbegin(); listing != open.rend(); ++listing)
    if ((*listing)->disk_dir == disk_dir) return *listing;
  return nullptr;
}

std::vector<std::string> NamesIn(const DirectoryListing& listing) {
  std::vector<std::string> names;
  const RecordBuffer& records = listing.records;
  for (size_t next = 0; next < records.size;) {
    const auto* entry =
        reinterpret_cast<const struct dirent64*>(records.data.get() + next);
    next += entry->d_reclen;
    names.emplace_back(entry->d_name);
  }
  return names;
}
