// The short (8.3) form of paths on POSIX: each component that is no legal
// 8.3 name is replaced by the alias Windows would give it in its directory.
#include <dirent.h>

#include <unordered_map>
#include <utility>
#include <vector>

#include "services/directory_listing_posix.h"
#include "services/file_system.h"
#include "services/path_lookup_posix.h"
#include "services/short_name.h"

namespace {

using AliasTable = std::unordered_map<std::string, std::string>;

// The aliases of the directories used most recently. A walk needs a
// directory's aliases while it is inside that directory, so a small table
// computes each once per walk and keeps memory flat however big the tree.
struct AliasCache {
  static constexpr size_t kDirectories = 64;
  std::vector<std::pair<std::string, AliasTable>> tables;  // oldest first
};

AliasCache& Aliases() {
  static AliasCache* cache = new AliasCache;
  return *cache;
}

const AliasTable& AliasesOf(const std::string& dir) {
  auto& tables = Aliases().tables;
  for (size_t i = tables.size(); i-- > 0;) {
    if (tables[i].first != dir) continue;
    if (i + 1 != tables.size()) {
      auto found = std::move(tables[i]);
      tables.erase(tables.begin() + static_cast<std::ptrdiff_t>(i));
      tables.push_back(std::move(found));
    }
    return tables.back().second;
  }
  // The walker asks while it scans that directory: its listing is at hand.
  std::vector<std::string> names;
  if (const DirectoryListing* listing = FindOpenListing(dir)) {
    names = NamesIn(*listing);
  } else if (DIR* d = opendir(DirectoryArgument(dir))) {
    while (struct dirent* entry = readdir(d)) names.emplace_back(entry->d_name);
    closedir(d);
  }
  if (tables.size() == AliasCache::kDirectories) tables.erase(tables.begin());
  tables.emplace_back(dir, MakeShortNames(names));
  return tables.back().second;
}

// The short form of one component of `dir`: the alias where it has one.
std::string ShortComponent(const std::string& dir, const std::string& name) {
  if (name == "." || name == ".." || IsLegalShortName(name)) return name;
  const auto& aliases = AliasesOf(dir);
  auto alias = aliases.find(name);
  return alias != aliases.end() ? alias->second : name;
}

// The long (as on disk) and short forms of an existing path.
struct ShortForm {
  std::string long_form, short_form;
};

bool ShortFormOf(const std::string& path, ShortForm* form) {
  std::string resolved;
  if (path.empty() || !ResolveOnDisk(path, &resolved) || !Exists(resolved))
    return false;
  form->long_form = resolved[0] == '/' ? "/" : "";
  form->short_form = form->long_form;
  for (const std::string& component : PathComponents(resolved)) {
    form->short_form = JoinPath(form->short_form,
                                ShortComponent(form->long_form, component));
    form->long_form = JoinPath(form->long_form, component);
  }
  if (resolved.back() == '/' && form->short_form.back() != '/')
    form->short_form += '/';
  return true;
}

// The short forms of the directories asked for last, ancestors first: the
// entries of a directory, and its subdirectories, build on them.
std::vector<std::pair<std::string, ShortForm>>& RecentForms() {
  static auto* forms = new std::vector<std::pair<std::string, ShortForm>>;
  return *forms;
}

const ShortForm* FindRecentForm(const std::string& typed) {
  for (const auto& form : RecentForms())
    if (form.first == typed) return &form.second;
  return nullptr;
}

// The form of `dir` from that of the directory above it, when that is known.
bool ExtendRecentForm(const std::string& dir, ShortForm* form) {
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  std::string name = dir.substr(slash + 1);
  const ShortForm* up = FindRecentForm(dir.substr(0, slash));
  if (up == nullptr || name.empty() || name == "." || name == "..")
    return false;
  if (!Exists(JoinPath(up->long_form, name))) {
    name = FindIgnoringCase(up->long_form, name);
    if (name.empty()) return false;
  }
  form->short_form =
      JoinPath(up->short_form, ShortComponent(up->long_form, name));
  form->long_form = JoinPath(up->long_form, name);
  return true;
}

// The short form of `dir`, kept for the paths that follow in and below it.
const ShortForm* ShortFormOfParent(const std::string& dir) {
  if (const ShortForm* known = FindRecentForm(dir)) return known;
  ShortForm form;
  if (!ExtendRecentForm(dir, &form) && !ShortFormOf(dir, &form)) return nullptr;
  auto& forms = RecentForms();
  while (!forms.empty() &&
         dir.compare(0, forms.back().first.size(), forms.back().first) != 0)
    forms.pop_back();
  constexpr size_t kMaxForms = 256;
  if (forms.size() == kMaxForms) forms.erase(forms.begin());
  forms.emplace_back(dir, std::move(form));
  return &forms.back().second;
}

}  // namespace

std::string ShortPathOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == path.size()) {
    ShortForm form;
    return ShortFormOf(path, &form) ? form.short_form : std::string();
  }
  const ShortForm* parent = ShortFormOfParent(path.substr(0, slash));
  if (parent == nullptr) return std::string();
  std::string name = path.substr(slash + 1);
  if (!Exists(JoinPath(parent->long_form, name))) {
    if (name == "." || name == "..") return std::string();
    name = FindIgnoringCase(parent->long_form, name);
    if (name.empty()) return std::string();
  }
  return JoinPath(parent->short_form, ShortComponent(parent->long_form, name));
}

// The entry exists under its stored name: only the directory is looked up.
std::string ShortPathOfEntry(const std::string& dir, const std::string& name) {
  if (dir.size() < 2 || dir.back() != '/') return ShortPathOf(dir + name);
  const ShortForm* parent = ShortFormOfParent(dir.substr(0, dir.size() - 1));
  if (parent == nullptr) return std::string();
  return JoinPath(parent->short_form, ShortComponent(parent->long_form, name));
}
