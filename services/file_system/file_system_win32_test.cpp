// The Windows file-system layer on a real temporary directory.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/file_system/wide_path_win32.h"

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
  void MakeDir(const std::string& name) {
    ASSERT_TRUE(CreateDirectoryA(Path(name).c_str(), nullptr)) << name;
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

  // The directory `name` below the root (the root itself for ""), opened
  // from typed text.
  DirectoryPtr Open(const std::string& name = "") {
    return OpenTypedDirectory(*session_, name.empty() ? root_ : Path(name));
  }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(h, &data));
      FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
  }

  std::string root_;
  FileSystemSessionPtr session_ = NewFileSystemSession(false);
};

// The subdirectory of `parent` that a scan of `mask` delivers first.
DirectoryPtr Sub(Directory& parent, const std::string& mask) {
  TSearchRec rec;
  if (OpenEntryScan(parent, mask, kAttrMaskAll, rec) != 0) return nullptr;
  return OpenSubdirectory(parent, rec);
}

// The names a scan of `mask` in `dir` delivers with `attr_mask`.
std::set<std::string> ScanNames(Directory& dir, const std::string& mask,
                                uint8_t attr_mask = kAttrMaskAll) {
  std::set<std::string> names;
  TSearchRec rec;
  for (int r = OpenEntryScan(dir, mask, attr_mask, rec); r == 0;
       r = NextEntry(rec))
    names.insert(rec.Name);
  CloseEntryScan(rec);
  return names;
}

// The identity of `dir`; a default one when it cannot be read.
FileIdentity IdentityOrNone(Directory* dir) {
  FileIdentity id;
  if (dir == nullptr || !IdentityOf(*dir, &id)) return FileIdentity();
  return id;
}

TEST_F(FileSystemWin32Test, SizeKeepsBothHalves) {
  const struct {
    const char* name;
    int64_t size;
  } cases[] = {{"empty", 0},
               {"ten", 10},
               {"three-gb", 3000000000LL},
               {"five-gib", 5LL << 30}};
  for (const auto& c : cases) MakeFile(c.name, c.size);
  DirectoryPtr root = Open();
  ASSERT_TRUE(root);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*root, c.name, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Size, c.size);
    EXPECT_EQ(rec.Name, c.name);
  }
}

TEST_F(FileSystemWin32Test, TimeIsLocalDosTimeClampedToItsRange) {
  const struct {
    const char* name;
    FILETIME time;
    int32_t expected;
  } cases[] = {
      {"a2001", LocalFileTime(2001, 2, 3, 4, 5, 6), 709042339},
      {"odd-second", LocalFileTime(2001, 2, 3, 4, 5, 7), 709042339},
      {"first", LocalFileTime(1980, 1, 1, 0, 0, 0), kEarliestDosTime},
      {"y1979", LocalFileTime(1979, 6, 1, 12, 0, 0), kEarliestDosTime},
      {"y1900", LocalFileTime(1900, 1, 1, 0, 0, 0), kEarliestDosTime},
      {"last", LocalFileTime(2107, 12, 31, 23, 59, 59), kLatestDosTime},
      {"y2110", LocalFileTime(2110, 1, 1, 0, 0, 0), kLatestDosTime},
  };
  for (const auto& c : cases) MakeFile(c.name, 1, &c.time);
  DirectoryPtr root = Open();
  ASSERT_TRUE(root);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*root, c.name, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Time, c.expected);
    // Out of range or not, the file exists and its path is printed.
    EXPECT_TRUE(IsExistingFile(Path(c.name)));
  }
}

TEST_F(FileSystemWin32Test, SkipMaskPassesOverHiddenSystemAndDirectories) {
  MakeFile("plain.txt");
  MakeFile("ro.txt");
  MakeFile("hidden.txt");
  MakeDir("dir");
  SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(Path("hidden.txt").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const struct {
    uint8_t mask;
    std::set<std::string> names;
  } cases[] = {
      {kAttrMaskAll, {".", "..", "dir", "hidden.txt", "plain.txt", "ro.txt"}},
      {0, {"plain.txt", "ro.txt"}},
      {kAttrHidden, {"plain.txt", "ro.txt"}},  // system is still skipped
      {kAttrHidden | kAttrSystem, {"hidden.txt", "plain.txt", "ro.txt"}},
      {kAttrDirectory, {".", "..", "dir", "plain.txt", "ro.txt"}},
  };
  DirectoryPtr root = Open();
  ASSERT_TRUE(root);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mask));
    EXPECT_EQ(ScanNames(*root, "*.*", c.mask), c.names);
  }
}

