#include "search/walker.h"

#include <vector>

#include "frontend/search_settings.h"
#include "search/filter.h"
#include "search/path_presentation.h"
#include "services/file_system.h"
#include "services/output.h"

namespace {

bool IsDotOrDotDot(const std::string& name) {
  return name == "." || name == "..";
}

// "." and ".." and volume labels are never candidates.
bool IsCandidate(const TSearchRec& rec) {
  return !IsDotOrDotDot(rec.Name) && (rec.Attr & kAttrVolumeLabel) == 0;
}

void PrintEntry(const std::string& dir, const std::string& name,
                ResolvedDirectory* resolved_dir) {
  ++SearchSettings.FoundCount;
  WriteText(SearchSettings.ShortNames
                ? ShortPathOf(dir + name)
                : TrueCasePathOfEntry(dir, name, resolved_dir));
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

void SelectionPass(const std::string& dir, const std::string& mask) {
  TSearchRec rec;
  rec.Wanted = FieldsTheFilterReads();
  ResolvedDirectory resolved_dir;
  for (int found = OpenEntryScan(dir + mask, kAttrMaskAll, rec); found == 0;
       found = NextEntry(rec)) {
    if (IsCandidate(rec) && MatchesFilter(rec))
      PrintEntry(dir, rec.Name, &resolved_dir);
  }
  CloseEntryScan(rec);
}

// The directories of the current descent chain, by identity, so that a link
// back to one of them is not followed into a cycle.
using DescentChain = std::vector<FileIdentity>;

bool OnChain(const DescentChain& chain, const FileIdentity& id) {
  for (const FileIdentity& ancestor : chain)
    if (ancestor == id) return true;
  return false;
}

void SearchLevel(const std::string& dir, const std::string& mask,
                 DescentChain& chain);

// Enters a subdirectory unless it is one of the directories being walked.
void Descend(const std::string& subdir, const std::string& mask,
             DescentChain& chain) {
  FileIdentity id;
  bool known = DirectoryIdentityOf(subdir, &id);
  if (known && OnChain(chain, id)) return;
  if (known) chain.push_back(id);
  SearchLevel(subdir, mask, chain);
  if (known) chain.pop_back();
}

void DescentPass(const std::string& dir, const std::string& mask,
                 DescentChain& chain) {
  TSearchRec rec;
  rec.Wanted = 0;  // only the directory bit is read
  for (int found = OpenEntryScan(dir + "*.*", kAttrMaskAll, rec); found == 0;
       found = NextEntry(rec)) {
    if (IsCandidate(rec) && (rec.Attr & kAttrDirectory) != 0)
      Descend(WithTrailingBackslash(dir + rec.Name), mask, chain);
  }
  CloseEntryScan(rec);
}

// `dir` ends in a delimiter (or is empty).
void SearchLevel(const std::string& dir, const std::string& mask,
                 DescentChain& chain) {
  ++SearchSettings.DirCount;
  SelectionPass(dir, mask);
  if (SearchSettings.Recursive) DescentPass(dir, mask, chain);
}

// The walked directory and its real ancestors up to the root: a link to any
// of them (such as one to "/") would lead back into the walk.
DescentChain StartingChain(const std::string& dir) {
  constexpr int kMaxAncestors = 4096;
  DescentChain chain;
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
  DescentChain chain;
  if (SearchSettings.Recursive) chain = StartingChain(typed);
  SearchLevel(typed, mask, chain);
}
