// The portable INI layer: reads and writes checked against file contents
// written out by hand, byte for byte.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "storage/ini.h"
#include "tests/test_support.h"

#ifdef __linux__
#include <sys/stat.h>
#endif

namespace plimbar {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

// Every test gets a fresh folder of its own, removed afterwards.
class IniTest : public test::TempFolderTest {
 protected:
  IniTest() : TempFolderTest("plimbar_ini_") {}
  void SetUp() override {
    TempFolderTest::SetUp();
    path_ = File("test.ini");
  }

  int ReadInt(const char* section, const char* key, int def) const {
    return kPortableIni.readInt(section, key, def, path_.c_str());
  }
  std::string ReadString(const char* section, const char* key,
                         const char* def = "<default>") const {
    char buf[512];
    int n = kPortableIni.readString(section, key, def, buf, sizeof buf,
                                    path_.c_str());
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf));
    return buf;
  }
  bool Write(const char* section, const char* key, const char* value) const {
    return kPortableIni.writeString(section, key, value, path_.c_str());
  }

  std::string path_;
};

// --- reading ----------------------------------------------------------------

TEST_F(IniTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(ReadInt("Setting", "Tune1", 60), 60);
  EXPECT_EQ(ReadString("Setting", "dir"), "<default>");
  EXPECT_EQ(ReadString("Setting", "dir", nullptr), "");
  EXPECT_FALSE(PortableIniHasSection("Setting", path_.c_str()));

  WriteText(path_, "[Setting]\r\nTune1=5\r\n");
  EXPECT_EQ(ReadInt("Other", "Tune1", -3), -3);
  EXPECT_EQ(ReadInt("Setting", "Tune2", 77), 77);
  EXPECT_EQ(ReadString("Setting", "Tune2", "x"), "x");
  EXPECT_EQ(ReadInt("Setting", "Tune1", 77), 5);
}

TEST_F(IniTest, NamesMatchWithoutRegardToCase) {
  WriteText(path_, "[SeTTinG]\r\nTUNE1=7\r\nvolume1=9\r\n");
  EXPECT_EQ(ReadInt("Setting", "Tune1", 0), 7);
  EXPECT_EQ(ReadInt("setting", "tune1", 0), 7);
  EXPECT_EQ(ReadInt("SETTING", "VOLUME1", 0), 9);
  EXPECT_TRUE(PortableIniHasSection("setting", path_.c_str()));
  EXPECT_FALSE(PortableIniHasSection("Settings", path_.c_str()));
  // Only ASCII letters fold: '[' (0x5B) is not the upper case of '{'.
  WriteText(path_, "[a{]\r\nk=1\r\n");
  EXPECT_EQ(ReadInt("A[", "k", 0), 0);
  EXPECT_EQ(ReadInt("A{", "K", 0), 1);
}

TEST_F(IniTest, BlanksAroundNamesAndValuesAreTrimmed) {
  WriteText(path_,
      "  [ Setting ]  \r\n"
      " \t Tune1 \t=\t 42 \t\r\n"
      "dir =  C:\\My Sounds  \r\n");
  EXPECT_EQ(ReadInt("Setting", "Tune1", 0), 42);
  EXPECT_EQ(ReadString("Setting", "Tune1"), "42");
  EXPECT_EQ(ReadString("Setting", "dir"), "C:\\My Sounds");
}

TEST_F(IniTest, MatchingQuotesAroundAValueAreRemoved) {
  WriteText(path_,
      "[S]\r\n"
      "a=\"C:\\x y\"\r\n"
      "b='single'\r\n"
      "c=\"mixed'\r\n"
      "d=\"\r\n"
      "e=\"\"\r\n"
      "f= \" 12 \" \r\n"
      "g=\"in\"side\"\r\n");
  EXPECT_EQ(ReadString("S", "a"), "C:\\x y");
  EXPECT_EQ(ReadString("S", "b"), "single");
  EXPECT_EQ(ReadString("S", "c"), "\"mixed'");
  EXPECT_EQ(ReadString("S", "d"), "\"");
  EXPECT_EQ(ReadString("S", "e"), "");
  EXPECT_EQ(ReadInt("S", "e", 33), 33);  // empty once unquoted
  EXPECT_EQ(ReadString("S", "f"), " 12 ");
  EXPECT_EQ(ReadInt("S", "f", 0), 12);
  EXPECT_EQ(ReadString("S", "g"), "in\"side");
}

