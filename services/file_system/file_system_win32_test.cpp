// The Windows file-system layer on a real temporary directory.
#include <windows.h>

#include <set>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/file_system/read_ahead_win32.h"
#include "services/file_system/wide_path_win32.h"
#include "services/path_text.h"
#include "services/text_encoding.h"
#include "services/wildcard.h"

namespace {

// The file time of a local calendar time.
FILETIME LocalFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute,
                       WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  FILETIME local_time, utc;
  SystemTimeToFileTime(&local, &local_time);
  LocalFileTimeToFileTime(&local_time, &utc);
  return utc;
}

class FileSystemWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "kestriv-fs-" +
            std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    root_dir_ = OpenTypedDirectory(*session_, root_);
    ASSERT_TRUE(root_dir_);
  }
  void TearDown() override { RemoveTree(WideRoot()); }

  std::string Path(const std::string& name) const {
    return root_ + "\\" + name;
  }
  // A file of `size` bytes (sparse where the file system allows), written
  // last at `time` when given.
  void MakeFile(const std::string& name, int64_t size = 1,
                const FILETIME* time = nullptr) {
    HANDLE h = CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    if (time != nullptr) SetFileTime(h, nullptr, nullptr, time);
    CloseHandle(h);
  }

  // An entry made through the wide functions (a name outside the code
  // page, or a path past 260 characters): a directory when `name` ends in
  // "\\".
  void MakeWide(const std::wstring& name) {
    const std::wstring path = WideRoot() + L"\\" + name;
    if (path.back() == L'\\') {
      ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
      return;
    }
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  std::wstring WideRoot() const { return L"\\\\?\\" + WideText(root_); }

  // The directory `name` below the root, opened from typed text.
  DirectoryPtr Open(const std::string& name) {
    return OpenTypedDirectory(*session_, Path(name));
  }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
    for (bool more = h != INVALID_HANDLE_VALUE; more;
         more = FindNextFileW(h, &data)) {
      const std::wstring name = data.cFileName, path = dir + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else DeleteFileW(path.c_str());
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    RemoveDirectoryW(dir.c_str());
  }

  std::string root_;
  FileSystemSessionPtr session_ = NewFileSystemSession(false, 1);
  DirectoryPtr root_dir_;  // root_, opened from typed text
};

// The subdirectory a scan of `mask` in `parent` delivers first, or null.
DirectoryPtr Sub(Directory* parent, const std::string& mask) {
  TSearchRec rec;
  if (parent == nullptr || OpenEntryScan(*parent, mask, kAttrMaskAll, rec))
    return nullptr;
  return OpenSubdirectory(*parent, rec);
}

// The names a scan of `mask` in `dir` (none if null) delivers.
std::set<std::string> ScanNames(Directory* dir, const std::string& mask) {
  std::set<std::string> names;
  TSearchRec rec;
  for (int r = dir ? OpenEntryScan(*dir, mask, kAttrMaskAll, rec) : 1; r == 0;
       r = NextEntry(rec))
    names.insert(rec.Name);
  return names;
}

// Appends to `trace` a line for each entry a scan of `mask` in `dir`
// delivers (its fields as the walk reads them) and one for the code it
// ends with. The times of "." and ".." are left out: at the top they are
// those of the shared temporary directory, which tests running beside this
// one change.
void TraceScan(Directory& dir, const std::string& mask,
               const std::string& path, std::vector<std::string>* trace) {
  TSearchRec rec;
  int r = OpenEntryScan(dir, mask, kAttrMaskAll, rec);
  for (; r == 0; r = NextEntry(rec))
    trace->push_back(
        path + rec.Name + " " + std::to_string(rec.Attr) + " " +
        std::to_string(rec.Size) +
        (IsDotName(rec.Name) ? "" : " " + std::to_string(rec.Time)));
  trace->push_back(path + " ends " + std::to_string(r));
}