TEST_F(FileSystemWin32Test, ExactNamesAreDeliveredInTheirStoredForm) {
  MakeDir("Sub");
  const struct {
    const char* dir;
    const char* mask;
    const char* name;
  } cases[] = {
      {"", ".", "."},  // not the name of the directory it stands for
      {"Sub", "..", ".."},
      {"", "SUB", "Sub"},  // a real name comes in its stored case
      {"", "sub. .", "Sub"},  // and stands for itself without trailing dots
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    DirectoryPtr dir = Open(c.dir);
    ASSERT_TRUE(dir);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*dir, c.mask, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Name, c.name);
    EXPECT_NE(rec.Attr & kAttrDirectory, 0u);
    EXPECT_EQ(rec.Size, 0);
    EXPECT_NE(NextEntry(rec), 0);
  }
}

TEST_F(FileSystemWin32Test, FailedScanKeepsTheRecord) {
  DirectoryPtr root = Open();
  ASSERT_TRUE(root);
  for (const char* mask : {"missing", "missing\\*.*", ""}) {
    SCOPED_TRACE(mask);
    TSearchRec rec;
    rec.Name = "before";
    EXPECT_NE(OpenEntryScan(*root, mask, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Name, "before");
    EXPECT_NE(NextEntry(rec), 0);
    CloseEntryScan(rec);
    CloseEntryScan(rec);
  }
}

TEST_F(FileSystemWin32Test, ExistenceTests) {
  MakeFile("f.txt");
  MakeDir("d");
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
  MakeDir("a");
  MakeDir("a\\b");
  MakeFile("f");
  DirectoryPtr root = Open(), a = Open("a\\"), b = Open("A\\B");
  DirectoryPtr b_entry = Sub(*a, "B"), same = Sub(*b_entry, ".");
  DirectoryPtr up = Sub(*same, ".."), up_up = Sub(*up, "..");
  DirectoryPtr typed_up = Open("a\\b\\.."), file = Sub(*root, "f");
  const FileIdentity none;
  ASSERT_FALSE(IdentityOrNone(a.get()) == none);
  const struct {
    const char* what;
    Directory* dir;
    FileIdentity expected;
  } cases[] = {
      {"typed a\\b\\..", typed_up.get(), IdentityOrNone(a.get())},
      {"entry B of a", b_entry.get(), IdentityOrNone(b.get())},
      {". of it", same.get(), IdentityOrNone(b.get())},
      {".. of that", up.get(), IdentityOrNone(a.get())},
      {".. twice", up_up.get(), IdentityOrNone(root.get())},
      {"a file", file.get(), none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IdentityOrNone(c.dir), c.expected);
  }
  EXPECT_FALSE(IdentityOrNone(a.get()) == IdentityOrNone(b.get()));
  EXPECT_FALSE(Open("f"));
  EXPECT_FALSE(Open("none"));
  // ".." never leads above the drive's root.
  std::vector<DirectoryPtr> climb;
  climb.push_back(Open());
  for (int i = 0; i < 64 && climb.back(); ++i)
    climb.push_back(Sub(*climb.back(), ".."));
  if (!climb.back()) climb.pop_back();
  DirectoryPtr drive_root = OpenTypedDirectory(*session_, root_.substr(0, 3));
  EXPECT_EQ(IdentityOrNone(climb.back().get()),
            IdentityOrNone(drive_root.get()));
}

TEST_F(FileSystemWin32Test, CurrentDirectoryAndShortForms) {
  MakeFile("A long file name.text");
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(root_.c_str()));
  const std::string current = CurrentDirectory();
  SetCurrentDirectoryA(saved);
  EXPECT_EQ(GetFileAttributesA(current.c_str()), GetFileAttributesA(root_.c_str()));
  EXPECT_NE(current.back(), '\\');

  const std::string short_path = ShortPathOf(Path("A long file name.text"));
  EXPECT_NE(short_path.find('~'), std::string::npos) << short_path;
  EXPECT_EQ(short_path.find(' '), std::string::npos) << short_path;
  EXPECT_TRUE(IsExistingFile(short_path));
  EXPECT_EQ(ShortPathOf(Path("none")), "");
  DirectoryPtr root = Open();
  TSearchRec rec;
  ASSERT_EQ(OpenEntryScan(*root, "a long*", kAttrMaskAll, rec), 0);
  EXPECT_EQ(ShortNameOf(*root, rec),
            short_path.substr(short_path.rfind('\\') + 1));
}