TEST_F(IniTest, CommentsLinesWithoutEqualsAndKeysBeforeAnySectionAreNoKeys) {
  WriteText(path_,
      "Tune1=1\r\n"
      "[Setting]\r\n"
      ";Tune1=2\r\n"
      "  ; Tune2=2\r\n"
      "Tune2\r\n"
      "[broken\r\n"
      "Tune3 = 3 ; not a comment\r\n"
      "Tune4==4\r\n"
      "=5\r\n");
  EXPECT_EQ(ReadInt("Setting", "Tune1", -1), -1);
  EXPECT_EQ(ReadInt("Setting", "Tune2", -1), -1);
  EXPECT_EQ(ReadString("Setting", "Tune3"), "3 ; not a comment");
  EXPECT_EQ(ReadString("Setting", "Tune4"), "=4");
  // "[broken" has no ']': it opens no section, so Setting goes on.
  EXPECT_FALSE(PortableIniHasSection("broken", path_.c_str()));
}

TEST_F(IniTest, FirstOfDuplicatedSectionsAndKeysWins) {
  WriteText(path_,
      "[A]\r\nk=1\r\nk=2\r\n"
      "[B]\r\nk=10\r\n"
      "[a]\r\nk=3\r\nonlyLater=4\r\n");
  EXPECT_EQ(ReadInt("A", "k", 0), 1);
  EXPECT_EQ(ReadInt("B", "k", 0), 10);
  EXPECT_EQ(ReadInt("A", "onlyLater", -1), -1);
}

TEST_F(IniTest, AnyLineEndReads) {
  const char* files[] = {
      "[S]\na=1\nb=2\n",        // LF
      "[S]\ra=1\rb=2\r",        // CR
      "[S]\r\na=1\nb=2\r",      // mixed
      "[S]\r\na=1\r\nb=2",      // no line end at the end
      "\r\n\n\r[S]\n\ra=1\r\r\nb=2",  // blank lines of every kind
  };
  for (const char* text : files) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    WriteText(path_, text);
    EXPECT_EQ(ReadInt("S", "a", 0), 1);
    EXPECT_EQ(ReadInt("S", "b", 0), 2);
  }
}

TEST_F(IniTest, ReadStringCutsAndAlwaysTerminates) {
  WriteText(path_, "[S]\r\nk=abcdef\r\n");
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(kPortableIni.readString("S", "k", "", buf, 4, path_.c_str()), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], 'x');  // nothing written past size
  EXPECT_EQ(kPortableIni.readString("S", "k", "", buf, 1, path_.c_str()), 0);
  EXPECT_STREQ(buf, "");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(kPortableIni.readString("S", "k", "", buf, 0, path_.c_str()), 0);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(kPortableIni.readString("S", "k", "", nullptr, 5, path_.c_str()),
            0);
  // The default is cut the same way.
  EXPECT_EQ(
      kPortableIni.readString("S", "none", "123456", buf, 3, path_.c_str()), 2);
  EXPECT_STREQ(buf, "12");
  EXPECT_EQ(kPortableIni.readString("S", "k", "", buf, 7, path_.c_str()), 6);
  EXPECT_STREQ(buf, "abcdef");
}

struct IntCase {
  const char* text;
  int expected;
};

TEST(ParseIniInt, DecimalWithSignAndWrapAround) {
  const IntCase cases[] = {
      {"0", 0},
      {"60", 60},
      {"  -12abc", -12},
      {"\t 42", 42},
      {"+7", 7},
      {"-0", 0},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"--5", 0},
      {"+-5", 0},
      {"- 5", 0},
      {"12 34", 12},
      {"007", 7},
      {"1e3", 1},
      {"0x1F", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MIN},   // 2^31 wraps to -2^31
      {"4294967295", -1},        // 2^32 - 1
      {"4294967296", 0},         // 2^32
      {"4294967297", 1},
      {"-4294967297", -1},
      {"99999999999", 1215752191},  // 99999999999 - 23 * 2^32
      {"12345678901234567890", -350287150},  // mod 2^32 = 3944680146
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ParseIniInt(c.text), c.expected) << '"' << c.text << '"';
  }
  EXPECT_EQ(ParseIniInt(nullptr), 0);
}

