// The short (8.3) form of names and paths on POSIX: each component that is
// no legal 8.3 name is replaced by the alias Windows would give it in its
// directory.
#include "services/file_system/file_system.h"
#include "services/file_system/session_posix.h"
#include "services/short_name.h"

namespace {

// The names of `listing` that aliases depend on. A legal 8.3 name without
// a "~" neither gets an alias nor can clash with one: the aliases are the
// same without it.
std::vector<std::string> NamesAliasesDependOn(const Listing& listing) {
  std::vector<std::string> names;
  for (const ListedEntry& entry : listing.entries) {
    const std::string_view name = listing.NameOf(entry);
    if (!IsLegalShortName(name) || name.find('~') != std::string_view::npos)
      names.emplace_back(name);
  }
  return names;
}

// The aliases of `dir`'s entries, made once from its listing.
const AliasTable* AliasesOf(Directory& dir) {
  if (!dir.aliases) {
    const Listing* listing = ListingOf(dir);
    if (listing == nullptr) return nullptr;
    dir.aliases = std::make_unique<AliasTable>(
        MakeShortNames(NamesAliasesDependOn(*listing)));
  }
  return dir.aliases.get();
}

// The short form of the stored name `name` in `dir`.
std::string ShortNameIn(Directory& dir, const std::string& name) {
  if (IsDotName(name) || IsLegalShortName(name)) return name;
  const AliasTable* aliases = AliasesOf(dir);
  if (aliases == nullptr) return std::string();
  auto alias = aliases->find(name);
  return alias != aliases->end() ? alias->second : name;
}

}  // namespace

std::string ShortNameOf(Directory& dir, const TSearchRec& entry) {
  return ShortNameIn(dir, entry.Name);
}

// Component by component from the root or the current directory: the
// stored name each typed component stands for, then its alias there. Each
// directory stands on its own once entered, so memory does not grow with
// the depth of the path.
std::string ShortPathOf(const std::string& path, FileSystemSession* session) {
  if (path.empty()) return std::string();
  FileSystemSessionPtr own;
  if (session == nullptr) {
    own = NewOneCallSession();
    session = own.get();
  }
  std::string result = path[0] == '/' ? "/" : "";
  DirectoryPtr dir = OpenTypedDirectory(*session, result);
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    TSearchRec rec;
    rec.Wanted = 0;
    if (!dir || OpenEntryScan(*dir, component, kAttrMaskAll, rec) != 0)
      return std::string();
    const std::string short_name = ShortNameIn(*dir, rec.Name);
    if (short_name.empty()) return std::string();
    if (!result.empty() && result.back() != '/') result += '/';
    result += short_name;
    if (start >= path.size()) break;
    DirectoryPtr next = OpenSubdirectory(*dir, rec);
    if (next && !DetachFromParent(*next)) next.reset();
    dir = std::move(next);
  }
  if (path.back() == '/' && result.back() != '/') result += '/';
  return result;
}
