// File-system services on POSIX. The entry scan emulates the Windows one
// over a directory's listing: a wildcard mask or an exact name, matched
// without regard to case; paths typed in any case are found as they are on
// Windows. Every directory is opened relative to its parent's descriptor.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "services/case_fold.h"
#include "services/checks.h"
#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/file_system/session_posix.h"
#include "services/wildcard.h"

// A scan works on the directory's whole listing, read once per directory;
// an exact name is first looked up as typed, and the listing read only for
// the entries that differ from it in case.
struct EntryScanState {
  Directory* dir = nullptr;
  const Listing* listing = nullptr;  // once taken
  std::string mask;       // the mask, or the exact name looked for
  std::shared_ptr<const CompiledMask> matcher;  // for a mask, prepared once
  bool exact = false;
  std::string delivered;  // the exact name delivered as typed
  size_t next = 0;        // index of the next listed entry
  // The delivered entry's place among the subdirectories read ahead, when a
  // wildcard scan delivered it from the listing; -1 otherwise.
  int32_t child = -1;
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  delete state;
}

namespace {

// Result code at the end of a scan and for a pattern that selects nothing.
constexpr int kNoMoreEntries = ENOENT;

bool IsHiddenName(std::string_view name) {
  return name.size() > 0 && name[0] == '.' && !IsDotName(name);
}

// The fields of one entry, gathered before they are delivered, so that a
// scan that ends keeps the last delivered entry in the record.
struct EntryFields {
  uint32_t attr = 0;
  int64_t size = 0;
  int32_t time = 0;
};

// Fields from a status; the time only when `wanted`.
EntryFields FieldsOf(FileSystemSession& session, std::string_view name,
                     const ListedStatus& status, uint32_t wanted) {
  EntryFields f;
  f.attr = status.attr;
  if (IsHiddenName(name)) f.attr |= kAttrHidden;
  f.size = status.size;
  if ((wanted & kWantTime) != 0) f.time = session.dos_times.Of(status.mtime);
  return f;
}

// Fields of `name` in `dir`, read now; false when it is gone.
bool StatEntry(Directory& dir, const char* name, uint32_t wanted,
               EntryFields* fields) {
  const int fd = DescriptorOf(dir);
  ListedStatus status;
  if (fd < 0 || !ReadListedStatus(*dir.session->reader, fd, name, &status))
    return false;
  *fields = FieldsOf(*dir.session, name, status, wanted);
  return true;
}

// Fields of a listed entry. The listing's type answers the directory and
// archive bits; a status is needed only where a wanted field or a link
// (whose target decides) asks for one, and then the one read with the
// listing serves, if any.
bool ListedEntryFields(Directory& dir, const Listing& listing,
                       const ListedEntry& entry, uint32_t wanted,
                       EntryFields* fields) {
  const std::string_view name = listing.NameOf(entry);
  if (!NeedsStatus(entry.type, wanted)) {
    fields->attr = entry.type == DT_DIR ? kAttrDirectory : kAttrArchive;
    if (IsHiddenName(name)) fields->attr |= kAttrHidden;
    fields->size = 0;  // a directory's; no other entry's is asked for
    return true;
  }
  if (entry.has_status) {
    const size_t index = static_cast<size_t>(&entry - listing.entries.data());
    *fields = FieldsOf(*dir.session, name, listing.statuses[index], wanted);
    return true;
  }
  if (entry.gone) return false;
  return StatEntry(dir, listing.CNameOf(entry), wanted, fields);
}

void Deliver(const EntryFields& fields, const char* name, size_t size,
             TSearchRec& rec) {
  rec.Attr = fields.attr;
  rec.Size = fields.size;
  rec.Time = fields.time;
  rec.Name.assign(name, size);
}

bool Selects(const EntryScanState& state, std::string_view name) {
  if (!state.exact) return state.matcher->Matches(name);
  return EqualsIgnoringCase(name, state.mask) && state.delivered != name;
}

// Delivers the next listed entry that the scan selects.
int DeliverFromListing(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  const Listing& listing = *state.listing;
  const bool only_directories = (rec.Wanted & kOnlyDirectories) != 0;
  const bool no_dots = (rec.Wanted & kNoDotEntries) != 0;
  while (state.next < listing.entries.size()) {
    const ListedEntry& entry = listing.entries[state.next++];
    if (only_directories && entry.type != DT_DIR && entry.type != DT_LNK &&
        entry.type != DT_UNKNOWN)
      continue;
    const std::string_view name = listing.NameOf(entry);
    if (no_dots && IsDotName(name)) continue;
    if (!Selects(state, name)) continue;
    EntryFields fields;
    if (!ListedEntryFields(*state.dir, listing, entry, rec.Wanted, &fields))
      continue;
    Deliver(fields, listing.CNameOf(entry), entry.size, rec);
    state.child = state.exact ? -1 : entry.child;
    return 0;
  }
  return kNoMoreEntries;
}

// Delivers the entry of the exact name `name`, when it exists.
bool DeliverExact(EntryScanState& state, const std::string& name,
                  TSearchRec& rec) {
  EntryFields fields;
  if (!StatEntry(*state.dir, name.c_str(), rec.Wanted, &fields)) return false;
  Deliver(fields, name.data(), name.size(), rec);
  state.delivered = name;
  state.child = -1;
  return true;
}

// The entries an exact name selects besides the one spelt as typed: every
// other entry equal to it but for case; when none is, the entries equal to
// it without trailing dots and blanks, as Windows takes the name.
int DeliverOtherSpellings(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  if (state.listing == nullptr) {
    if (IsDotName(state.mask)) return kNoMoreEntries;
    state.listing = ListingOf(*state.dir);
    if (state.listing == nullptr) return kNoMoreEntries;
    // No entry equal to the name but for case: the name without its
    // trailing dots and blanks stands for it, the spelling as typed first.
    const std::string stored = StoredNameIn(*state.listing, state.mask);
    if (state.delivered.empty() && !EqualsIgnoringCase(stored, state.mask)) {
      state.mask.assign(TrimmedMask(state.mask));
      if (stored == state.mask && DeliverExact(state, stored, rec)) return 0;
    }
  }
  return DeliverFromListing(rec);
}

int OpenExactScan(EntryScanState& state, TSearchRec& rec) {
  if (DescriptorOf(*state.dir) < 0)
    return state.dir->error != 0 ? state.dir->error : kNoMoreEntries;
  if (DeliverExact(state, state.mask, rec)) return 0;
  return DeliverOtherSpellings(rec);
}

DirectoryPtr NewDirectory(FileSystemSession& session) {
  DirectoryPtr dir(new Directory);
  dir->session = &session;
  return dir;
}

// A directory opened from the descriptor `fd`, standing on its own.
DirectoryPtr RootDirectory(FileSystemSession& session, int fd) {
  DirectoryPtr dir = NewDirectory(session);
  dir->fd = fd;
  dir->opened = true;
  ++session.held;
  return dir;
}

// Opens `name` in the open directory `at` as typed, else by the stored
// name it stands for; -1 with errno set on failure.
int OpenComponent(FileSystemSession& session, int at, const std::string& name) {
  const int fd = OpenBelow(session, at, name.c_str(), true);
  if (fd >= 0 || errno != ENOENT || IsDotName(name)) return fd;
  const int listed = OpenBelow(session, at, ".", true);
  if (listed < 0) return -1;
  Listing listing;
  const bool read = ReadListing(*session.reader, listed, &session.records,
                                ListingWants(), 0, &listing);
  session.reader->Close(listed);
  const std::string stored = read ? StoredNameIn(listing, name) : std::string();
  if (stored.empty()) {
    errno = ENOENT;
    return -1;
  }
  return OpenBelow(session, at, stored.c_str(), true);
}

// Opens the typed `path` one component at a time from the root or the
// current directory: no text longer than a name reaches the system.
int OpenComponents(FileSystemSession& session, const std::string& path) {
  int fd = OpenBelow(session, AT_FDCWD, path[0] == '/' ? "/" : ".", true);
  for (size_t start = 0; fd >= 0 && start < path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      const int next = OpenComponent(session, fd, path.substr(start, end - start));
      const int error = errno;
      session.reader->Close(fd);
      errno = error;
      fd = next;
    }
    start = end + 1;
  }
  return fd;
}

}  // namespace

