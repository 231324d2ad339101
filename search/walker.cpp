#include "search/walker.h"

#include <vector>

#include "frontend/search_settings.h"
#include "search/filter.h"
#include "search/path_presentation.h"
#include "services/file_system.h"
#include "services/output.h"

namespace {

// What one walk carries from level to level.
struct Walk {
  std::string mask;
  // The directories of the current descent chain, by identity, so that a
  // link back to one of them is not followed into a cycle.
  std::vector<FileIdentity> chain;
  TrueCaseCache true_case;
};

bool IsDotOrDotDot(const std::string& name) {
  return name == "." || name == "..";
}

// "." and ".." and volume labels are never candidates.
bool IsCandidate(const TSearchRec& rec) {
  return !IsDotOrDotDot(rec.Name) && (rec.Attr & kAttrVolumeLabel) == 0;
}

void PrintEntry(const std::string& dir, const std::string& name, Walk& walk) {
  ++SearchSettings.FoundCount;
  WriteText(SearchSettings.ShortNames
                ? ShortPathOf(dir + name)
                : TrueCasePathOfEntry(dir, name, &walk.true_case));
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
  for (int found = OpenEntryScan(dir + walk.mask, kAttrMaskAll, rec);
       found == 0; found = NextEntry(rec)) {
    if (IsCandidate(rec) && MatchesFilter(rec)) PrintEntry(dir, rec.Name, walk);
  }
  CloseEntryScan(rec);
}

bool OnChain(const Walk& walk, const FileIdentity& id) {
  for (const FileIdentity& ancestor : walk.chain)
    if (ancestor == id) return true;
  return false;
}

void SearchLevel(const std::string& dir, Walk& walk);

// Enters a subdirectory unless it is one of the directories being walked.
void Descend(const std::string& subdir, Walk& walk) {
  FileIdentity id;
  bool known = DirectoryIdentityOf(subdir, &id);
  if (known && OnChain(walk, id)) return;
  if (known) walk.chain.push_back(id);
  SearchLevel(subdir, walk);
  if (known) walk.chain.pop_back();
}

void DescentPass(const std::string& dir, Walk& walk) {
  TSearchRec rec;
  rec.Wanted = 0;  // only the directory bit is read
  for (int found = OpenEntryScan(dir + "*.*", kAttrMaskAll, rec); found == 0;
       found = NextEntry(rec)) {
    if (IsCandidate(rec) && (rec.Attr & kAttrDirectory) != 0)
      Descend(WithTrailingBackslash(dir + rec.Name), walk);
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
std::vector<FileIdentity> StartingChain(const std::string& dir) {
  constexpr int kMaxAncestors = 4096;
  std::vector<FileIdentity> chain;
  std::string path = dir;
  FileIdentity id;
  for (int i = 0; i < kMaxAncestors && DirectoryIdentityOf(path, &id); ++i) {
    if (!chain.empty() && chain.back() == id) break;  // the root
    chain.push_back(id);
    path = WithTrailingBackslash(path) + "..";
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