// What a walk below `dir` delivers, scanning as the walker does: each
// directory's selection, then its subdirectories, depth first, through its
// descent scan.
void TraceWalk(Directory& dir, const std::string& mask,
               const std::string& path, std::vector<std::string>* trace) {
  TraceScan(dir, mask, path, trace);
  ReadAheadBelow(dir);
  TSearchRec descent;
  descent.Wanted = kOnlyDirectories;
  int r = OpenEntryScan(dir, "*.*", kAttrMaskAll, descent);
  for (; r == 0; r = NextEntry(descent)) {
    if (IsDotName(descent.Name) || (descent.Attr & kAttrDirectory) == 0)
      continue;
    DirectoryPtr child = OpenSubdirectory(dir, descent);
    if (child)
      TraceWalk(*child, mask, path + descent.Name + "\\", trace);
  }
  trace->push_back(path + " descent ends " + std::to_string(r));
}

// The identity of `dir`; a default one when it cannot be read.
FileIdentity IdentityOrNone(Directory* dir) {
  FileIdentity id;
  return dir != nullptr && IdentityOf(*dir, &id) ? id : FileIdentity();
}

TEST_F(FileSystemWin32Test, SizesStayWholeAndTimesAreClampedLocalDosTimes) {
  const FILETIME t2001 = LocalFileTime(2001, 2, 3, 4, 5, 6);
  const struct {
    const char* name;
    int64_t size;
    FILETIME time;
    int32_t expected;
  } cases[] = {
      {"empty", 0, t2001, 709042339},
      {"three-gb", 3000000000LL, t2001, 709042339},
      {"five-gib", 5LL << 30, t2001, 709042339},
      {"odd-second", 10, LocalFileTime(2001, 2, 3, 4, 5, 7), 709042339},
      {"first", 1, LocalFileTime(1980, 1, 1, 0, 0, 0), kEarliestDosTime},
      {"y1979", 1, LocalFileTime(1979, 6, 1, 12, 0, 0), kEarliestDosTime},
      {"y1900", 1, LocalFileTime(1900, 1, 1, 0, 0, 0), kEarliestDosTime},
      {"last", 1, LocalFileTime(2107, 12, 31, 23, 59, 59), kLatestDosTime},
      {"y2110", 1, LocalFileTime(2110, 1, 1, 0, 0, 0), kLatestDosTime},
  };
  for (const auto& c : cases) MakeFile(c.name, c.size, &c.time);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*root_dir_, c.name, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Name, c.name);
    EXPECT_EQ(rec.Size, c.size);
    EXPECT_EQ(rec.Time, c.expected);
    // Out of range or not, the file exists and its path is printed.
    EXPECT_TRUE(IsExistingFile(Path(c.name)));
  }
}

