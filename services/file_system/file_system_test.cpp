// The POSIX file-system layer on real temporary directories.
#include "services/file_system/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "services/file_system/dos_times_posix.h"

namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestriv-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    std::string command = "chmod -R u+rwx '" + root_ + "'; rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  void MakeFile(const std::string& name, off_t size = 1) {
    int fd = open(Path(name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
  }
  void MakeDir(const std::string& name) {
    ASSERT_EQ(mkdir(Path(name).c_str(), 0755), 0) << name;
  }
  void SetLocalTime(const std::string& name, int year, int month, int day,
                    int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    struct utimbuf times;
    times.actime = times.modtime = mktime(&t);
    ASSERT_EQ(utime(Path(name).c_str(), &times), 0);
  }
  // The directory before the last "/" of `pattern` (relative to the root),
  // opened as typed, and the last component.
  DirectoryPtr Open(const std::string& pattern, std::string* mask) {
    const size_t cut = pattern.rfind('/');
    *mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    return OpenTypedDirectory(
        *session_, cut == std::string::npos ? root_ : Path(pattern.substr(0, cut)));
  }
  // The one entry that `pattern` delivers.
  TSearchRec Scan(const std::string& pattern) {
    std::string mask;
    dir_ = Open(pattern, &mask);
    TSearchRec rec;
    EXPECT_TRUE(dir_ && OpenEntryScan(*dir_, mask, kAttrMaskAll, rec) == 0)
        << pattern;
    return rec;
  }
  // The names `pattern` delivers, in the scan's order.
  std::vector<std::string> Names(const std::string& pattern) {
    std::vector<std::string> names;
    std::string mask;
    DirectoryPtr dir = Open(pattern, &mask);
    if (!dir) return names;
    TSearchRec rec;
    for (int r = OpenEntryScan(*dir, mask, kAttrMaskAll, rec); r == 0;
         r = NextEntry(rec))
      names.push_back(rec.Name);
    CloseEntryScan(rec);
    return names;
  }
  FileSystemSessionPtr session_ = NewFileSystemSession(false, 1);
  DirectoryPtr dir_;
  std::string root_;
};

