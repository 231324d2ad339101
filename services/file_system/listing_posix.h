// One directory's entries as a POSIX scan keeps them: in name order
// (CompareNames, the order Windows lists a directory in), whatever order
// the system delivered them in, compactly, per entry its type byte, the
// size of its name, the name and a NUL, so that a listing costs little
// more than its names.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DirectoryReader;

// Room for raw records, and for putting a listing in order, reused from
// listing to listing; never zero-filled, as every byte is written before
// it is read back.
struct RecordBuffer {
  std::unique_ptr<char[]> data;
  size_t capacity = 0;
  // Each entry's name prefix and offset, to sort by name.
  struct Sorted {
    uint64_t high, low;  // NamePrefix
    size_t at;           // the offset, and in the lowest bit the exactness
  };
  std::vector<Sorted> order;
  std::string sorted;  // the entries in order, then swapped into the listing
};

// One entry of a listing; `name` points into the listing.
struct ListedEntry {
  unsigned char type = 0;  // the d_type the system reported
  const char* name = nullptr;
  size_t size = 0;  // bytes of the name
};

struct Listing {
  std::string bytes;  // type, name size, name, NUL; entry after entry
};

// Reads the whole listing of the open directory `fd`, the raw records
// passing through `buffer`, and puts it in name order; false when the
// system fails.
bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 Listing* listing);

// Puts the entries of `listing` in name order, with room from `buffer`.
void SortListing(Listing* listing, RecordBuffer* buffer);

// The entry at `*offset` of `listing`, moving `*offset` past it; false at
// the end.
bool NextListedEntry(const Listing& listing, size_t* offset,
                     ListedEntry* entry);

// Writes one entry at `out`, which has room for it; the byte after it.
char* WriteListedEntry(char* out, unsigned char type, const char* name,
                       size_t size);

// Appends one entry to `listing`.
void AppendListedEntry(Listing* listing, unsigned char type,
                       const char* name, size_t size);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_