// The scans pass over no kind of entry: hidden, system, read-only,
// directories and the dot entries all come.
TEST_F(FileSystemWin32Test, ScansDeliverEveryKindOfEntry) {
  for (const char* name : {"plain.txt", "ro.txt", "hidden.txt"}) MakeFile(name);
  MakeWide(L"dir\\");
  SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(Path("hidden.txt").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(ScanNames(root_dir_.get(), "*.*"),
            (std::set<std::string>{".", "..", "dir", "hidden.txt",
                                   "plain.txt", "ro.txt"}));
}

TEST_F(FileSystemWin32Test, ExactNamesComeInTheirStoredFormOrFailUnchanged) {
  MakeWide(L"Sub\\");
  DirectoryPtr sub = Open("Sub");
  ASSERT_TRUE(sub);
  const struct {
    Directory* dir;
    const char* mask;
    const char* name;  // null: nothing is delivered
  } cases[] = {
      {root_dir_.get(), ".", "."},  // not the name of the directory itself
      {sub.get(), "..", ".."},
      {root_dir_.get(), "SUB", "Sub"},  // a real name in its stored case
      {root_dir_.get(), "sub. .", "Sub"},  // or without trailing dots
      {root_dir_.get(), "missing", nullptr},
      {root_dir_.get(), "missing\\*.*", nullptr},
      {root_dir_.get(), "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    TSearchRec rec;
    rec.Name = "before";
    EXPECT_EQ(OpenEntryScan(*c.dir, c.mask, kAttrMaskAll, rec) == 0,
              c.name != nullptr);
    EXPECT_EQ(rec.Name, c.name != nullptr ? c.name : "before");
    EXPECT_EQ((rec.Attr & kAttrDirectory) != 0, c.name != nullptr);
    EXPECT_EQ(rec.Size, 0);
    EXPECT_NE(NextEntry(rec), 0);
    CloseEntryScan(rec);
    CloseEntryScan(rec);
  }
}

TEST_F(FileSystemWin32Test, ExistenceTests) {
  MakeFile("f.txt");
  MakeWide(L"d\\");
  const struct {
    std::string path;
    bool file, directory;
  } cases[] = {
      {Path("f.txt"), true, false},  {Path("F.TXT"), true, false},
      {Path("d"), false, true},      {Path("d\\"), false, true},
      {Path("none"), false, false},  {root_, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsExistingFile(c.path), c.file);
    EXPECT_EQ(IsExistingDirectory(c.path), c.directory);
    EXPECT_EQ(OpenTypedDirectory(*session_, c.path) != nullptr, c.directory);
  }
}

TEST_F(FileSystemWin32Test, IdentityIsTheDirectoryReachedByPathOrByEntry) {
  for (const wchar_t* name : {L"a\\", L"a\\b\\", L"f"}) MakeWide(name);
  DirectoryPtr a = Open("a\\"), b = Open("A\\B"), up = Open("a\\b\\..");
  DirectoryPtr b_entry = Sub(a.get(), "B"), same = Sub(b_entry.get(), ".");
  DirectoryPtr up_entry = Sub(same.get(), ".."), top = Sub(up_entry.get(), "..");
  DirectoryPtr file = Sub(root_dir_.get(), "f");
  DirectoryPtr b_too = Sub(a.get(), "B"), alone = Sub(b_too.get(), "..");
  ASSERT_TRUE(alone && DetachFromParent(*alone));
  b_too.reset();  // a detached directory outlives its parent
  const struct {
    Directory* dir;
    Directory* expected;  // null: no identity
  } cases[] = {
      {up.get(), a.get()},      {b_entry.get(), b.get()},
      {same.get(), b.get()},    {up_entry.get(), a.get()},
      {top.get(), root_dir_.get()}, {file.get(), nullptr},
      {alone.get(), a.get()},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(IdentityOrNone(cases[i].dir), IdentityOrNone(cases[i].expected));
  }
  EXPECT_FALSE(IdentityOrNone(a.get()) == FileIdentity());
  EXPECT_FALSE(IdentityOrNone(a.get()) == IdentityOrNone(b.get()));
}

TEST_F(FileSystemWin32Test, ShortForms) {
  MakeFile("A long file name.text");
  const std::string short_path = ShortPathOf(Path("A long file name.text"));
  EXPECT_NE(short_path.find('~'), std::string::npos) << short_path;
  EXPECT_EQ(short_path.find(' '), std::string::npos) << short_path;
  EXPECT_TRUE(IsExistingFile(short_path));
  EXPECT_EQ(ShortPathOf(Path("none")), "");
  TSearchRec rec;
  ASSERT_EQ(OpenEntryScan(*root_dir_, "a long*", kAttrMaskAll, rec), 0);
  EXPECT_EQ(ShortNameOf(*root_dir_, rec),
            short_path.substr(short_path.rfind('\\') + 1));
}

// A tree of a few dozen directories, enough for the workers to start:
// hidden and system entries, long names whose short forms a mask
// matches, a name outside the code page, an empty directory.
void FileSystemWin32TestMakeTree(const std::wstring& root) {
  const std::wstring tops[] = {L"Alpha\\", L"Long Directory Name\\",
                               L"caf\u00e9\\"};
  const std::wstring middles[] = {L"a.b\\", L"Sub\\", L"hidden\\", L"x\\"};
  const std::wstring files[] = {L"f.txt", L"Long file name.txtx", L"README",
                                L"hidden.txt", L"sys.TXT", L"x.c"};
  std::vector<std::wstring> dirs = {L""};
  for (const std::wstring& top : tops) {
    dirs.push_back(top);
    for (const std::wstring& middle : middles) {
      dirs.push_back(top + middle);
      for (const wchar_t* leaf : {L"one\\", L"Two Words\\"})
        dirs.push_back(top + middle + leaf);
    }
  }
  for (const std::wstring& dir : dirs) {
    if (!dir.empty()) CreateDirectoryW((root + dir).c_str(), nullptr);
    if (dir.find(L"one") != std::wstring::npos) continue;  // left empty
    for (const std::wstring& file : files) {
      const std::wstring path = root + dir + file;
      HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    SetFileAttributesW((root + dir + L"hidden.txt").c_str(),
                       FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((root + dir + L"sys.TXT").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (dir.size() >= 7 && dir.compare(dir.size() - 7, 7, L"hidden\\") == 0)
      SetFileAttributesW((root + dir).c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
}

// Directories of 200-character names below `top`, as deep as the host's
// path limit lets them be made (Wine's is 4096 bytes); then `top` is given
// a 250-character name, which puts the deepest past that limit: they are
// listed in their parents and cannot be read. `top` keeps its new name.
void MakeDirectoriesPastTheHostLimit(std::wstring* top) {
  CreateDirectoryW(top->c_str(), nullptr);
  std::wstring path = *top;
  const std::wstring name(200, L'd');
  for (int level = 0; level < 25; ++level) {
    path += L"\\" + name;
    if (!CreateDirectoryW(path.c_str(), nullptr)) break;
  }
  const std::wstring renamed =
      top->substr(0, top->rfind(L'\\') + 1) + std::wstring(250, L'T');
  if (MoveFileW(top->c_str(), renamed.c_str())) *top = renamed;
}

TEST_F(FileSystemWin32Test, WalksWithWorkersDeliverWhatOneThreadDelivers) {
  FileSystemWin32TestMakeTree(WideRoot() + L"\\");
  std::wstring unreadable = WideRoot() + L"\\deep";
  MakeDirectoriesPastTheHostLimit(&unreadable);
  const char* const masks[] = {
      "*.*", "*",
      "*.txt",  // and "Long file name.txtx" by its short name
      "*.TXT", "*x", "?.c", "nothing*", "README",
  };
  for (const char* mask : masks) {
    SCOPED_TRACE(mask);
    std::vector<std::string> alone, with_workers;
    TraceWalk(*root_dir_, mask, "", &alone);
    // Directories read to their end, and those that could not be read.
    size_t read = 0, dirs = 0;
    for (const std::string& line : alone) {
      const size_t at = line.rfind(" descent ends ");
      if (at == std::string::npos) continue;
      ++dirs;
      read += line.substr(at + 14) == std::to_string(ERROR_NO_MORE_FILES);
    }
    EXPECT_GT(read, 40u);
    EXPECT_LT(read, dirs);
    for (size_t threads : {2, 4, 16}) {
      SCOPED_TRACE(threads);
      FileSystemSessionPtr session = NewFileSystemSession(false, threads);
      ScanPlan plan;
      plan.mask = mask;
      PlanScans(*session, plan);
      DirectoryPtr root = OpenTypedDirectory(*session, root_);
      ASSERT_TRUE(root);
      with_workers.clear();
      TraceWalk(*root, mask, "", &with_workers);
      EXPECT_EQ(with_workers, alone);
      // Every descent of a readable directory replays, and with a
      // wildcard mask every selection but the first.
      EXPECT_EQ(ReplayedScans(*session),
                HasWildcards(mask) ? 2 * read - 1 : read);
    }
  }
  EXPECT_EQ(ReplayedScans(*session_), 0u);
  MoveFileW(unreadable.c_str(), (WideRoot() + L"\\deep").c_str());
}

TEST_F(FileSystemWin32Test, ReadsAheadKeepWhatThePlatformAnswered) {
  for (const wchar_t* name :
       {L"b\\", L"a.txt", L"A Dir\\", L"c\\", L"c\\x\\", L"z"})
    MakeWide(name);
  SetFileAttributesW((WideRoot() + L"\\c").c_str(), FILE_ATTRIBUTE_HIDDEN);
  const std::wstring dir = WideRoot() + L"\\";
  const struct {
    std::wstring path;
    std::wstring mask;
    bool read;
    int mask_error;  // of the kept mask, when there is one
    size_t masked;   // records the mask kept
  } cases[] = {
      {dir, L"", true, 0, 0},
      {dir, L"*.txt", true, 0, 1},
      {dir, L"nothing*", true, ERROR_FILE_NOT_FOUND, 0},
      {dir + L"c\\x\\", L"*.txt", true, ERROR_FILE_NOT_FOUND, 0},
      {dir + L"missing\\", L"", false, 0, 0},
      {dir + L"z\\", L"", false, 0, 0},  // a file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(NarrowText(c.path + c.mask));
    AheadRead read;
    ReadDirectoryAt(c.path, c.mask, DescentRule(), 0, &read);
    EXPECT_EQ(read.error == 0, c.read);
    if (!c.read) continue;
    ASSERT_TRUE(read.listing);
    const Listing& kept = static_cast<const Listing&>(*read.listing);
    EXPECT_EQ(kept.mask, c.mask);
    EXPECT_EQ(kept.masked.first_error, c.mask_error);
    EXPECT_EQ(kept.masked.records.size(), c.masked);
    // The subdirectories in the order the descent scan delivers them.
    std::vector<std::wstring> expected;
    TSearchRec rec;
    DirectoryPtr opened = OpenTypedDirectory(
        *session_, NarrowText(WithoutLongPrefix(c.path)));
    ASSERT_TRUE(opened);
    for (int r = OpenEntryScan(*opened, "*.*", kAttrMaskAll, rec); r == 0;
         r = NextEntry(rec))
      if ((rec.Attr & kAttrDirectory) != 0 && !IsDotName(rec.Name))
        expected.push_back(WideText(rec.Name));
    std::vector<std::wstring> subdirectories;
    for (uint32_t index : kept.subdirectories)
      subdirectories.emplace_back(kept.NameOf(kept.all.records[index]));
    EXPECT_EQ(subdirectories, expected);
  }
}

TEST(WideTextTest, NamesConvertAsTheOutputEncodingHoldsThem) {
  const struct {
    const wchar_t* wide;
    const char* code_page_932;
    const char* utf8;
  } cases[] = {
      {L"e.txt", "e.txt", "e.txt"},
      // Not "e.txt", another file's name.
      {L"\u00e9.txt", "?.txt", "\xC3\xA9.txt"},
      {L"caf\u00e9", "caf?", "caf\xC3\xA9"},
      {L"\ud55c\uae00", "??", "\xED\x95\x9C\xEA\xB8\x80"},
      {L"emoji\U0001F600", "emoji??", "emoji\xF0\x9F\x98\x80"},
      {L"\u301c", "?", "\xE3\x80\x9C"},  // no best fit to the full-width tilde
      {L"\uff5e", "\x81\x60", "\xEF\xBD\x9E"},
      {L"\u8868", "\x95\x5c", "\xE8\xA1\xA8"},  // "\" as its second byte
      {L"\uff71", "\xb1", "\xEF\xBD\xB1"},
      // An unpaired surrogate, which NTFS allows, comes back whole.
      {L"lone\xD800.txt", "lone?.txt", "lone\xED\xA0\x80.txt"},
  };
  for (const OutputEncoding encoding :
       {OutputEncoding::kPlatform, OutputEncoding::kUtf8}) {
    SetOutputEncoding(encoding);
    const bool utf8 = encoding == OutputEncoding::kUtf8;
    for (const auto& c : cases) {
      const std::string text = utf8 ? c.utf8 : c.code_page_932;
      SCOPED_TRACE(text);
      EXPECT_EQ(NarrowText(c.wide), text);
      if (text.find('?') == std::string::npos) {
        EXPECT_EQ(WideText(text), c.wide);
      }
    }
  }
  SetOutputEncoding(OutputEncoding::kPlatform);
}

TEST_F(FileSystemWin32Test, EntriesOutsideTheCodePageAreReachedExactly) {
  for (const wchar_t* name :
       {L"e.txt", L"\u00e9.txt", L"cafe\\", L"cafe\\plain.txt", L"caf\u00e9\\",
        L"caf\u00e9\\accent.txt"})
    MakeWide(name);
  std::multiset<std::string> seen;
  TSearchRec rec;
  for (int r = OpenEntryScan(*root_dir_, "*.*", kAttrMaskAll, rec); r == 0;
       r = NextEntry(rec)) {
    seen.insert(rec.Name);
    // The entry is reached by its stored name, not by its "?".
    SCOPED_TRACE(rec.Name);
    if (rec.Name == "caf?") {
      DirectoryPtr sub = OpenSubdirectory(*root_dir_, rec);
      EXPECT_EQ(ScanNames(sub.get(), "*.*"),
                (std::set<std::string>{".", "..", "accent.txt"}));
    } else if (rec.Name == "?.txt") {
      const std::string short_name = ShortNameOf(*root_dir_, rec);
      EXPECT_NE(short_name.find('~'), std::string::npos) << short_name;
      EXPECT_TRUE(IsExistingFile(Path(short_name)));
    }
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{".", "..", "?.txt", "caf?",
                                              "cafe", "e.txt"}));
  // In a mask "?" stands for one character of the wide name, in any case.
  EXPECT_EQ(ScanNames(root_dir_.get(), "?.TXT"),
            (std::set<std::string>{"?.txt", "e.txt"}));
  EXPECT_EQ(ScanNames(root_dir_.get(), "CAF?"),
            (std::set<std::string>{"caf?", "cafe"}));
}

TEST_F(FileSystemWin32Test, PathsPastTheLengthLimit) {
  std::wstring wide;
  std::string deep = root_;
  std::vector<DirectoryPtr> chain;  // each level opened from its entry
  for (int level = 0; level < 30; ++level) {
    const std::wstring name = L"dir" + std::to_wstring(1000000 + level);
    wide += name + L"\\";
    MakeWide(wide);
    deep += "\\" + NarrowText(name);
    chain.push_back(Sub(chain.empty() ? root_dir_.get() : chain.back().get(),
                        NarrowText(name)));
  }
  MakeWide(wide + L"f.txt");
  const std::string file = deep + "\\f.txt";
  ASSERT_GT(file.size(), 330u);
  DirectoryPtr typed = OpenTypedDirectory(*session_, deep);
  for (Directory* dir : {typed.get(), chain.back().get()}) {
    ASSERT_TRUE(dir);
    EXPECT_EQ(ScanNames(dir, "*.*"), (std::set<std::string>{".", "..", "f.txt"}));
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*dir, "F.TXT", kAttrMaskAll, rec), 0);
    EXPECT_EQ(ShortNameOf(*dir, rec), "f.txt");
    EXPECT_FALSE(IdentityOrNone(dir) == FileIdentity());
  }
  EXPECT_EQ(IdentityOrNone(typed.get()), IdentityOrNone(chain.back().get()));
  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_TRUE(IsExistingDirectory(deep));
  const std::string short_path = ShortPathOf(file);
  ASSERT_GT(short_path.size(), 6u);
  EXPECT_EQ(short_path.substr(short_path.size() - 6), "\\f.txt");
}

TEST_F(FileSystemWin32Test, CurrentDirectoryOutsideTheCodePage) {
  for (const wchar_t* name : {L"cafe\\", L"caf\u00e9\\", L"caf\u00e9\\in.txt"})
    MakeWide(name);
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW((WideText(root_) + L"\\caf\u00e9").c_str()));
  const std::string current = CurrentDirectory();
  // Where typed text spells the current directory, its "?" is that
  // character; "", "." and the drive alone are the current directory too.
  std::vector<std::set<std::string>> listed;
  for (const std::string& typed :
       {current, current + "\\", std::string(), std::string("."),
        current.substr(0, 2)})
    listed.push_back(ScanNames(OpenTypedDirectory(*session_, typed).get(), "*.*"));
  const bool file_found = IsExistingFile(current + "\\in.txt");
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(current, root_ + "\\caf?");  // whole, no delimiter after it
  for (const auto& names : listed)
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "in.txt"}));
  EXPECT_TRUE(file_found);
}

}  // namespace
