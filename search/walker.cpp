#include "search/walker.h"

#include <vector>

#include "frontend/search_settings.h"
#include "search/filter.h"
#include "search/path_presentation.h"
#include "services/file_system.h"
#include "services/output.h"

namespace {

// A directory on the current descent chain. Its identity is asked for only
// when a link has to be compared with it: without links no directory can
// be its own descendant.
struct ChainLink {
  std::string path;
  bool asked = false;
  bool known = false;
  FileIdentity id;
};

// What one walk carries from level to level.
struct Walk {
  std::string mask;
  // The search path's real ancestors, then the directories being walked.
  std::vector<ChainLink> chain;
  TrueCaseCache true_case;
};

bool IsDotOrDotDot(const std::string& name) {
  return name == "." || name == "..";
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

void WriteTrueCasePath(const std::string& dir, const std::string& name,
                       Walk& walk, DirectoryPrinter& printer) {
  if (printer.state == DirectoryPrinter::kUnknown)
    printer.state =
        TrueCasePrefixOfEntries(dir, &walk.true_case, &printer.prefix)
            ? DirectoryPrinter::kPrefix
            : DirectoryPrinter::kEachEntry;
  if (printer.state == DirectoryPrinter::kPrefix) {
    WriteText(printer.prefix);
    WriteText(name);
  } else {
    WriteText(TrueCasePath(dir + name));
  }
}

// One line: the entry's path in true case, or in short form with /vs.
void PrintEntry(const std::string& dir, const std::string& name, Walk& walk,
                DirectoryPrinter& printer) {
  ++SearchSettings.FoundCount;
  if (SearchSettings.ShortNames)
    WriteText(ShortPathOfEntry(dir, name));
  else
    WriteTrueCasePath(dir, name, walk, printer);
  WriteLineEnd();
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

void SelectionPass(const std::string& dir, Walk& walk) {
  TSearchRec rec;
  rec.Wanted = FieldsTheFilterReads();
  DirectoryPrinter printer;
  for (int found = OpenEntryScan(dir + walk.mask, kAttrMaskAll, rec);
       found == 0; found = NextEntry(rec)) {
    if (IsCandidate(rec) && MatchesFilter(rec))
      PrintEntry(dir, rec.Name, walk, printer);
  }
  CloseEntryScan(rec);
}

bool OnChain(Walk& walk, const FileIdentity& id) {
  for (ChainLink& link : walk.chain) {
    if (!link.asked) {
      link.known = DirectoryIdentityOf(link.path, &link.id);
      link.asked = true;
    }
    if (link.known && link.id == id) return true;
  }
  return false;
}

void SearchLevel(const std::string& dir, Walk& walk);

// Enters a subdirectory unless it is a link back to one of the directories
// being walked.
void Descend(const std::string& dir, const TSearchRec& rec, Walk& walk) {
  const std::string subdir = WithTrailingBackslash(dir + rec.Name);
  ChainLink link;
  link.path = subdir;
  if ((rec.Attr & kAttrReparsePoint) != 0) {
    link.asked = true;
    link.known = DirectoryIdentityOf(subdir, &link.id);
    if (link.known && OnChain(walk, link.id)) return;
  }
  NoteListedDirectory(&walk.true_case, dir + rec.Name, rec.Name);
  walk.chain.push_back(std::move(link));
  SearchLevel(subdir, walk);
  walk.chain.pop_back();
}

void DescentPass(const std::string& dir, Walk& walk) {
  TSearchRec rec;
  rec.Wanted = 0;  // only the directory and link bits are read
  for (int found = OpenEntryScan(dir + "*.*", kAttrMaskAll, rec); found == 0;
       found = NextEntry(rec)) {
    if (IsCandidate(rec) && (rec.Attr & kAttrDirectory) != 0)
      Descend(dir, rec, walk);
  }
  CloseEntryScan(rec);
}

// `dir` ends in a delimiter (or is empty).
void SearchLevel(const std::string& dir, Walk& walk) {
  ++SearchSettings.DirCount;
  SelectionPass(dir, walk);
  if (SearchSettings.Recursive) DescentPass(dir, walk);
}

// The walked directory and its real ancestors up to the root: a link to any
// of them (such as one to "/") would lead back into the walk.
std::vector<ChainLink> StartingChain(const std::string& dir) {
  constexpr int kMaxAncestors = 4096;
  std::vector<ChainLink> chain;
  ChainLink link;
  link.path = dir;
  link.asked = true;
  for (int i = 0; i < kMaxAncestors && DirectoryIdentityOf(link.path, &link.id);
       ++i) {
    if (!chain.empty() && chain.back().id == link.id) break;  // the root
    link.known = true;
    chain.push_back(link);
    link.path = WithTrailingBackslash(link.path) + "..";
  }
  return chain;
}

}  // namespace

void SearchDirectory(const std::string& dir, const std::string& mask) {
  const std::string typed = WithTrailingBackslash(dir);
  Walk walk;
  walk.mask = mask;
  if (SearchSettings.Recursive) walk.chain = StartingChain(typed);
  SearchLevel(typed, walk);
}
