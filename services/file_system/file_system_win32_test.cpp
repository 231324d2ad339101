// The Windows file-system layer on a real temporary directory.
#include <windows.h>

#include <set>
#include <string>

#include "gtest/gtest.h"
#include "services/file_system/file_system.h"
#include "services/dates.h"
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
};

TEST_F(FileSystemWin32Test, SizeKeepsBothHalves) {
  const struct {
    const char* name;
    int64_t size;
  } cases[] = {{"empty", 0},
               {"ten", 10},
               {"three-gb", 3000000000LL},
               {"five-gib", 5LL << 30}};
  for (const auto& c : cases) MakeFile(c.name, c.size);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(Path(c.name), kAttrMaskAll, rec), 0);
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(Path(c.name), kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Time, c.expected);
    // Out of range or not, the file exists and its path is printed.
    EXPECT_TRUE(IsExistingFile(Path(c.name)));
  }
}

// The names a scan of `pattern` delivers with `mask`.
std::set<std::string> ScanNames(const std::string& pattern, uint8_t mask) {
  std::set<std::string> names;
  TSearchRec rec;
  for (int r = OpenEntryScan(pattern, mask, rec); r == 0; r = NextEntry(rec))
    names.insert(rec.Name);
  CloseEntryScan(rec);
  return names;
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
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mask));
    EXPECT_EQ(ScanNames(Path("*.*"), c.mask), c.names);
  }
}

TEST_F(FileSystemWin32Test, DotNamesAreDeliveredAsThemselves) {
  MakeDir("Sub");
  const struct {
    std::string pattern;
    const char* name;
  } cases[] = {
      {Path("."), "."},
      {Path("Sub\\.."), ".."},
      {Path("SUB"), "Sub"},  // a real name comes in its stored case
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    TSearchRec rec;
    ASSERT_EQ(OpenEntryScan(c.pattern, kAttrMaskAll, rec), 0);
    EXPECT_EQ(rec.Name, c.name);
    EXPECT_NE(rec.Attr & kAttrDirectory, 0u);
    EXPECT_EQ(rec.Size, 0);
    EXPECT_NE(NextEntry(rec), 0);
  }
}

TEST_F(FileSystemWin32Test, FailedScanKeepsTheRecord) {
  TSearchRec rec;
  rec.Name = "before";
  EXPECT_NE(OpenEntryScan(Path("missing\\*.*"), kAttrMaskAll, rec), 0);
  EXPECT_EQ(rec.Name, "before");
  EXPECT_NE(NextEntry(rec), 0);
  CloseEntryScan(rec);
  CloseEntryScan(rec);
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
  }
}

TEST_F(FileSystemWin32Test, DirectoryIdentityFollowsThePathToTheDirectory) {
  MakeDir("a");
  MakeDir("a\\b");
  MakeFile("f");
  FileIdentity root, a, up, b;
  ASSERT_TRUE(DirectoryIdentityOf(root_, &root));
  ASSERT_TRUE(DirectoryIdentityOf(Path("a\\"), &a));
  ASSERT_TRUE(DirectoryIdentityOf(Path("a\\b\\.."), &up));
  ASSERT_TRUE(DirectoryIdentityOf(Path("A\\B"), &b));
  EXPECT_EQ(a, up);
  EXPECT_FALSE(a == root);
  EXPECT_FALSE(a == b);
  FileIdentity unused;
  EXPECT_FALSE(DirectoryIdentityOf(Path("f"), &unused));
  EXPECT_FALSE(DirectoryIdentityOf(Path("none"), &unused));
}

TEST_F(FileSystemWin32Test, CurrentDirectoryAndShortPath) {
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
  std::multiset<std::string> seen;
  TSearchRec rec;
  for (int r = OpenEntryScan(Path("*.*"), kAttrMaskAll, rec); r == 0;
       r = NextEntry(rec)) {
    seen.insert(rec.Name);
    // While the scan stands on an entry, its byte path names that entry:
    // its "?" is no wildcard.
    if (rec.Name != "caf?" && rec.Name != "?.txt") continue;
    SCOPED_TRACE(rec.Name);
    EXPECT_EQ(ScanNames(Path(rec.Name), kAttrMaskAll),
              std::set<std::string>{rec.Name});
    if (rec.Name == "caf?") {
      EXPECT_EQ(ScanNames(Path("caf?\\*.*"), kAttrMaskAll),
                (std::set<std::string>{".", "..", "accent.txt"}));
      EXPECT_TRUE(IsExistingDirectory(Path("caf?")));
      FileIdentity id;
      EXPECT_TRUE(DirectoryIdentityOf(Path("caf?\\"), &id));
    } else {
      EXPECT_TRUE(IsExistingFile(Path("?.txt")));
      const std::string short_path =
          ShortPathOfEntry(nullptr, root_ + "\\", "?.txt");
      EXPECT_NE(short_path.find('~'), std::string::npos) << short_path;
      EXPECT_EQ(short_path, ShortPathOf(Path("?.txt")));
    }
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{".", "..", "?.txt", "caf?",
                                              "cafe", "e.txt"}));
  // In a mask "?" stands for one character of the wide name, in any case.
  EXPECT_EQ(ScanNames(Path("?.TXT"), kAttrMaskAll),
            (std::set<std::string>{"?.txt", "e.txt"}));
  EXPECT_EQ(ScanNames(Path("CAF?"), kAttrMaskAll),
            (std::set<std::string>{"caf?", "cafe"}));
}

TEST_F(FileSystemWin32Test, PathsPastTheLengthLimit) {
  std::wstring wide;
  std::string deep = root_;
  for (int level = 0; level < 30; ++level) {
    const std::wstring name = L"dir" + std::to_wstring(1000000 + level);
    wide += name + L"\\";
    MakeWide(wide);
    deep += "\\" + NarrowText(name);
  }
  MakeWide(wide + L"f.txt");
  const std::string file = deep + "\\f.txt";
  ASSERT_GT(file.size(), 330u);
  EXPECT_EQ(ScanNames(deep + "\\*.*", kAttrMaskAll),
            (std::set<std::string>{".", "..", "f.txt"}));
  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_TRUE(IsExistingDirectory(deep));
  FileIdentity id;
  EXPECT_TRUE(DirectoryIdentityOf(deep, &id));
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
  const std::set<std::string> inside =
      ScanNames(current + "\\*.*", kAttrMaskAll);
  const std::set<std::string> itself = ScanNames(current, kAttrMaskAll);
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(current, root_ + "\\caf?");
  EXPECT_EQ(inside, (std::set<std::string>{".", "..", "in.txt"}));
  EXPECT_EQ(itself, std::set<std::string>{"caf?"});  // not "cafe"
}

}  // namespace