TEST_F(IniTest, ReadIntParsesTheValueAndGivesTheDefaultOnlyWhenEmpty) {
  WriteText(path_,
      "[S]\r\n"
      "a=  -12abc\r\n"
      "b=+7\r\n"
      "c=abc\r\n"
      "d=\r\n"
      "e=   \r\n"
      "f=4294967297\r\n"
      "g=-2147483648\r\n");
  EXPECT_EQ(ReadInt("S", "a", 99), -12);
  EXPECT_EQ(ReadInt("S", "b", 99), 7);
  EXPECT_EQ(ReadInt("S", "c", 99), 0);
  EXPECT_EQ(ReadInt("S", "d", 99), 99);
  EXPECT_EQ(ReadInt("S", "e", 99), 99);
  EXPECT_EQ(ReadInt("S", "f", 99), 1);
  EXPECT_EQ(ReadInt("S", "g", 99), INT_MIN);
}

TEST_F(IniTest, NulBytesEndAValueAndNeverMatchAName) {
  std::string text = "[S]\r\nk=12";
  text += '\0';
  text += "34\r\nTu";
  text += '\0';
  text += "ne=5\r\n";
  WriteText(path_, text);
  EXPECT_EQ(ReadString("S", "k"), "12");
  EXPECT_EQ(ReadInt("S", "k", 0), 12);
  EXPECT_EQ(ReadInt("S", "Tu", -1), -1);
  EXPECT_EQ(ReadInt("S", "Tune", -1), -1);
}

// --- writing ----------------------------------------------------------------

TEST_F(IniTest, WriteCreatesAMissingFile) {
  ASSERT_TRUE(Write("Setting", "Tune1", "60"));
  EXPECT_EQ(ReadText(path_), "[Setting]\r\nTune1=60\r\n");
  ASSERT_TRUE(Write("Setting", "DeTune1", "50"));
  EXPECT_EQ(ReadText(path_), "[Setting]\r\nTune1=60\r\nDeTune1=50\r\n");
  ASSERT_TRUE(Write("Version", "Version", "20"));
  EXPECT_EQ(ReadText(path_),
            "[Setting]\r\nTune1=60\r\nDeTune1=50\r\n[Version]\r\nVersion=20\r\n");
  ASSERT_TRUE(Write("setting", "dir", ""));
  EXPECT_EQ(ReadText(path_),
            "[Setting]\r\nTune1=60\r\nDeTune1=50\r\ndir=\r\n"
            "[Version]\r\nVersion=20\r\n");
  EXPECT_EQ(ReadString("Setting", "dir"), "");
}

