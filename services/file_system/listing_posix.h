// One directory's entries as a POSIX scan keeps them: in the order the
// system delivered them, compactly, per entry its type byte, the size of
// its name, the name and a NUL, so that a listing costs little more than
// its names.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_

#include <cstddef>
#include <memory>
#include <string>

class DirectoryReader;

// Room for raw records, reused from listing to listing; never zero-filled,
// as the system writes every byte that is read back.
struct RecordBuffer {
  std::unique_ptr<char[]> data;
  size_t capacity = 0;
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
// passing through `buffer`; false when the system fails.
bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 Listing* listing);

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