TEST_F(FileSystemTest, Attributes) {
  MakeDir("dir");
  MakeFile("plain");
  MakeFile("locked");
  ASSERT_EQ(chmod(Path("locked").c_str(), 0444), 0);
  MakeFile(".profile");
  MakeDir(".config");
  ASSERT_EQ(symlink("dir", Path("link").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
  const struct {
    const char* name;
    uint32_t attr;
  } cases[] = {
      {"dir", 0x10},      {"plain", 0x20},   {"locked", 0x21},
      {".profile", 0x22}, {".config", 0x12}, {"link", 0x410},
      {"dangling", 0x420},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Scan(c.name).Attr, c.attr);
  }
}

TEST_F(FileSystemTest, SizesAreFull64Bit) {
  const struct {
    const char* name;
    off_t size;
  } cases[] = {{"zero", 0}, {"three-gb", 3000000000LL}, {"five-gib", 5LL << 30}};
  for (const auto& c : cases) {
    MakeFile(c.name, c.size);
    EXPECT_EQ(Scan(c.name).Size, static_cast<int64_t>(c.size)) << c.name;
  }
  MakeDir("dir");
  EXPECT_EQ(Scan("dir").Size, 0);
}

TEST_F(FileSystemTest, TimesArePackedLocalAndClamped) {
  const struct {
    int year, month, day, hour, minute, second;
    uint32_t packed;
  } cases[] = {
      {2001, 2, 3, 4, 5, 6, 709042339u},
      {2001, 2, 3, 4, 5, 7, 709042339u},
      {1980, 1, 1, 0, 0, 0, 0x00210000u},
      {1979, 12, 31, 23, 59, 59, 0x00210000u},
      {1970, 1, 2, 0, 0, 0, 0x00210000u},
      {2107, 12, 31, 23, 59, 58, 0xFF9FBF7Du},
      {2110, 6, 1, 12, 0, 0, 0xFF9FBF7Du},
      {2044, 1, 1, 0, 0, 0, 0x80210000u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.year);
    MakeFile("f");
    SetLocalTime("f", c.year, c.month, c.day, c.hour, c.minute, c.second);
    EXPECT_EQ(static_cast<uint32_t>(Scan("f").Time), c.packed);
  }
}

// The times of a tree convert through the day's cached offset exactly as
// the C library's local time gives them, in zones with summer time, with
// half-hour shifts and with leap seconds, and at the ends of the range.
TEST(DosTimesTest, AsTheLibraryConvertsThem) {
  const struct {
    const char* zone;
    int64_t from, to, step;
  } cases[] = {
      {"Europe/Berlin", 315360000, 2240000000, 11237},
      {"America/Sao_Paulo", 315360000, 2240000000, 11237},
      {"Australia/Lord_Howe", 315360000, 2240000000, 11237},
      {"right/Europe/London", 315360000, 1800000000, 11237},
      {"Asia/Tokyo", -100000, 100000, 997},
      {"America/New_York", 4354000000, 4356000000, 3607},  // 2107 to 2108
  };
  const char* saved = getenv("TZ");
  const std::string before = saved != nullptr ? saved : "";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    setenv("TZ", c.zone, 1);
    tzset();
    DosTimes times;
    for (int64_t t = c.from; t < c.to; t += c.step) {
      const time_t when = static_cast<time_t>(t);
      struct tm local;
      ASSERT_NE(localtime_r(&when, &local), nullptr);
      const DosDateTime expected = LastWriteDosTime(
          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour, local.tm_min, local.tm_sec);
      ASSERT_EQ(times.Of(when), expected) << t;
    }
  }
  if (saved != nullptr)
    setenv("TZ", before.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// Entries come in name order (upper-cased UTF-16 units; a byte that is
// not UTF-8 last), whatever order the file system keeps.
TEST_F(FileSystemTest, PatternsAndCase) {
  MakeDir("Sub");
  for (const char* name :
       {"Sub/README", "Sub/\xff.txt", "Sub/b.txt.bak", "Sub/\xc3\xa9.txt",
        "Sub/a.TXT", "Sub/\xf0\x9f\x98\x80.txt", "Sub/.hidden.txt",
        "Sub/Zebra and more than sixteen bytes.txt"})
    MakeFile(name);
  const struct {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"Sub/*.txt",
       {".hidden.txt", "a.TXT", "Zebra and more than sixteen bytes.txt",
        "\xc3\xa9.txt", "\xf0\x9f\x98\x80.txt", "\xff.txt"}},
      {"SUB/?.TXT", {"a.TXT", "\xc3\xa9.txt", "\xff.txt"}},
      {"sub/R*.", {"README"}},
      {"Sub/*.*",
       {".", "..", ".hidden.txt", "a.TXT", "b.txt.bak", "README",
        "Zebra and more than sixteen bytes.txt", "\xc3\xa9.txt",
        "\xf0\x9f\x98\x80.txt", "\xff.txt"}},
      {"Sub/A.txt", {"a.TXT"}},
      {"sUB/readme", {"README"}},
      {"Sub/.", {"."}},
      {"Sub/", {}},
      {"Sub/missing", {}},
      {"Nope/*", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Names(c.pattern), c.names);
  }
}

TEST_F(FileSystemTest, FailedScanKeepsTheFields) {
  TSearchRec rec;
  rec.Name = "before";
  rec.Size = 7;
  std::string mask;
  EXPECT_FALSE(Open("missing/*", &mask));
  DirectoryPtr dir = Open("missing*", &mask);
  ASSERT_TRUE(dir);
  EXPECT_NE(OpenEntryScan(*dir, mask, kAttrMaskAll, rec), 0);
  CloseEntryScan(rec);
  CloseEntryScan(rec);
  EXPECT_EQ(rec.Name, "before");
  EXPECT_EQ(rec.Size, 7);
}

TEST_F(FileSystemTest, ExistenceTests) {
  MakeDir("Dir");
  MakeFile("Dir/old");
  SetLocalTime("Dir/old", 1979, 6, 1, 0, 0, 0);
  const struct {
    const char* path;
    bool file, directory;
  } cases[] = {
      {"Dir", false, true},      {"dir", false, true},
      {"Dir/old", true, false},  {"DIR/OLD", true, false},
      {"Dir/", false, true},     {"Dir/missing", false, false},
      {"Dir/old/", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsExistingFile(Path(c.path)), c.file);
    EXPECT_EQ(IsExistingDirectory(Path(c.path)), c.directory);
  }
}

TEST_F(FileSystemTest, ShortPaths) {
  MakeDir("Program Files");
  MakeFile("Program Files/Long File Name.text");
  MakeFile("Program Files/x.txt");
  const struct {
    const char* path;
    std::string short_path;
  } cases[] = {
      {"Program Files/x.txt", "PROGRA~1/x.txt"},
      {"PROGRAM FILES/Long File Name.text", "PROGRA~1/LONGFI~1.TEX"},
      {"Program Files/missing", ""},
  };
  ASSERT_EQ(chdir(root_.c_str()), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ShortPathOf(c.path), c.short_path);
  }
  // An absolute path stays absolute; the temporary directory's own long
  // name gets its alias too.
  EXPECT_EQ(ShortPathOf(Path("Program Files/x.txt")).substr(0, 5), "/tmp/");
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FileSystemTest, LongCurrentDirectoryComesBackWhole) {
  std::string path = root_;
  for (int i = 0; i < 30; ++i) {
    path += "/directory-name-of-some-length";
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  }
  ASSERT_EQ(chdir(path.c_str()), 0);
  EXPECT_EQ(CurrentDirectory(), path);
  ASSERT_EQ(chdir("/"), 0);
}

