#include "services/file_system/run_listings_posix.h"

#include <cstring>
#include <functional>

namespace {

// A kept listing: the sizes, then the directory text and the entries.
struct Header {
  uint32_t text_size, entries_size, number;
};

constexpr size_t kFirstSlots = 1 << 10;

}  // namespace

void RunListings::Enable() {
  enabled_ = true;
  slots_.assign(kFirstSlots, 0);
  spent_ = slots_.size() * sizeof(uint64_t);
}

const char* RunListings::At(Place place) const {
  return chunks_[place.chunk].get() + place.offset;
}

bool RunListings::SameText(uint64_t slot_value, std::string_view dir) const {
  const Place place{static_cast<uint32_t>((slot_value - 1) >> 32),
                    static_cast<uint32_t>(slot_value - 1)};
  Header header;
  std::memcpy(&header, At(place), sizeof header);
  return header.text_size == dir.size() &&
         std::memcmp(At(place) + sizeof header, dir.data(), dir.size()) == 0;
}

// The slot of `dir`: the one that holds it, or the free one it would take.
size_t RunListings::FindSlot(std::string_view dir) const {
  const size_t mask = slots_.size() - 1;
  size_t slot = std::hash<std::string_view>()(dir) & mask;
  while (slots_[slot] != 0 && !SameText(slots_[slot], dir))
    slot = (slot + 1) & mask;
  return slot;
}

// Doubles the index once it is half full, while the budget allows.
bool RunListings::Grow() {
  const size_t added = slots_.size() * sizeof(uint64_t);
  if (spent_ + added > kBudgetBytes) return false;
  std::vector<uint64_t> old(slots_.size() * 2, 0);
  old.swap(slots_);
  for (uint64_t value : old) {
    if (value == 0) continue;
    const Place place{static_cast<uint32_t>((value - 1) >> 32),
                      static_cast<uint32_t>(value - 1)};
    Header header;
    std::memcpy(&header, At(place), sizeof header);
    slots_[FindSlot(std::string_view(At(place) + sizeof header,
                                     header.text_size))] = value;
  }
  spent_ += added;
  return true;
}

// Room for `size` bytes: in the last chunk, or a new one (one of its own
// for a listing bigger than a chunk); null when the budget is spent.
char* RunListings::Room(size_t size, Place* place) {
  if (chunks_.empty() || chunk_used_ + size > kChunkBytes) {
    const size_t bytes = size > kChunkBytes ? size : kChunkBytes;
    if (spent_ + bytes > kBudgetBytes) return nullptr;
    chunks_.emplace_back(new char[bytes]);
    spent_ += bytes;
    chunk_used_ = 0;
  }
  *place = Place{static_cast<uint32_t>(chunks_.size() - 1),
                 static_cast<uint32_t>(chunk_used_)};
  chunk_used_ += size;
  return chunks_.back().get() + place->offset;
}

namespace {

// A kept entry: its type, the size of its name and the name; no status,
// which a later walk reads anew where its filters need it.
size_t KeptSize(const Listing& listing) {
  size_t size = 0;
  for (const ListedEntry& entry : listing.entries) size += 2 + entry.size;
  return size;
}

void WriteKept(const Listing& listing, char* out) {
  for (const ListedEntry& entry : listing.entries) {
    out[0] = static_cast<char>(entry.type);
    out[1] = static_cast<char>(entry.size);
    std::memcpy(out + 2, listing.CNameOf(entry), entry.size);
    out += 2 + entry.size;
  }
}

void ReadKept(const char* at, size_t size, Listing* listing) {
  listing->names.clear();
  listing->entries.clear();
  listing->statuses.clear();
  for (const char* end = at + size; at < end;) {
    const size_t name_size = static_cast<unsigned char>(at[1]);
    listing->Add(static_cast<unsigned char>(at[0]), at + 2, name_size);
    at += 2 + name_size;
  }
  // Not followed by reads ahead: every subdirectory may stand.
  listing->FindSubdirectories(DescentRule(), 0);
}

}  // namespace

uint32_t RunListings::Remember(std::string_view dir, const Listing& listing) {
  if (!enabled_) return 0;
  if (used_slots_ * 2 >= slots_.size() && !Grow()) return 0;
  const size_t slot = FindSlot(dir);
  if (slots_[slot] != 0) return 0;
  const size_t kept_size = KeptSize(listing);
  const Header header{static_cast<uint32_t>(dir.size()),
                      static_cast<uint32_t>(kept_size),
                      static_cast<uint32_t>(used_slots_ + 1)};
  Place place;
  char* at = Room(sizeof header + dir.size() + kept_size, &place);
  if (at == nullptr) return 0;
  std::memcpy(at, &header, sizeof header);
  std::memcpy(at + sizeof header, dir.data(), dir.size());
  WriteKept(listing, at + sizeof header + dir.size());
  slots_[slot] = ((uint64_t{place.chunk} << 32) | place.offset) + 1;
  ++used_slots_;
  return header.number;
}

uint32_t RunListings::Recall(std::string_view dir, Listing* listing) const {
  if (!enabled_) return 0;
  const uint64_t value = slots_[FindSlot(dir)];
  if (value == 0) return 0;
  const Place place{static_cast<uint32_t>((value - 1) >> 32),
                    static_cast<uint32_t>(value - 1)};
  Header header;
  std::memcpy(&header, At(place), sizeof header);
  ReadKept(At(place) + sizeof header + header.text_size, header.entries_size,
           listing);
  return header.number;
}
