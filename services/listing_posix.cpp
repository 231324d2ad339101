#include "services/listing_posix.h"

#include <cstring>

#include "services/directory_reader_posix.h"

namespace {

constexpr size_t kReadChunk = 32 * 1024;
// A record is at most about 280 bytes: room for a good many per call.
constexpr size_t kMinRoom = 4096;

void Reserve(RecordBuffer* buffer, size_t used, size_t capacity) {
  if (capacity <= buffer->capacity) return;
  if (capacity < buffer->capacity * 2) capacity = buffer->capacity * 2;
  std::unique_ptr<char[]> data(new char[capacity]);
  if (used > 0) std::memcpy(data.get(), buffer->data.get(), used);
  buffer->data = std::move(data);
  buffer->capacity = capacity;
}

}  // namespace

bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 Listing* listing) {
  size_t used = 0;
  Reserve(buffer, 0, kReadChunk);
  for (;;) {
    Reserve(buffer, used, used + kMinRoom);
    const ssize_t n = reader.ReadRecords(fd, buffer->data.get() + used,
                                         buffer->capacity - used);
    if (n < 0) return false;
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  listing->bytes.clear();
  ForEachRawRecord(buffer->data.get(), used,
                   [listing](unsigned char type, const char* name) {
                     AppendListedEntry(listing, type, name, std::strlen(name));
                   });
  return true;
}

bool NextListedEntry(const Listing& listing, size_t* offset,
                     ListedEntry* entry) {
  if (*offset >= listing.bytes.size()) return false;
  const char* at = listing.bytes.data() + *offset;
  entry->type = static_cast<unsigned char>(at[0]);
  entry->name = at + 1;
  entry->size = std::strlen(at + 1);
  *offset += entry->size + 2;
  return true;
}

void AppendListedEntry(Listing* listing, unsigned char type, const char* name,
                       size_t size) {
  listing->bytes.push_back(static_cast<char>(type));
  listing->bytes.append(name, size);
  listing->bytes.push_back('\0');
}
