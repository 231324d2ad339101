#include "search/walker.h"

#include <unordered_set>
#include <vector>

#include "frontend/search_settings.h"
#include "search/filter.h"
#include "search/path_presentation.h"
#include "services/file_system/file_system.h"
#include "services/output.h"

namespace {

struct IdentityHash {
  size_t operator()(const FileIdentity& id) const {
    return std::hash<uint64_t>()(id.file * 31 + id.volume);
  }
};

// One directory on the descent chain. The descent scan is declared after
// the directory, so that it closes first.
struct Level {
  DirectoryPtr dir;   // null when it could not be opened
  TSearchRec descent;  // open while its subdirectories are walked
  bool started = false;   // its own entries are done, the descent begun
  bool is_link = false;
  bool identity_asked = false;
  bool identity_known = false;
  FileIdentity identity;
  size_t path_size = 0;     // the walk's texts up to it, with a delimiter
  size_t printed_size = 0;
  bool printed_known = true;  // false: each entry's text is found alone
};

// The state of one walk. The chain is an explicit stack, so that the depth
// of a tree costs heap memory, not machine stack, and one text buffer of
// each kind serves every level.
struct Walk {
  DescentRule descent;   // which subdirectories it enters
  std::string mask_dir;  // what stands before the mask's last component
  std::string mask;      // that component
  std::string path;      // the directory's path as typed and walked
  std::string printed;   // the same in true case, or in short form
  // The walked directory and its real ancestors: a link to any of them
  // (such as one to "/") would lead back into the walk.
  std::unordered_set<FileIdentity, IdentityHash> ancestors;
  // The identities of the first `chain_known` levels of the chain, each
  // asked for once, when a link first needs them.
  std::unordered_multiset<FileIdentity, IdentityHash> on_chain;
  size_t chain_known = 0;
  // Every directory entered with a link on the chain, for the rest of the
  // walk: a graph of links is walked once, not once per path through it.
  std::unordered_set<FileIdentity, IdentityHash> below_links;
  std::vector<Level> chain;
  size_t links_on_chain = 0;

