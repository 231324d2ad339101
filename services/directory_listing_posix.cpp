#include "services/directory_listing_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <functional>
#include <vector>

#include "services/path_lookup_posix.h"

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

// Listings kept for the rest of a run that walks its trees more than once
// (several masks or search paths). The later walks meet the directories in
// the order the first one read them, so the first ones read are kept until
// a fixed budget is spent, which keeps memory flat however big the tree.
// They sit one after another in one arena, compactly: the directory text,
// the text found on disk where it differs, then per entry its type byte,
// name and NUL; an
// open-addressing table finds them by their directory text.
struct RunListings {
  static constexpr size_t kArenaBytes = 3 << 20;
  static constexpr size_t kSlots = 1 << 15;  // at most half of them used
  bool enabled = false;
  std::vector<char> arena;       // reserved once, filled from the front
  std::vector<uint32_t> slots;   // arena offset + 1 of each listing, or 0
  size_t used_slots = 0;
};

RunListings& Run() {
  static auto* run = new RunListings;
  return *run;
}

// A remembered listing in the arena: lengths, then the texts and entries.
struct CompactHeader {
  uint32_t dir_size, disk_dir_size, entries_size;
};

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

size_t SlotOf(const std::string& dir) {
  return std::hash<std::string>()(dir) & (RunListings::kSlots - 1);
}

bool SameDirectory(size_t offset, const std::string& dir) {
  const char* at = Run().arena.data() + offset;
  CompactHeader header;
  std::memcpy(&header, at, sizeof header);
  return header.dir_size == dir.size() &&
         std::memcmp(at + sizeof header, dir.data(), dir.size()) == 0;
}

// The slot of `dir`: the one that holds it, or the free one it would take.
size_t FindSlot(const std::string& dir) {
  const RunListings& run = Run();
  size_t slot = SlotOf(dir);
  while (run.slots[slot] != 0 && !SameDirectory(run.slots[slot] - 1, dir))
    slot = (slot + 1) & (RunListings::kSlots - 1);
  return slot;
}

void Remember(const std::string& dir, const DirectoryListing& listing) {
  RunListings& run = Run();
  // The text found on disk is stored only where it differs from the typed.
  const std::string disk_dir =
      listing.disk_dir == dir ? std::string() : listing.disk_dir;
  CompactHeader header{static_cast<uint32_t>(dir.size()),
                       static_cast<uint32_t>(disk_dir.size()), 0};
  const RecordBuffer& records = listing.records;
  for (size_t next = 0; next < records.size;) {
    const auto* entry =
        reinterpret_cast<const struct dirent64*>(records.data.get() + next);
    next += entry->d_reclen;
    header.entries_size += static_cast<uint32_t>(std::strlen(entry->d_name) + 2);
  }
  const size_t size =
      sizeof header + dir.size() + disk_dir.size() + header.entries_size;
  const size_t slot = FindSlot(dir);
  if (run.slots[slot] != 0 || run.used_slots * 2 >= RunListings::kSlots ||
      run.arena.size() + size > RunListings::kArenaBytes)
    return;
  const size_t offset = run.arena.size();
  const char* head = reinterpret_cast<const char*>(&header);
  run.arena.insert(run.arena.end(), head, head + sizeof header);
  run.arena.insert(run.arena.end(), dir.begin(), dir.end());
  run.arena.insert(run.arena.end(), disk_dir.begin(), disk_dir.end());
  for (size_t next = 0; next < records.size;) {
    const auto* entry =
        reinterpret_cast<const struct dirent64*>(records.data.get() + next);
    next += entry->d_reclen;
    run.arena.push_back(static_cast<char>(entry->d_type));
    run.arena.insert(run.arena.end(), entry->d_name,
                     entry->d_name + std::strlen(entry->d_name) + 1);
  }
  run.slots[slot] = static_cast<uint32_t>(offset + 1);
  ++run.used_slots;
}

void AppendRecord(RecordBuffer* records, unsigned char type, const char* name,
                  size_t name_size) {
  const size_t length =
      (offsetof(struct dirent64, d_name) + name_size + 1 + 7) & ~size_t{7};
  Reserve(records, records->size + length);
  auto* entry =
      reinterpret_cast<struct dirent64*>(records->data.get() + records->size);
  entry->d_ino = 1;
  entry->d_off = 0;
  entry->d_reclen = static_cast<unsigned short>(length);
  entry->d_type = type;
  std::memcpy(entry->d_name, name, name_size + 1);
  records->size += length;
}

// Rebuilds the records of a remembered listing; false when there is none.
bool Recall(const std::string& dir, DirectoryListing* listing) {
  const RunListings& run = Run();
  const uint32_t found = run.slots[FindSlot(dir)];
  if (found == 0) return false;
  const char* at = run.arena.data() + found - 1;
  CompactHeader header;
  std::memcpy(&header, at, sizeof header);
  at += sizeof header + header.dir_size;
  if (header.disk_dir_size == 0)
    listing->disk_dir = dir;
  else
    listing->disk_dir.assign(at, header.disk_dir_size);
  at += header.disk_dir_size;
  const char* end = at + header.entries_size;
  listing->records.size = 0;
  while (at < end) {
    const size_t name_size = std::strlen(at + 1);
    AppendRecord(&listing->records, static_cast<unsigned char>(*at), at + 1,
                 name_size);
    at += name_size + 2;
  }
  listing->fd = -1;
  return true;
}

int ReadListing(const std::string& dir, DirectoryListing* listing) {
  if (Run().enabled && Recall(dir, listing)) return 0;
  int fd = OpenRelative(dir, &listing->disk_dir);
  if (fd < 0) fd = OpenDirectoryAnyCase(dir, &listing->disk_dir);
  if (fd < 0) return errno != 0 ? errno : ENOENT;
  ReadAll(fd, &listing->records);
  listing->fd = fd;
  if (Run().enabled) Remember(dir, *listing);
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
  listing->second_read = reuse;
  auto& open = OpenListings();
  if (open.size() >= kMaxKeptDescriptors) CloseDescriptor(listing);
  open.push_back(listing);
  return 0;
}

void ReleaseListing(DirectoryListing* listing, bool keep) {
  auto& open = OpenListings();
  auto found = std::find(open.rbegin(), open.rend(), listing);
  if (found != open.rend()) open.erase(std::next(found).base());
  KeptListing& kept = Kept();
  CloseDescriptor(&kept.listing);
  std::swap(kept.listing, *listing);
  // A listing serves two reads at most: the walker's selection and descent.
  kept.valid = keep && !kept.listing.second_read;
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

void ExpectRepeatedWalks(bool repeated) {
  RunListings& run = Run();
  run = RunListings();
  run.enabled = repeated;
  if (repeated) {
    run.arena.reserve(RunListings::kArenaBytes);
    run.slots.assign(RunListings::kSlots, 0);
  }
}
