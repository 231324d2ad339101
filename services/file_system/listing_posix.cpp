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

// The offsets are sorted, then the entries copied in their order through
// the buffer and back: once the buffer and the offsets have grown to the
// largest directory, sorting allocates nothing.
void SortListing(Listing* listing, RecordBuffer* buffer) {
  std::string& bytes = listing->bytes;
  std::vector<size_t>& order = buffer->order;
  order.clear();
  for (size_t offset = 0; offset < bytes.size();
       offset += static_cast<unsigned char>(bytes[offset + 1]) + 3u)
    order.push_back(offset);
  const auto name_at = [&bytes](size_t offset) {
    return std::string_view(bytes.data() + offset + 2,
                            static_cast<unsigned char>(bytes[offset + 1]));
  };
  const auto before = [&name_at](size_t x, size_t y) {
    return CompareNames(name_at(x), name_at(y)) < 0;
  };
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::sort(order.begin(), order.end(), before);
  Reserve(buffer, 0, bytes.size());
  char* out = buffer->data.get();
  for (size_t offset : order) {
    const size_t size = static_cast<unsigned char>(bytes[offset + 1]) + 3u;
    std::memcpy(out, bytes.data() + offset, size);
    out += size;
  }
  bytes.assign(buffer->data.get(), bytes.size());
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