TEST_F(IniTest, WriteAddsAKeyAfterTheLastNonBlankLineOfItsSection) {
  struct Case {
    const char* before;
    const char* after;
  } cases[] = {
      {"[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n",
       "[A]\r\nx=1\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n"},
      {"[A]\r\nx=1\r\n; note\r\n  \t\r\n[B]\r\n",
       "[A]\r\nx=1\r\n; note\r\nz=3\r\n  \t\r\n[B]\r\n"},
      {"[A]\r\n\r\n[B]\r\n", "[A]\r\nz=3\r\n\r\n[B]\r\n"},
      {"[A]", "[A]\r\nz=3\r\n"},
      {"[A]\r\nx=1", "[A]\r\nx=1\r\nz=3\r\n"},
      {"[A]\nx=1\n\n", "[A]\nx=1\nz=3\r\n\n"},
      {"[A]\rx=1\r", "[A]\rx=1\rz=3\r\n"},
      {"[B]\r\n[A]\r\nx=1\r\n", "[B]\r\n[A]\r\nx=1\r\nz=3\r\n"},
      {"[A]\r\nx=1\r\n[a]\r\ny=2\r\n", "[A]\r\nx=1\r\nz=3\r\n[a]\r\ny=2\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.before)));
    WriteText(path_, c.before);
    ASSERT_TRUE(Write("a", "z", "3"));
    EXPECT_EQ(ReadText(path_), c.after);
    EXPECT_EQ(ReadInt("A", "z", 0), 3);
  }
}

TEST_F(IniTest, WriteAddsAMissingSectionAtTheEnd) {
  struct Case {
    const char* before;
    const char* after;
  } cases[] = {
      {"", "[New]\r\nk=v\r\n"},
      {"[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n[New]\r\nk=v\r\n"},
      {"[A]\r\nx=1", "[A]\r\nx=1\r\n[New]\r\nk=v\r\n"},
      {"[A]\nx=1\n", "[A]\nx=1\n[New]\r\nk=v\r\n"},
      {"[A]\rx=1\r", "[A]\rx=1\r[New]\r\nk=v\r\n"},
      {"[A]\r\n\r\n\r\n", "[A]\r\n\r\n\r\n[New]\r\nk=v\r\n"},
      {"just text", "just text\r\n[New]\r\nk=v\r\n"},
      {"[New", "[New\r\n[New]\r\nk=v\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.before)));
    WriteText(path_, c.before);
    ASSERT_TRUE(Write("New", "k", "v"));
    EXPECT_EQ(ReadText(path_), c.after);
  }
}

TEST_F(IniTest, WriteReplacesAValueWhereItStandsAndKeepsEverythingElse) {
  const std::string before =
      "; a patch\r\n"
      "[Other]\r\n"
      "Tune1=1\r\n"
      "\r\n"
      "[setting]\n"
      "  tune1 = 60  ; old\n"
      "Bend1=50\r\n"
      "\r\n"
      ";c\r"
      "[Version]\r\n"
      "Version=20";
  WriteText(path_, before);
  ASSERT_TRUE(Write("Setting", "Tune1", "7"));
  EXPECT_EQ(ReadText(path_),
            "; a patch\r\n"
            "[Other]\r\n"
            "Tune1=1\r\n"
            "\r\n"
            "[setting]\n"
            "  tune1 =7\n"
            "Bend1=50\r\n"
            "\r\n"
            ";c\r"
            "[Version]\r\n"
            "Version=20");
  ASSERT_TRUE(Write("VERSION", "version", "21"));
  ASSERT_TRUE(Write("Setting", "Bend1", "'quoted'"));
  ASSERT_TRUE(Write("Other", "Tune1", "-100"));
  EXPECT_EQ(ReadText(path_),
            "; a patch\r\n"
            "[Other]\r\n"
            "Tune1=-100\r\n"
            "\r\n"
            "[setting]\n"
            "  tune1 =7\n"
            "Bend1='quoted'\r\n"
            "\r\n"
            ";c\r"
            "[Version]\r\n"
            "Version=21");
  EXPECT_EQ(ReadString("Setting", "Bend1"), "quoted");
  EXPECT_EQ(ReadInt("Setting", "Tune1", 0), 7);
  EXPECT_EQ(ReadInt("Other", "Tune1", 0), -100);
}

TEST_F(IniTest, WriteReplacesTheFirstOfDuplicates) {
  WriteText(path_, "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n");
  ASSERT_TRUE(Write("a", "K", "9"));
  EXPECT_EQ(ReadText(path_), "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n");
  // A key that only the later duplicate section has is added to the first.
  WriteText(path_, "[A]\r\nk=1\r\n[B]\r\n[A]\r\nj=3\r\n");
  ASSERT_TRUE(Write("A", "j", "4"));
  EXPECT_EQ(ReadText(path_), "[A]\r\nk=1\r\nj=4\r\n[B]\r\n[A]\r\nj=3\r\n");
}

TEST_F(IniTest, FailedWritesReportFalseAndChangeNothing) {
  // No such folder.
  std::string nowhere = File("no_such_folder/test.ini");
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", nowhere.c_str()));
  EXPECT_FALSE(fs::exists(nowhere));
  // A folder in place of the file.
  std::string folder = File("folder.ini");
  fs::create_directory(folder);
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", folder.c_str()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(kPortableIni.readInt("S", "k", 5, folder.c_str()), 5);
  // Texts that would break the lines, and missing arguments.
  const std::string before = "[S]\r\nk=1\r\n";
  WriteText(path_, before);
  EXPECT_FALSE(Write("S", "k", "1\r\nx=2"));
  EXPECT_FALSE(Write("S", "k", "1\n"));
  EXPECT_FALSE(Write("S", "a=b", "1"));
  EXPECT_FALSE(Write("S]", "k", "1"));
  EXPECT_FALSE(Write(nullptr, "k", "1"));
  EXPECT_FALSE(Write("S", nullptr, "1"));
  EXPECT_FALSE(Write("S", "k", nullptr));
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", nullptr));
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", ""));
  EXPECT_EQ(ReadText(path_), before);
}

#ifdef __linux__
TEST_F(IniTest, AWriteThatFailsPartWayLeavesTheFileAsItWas) {
  // A file of 6000 bytes; a file size limit of 4096 bytes makes the
  // rewrite fail part way (EFBIG). Writing in place would have cut it.
  std::string before = "[S]\r\nk=1\r\n;" + std::string(5987, 'c') + "\r\n";
  ASSERT_EQ(6000u, before.size());
  WriteText(path_, before);
  ASSERT_EQ(0, chmod(path_.c_str(), 0604));
  bool ok;
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.set());
    ok = Write("S", "k", "2");
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadText(path_), before);
  int entries = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_)) {
    ++entries;
    EXPECT_EQ(e.path().filename(), "test.ini");
  }
  EXPECT_EQ(entries, 1) << "no temporary file stays";
  // Without the limit the same write succeeds and keeps the permissions.
  ASSERT_TRUE(Write("S", "k", "2"));
  before.replace(7, 1, "2");
  EXPECT_EQ(ReadText(path_), before);
  struct stat st;
  ASSERT_EQ(0, stat(path_.c_str(), &st));
  EXPECT_EQ(st.st_mode & 07777u, 0604u);
}
#endif

