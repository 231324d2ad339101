#include "services/file_system/listing_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "services/file_system/directory_reader_posix.h"
#include "services/file_system/file_system.h"
#include "services/name_order.h"
#include "services/path_text.h"
#include "services/wildcard.h"

namespace {

// Room for a good many records per call; a record is at most 280 bytes.
constexpr size_t kReadChunk = 32 * 1024;

void Reserve(RecordBuffer* buffer, size_t capacity) {
  if (capacity <= buffer->capacity) return;
  buffer->data.reset(new char[capacity]);
  buffer->capacity = capacity;
}

// Room for the entries of `size` bytes of raw records more, counted
// first: most directories come in one read and get their room at once,
// and little more than they take. A record holds its name, the NUL and at
// most seven bytes of padding after its fixed fields.
void MakeRoom(Listing* listing, const char* records, size_t size) {
  size_t count = 0;
  ForEachRawRecord(records, size,
                   [&count](unsigned char, const char*) { ++count; });
  const size_t name_bytes = size - count * RawRecordLayout::kNameOffset;
  const auto grow = [](auto& items, size_t more) {
    if (items.capacity() - items.size() < more)
      items.reserve(std::max(items.size() + more, 2 * items.capacity()));
  };
  grow(listing->entries, count);
  grow(listing->names, name_bytes);
}

// Each call returns whole records, so every chunk is added as it comes:
// the raw records of a huge directory are never all held at once.
bool ReadEntries(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 Listing* listing) {
  Reserve(buffer, kReadChunk);
  for (;;) {
    const ssize_t n =
        reader.ReadRecords(fd, buffer->data.get(), buffer->capacity);
    if (n < 0) return false;
    if (n == 0) return true;
    MakeRoom(listing, buffer->data.get(), static_cast<size_t>(n));
    ForEachRawRecord(buffer->data.get(), static_cast<size_t>(n),
                     [listing](unsigned char type, const char* name) {
                       listing->Add(type, name, std::strlen(name));
                     });
  }
}

// Puts the entries of `listing` in name order: by their name prefixes
// where those decide, by the whole names where not. Only the entries move;
// the names stay where they were read.
void SortListing(Listing* listing, RecordBuffer* buffer) {
  std::vector<ListedEntry>& entries = listing->entries;
  // A few entries, as most directories hold, are put in place one by one,
  // their names compared whole: cheaper than preparing prefixes.
  constexpr size_t kFew = 16;
  if (entries.size() <= kFew) {
    for (size_t i = 1; i < entries.size(); ++i) {
      const ListedEntry entry = entries[i];
      const std::string_view name = listing->NameOf(entry);
      size_t at = i;
      for (; at > 0 && CompareNames(name, listing->NameOf(entries[at - 1])) < 0;
           --at)
        entries[at] = entries[at - 1];
      entries[at] = entry;
    }
    return;
  }
  using Sorted = RecordBuffer::Sorted;
  std::vector<Sorted>& order = buffer->order;
  order.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const NamePrefix prefix = NamePrefixOf(listing->NameOf(entries[i]));
    order[i] = {prefix.high, prefix.low, i << 1 | prefix.exact};
  }
  const auto before = [listing, &entries](const Sorted& x, const Sorted& y) {
    if ((x.at & y.at & 1) != 0) {
      if (x.high != y.high) return x.high < y.high;
      if (x.low != y.low) return x.low < y.low;
    }
    return CompareNames(listing->NameOf(entries[x.at >> 1]),
                        listing->NameOf(entries[y.at >> 1])) < 0;
  };
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::sort(order.begin(), order.end(), before);
  // The entries move to their places in place, cycle by cycle: position i
  // takes the entry that was at order[i], and each placed one is marked
  // by pointing at itself.
  for (size_t start = 0; start < order.size(); ++start) {
    if ((order[start].at >> 1) == start) continue;
    const ListedEntry first = entries[start];
    size_t at = start;
    for (size_t from = order[at].at >> 1; from != start;
         from = order[at].at >> 1) {
      entries[at] = entries[from];
      order[at].at = at << 1;
      at = from;
    }
    entries[at] = first;
    order[at].at = at << 1;
  }
}