// Identity is that of what was opened. An entry listed as a directory
// that has become a link since is not followed.
TEST_F(FileSystemTest, IdentityIsThatOfTheOpenedDirectory) {
  MakeDir("a");
  MakeDir("c");
  ASSERT_EQ(symlink("a", Path("b").c_str()), 0);
  FileIdentity a, b, up, root;
  DirectoryPtr top = OpenTypedDirectory(*session_, root_);
  ASSERT_TRUE(top && IdentityOf(*top, &root));
  auto entry = [&top](const char* name) {
    TSearchRec rec;
    EXPECT_EQ(OpenEntryScan(*top, name, kAttrMaskAll, rec), 0) << name;
    return rec;
  };
  DirectoryPtr a_dir = OpenSubdirectory(*top, entry("a"));
  ASSERT_TRUE(IdentityOf(*a_dir, &a));
  DirectoryPtr b_dir = OpenSubdirectory(*top, entry("B"));
  ASSERT_TRUE(IdentityOf(*b_dir, &b));
  EXPECT_EQ(a, b);
  DirectoryPtr up_dir = OpenTypedDirectory(*session_, Path("a/.."));
  ASSERT_TRUE(up_dir && IdentityOf(*up_dir, &up));
  EXPECT_EQ(up, root);
  EXPECT_FALSE(a == up);
  const TSearchRec c_rec = entry("c");
  ASSERT_EQ(rmdir(Path("c").c_str()), 0);
  ASSERT_EQ(symlink("..", Path("c").c_str()), 0);
  DirectoryPtr c_dir = OpenSubdirectory(*top, c_rec);
  EXPECT_FALSE(IdentityOf(*c_dir, &up));
  c_dir.reset();
  b_dir.reset();
  a_dir.reset();
  MakeFile("f");
  EXPECT_FALSE(OpenTypedDirectory(*session_, Path("f")));
}

}  // namespace
