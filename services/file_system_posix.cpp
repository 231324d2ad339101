// File-system services on POSIX. The entry scan emulates the Windows one:
// the last component of a pattern is a wildcard mask or an exact name,
// matched without regard to ASCII case, and directory parts that do not
// exist as typed are found ignoring case, so paths typed in any case work
// as they do on Windows.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "services/directory_listing_posix.h"
#include "services/file_system.h"
#include "services/path_lookup_posix.h"
#include "services/wildcard.h"

// A mask scan works on the directory's whole listing, read at once.
struct EntryScanState {
  DirectoryListing listing;
  std::string mask;
  size_t next = 0;  // offset of the next record
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  ReleaseListing(&state->listing, /*keep=*/true);
  delete state;
}

namespace {

// Result code at the end of a scan and for a pattern that selects nothing.
constexpr int kNoMoreEntries = ENOENT;

// Packed values for the ends of the MS-DOS range: 1980-01-01 00:00:00 and
// 2107-12-31 23:59:58.
constexpr int32_t kEarliestDosTime = 0x00210000;
constexpr int32_t kLatestDosTime = static_cast<int32_t>(0xFF9FBF7Du);

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

// Fields from a status (of the link's target where `is_link`).
EntryFields FieldsOf(const char* name, const struct stat& st, bool is_link) {
  EntryFields f;
  f.attr = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    f.attr |= kAttrReadOnly;
  if (IsHiddenName(name)) f.attr |= kAttrHidden;
  if (is_link) f.attr |= kAttrReparsePoint;
  f.size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
  f.time = DosTimeOf(st.st_mtime);
  return f;
}

// Fields of `name` in the listed directory; a link reports what it points
// to, a dangling one its own data. False when it is gone.
bool StatEntry(const DirectoryListing& listing, const char* name,
               EntryFields* fields) {
  struct stat st;
  bool is_link = false;
  if (listing.fd >= 0) {
    if (fstatat(listing.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    is_link = S_ISLNK(st.st_mode);
    if (is_link) fstatat(listing.fd, name, &st, 0);
  } else {
    const std::string path = JoinPath(listing.disk_dir, name);
    if (lstat(path.c_str(), &st) != 0) return false;
    is_link = S_ISLNK(st.st_mode);
    if (is_link) stat(path.c_str(), &st);
  }
  *fields = FieldsOf(name, st, is_link);
  return true;
}

// Fields of a listed entry. The listing's type answers the directory and
// archive bits; a status is asked for only where a wanted field or a link
// (whose target decides) needs one.
bool ListedEntryFields(const DirectoryListing& listing,
                       const struct dirent64& entry, uint32_t wanted,
                       EntryFields* fields) {
  unsigned char type = entry.d_type;
  if (wanted != 0 || type == DT_LNK || type == DT_UNKNOWN)
    return StatEntry(listing, entry.d_name, fields);
  fields->attr = type == DT_DIR ? kAttrDirectory : kAttrArchive;
  if (IsHiddenName(entry.d_name)) fields->attr |= kAttrHidden;
  return true;
}

void Deliver(const EntryFields& fields, const char* name, TSearchRec& rec) {
  rec.Attr = fields.attr;
  rec.Size = fields.size;
  rec.Time = fields.time;
  rec.Name.assign(name);
}

// Delivers the next entry of a mask scan that matches and is not skipped.
int DeliverFromListing(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  const RecordBuffer& records = state.listing.records;
  while (state.next < records.size) {
    const auto* entry =
        reinterpret_cast<const struct dirent64*>(records.data.get() + state.next);
    state.next += entry->d_reclen;
    if (!MatchesWildcard(state.mask, entry->d_name)) continue;
    EntryFields fields;
    if (!ListedEntryFields(state.listing, *entry, rec.Wanted, &fields))
      continue;
    if ((fields.attr & rec.SkipMask) != 0) continue;
    Deliver(fields, entry->d_name, rec);
    return 0;
  }
  return kNoMoreEntries;
}

// The stored spelling of `name` in a listing, ignoring ASCII case; empty
// when there is none.
std::string FindInListing(const DirectoryListing& listing,
                          const std::string& name) {
  const RecordBuffer& records = listing.records;
  for (size_t next = 0; next < records.size;) {
    const auto* entry =
        reinterpret_cast<const struct dirent64*>(records.data.get() + next);
    next += entry->d_reclen;
    if (EqualsIgnoringAsciiCase(entry->d_name, name)) return entry->d_name;
  }
  return std::string();
}

// The stored spelling of `name` in `dir` when it does not exist as typed,
// found through the directory's listing; the directory found on disk goes
// to `disk_dir`.
std::string FindIgnoringCaseInListing(const std::string& dir,
                                      const std::string& name,
                                      std::string* disk_dir) {
  DirectoryListing listing;
  if (TakeListing(dir, &listing) != 0) return std::string();
  std::string stored = FindInListing(listing, name);
  *disk_dir = listing.disk_dir;
  ReleaseListing(&listing, /*keep=*/false);
  return stored;
}

// Delivers the one entry an exact name selects: as typed, else ignoring case.
int DeliverExactName(const std::string& dir, const std::string& name,
                     TSearchRec& rec) {
  std::string stored = name;
  std::string path = JoinPath(dir, name);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (name == "." || name == "..") return kNoMoreEntries;
    std::string disk_dir;
    stored = FindIgnoringCaseInListing(dir, name, &disk_dir);
    if (stored.empty()) return kNoMoreEntries;
    path = JoinPath(disk_dir, stored);
    if (lstat(path.c_str(), &st) != 0) return kNoMoreEntries;
  }
  bool is_link = S_ISLNK(st.st_mode);
  if (is_link) stat(path.c_str(), &st);
  EntryFields fields = FieldsOf(stored.c_str(), st, is_link);
  if ((fields.attr & rec.SkipMask) != 0) return kNoMoreEntries;
  Deliver(fields, stored.c_str(), rec);
  return 0;
}

}  // namespace

int OpenEntryScan(const std::string& pattern, uint8_t attr_mask,
                  TSearchRec& rec) {
  CloseEntryScan(rec);
  rec.SkipMask = ~static_cast<uint32_t>(attr_mask) & 0x1E;
  size_t slash = pattern.rfind('/');
  std::string dir = slash == std::string::npos ? ""
                    : slash == 0               ? "/"
                                               : pattern.substr(0, slash);
  std::string last =
      slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (last.empty()) return kNoMoreEntries;
  if (!HasWildcards(last)) return DeliverExactName(dir, last, rec);
  auto state = std::make_unique<EntryScanState>();
  if (int error = TakeListing(dir, &state->listing)) return error;
  state->mask = last;
  rec.Scan.reset(state.release());
  int result = DeliverFromListing(rec);
  if (result != 0) CloseEntryScan(rec);
  return result;
}

int NextEntry(TSearchRec& rec) {
  if (!rec.Scan) return kNoMoreEntries;
  return DeliverFromListing(rec);
}

void CloseEntryScan(TSearchRec& rec) { rec.Scan.reset(); }

bool IsExistingFile(const std::string& path) {
  TSearchRec rec;
  return OpenEntryScan(path, kAttrMaskAll, rec) == 0 &&
         (rec.Attr & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  struct stat st;
  return StatAnyCase(path, &st) && S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

const PathSyntax& NativeSyntax() { return kPosixSyntax; }

bool DirectoryIdentityOf(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (!StatAnyCase(path, &st) || !S_ISDIR(st.st_mode)) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->file = static_cast<uint64_t>(st.st_ino);
  return true;
}
