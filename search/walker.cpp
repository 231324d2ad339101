#include "search/walker.h"

#include <vector>

#include "frontend/search_settings.h"
#include "search/filter.h"
#include "search/path_presentation.h"
#include "services/file_system.h"
#include "services/output.h"

namespace {

// A directory on the current descent chain, below the walked one. Its
// identity is asked for only when a link has to be compared with it:
// without links no directory can be its own descendant.
struct ChainLink {
  size_t path_size = 0;  // its text is the walk's path up to here
  bool is_link = false;
  bool asked = false;
  bool known = false;
  FileIdentity id;
};

// How the walk prints true case: the walked directory's true-case text is
// resolved once, and every directory below it is its path with that text
// in front, since the walk enters each by its stored name.
enum class PrefixState { kUnknown, kKnown, kPerDirectory };

// What one walk carries from level to level. One path buffer serves every
// level, so that memory stays flat however deep the tree.
struct Walk {
  ScanCache* cache = nullptr;
  std::string mask_dir;  // what stands before it, with its delimiter
  std::string selection;  // the whole mask: mask_dir, then mask
  std::string path;      // the directory being walked, ending in a delimiter
  size_t start_size = 0;  // bytes of the walked directory's text in `path`
  PrefixState start_state = PrefixState::kUnknown;
  std::string start_prefix;  // the walked directory's true-case text
  std::vector<FileIdentity> ancestors;  // it and its real ancestors
  std::vector<ChainLink> chain;
  size_t links_on_chain = 0;
  std::string pattern;  // room for the scan patterns, reused at every level
};

// The pattern `walk.path` + `tail`, in the walk's reused room; it is read
// only while a scan opens.
const std::string& PatternOf(Walk& walk, std::string_view tail) {
  walk.pattern.assign(walk.path);
  walk.pattern.append(tail);
  return walk.pattern;
}

bool IsDotOrDotDot(const std::string& name) {
  return name.size() <= 2 && name[0] == '.' &&
         (name.size() == 1 || name[1] == '.');
}

// "." and ".." and volume labels are never candidates.
bool IsCandidate(const TSearchRec& rec) {
  return !IsDotOrDotDot(rec.Name) && (rec.Attr & kAttrVolumeLabel) == 0;
}

// How the entries of one directory are printed in true case: the text
// before their names is resolved at the first of them.
struct DirectoryPrinter {
  enum { kUnknown, kPrefix, kEachEntry } state = kUnknown;
  std::string prefix;
};

bool ResolvedPrefix(const std::string& dir, Walk& walk, std::string* prefix) {
  return TrueCasePrefixOfEntries(dir, walk.cache, prefix);
}

// The true-case text before the names of the entries being selected.
bool PrefixOfEntries(Walk& walk, std::string* prefix) {
  if (!walk.mask_dir.empty())
    return ResolvedPrefix(walk.path + walk.mask_dir, walk, prefix);
  if (walk.start_state == PrefixState::kUnknown)
    walk.start_state =
        ResolvedPrefix(walk.path.substr(0, walk.start_size), walk,
                       &walk.start_prefix)
            ? PrefixState::kKnown
            : PrefixState::kPerDirectory;
  if (walk.start_state == PrefixState::kPerDirectory)
    return ResolvedPrefix(walk.path, walk, prefix);
  *prefix = walk.start_prefix;
  prefix->append(walk.path, walk.start_size, std::string::npos);
  return true;
}

void WriteTrueCasePath(const std::string& name, Walk& walk,
                       DirectoryPrinter& printer) {
  if (printer.state == DirectoryPrinter::kUnknown)
    printer.state = PrefixOfEntries(walk, &printer.prefix)
                        ? DirectoryPrinter::kPrefix
                        : DirectoryPrinter::kEachEntry;
  if (printer.state == DirectoryPrinter::kPrefix) {
    WriteText(printer.prefix);
    WriteText(name);
  } else {
    WriteText(TrueCasePath(walk.path + walk.mask_dir + name));
  }
}

// One line: the entry's path in true case, or in short form with /vs.
void PrintEntry(const std::string& name, Walk& walk,
                DirectoryPrinter& printer) {
  ++SearchSettings.FoundCount;
  if (SearchSettings.ShortNames)
    WriteText(ShortPathOfEntry(walk.cache, walk.path + walk.mask_dir, name));
  else
    WriteTrueCasePath(name, walk, printer);
  WriteEntryEnd();
  CheckOutput();
}

// The entry fields the active filters read.
uint32_t FieldsTheFilterReads() {
  const uint8_t mask = SearchSettings.FilterMask;
  uint32_t wanted = 0;
  if (mask & kFilterReadOnly) wanted |= kWantReadOnly;
  if (mask & kFilterSize) wanted |= kWantSize;
  if (mask & (kFilterPeriod | kFilterAge)) wanted |= kWantTime;
  return wanted;
}

void SelectionPass(Walk& walk) {
  TSearchRec rec;
  rec.Wanted = FieldsTheFilterReads();
  rec.Cache = walk.cache;
  DirectoryPrinter printer;
  for (int found = OpenEntryScan(PatternOf(walk, walk.selection),
                                 kAttrMaskAll, rec);
       found == 0; found = NextEntry(rec)) {
    if (IsCandidate(rec) && MatchesFilter(rec))
      PrintEntry(rec.Name, walk, printer);
  }
  CloseEntryScan(rec);
}

bool OnChain(Walk& walk, const FileIdentity& id) {
  for (const FileIdentity& ancestor : walk.ancestors)
    if (ancestor == id) return true;
  for (ChainLink& link : walk.chain) {
    if (!link.asked) {
      link.known = DirectoryIdentityOf(walk.path.substr(0, link.path_size),
                                       &link.id, walk.cache);
      link.asked = true;
    }
    if (link.known && link.id == id) return true;
  }
  return false;
}

void SearchLevel(Walk& walk);

// Enters a subdirectory unless it leads back to a directory on the chain:
// a link, or any directory once a link is on the chain.
void Descend(const TSearchRec& rec, Walk& walk) {
  const size_t size = walk.path.size();
  walk.path += rec.Name;
  walk.path += NativeSyntax().delimiter;
  ChainLink link;
  link.path_size = walk.path.size();
  link.is_link = (rec.Attr & kAttrReparsePoint) != 0;
  if (link.is_link || walk.links_on_chain > 0) {
    link.asked = true;
    link.known = DirectoryIdentityOf(walk.path, &link.id, walk.cache);
  }
  if (!(link.known && OnChain(walk, link.id))) {
    walk.links_on_chain += link.is_link;
    walk.chain.push_back(link);
    SearchLevel(walk);
    walk.chain.pop_back();
    walk.links_on_chain -= link.is_link;
  }
  walk.path.resize(size);
}

void DescentPass(Walk& walk) {
  TSearchRec rec;
  // Only directories, and of them the directory and link bits, are read.
  rec.Wanted = kOnlyDirectories;
  rec.Cache = walk.cache;
  for (int found = OpenEntryScan(PatternOf(walk, "*.*"), kAttrMaskAll, rec);
       found == 0; found = NextEntry(rec)) {
    if (IsCandidate(rec) && (rec.Attr & kAttrDirectory) != 0)
      Descend(rec, walk);
  }
  CloseEntryScan(rec);
}

// walk.path ends in a delimiter (or is empty).
void SearchLevel(Walk& walk) {
  ++SearchSettings.DirCount;
  SelectionPass(walk);
  if (SearchSettings.Recursive) DescentPass(walk);
}

// The walked directory and its real ancestors up to the root: a link to any
// of them (such as one to "/") would lead back into the walk.
std::vector<FileIdentity> StartingChain(const std::string& dir,
                                        ScanCache* cache) {
  constexpr int kMaxAncestors = 4096;
  std::vector<FileIdentity> chain;
  std::string path = dir;
  FileIdentity id;
  for (int i = 0; i < kMaxAncestors && DirectoryIdentityOf(path, &id, cache);
       ++i) {
    if (!chain.empty() && chain.back() == id) break;  // the root
    chain.push_back(id);
    path = WithTrailingBackslash(path) + "..";
  }
  return chain;
}

// The mask's text up to and with its last delimiter: a mask may name
// entries of a subdirectory.
size_t MaskDirectorySize(const std::string& mask) {
  return LastDelimiterPos(std::string(1, NativeSyntax().delimiter), mask);
}

}  // namespace

void SearchDirectory(const std::string& dir, const std::string& mask,
                     ScanCache* cache) {
  Walk walk;
  walk.cache = cache;
  const size_t mask_dir_size = MaskDirectorySize(mask);
  walk.mask_dir = mask.substr(0, mask_dir_size);
  walk.selection = mask;
  walk.path = WithTrailingBackslash(dir);
  walk.start_size = walk.path.size();
  if (SearchSettings.Recursive)
    walk.ancestors = StartingChain(walk.path, cache);
  SearchLevel(walk);
}