// The type a status gives an entry whose listed type was unknown.
unsigned char TypeOf(const ListedStatus& status) {
  if ((status.attr & kAttrReparsePoint) != 0) return DT_LNK;
  return (status.attr & kAttrDirectory) != 0 ? DT_DIR : DT_REG;
}

// True when the walk will need the status of `entry`: every link's and
// unknown type's, and the candidates' whose fields its filters read.
bool StatusToRead(const Listing& listing, const ListedEntry& entry,
                  const ListingWants& wants) {
  if (entry.type == DT_LNK || entry.type == DT_UNKNOWN) return true;
  if (!wants.candidates || !NeedsStatus(entry.type, wants.fields))
    return false;
  const std::string_view name = listing.NameOf(entry);
  return !IsDotName(name) && wants.candidates->Matches(name);
}

}  // namespace

bool NeedsStatus(unsigned char type, uint32_t wanted) {
  if (type == DT_LNK || type == DT_UNKNOWN) return true;
  if (type == DT_DIR) wanted &= ~static_cast<uint32_t>(kWantSize);
  return (wanted & kWantAll) != 0;
}

void Listing::Add(unsigned char type, const char* name, size_t size) {
  // A name is at most 255 bytes (NAME_MAX), so one byte holds its size.
  if (size > 255) size = 255;
  ListedEntry entry;
  entry.name = static_cast<uint32_t>(names.size());
  entry.size = static_cast<uint8_t>(size);
  entry.type = type;
  names.append(name, size);
  names.push_back('\0');
  entries.push_back(entry);
}

void Listing::FindSubdirectories(const DescentRule& descent, size_t level) {
  subdirectories.clear();
  for (size_t i = 0; i < entries.size(); ++i) {
    ListedEntry& entry = entries[i];
    entry.child = -1;
    const std::string_view name = NameOf(entry);
    if (entry.type != DT_DIR || entry.gone || IsDotName(name) ||
        !descent.Enters(name, level))
      continue;
    entry.child = static_cast<int32_t>(subdirectories.size());
    subdirectories.push_back(static_cast<uint32_t>(i));
  }
}

size_t Listing::Bytes() const {
  return names.size() + entries.size() * sizeof(ListedEntry) +
         statuses.size() * sizeof(ListedStatus) +
         subdirectories.size() * sizeof(uint32_t);
}

std::string Listing::SubdirectoryName(size_t index) const {
  return std::string(NameOf(entries[subdirectories[index]]));
}

bool ReadListedStatus(DirectoryReader& reader, int fd, const char* name,
                      ListedStatus* status) {
  struct stat st;
  if (reader.StatAt(fd, name, &st, false) != 0) return false;
  const bool is_link = S_ISLNK(st.st_mode);
  struct stat target;
  if (is_link && reader.StatAt(fd, name, &target, true) == 0) st = target;
  status->attr = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    status->attr |= kAttrReadOnly;
  if (is_link) status->attr |= kAttrReparsePoint;
  status->size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
  status->mtime = st.st_mtime;
  return true;
}

bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 const ListingWants& wants, size_t level, Listing* listing) {
  listing->names.clear();
  listing->entries.clear();
  if (!ReadEntries(reader, fd, buffer, listing)) return false;
  SortListing(listing, buffer);
  listing->statuses.clear();
  for (size_t i = 0; i < listing->entries.size(); ++i) {
    ListedEntry& entry = listing->entries[i];
    if (!StatusToRead(*listing, entry, wants)) continue;
    ListedStatus status;
    if (!ReadListedStatus(reader, fd, listing->CNameOf(entry), &status)) {
      entry.gone = true;  // a scan that asked would not find it either
      continue;
    }
    if (listing->statuses.empty())
      listing->statuses.resize(listing->entries.size());
    listing->statuses[i] = status;
    entry.has_status = true;
    if (entry.type == DT_UNKNOWN) entry.type = TypeOf(status);
  }
  listing->FindSubdirectories(wants.descent, level);
  return true;
}