DirectoryPtr OpenTypedDirectory(FileSystemSession& session,
                                const std::string& path) {
  // Most paths open as typed at once; the rest one component at a time.
  constexpr size_t kLongPath = PATH_MAX / 2;
  int fd = -1;
  if (path.size() < kLongPath) {
    fd = OpenBelow(session, AT_FDCWD, path.empty() ? "." : path.c_str(), true);
    if (fd < 0 && errno != ENOENT && errno != ENAMETOOLONG) return nullptr;
  }
  if (fd < 0 && !path.empty()) fd = OpenComponents(session, path);
  if (fd < 0) return nullptr;
  return RootDirectory(session, fd);
}

DirectoryPtr OpenSubdirectory(Directory& parent, const TSearchRec& entry) {
  DirectoryPtr dir = NewDirectory(*parent.session);
  dir->parent = &parent;
  dir->name = entry.Name;
  dir->level = parent.level + 1;
  // An entry listed as a directory is opened only as one: should it have
  // become a link since, it is not followed to wherever that leads.
  dir->follow = (entry.Attr & kAttrReparsePoint) != 0;
  // Only an entry a wildcard scan of `parent` delivered from its listing
  // has a place among the subdirectories read ahead.
  const EntryScanState* scan = entry.Scan.get();
  if (parent.ahead != nullptr && scan != nullptr && scan->dir == &parent &&
      scan->child >= 0 && !dir->follow)
    dir->ahead = parent.session->ahead->TakeChild(
        parent.ahead, static_cast<size_t>(scan->child));
  return dir;
}

