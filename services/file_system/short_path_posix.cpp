// The short (8.3) form of paths on POSIX: each component that is no legal
// 8.3 name is replaced by the alias Windows would give it in its directory.
#include "services/short_path_posix.h"

#include <errno.h>

#include "services/file_system/file_system.h"
#include "services/path_lookup_posix.h"
#include "services/scan_cache_posix.h"
#include "services/short_name.h"

namespace {

// The names in the directory `typed` (`long_dir` on disk) that aliases
// depend on: from its open scan's listing where there is one, else read.
std::vector<std::string> NamesIn(ScanCache& cache, std::string_view typed,
                                 const std::string& long_dir) {
  std::vector<std::string> names;
  Listing read;
  const Listing* listing = &read;
  const long frame = FindFrame(cache, typed);
  if (frame >= 0) {
    listing = &cache.frames[static_cast<size_t>(frame)]->listing;
  } else {
    const int fd = OpenDirectory(cache, long_dir);
    if (fd < 0) return names;
    ReadListing(*cache.reader, fd, &cache.records, &read);
    cache.reader->Close(fd);
  }
  // A legal 8.3 name without a "~" neither gets an alias nor can clash
  // with one: the aliases are the same without it.
  ListedEntry entry;
  for (size_t offset = 0; NextListedEntry(*listing, &offset, &entry);) {
    const std::string_view name(entry.name, entry.size);
    if (!IsLegalShortName(name) || name.find('~') != std::string_view::npos)
      names.emplace_back(name);
  }
  return names;
}

const AliasTable& AliasesOf(ScanCache& cache, std::string_view typed,
                            const std::string& long_dir) {
  auto& tables = cache.short_forms.alias_tables;
  // The most recent first: a walk asks for the directory it is in.
  for (size_t i = tables.size(); i-- > 0;)
    if (tables[i].first == long_dir) return tables[i].second;
  // A walk needs a directory's aliases only while it is in it: when the
  // table is full, starting afresh costs at most the ancestors' again.
  if (tables.size() == ShortFormState::kAliasTables) tables.clear();
  tables.emplace_back(long_dir,
                      MakeShortNames(NamesIn(cache, typed, long_dir)));
  return tables.back().second;
}

// The short form of one stored component of a directory: its alias where
// it has one. The text returned lives until the next call.
const std::string& ShortComponent(ScanCache& cache,
                                  std::string_view typed_dir,
                                  const std::string& long_dir,
                                  const std::string& name) {
  if (name == "." || name == ".." || IsLegalShortName(name)) return name;
  const AliasTable& aliases = AliasesOf(cache, typed_dir, long_dir);
  auto alias = aliases.find(name);
  return alias != aliases.end() ? alias->second : name;
}

// The stored spelling of `name` in the directory `dir`; empty when there is
// no such entry. Where `dir` has an open scan, its descriptor answers.
std::string StoredNameIn(ScanCache& cache, const std::string& dir,
                         const std::string& name) {
  // A directory whose scan is open, opened under this very spelling, is
  // stored so: the walker asks for each directory it enters.
  const long inner = FindFrame(cache, JoinPath(dir, name));
  if (inner >= 0 && cache.frames[static_cast<size_t>(inner)]->opened_as_typed &&
      name != "." && name != "..")
    return name;
  const long frame = FindFrame(cache, dir);
  int fd = frame >= 0 ? FrameDescriptor(cache, static_cast<size_t>(frame)) : -1;
  const bool own = fd < 0;
  if (own) fd = OpenDirectory(cache, dir);
  if (fd < 0) return std::string();
  struct stat st;
  std::string stored;
  if (cache.reader->StatAt(fd, name.c_str(), &st, false) == 0)
    stored = name;
  else if (errno == ENOENT)
    stored = FindStoredName(cache, fd, name);
  if (own) cache.reader->Close(fd);
  return stored;
}

// Extends `form` (of the directory typed as `typed`) by one component.
bool Extend(ScanCache& cache, const std::string& typed,
            const std::string& name, ShortForm* form) {
  const std::string stored = StoredNameIn(cache, typed, name);
  if (stored.empty()) return false;
  form->short_form = JoinPath(
      form->short_form, ShortComponent(cache, typed, form->long_form, stored));
  form->long_form = JoinPath(form->long_form, stored);
  return true;
}

bool ShortFormOf(ScanCache& cache, const std::string& path, ShortForm* form) {
  if (path.empty()) return false;
  std::string typed = path[0] == '/' ? "/" : "";
  form->long_form = typed;
  form->short_form = typed;
  for (const std::string& component : PathComponents(path)) {
    if (!Extend(cache, typed, component, form)) return false;
    typed = JoinPath(typed, component);
  }
  if (path.back() == '/' && form->short_form.back() != '/')
    form->short_form += '/';
  return true;
}

const ShortForm* FindForm(const ShortFormState& state,
                          std::string_view typed) {
  // Innermost first: the entries of the directory asked for last.
  for (size_t i = state.forms.size(); i-- > 0;)
    if (state.forms[i].first == typed) return &state.forms[i].second;
  return nullptr;
}

const ShortForm* ShortFormOfDirectory(ScanCache& cache, std::string_view dir);

// The form of `dir` from that of the directory above it, which a walk has
// mostly asked for already.
bool ExtendParentForm(ScanCache& cache, const std::string& dir,
                      ShortForm* form) {
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string up_text = dir.substr(0, slash);
  const std::string name = dir.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;
  const ShortForm* up = ShortFormOfDirectory(cache, up_text);
  if (up == nullptr) return false;
  *form = *up;
  return Extend(cache, up_text, name, form);
}

// The short form of `dir`, kept for the paths that follow in and below it.
const ShortForm* ShortFormOfDirectory(ScanCache& cache,
                                      std::string_view dir_text) {
  ShortFormState& state = cache.short_forms;
  if (const ShortForm* known = FindForm(state, dir_text)) return known;
  const std::string dir(dir_text);
  ShortForm form;
  if (!ExtendParentForm(cache, dir, &form) && !ShortFormOf(cache, dir, &form))
    return nullptr;
  auto& forms = state.forms;
  while (!forms.empty() &&
         dir.compare(0, forms.back().first.size(), forms.back().first) != 0)
    forms.pop_back();
  if (forms.size() == ShortFormState::kForms) forms.erase(forms.begin());
  forms.emplace_back(dir, std::move(form));
  return &forms.back().second;
}

std::string ShortPathIn(ScanCache& cache, const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == path.size()) {
    ShortForm form;
    return ShortFormOf(cache, path, &form) ? form.short_form : std::string();
  }
  const std::string dir = path.substr(0, slash);
  const ShortForm* parent = ShortFormOfDirectory(cache, dir);
  if (parent == nullptr) return std::string();
  ShortForm form = *parent;
  if (!Extend(cache, dir, path.substr(slash + 1), &form)) return std::string();
  return form.short_form;
}

}  // namespace

std::string ShortPathOf(const std::string& path) {
  ScanCachePtr cache = NewScanCacheForOneCall();
  return ShortPathIn(*cache, path);
}

// The entry exists under its stored name: only the directory is looked up.
std::string ShortPathOfEntry(ScanCache* cache, const std::string& dir,
                             const std::string& name) {
  ScanCachePtr own;
  if (cache == nullptr) {
    own = NewScanCacheForOneCall();
    cache = own.get();
  }
  if (dir.size() < 2 || dir.back() != '/') return ShortPathIn(*cache, dir + name);
  const std::string_view typed(dir.data(), dir.size() - 1);
  const ShortForm* parent = ShortFormOfDirectory(*cache, typed);
  if (parent == nullptr) return std::string();
  return JoinPath(parent->short_form,
                  ShortComponent(*cache, typed, parent->long_form, name));
}
