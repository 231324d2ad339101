#include "services/file_system/listing_posix.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "services/file_system/directory_reader_posix.h"
#include "services/name_order.h"

namespace {

// Room for a good many records per call; a record is at most 280 bytes.
constexpr size_t kReadChunk = 32 * 1024;

void Reserve(RecordBuffer* buffer, size_t used, size_t capacity) {
  if (capacity <= buffer->capacity) return;
  if (capacity < buffer->capacity * 2) capacity = buffer->capacity * 2;
  std::unique_ptr<char[]> data(new char[capacity]);
  if (used > 0) std::memcpy(data.get(), buffer->data.get(), used);
  buffer->data = std::move(data);
  buffer->capacity = capacity;
}

}  // namespace

// Each call returns whole records, so every chunk is compacted as it comes:
// the raw records of a huge directory are never all held at once.
bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 Listing* listing) {
  Reserve(buffer, 0, kReadChunk);
  listing->bytes.clear();
  for (;;) {
    const ssize_t n = reader.ReadRecords(fd, buffer->data.get(), buffer->capacity);
    if (n < 0) return false;
    if (n == 0) break;
    // A compact entry is never longer than its raw record.
    std::string& bytes = listing->bytes;
    const size_t start = bytes.size();
    bytes.resize(start + static_cast<size_t>(n));
    char* out = &bytes[start];
    ForEachRawRecord(buffer->data.get(), static_cast<size_t>(n),
                     [&out](unsigned char type, const char* name) {
                       out = WriteListedEntry(out, type, name, std::strlen(name));
                     });
    bytes.resize(static_cast<size_t>(out - bytes.data()));
  }
  SortListing(listing, buffer);
  return true;
}

// The entries are sorted by their name prefixes where those decide, by
// the whole names where not, then copied in their order into a second
// text that takes the listing's place: once the order and the two texts
// have grown to the largest directory, sorting allocates nothing.
void SortListing(Listing* listing, RecordBuffer* buffer) {
  std::string& bytes = listing->bytes;
  const auto name_at = [&bytes](size_t offset) {
    return std::string_view(bytes.data() + offset + 2,
                            static_cast<unsigned char>(bytes[offset + 1]));
  };
  const auto next = [&bytes](size_t offset) {
    return offset + static_cast<unsigned char>(bytes[offset + 1]) + 3u;
  };
  size_t count = 0;
  for (size_t offset = 0; offset < bytes.size(); offset = next(offset)) ++count;
  using Sorted = RecordBuffer::Sorted;
  std::vector<Sorted>& order = buffer->order;
  order.resize(count);
  Sorted* item = order.data();
  for (size_t offset = 0; offset < bytes.size(); offset = next(offset)) {
    const NamePrefix prefix = NamePrefixOf(name_at(offset));
    *item++ = {prefix.high, prefix.low, offset << 1 | prefix.exact};
  }
  const auto before = [&name_at](const Sorted& x, const Sorted& y) {
    if ((x.at & y.at & 1) != 0) {
      if (x.high != y.high) return x.high < y.high;
      if (x.low != y.low) return x.low < y.low;
    }
    return CompareNames(name_at(x.at >> 1), name_at(y.at >> 1)) < 0;
  };
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::sort(order.begin(), order.end(), before);
  // The text handed to the listing keeps its room: room left by a far
  // larger directory is given up rather than kept with a small listing.
  std::string& sorted = buffer->sorted;
  if (sorted.capacity() > 2 * bytes.size() + 1024) std::string().swap(sorted);
  sorted.clear();
  sorted.reserve(bytes.size());
  // The entries are gathered from all over the listing: the ones a few
  // places on are fetched while one is copied.
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count)
      __builtin_prefetch(bytes.data() + (order[i + kAhead].at >> 1));
    const size_t offset = order[i].at >> 1;
    sorted.append(bytes, offset, next(offset) - offset);
  }
  bytes.swap(sorted);
}

bool NextListedEntry(const Listing& listing, size_t* offset,
                     ListedEntry* entry) {
  if (*offset >= listing.bytes.size()) return false;
  const char* at = listing.bytes.data() + *offset;
  entry->type = static_cast<unsigned char>(at[0]);
  entry->size = static_cast<unsigned char>(at[1]);
  entry->name = at + 2;
  *offset += entry->size + 3;
  return true;
}

char* WriteListedEntry(char* out, unsigned char type, const char* name,
                       size_t size) {
  // A name is at most 255 bytes (NAME_MAX), so one byte holds its size.
  if (size > 255) size = 255;
  out[0] = static_cast<char>(type);
  out[1] = static_cast<char>(size);
  std::memcpy(out + 2, name, size);
  out[2 + size] = '\0';
  return out + size + 3;
}

void AppendListedEntry(Listing* listing, unsigned char type, const char* name,
                       size_t size) {
  std::string& bytes = listing->bytes;
  const size_t at = bytes.size();
  bytes.resize(at + (size > 255 ? 255 : size) + 3);
  WriteListedEntry(&bytes[at], type, name, size);
}