  ~Walk() {
    // Innermost first: a directory refers to its parent.
    while (!chain.empty()) chain.pop_back();
  }
};

// "." and ".." and volume labels are never candidates, nor the names
// --exclude leaves out: an excluded directory is neither printed nor
// entered.
bool IsCandidate(const TSearchRec& rec) {
  return !IsDotName(rec.Name) && (rec.Attr & kAttrVolumeLabel) == 0 &&
         !SearchSettings.ExcludeMasks.Excludes(rec.Name);
}

// Which subdirectories the walk enters, for the walk and for the file
// system, which reads ahead only those: none with /r; with --max-depth N
// (the search path's entries are at level 1), a directory at level N is
// printed if it matches but not entered; never an excluded one.
DescentRule TheDescentRule() {
  DescentRule rule;
  if (!SearchSettings.ExcludeMasks.Empty())
    rule.excluded = &SearchSettings.ExcludeMasks;
  if (!SearchSettings.Recursive)
    rule.deepest = 0;
  else if (SearchSettings.MaxDepth != 0)
    rule.deepest = static_cast<size_t>(SearchSettings.MaxDepth) - 1;
  return rule;
}

char Delimiter() { return NativeSyntax().delimiter; }

// One line: the entry's path in true case, or in short form with /vs.
void PrintEntry(const Walk& walk, const Level& level, Directory& dir,
                const TSearchRec& rec) {
  ++SearchSettings.FoundCount;
  if (level.printed_known) {
    WriteText(walk.printed);
    WriteText(SearchSettings.ShortNames ? ShortNameOf(dir, rec) : rec.Name);
  } else if (!SearchSettings.ShortNames) {
    WriteText(TrueCasePath(walk.path + walk.mask_dir + rec.Name));
  }
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

void ScanSelection(Walk& walk, const Level& level, Directory& dir) {
  TSearchRec rec;
  rec.Wanted = FieldsTheFilterReads() | kNoDotEntries;
  for (int found = OpenEntryScan(dir, walk.mask, kAttrMaskAll, rec);
       found == 0; found = NextEntry(rec)) {
    if (IsCandidate(rec) && MatchesFilter(rec))
      PrintEntry(walk, level, dir, rec);
  }
  CloseEntryScan(rec);
}

// The selection pass: the entries that match the mask, in the directory
// the mask's own path names below this one, if any.
void SelectionPass(Walk& walk, const Level& level) {
  if (!level.dir) return;
  if (walk.mask_dir.empty()) {
    ScanSelection(walk, level, *level.dir);
    return;
  }
  const size_t size = walk.printed.size();
  DirectoryPtr dir = OpenTypedBelow(*level.dir, walk.mask_dir,
                                    SearchSettings.ShortNames, &walk.printed);
  if (dir) ScanSelection(walk, level, *dir);
  walk.printed.resize(size);
}

bool IdentityOfLevel(Level& level) {
  if (!level.identity_asked) {
    level.identity_asked = true;
    level.identity_known =
        level.dir && IdentityOf(*level.dir, &level.identity);
  }
  return level.identity_known;
}

// True when `id` leads back into the walk: an ancestor, a directory on the
// chain, or one already entered below a link. Each set answers at once, so
// a deep chain costs no more per check than a shallow one.
bool AlreadyWalked(Walk& walk, const FileIdentity& id) {
  for (; walk.chain_known < walk.chain.size(); ++walk.chain_known) {
    Level& level = walk.chain[walk.chain_known];
    if (IdentityOfLevel(level)) walk.on_chain.insert(level.identity);
  }
  return walk.ancestors.count(id) != 0 || walk.below_links.count(id) != 0 ||
         walk.on_chain.count(id) != 0;
}

// Enters the subdirectory the descent scan of `parent` stands on, unless
// it leads back into the walk (through a link, or below one).
void Descend(Walk& walk, Level& parent) {
  const TSearchRec& rec = parent.descent;
  DirectoryPtr child = OpenSubdirectory(*parent.dir, rec);
  Level level;
  level.is_link = (rec.Attr & kAttrReparsePoint) != 0;
  // One that cannot be opened still counts as searched.
  if (child && (level.is_link || walk.links_on_chain > 0)) {
    level.identity_asked = true;
    level.identity_known = IdentityOf(*child, &level.identity);
    if (level.identity_known) {
      if (AlreadyWalked(walk, level.identity)) return;
      walk.below_links.insert(level.identity);
    }
  }
  bool printed_known = parent.printed_known;
  const std::string shown =
      SearchSettings.ShortNames ? ShortNameOf(*parent.dir, rec) : rec.Name;
  if (shown.empty()) printed_known = false;
  level.path_size = walk.path.size();
  level.printed_size = walk.printed.size();
  walk.path += rec.Name;
  walk.path += Delimiter();
  walk.printed += shown;
  walk.printed += Delimiter();
  level.dir = std::move(child);
  level.printed_known = printed_known;
  walk.links_on_chain += level.is_link;
  walk.chain.push_back(std::move(level));
  ++SearchSettings.DirCount;
  SelectionPass(walk, walk.chain.back());
}

// Moves the descent scan of `level` to its next subdirectory; false when
// there is none left.
bool NextSubdirectory(Level& level) {
  int found;
  if (!level.started) {
    level.started = true;
    // Only directories, and of them the directory and link bits, are read.
    level.descent.Wanted = kOnlyDirectories | kNoDotEntries;
    if (level.dir) ReadAheadBelow(*level.dir);
    found = level.dir ? OpenEntryScan(*level.dir, "*.*", kAttrMaskAll,
                                      level.descent)
                      : 1;
  } else {
    found = NextEntry(level.descent);
  }
  while (found == 0 && !(IsCandidate(level.descent) &&
                         (level.descent.Attr & kAttrDirectory) != 0))
    found = NextEntry(level.descent);
  return found == 0;
}

void Leave(Walk& walk) {
  Level& level = walk.chain.back();
  CloseEntryScan(level.descent);
  if (walk.chain_known == walk.chain.size()) {
    --walk.chain_known;
    if (level.identity_known)
      walk.on_chain.erase(walk.on_chain.find(level.identity));
  }
  walk.links_on_chain -= level.is_link;
  walk.path.resize(level.path_size);
  walk.printed.resize(level.printed_size);
  walk.chain.pop_back();
}

// Depth first, each directory's own entries before its subdirectories.
void WalkChain(Walk& walk) {
  while (!walk.chain.empty()) {
    Level& level = walk.chain.back();
    // The chain's last directory is at level size - 1, the walked one at 0.
    if (walk.descent.EntersBelow(walk.chain.size() - 1) &&
        NextSubdirectory(level))
      Descend(walk, level);
    else
      Leave(walk);
  }
}

// The walked directory's identity and those of its real ancestors, up to
// the root, each found through ".." from the one below.
std::unordered_set<FileIdentity, IdentityHash> StartingChain(Directory* dir) {
  std::unordered_set<FileIdentity, IdentityHash> chain;
  DirectoryPtr up;
  FileIdentity id;
  while (dir != nullptr && IdentityOf(*dir, &id)) {
    if (!chain.insert(id).second) break;  // the root, whose ".." it is
    TSearchRec rec;
    rec.Wanted = 0;
    if (OpenEntryScan(*dir, "..", kAttrMaskAll, rec) != 0) break;
    DirectoryPtr next = OpenSubdirectory(*dir, rec);
    if (!next || !DetachFromParent(*next)) break;
    up = std::move(next);
    dir = up.get();
  }
  return chain;
}

// The mask's text up to and with its last delimiter: a mask may name
// entries of a subdirectory.
size_t MaskDirectorySize(const std::string& mask) {
  return LastDelimiterPos(std::string(1, Delimiter()), mask);
}

}  // namespace

void SearchDirectory(const std::string& dir, const std::string& mask,
                     FileSystemSession* session) {
  FileSystemSessionPtr own;
  if (session == nullptr) {
    own = NewFileSystemSession(false, 1);
    session = own.get();
  }
  Walk walk;
  const size_t mask_dir_size = MaskDirectorySize(mask);
  walk.mask_dir = mask.substr(0, mask_dir_size);
  walk.mask = mask.substr(mask_dir_size);
  // The listings of the walked directories serve the selection only when
  // the mask has no path of its own.
  ScanPlan plan;
  if (walk.mask_dir.empty()) plan.mask = walk.mask;
  plan.wanted = FieldsTheFilterReads();
  walk.descent = plan.descent = TheDescentRule();
  PlanScans(*session, plan);
  walk.path = WithTrailingBackslash(dir);
  SearchRoot root = OpenSearchRoot(*session, walk.path);
  bool printed_known = root.prefix_known;
  if (SearchSettings.ShortNames) {
    walk.printed = walk.path.empty() ? "" : ShortPathOf(walk.path, session);
    printed_known = !walk.printed.empty() || walk.path.empty();
  } else {
    walk.printed = root.prefix;
  }
  if (walk.descent.EntersBelow(0))
    walk.ancestors = StartingChain(root.dir.get());
  Level level;
  level.dir = std::move(root.dir);
  level.printed_known = printed_known;
  walk.chain.push_back(std::move(level));
  ++SearchSettings.DirCount;
  SelectionPass(walk, walk.chain.back());
  WalkChain(walk);
}