TEST_F(IniTest, FilesAboveTheSizeLimitAreNeitherReadNorWritten) {
  // 16 MiB and one byte: a valid section followed by padding.
  std::string big = "[S]\r\nk=1\r\n";
  big.resize(16u * 1024u * 1024u + 1u, ' ');
  WriteText(path_, big);
  EXPECT_EQ(ReadInt("S", "k", 5), 5);
  EXPECT_FALSE(PortableIniHasSection("S", path_.c_str()));
  EXPECT_FALSE(Write("S", "k", "2"));
  EXPECT_EQ(fs::file_size(path_), big.size());
  // At exactly the limit it is an ordinary file.
  big.resize(16u * 1024u * 1024u);
  WriteText(path_, big);
  EXPECT_EQ(ReadInt("S", "k", 5), 1);
}

TEST_F(IniTest, HugeLinesAndBinaryGarbageAreHandledSafely) {
  std::mt19937 rng(20240601u);
  std::uniform_int_distribution<int> byte(0, 255);
  // Bytes rich in the characters the parser looks at.
  const char specials[] = {'\0', '\r', '\n', '[', ']', '=', ';', ' ',
                           '\t', '"', '\'', 'S', 'k'};
  for (int round = 0; round < 20; ++round) {
    std::string garbage;
    size_t n = 1 + static_cast<size_t>(rng() % 20000u);
    for (size_t i = 0; i < n; ++i) {
      int b = byte(rng);
      garbage += b < 64 ? specials[b % sizeof specials] : static_cast<char>(b);
    }
    WriteText(path_, garbage);
    char buf[64];
    (void)ReadInt("S", "k", 0);
    (void)kPortableIni.readString("S", "k", "", buf, sizeof buf, path_.c_str());
    EXPECT_LT(std::strlen(buf), sizeof buf);
    // A section name the garbage cannot hold is added after it, the
    // garbage kept byte for byte.
    ASSERT_TRUE(Write("Setting", "Tune1", "5"));
    std::string expected = garbage;
    char last = garbage.back();
    if (last != '\r' && last != '\n') expected += "\r\n";
    expected += "[Setting]\r\nTune1=5\r\n";
    EXPECT_EQ(ReadText(path_), expected);
    EXPECT_EQ(ReadInt("Setting", "Tune1", 0), 5);
  }
  // One line of 4 MB without a line end, then a section.
  std::string huge(4u * 1024u * 1024u, 'x');
  huge[1000] = '=';
  WriteText(path_, huge + "\r\n[S]\r\nk=8");
  EXPECT_EQ(ReadInt("S", "k", 0), 8);
  ASSERT_TRUE(Write("S", "k", "9"));
  EXPECT_EQ(ReadText(path_), huge + "\r\n[S]\r\nk=9");
}

}  // namespace
}  // namespace plimbar
