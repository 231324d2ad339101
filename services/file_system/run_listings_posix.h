// Listings kept for the rest of a run that walks its trees more than once
// (several masks or search paths). The later walks meet the directories in
// the order the first one read them, so the first ones read are kept until
// a fixed budget is spent: memory grows with the tree up to that cap and no
// further, however big the tree. A directory is known by a key its caller
// makes (its parent's number and its name), never by its whole path.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_RUN_LISTINGS_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_RUN_LISTINGS_POSIX_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/file_system/listing_posix.h"

class RunListings {
 public:
  // The most the kept listings take, their texts and index included.
  static constexpr size_t kBudgetBytes = 5 << 20;

  // Starts keeping listings; until then Remember and Recall do nothing.
  void Enable();
  bool enabled() const { return enabled_; }
  // Keeps the listing of the directory known by `key` while the budget
  // allows; the number it is kept under (never 0), or 0 when not kept.
  uint32_t Remember(std::string_view key, const Listing& listing);
  // Fills `listing` with the kept listing of `key`; its number, or 0 when
  // none is kept.
  uint32_t Recall(std::string_view key, Listing* listing) const;

 private:
  static constexpr size_t kChunkBytes = 256 << 10;
  struct Place {
    uint32_t chunk, offset;
  };
  const char* At(Place place) const;
  size_t FindSlot(std::string_view dir) const;
  bool SameText(uint64_t slot_value, std::string_view dir) const;
  bool Grow();
  char* Room(size_t size, Place* place);

  bool enabled_ = false;
  std::vector<std::unique_ptr<char[]>> chunks_;  // filled from the front
  size_t chunk_used_ = 0;                       // bytes used of the last
  size_t spent_ = 0;                            // bytes of the budget used
  std::vector<uint64_t> slots_;  // chunk << 32 | offset, plus 1; or 0
  size_t used_slots_ = 0;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_RUN_LISTINGS_POSIX_H_
