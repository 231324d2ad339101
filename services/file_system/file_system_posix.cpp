// File-system services on POSIX. The entry scan emulates the Windows one:
// the last component of a pattern is a wildcard mask or an exact name,
// matched without regard to case, and directory parts that do not exist as
// typed are found ignoring case, so paths typed in any case work as they do
// on Windows.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "services/case_fold.h"
#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/path_lookup_posix.h"
#include "services/scan_cache_posix.h"
#include "services/wildcard.h"

// A scan works on the directory's whole listing, read at once; an exact
// name is first looked up as typed, and the listing read only for the
// entries that differ from it in case.
struct EntryScanState {
  ScanCachePtr own_cache;  // where the caller handed none
  ScanCache* cache = nullptr;
  Frame* frame = nullptr;  // the listing taken, once taken
  std::string dir;
  std::string mask;       // the mask, or the exact name looked for
  const CompiledMask* matcher = nullptr;  // for a mask, prepared once
  bool exact = false;
  std::string delivered;  // the exact name delivered as typed
  size_t next = 0;        // offset of the next listed entry
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  if (state->frame) ReleaseListing(*state->cache, state->frame, true);
  delete state;
}

namespace {

// Result code at the end of a scan and for a pattern that selects nothing.
constexpr int kNoMoreEntries = ENOENT;

int32_t PackDosTime(const struct tm& t) {
  uint32_t date = static_cast<uint32_t>(((t.tm_year + 1900 - 1980) << 9) |
                                        ((t.tm_mon + 1) << 5) | t.tm_mday);
  uint32_t time = static_cast<uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) |
                                        (t.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

// Last-write time as a local MS-DOS date-time; times outside the format's
// range are clamped to its nearest end so they still order correctly.
int32_t DosTimeOf(time_t mtime) {
  struct tm t;
  if (localtime_r(&mtime, &t) == nullptr)
    return mtime < 0 ? kEarliestDosTime : kLatestDosTime;
  int year = t.tm_year + 1900;
  if (year < 1980) return kEarliestDosTime;
  if (year > 2107) return kLatestDosTime;
  if (t.tm_sec > 59) t.tm_sec = 59;  // a leap second
  return PackDosTime(t);
}

bool IsHiddenName(const char* name) {
  return name[0] == '.' && name[1] != '\0' &&
         !(name[1] == '.' && name[2] == '\0');
}

// The fields of one entry, gathered before they are delivered, so that a
// scan that ends keeps the last delivered entry in the record.
struct EntryFields {
  uint32_t attr = 0;
  int64_t size = 0;
  int32_t time = 0;
};

// Fields from a status (of the link's target where `is_link`). The time
// costs a local-time conversion, made only when `wanted`.
EntryFields FieldsOf(const char* name, const struct stat& st, bool is_link,
                     uint32_t wanted) {
  EntryFields f;
  f.attr = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    f.attr |= kAttrReadOnly;
  if (IsHiddenName(name)) f.attr |= kAttrHidden;
  if (is_link) f.attr |= kAttrReparsePoint;
  f.size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
  if ((wanted & kWantTime) != 0) f.time = DosTimeOf(st.st_mtime);
  return f;
}

// Fields of `name` in the open directory `fd`; a link reports what it
// points to, a dangling one its own data. False when it is gone.
bool StatEntry(ScanCache& cache, int fd, const char* name, uint32_t wanted,
               EntryFields* fields) {
  struct stat st;
  if (fd < 0 || cache.reader->StatAt(fd, name, &st, false) != 0) return false;
  const bool is_link = S_ISLNK(st.st_mode);
  if (is_link) cache.reader->StatAt(fd, name, &st, true);
  *fields = FieldsOf(name, st, is_link, wanted);
  return true;
}

int DescriptorOf(ScanCache& cache, const Frame* frame) {
  for (size_t m = cache.frames.size(); m-- > 0;)
    if (cache.frames[m].get() == frame) return FrameDescriptor(cache, m);
  return -1;
}

// Fields of a listed entry. The listing's type answers the directory and
// archive bits; a status is asked for only where a wanted field or a link
// (whose target decides) needs one.
bool ListedEntryFields(EntryScanState& state, const ListedEntry& entry,
                       uint32_t wanted, EntryFields* fields) {
  if ((wanted & kWantAll) != 0 || entry.type == DT_LNK ||
      entry.type == DT_UNKNOWN)
    return StatEntry(*state.cache, DescriptorOf(*state.cache, state.frame),
                     entry.name, wanted, fields);
  fields->attr = entry.type == DT_DIR ? kAttrDirectory : kAttrArchive;
  if (IsHiddenName(entry.name)) fields->attr |= kAttrHidden;
  return true;
}

void Deliver(const EntryFields& fields, const char* name, size_t size,
             TSearchRec& rec) {
  rec.Attr = fields.attr;
  rec.Size = fields.size;
  rec.Time = fields.time;
  rec.Name.assign(name, size);
}

bool Selects(const EntryScanState& state, const ListedEntry& entry) {
  if (!state.exact)
    return state.matcher->Matches(std::string_view(entry.name, entry.size));
  return EqualsIgnoringCase(std::string_view(entry.name, entry.size),
                            state.mask) &&
         state.delivered.compare(0, std::string::npos, entry.name,
                                 entry.size) != 0;
}

// Delivers the next listed entry that the scan selects and does not skip.
int DeliverFromListing(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  ListedEntry entry;
  const bool only_directories = (rec.Wanted & kOnlyDirectories) != 0;
  while (NextListedEntry(state.frame->listing, &state.next, &entry)) {
    if (only_directories && entry.type != DT_DIR && entry.type != DT_LNK &&
        entry.type != DT_UNKNOWN)
      continue;
    if (!Selects(state, entry)) continue;
    EntryFields fields;
    if (!ListedEntryFields(state, entry, rec.Wanted, &fields)) continue;
    if ((fields.attr & rec.SkipMask) != 0) continue;
    Deliver(fields, entry.name, entry.size, rec);
    return 0;
  }
  return kNoMoreEntries;
}

// Delivers the entry of the exact name `name`, when it exists and is not
// skipped.
bool DeliverExact(EntryScanState& state, int fd, const std::string& name,
                  TSearchRec& rec) {
  EntryFields fields;
  if (!StatEntry(*state.cache, fd, name.c_str(), rec.Wanted, &fields) ||
      (fields.attr & rec.SkipMask) != 0)
    return false;
  Deliver(fields, name.data(), name.size(), rec);
  state.delivered = name;
  return true;
}

// The entries an exact name selects besides the one spelled as typed: every
// other entry equal to it but for case; when none is, the entries equal to
// it without trailing dots and spaces, as Windows takes the name.
int DeliverOtherSpellings(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  if (state.frame == nullptr) {
    if (state.mask == "." || state.mask == "..") return kNoMoreEntries;
    if (TakeListing(*state.cache, state.dir, &state.frame) != 0)
      return kNoMoreEntries;
    const Listing& listing = state.frame->listing;
    if (state.delivered.empty() &&
        StoredSpellingIn(listing, state.mask).empty()) {
      state.mask = std::string(TrimmedMask(state.mask));
      if (StoredSpellingIn(listing, state.mask) == state.mask &&
          DeliverExact(state, DescriptorOf(*state.cache, state.frame),
                       state.mask, rec))
        return 0;
    }
  }
  return DeliverFromListing(rec);
}

// The walker scans every directory with the same two masks: each is
// prepared once per run, not once per directory.
const CompiledMask* CompiledMaskFor(ScanCache& cache, const std::string& mask) {
  for (const auto& known : cache.masks)
    if (known.first == mask) return known.second.get();
  constexpr size_t kKeptMasks = 8;
  if (cache.masks.size() == kKeptMasks) cache.masks.clear();
  cache.masks.emplace_back(mask, std::make_unique<CompiledMask>(mask));
  return cache.masks.back().second.get();
}

int OpenExactScan(EntryScanState& state, TSearchRec& rec) {
  const int fd = OpenDirectory(*state.cache, state.dir);
  if (fd < 0) return errno != 0 ? errno : kNoMoreEntries;
  const bool found = DeliverExact(state, fd, state.mask, rec);
  state.cache->reader->Close(fd);
  if (found) return 0;
  if (state.mask == "." || state.mask == "..") return kNoMoreEntries;
  return DeliverOtherSpellings(rec);
}

}  // namespace

int OpenEntryScan(const std::string& pattern, uint8_t attr_mask,
                  TSearchRec& rec) {
  CloseEntryScan(rec);
  rec.SkipMask = SkipMaskOf(attr_mask);
  const size_t slash = pattern.rfind('/');
  const std::string_view whole(pattern);
  const std::string_view dir = slash == std::string::npos ? std::string_view()
                               : slash == 0 ? whole.substr(0, 1)
                                            : whole.substr(0, slash);
  auto state = std::make_unique<EntryScanState>();
  state->mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (state->mask.empty()) return kNoMoreEntries;
  state->cache = rec.Cache;
  if (state->cache == nullptr) {
    state->own_cache = NewScanCacheForOneCall();
    state->cache = state->own_cache.get();
  }
  state->exact = !HasWildcards(state->mask);
  EntryScanState* scan = state.get();
  rec.Scan.reset(state.release());
  int result;
  if (scan->exact) {
    // An exact scan reads its directory again for the other spellings; a
    // mask scan holds no text, as an open scan per level of a deep tree
    // must not hold the whole path each.
    scan->dir.assign(dir);
    result = OpenExactScan(*scan, rec);
  } else {
    scan->matcher = CompiledMaskFor(*scan->cache, scan->mask);
    result = TakeListing(*scan->cache, dir, &scan->frame);
    if (result == 0) result = DeliverFromListing(rec);
  }
  if (result != 0) CloseEntryScan(rec);
  return result;
}

int NextEntry(TSearchRec& rec) {
  if (!rec.Scan) return kNoMoreEntries;
  if (rec.Scan->exact) return DeliverOtherSpellings(rec);
  return DeliverFromListing(rec);
}

void CloseEntryScan(TSearchRec& rec) { rec.Scan.reset(); }

bool IsExistingFile(const std::string& path) {
  TSearchRec rec;
  return OpenEntryScan(path, kAttrMaskAll, rec) == 0 &&
         (rec.Attr & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  ScanCachePtr cache = NewScanCacheForOneCall();
  struct stat st;
  return StatPath(*cache, path, &st, true) && S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
  // The C library finds a current directory longer than the system call
  // returns by walking up through "..".
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

const PathSyntax& NativeSyntax() { return kPosixSyntax; }

bool DirectoryIdentityOf(const std::string& path, FileIdentity* identity,
                         ScanCache* cache) {
  ScanCachePtr own;
  if (cache == nullptr) {
    own = NewScanCacheForOneCall();
    cache = own.get();
  }
  struct stat st;
  if (!StatPath(*cache, path, &st, true) || !S_ISDIR(st.st_mode)) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->file = static_cast<uint64_t>(st.st_ino);
  return true;
}