bool DetachFromParent(Directory& dir) {
  if (dir.parent == nullptr) return true;
  dir.detaching = true;
  if (DescriptorOf(dir) < 0) return false;
  dir.parent = nullptr;
  dir.run_number = 0;
  return true;
}

bool IdentityOf(Directory& dir, FileIdentity* identity) {
  if (!dir.identity_known) {
    const int fd = DescriptorOf(dir);
    if (fd < 0 || !ReadIdentity(*dir.session->reader, fd, &dir.identity))
      return false;
    dir.identity_known = true;
  }
  *identity = dir.identity;
  return true;
}

int OpenEntryScan(Directory& dir, const std::string& mask, uint8_t attr_mask,
                  TSearchRec& rec) {
  KESTRIV_CHECK(attr_mask == kAttrMaskAll);
  CloseEntryScan(rec);
  if (mask.empty()) return kNoMoreEntries;
  rec.Scan.reset(new EntryScanState);
  EntryScanState& state = *rec.Scan;
  state.dir = &dir;
  state.mask = mask;
  state.exact = !HasWildcards(mask);
  int result;
  if (state.exact) {
    result = OpenExactScan(state, rec);
  } else {
    state.matcher = CompiledMaskFor(*dir.session, mask);
    state.listing = ListingOf(dir);
    result = state.listing == nullptr
                 ? (dir.error != 0 ? dir.error : kNoMoreEntries)
                 : DeliverFromListing(rec);
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

namespace {

// The entry the last component of `path` names, delivered into `rec` from
// a scan of the directory before it; false when there is none.
bool FindEntry(FileSystemSession& session, const std::string& path,
               TSearchRec& rec) {
  const size_t cut = LastDelimiterPos("/", path);
  DirectoryPtr dir = OpenTypedDirectory(session, ParentPart(path, kPosixSyntax));
  rec.Wanted = 0;
  return dir && OpenEntryScan(*dir, path.substr(cut), kAttrMaskAll, rec) == 0;
}

}  // namespace

bool IsExistingFile(const std::string& path) {
  FileSystemSessionPtr session = NewOneCallSession();
  TSearchRec rec;
  return FindEntry(*session, path, rec) && (rec.Attr & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::string trimmed = path.substr(0, end);
  FileSystemSessionPtr session = NewOneCallSession();
  if (trimmed.empty() || trimmed == "/")
    return OpenTypedDirectory(*session, trimmed) != nullptr;
  TSearchRec rec;
  return FindEntry(*session, trimmed, rec) &&
         (rec.Attr & kAttrDirectory) != 0;
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