TEST(WideTextTest, NamesConvertWithoutLookAlikes) {
  const struct {
    const wchar_t* wide;
    const char* bytes;
  } cases[] = {
      {L"e.txt", "e.txt"},
      {L"\u00e9.txt", "?.txt"},  // not "e.txt", another file's name
      {L"caf\u00e9", "caf?"},
      {L"\ud55c\uae00", "??"},
      {L"\u301c", "?"},          // no best fit to the full-width tilde
      {L"\uff5e", "\x81\x60"},
      {L"\u8868", "\x95\x5c"},   // ends in the byte of "\"
      {L"\uff71", "\xb1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(NarrowText(c.wide), c.bytes);
    if (std::string(c.bytes).find('?') == std::string::npos) {
      EXPECT_EQ(WideText(c.bytes), c.wide);
    }
  }
}

TEST_F(FileSystemWin32Test, EntriesOutsideTheCodePageAreReachedExactly) {
  for (const wchar_t* name :
       {L"e.txt", L"\u00e9.txt", L"cafe\\", L"cafe\\plain.txt", L"caf\u00e9\\",
        L"caf\u00e9\\accent.txt"})
    MakeWide(name);
  DirectoryPtr root = Open();
  ASSERT_TRUE(root);
  std::multiset<std::string> seen;
  TSearchRec rec;
  for (int r = OpenEntryScan(*root, "*.*", kAttrMaskAll, rec); r == 0;
       r = NextEntry(rec)) {
    seen.insert(rec.Name);
    // The entry is reached by its wide name, whatever its "?" stands for.
    SCOPED_TRACE(rec.Name);
    if (rec.Name == "caf?") {
      DirectoryPtr sub = OpenSubdirectory(*root, rec);
      ASSERT_TRUE(sub);
      EXPECT_EQ(ScanNames(*sub, "*.*"),
                (std::set<std::string>{".", "..", "accent.txt"}));
      EXPECT_FALSE(IdentityOrNone(sub.get()) == FileIdentity());
    } else if (rec.Name == "?.txt") {
      const std::string short_name = ShortNameOf(*root, rec);
      EXPECT_NE(short_name.find('~'), std::string::npos) << short_name;
      EXPECT_TRUE(IsExistingFile(Path(short_name)));
    }
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{".", "..", "?.txt", "caf?",
                                              "cafe", "e.txt"}));
  // In a mask "?" stands for one character of the wide name, in any case.
  EXPECT_EQ(ScanNames(*root, "?.TXT"),
            (std::set<std::string>{"?.txt", "e.txt"}));
  EXPECT_EQ(ScanNames(*root, "CAF?"), (std::set<std::string>{"caf?", "cafe"}));
}

TEST_F(FileSystemWin32Test, PathsPastTheLengthLimit) {
  std::wstring wide;
  std::string deep = root_;
  std::vector<DirectoryPtr> chain;
  chain.push_back(Open());
  for (int level = 0; level < 30; ++level) {
    const std::wstring name = L"dir" + std::to_wstring(1000000 + level);
    wide += name + L"\\";
    MakeWide(wide);
    deep += "\\" + NarrowText(name);
    chain.push_back(Sub(*chain.back(), NarrowText(name)));
    ASSERT_TRUE(chain.back()) << level;
  }
  MakeWide(wide + L"f.txt");
  const std::string file = deep + "\\f.txt";
  ASSERT_GT(file.size(), 330u);
  DirectoryPtr typed = OpenTypedDirectory(*session_, deep);
  ASSERT_TRUE(typed);
  for (Directory* dir : {typed.get(), chain.back().get()}) {
    EXPECT_EQ(ScanNames(*dir, "*.*"),
              (std::set<std::string>{".", "..", "f.txt"}));
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(*dir, "F.TXT", kAttrMaskAll, rec), 0);
    EXPECT_EQ(ShortNameOf(*dir, rec), "f.txt");
  }
  EXPECT_EQ(IdentityOrNone(typed.get()), IdentityOrNone(chain.back().get()));
  EXPECT_FALSE(IdentityOrNone(typed.get()) == FileIdentity());
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
  // Its "?" is that character wherever the text spells the current
  // directory; "" is the current directory, and so is the drive alone.
  std::vector<std::set<std::string>> listed;
  for (const std::string& typed :
       {current, current + "\\", std::string(), std::string("."),
        current.substr(0, 2)}) {
    DirectoryPtr dir = OpenTypedDirectory(*session_, typed);
    listed.push_back(dir ? ScanNames(*dir, "*.*") : std::set<std::string>());
  }
  const bool file_found = IsExistingFile(current + "\\in.txt");
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(current, root_ + "\\caf?");
  for (const auto& names : listed)
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "in.txt"}));
  EXPECT_TRUE(file_found);
}

}  // namespace
