#include "platform/win/profile.h"
#include "platform/win/fileio.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {
std::string Get(const char* section, const char* key, const char* def, const char* file, DWORD size = 512) {
  std::vector<char> buf(size + 1, 'Z');
  DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
  EXPECT_EQ(n, std::strlen(buf.data()));
  EXPECT_EQ(buf[size], 'Z') << "wrote past the buffer";
  return buf.data();
}

std::vector<std::string> List(const char* section, const char* file) {
  char buf[4096];
  DWORD n = GetPrivateProfileStringA(section, nullptr, "", buf, sizeof buf, file);
  std::vector<std::string> out;
  for (DWORD i = 0; i < n;) {
    out.emplace_back(buf + i);
    i += static_cast<DWORD>(out.back().size()) + 1;
  }
  return out;
}
}  // namespace

TEST(Profile, NamesIgnoreCaseBlanksQuotesAndFirstDuplicateWins) {
  ScopedWinDir w;
  w.Write("kmw.ini",
          "; leading comment\r\n"
          "orphan=before any section\r\n"
          "[Defaults]\r\n"
          "  RulPit  =  12  \r\n"
          "Color=1 ; note\r\n"
          "Quoted=\"  spaced  \"\r\n"
          "Single='x'\r\n"
          "Half=\"open\r\n"
          "Empty=\r\n"
          "NoEquals\r\n"
          "rulpit=99\r\n"
          ";Hidden=1\r\n"
          "[defaults]\r\n"
          "Later=yes\r\n"
          "RulPit=77\r\n");
  EXPECT_EQ(Get("DEFAULTS", "rulpit", "d", "kmw.ini"), "12");
  EXPECT_EQ(Get("Defaults", "Color", "d", "kmw.ini"), "1 ; note");
  EXPECT_EQ(Get("Defaults", "Quoted", "d", "kmw.ini"), "  spaced  ");
  EXPECT_EQ(Get("Defaults", "Single", "d", "kmw.ini"), "x");
  EXPECT_EQ(Get("Defaults", "Half", "d", "kmw.ini"), "\"open");
  EXPECT_EQ(Get("Defaults", "Empty", "d", "kmw.ini"), "");
  EXPECT_EQ(Get("Defaults", "NoEquals", "d", "kmw.ini"), "");
  EXPECT_EQ(Get("Defaults", "Hidden", "d", "kmw.ini"), "d");
  EXPECT_EQ(Get("Defaults", "Later", "d", "kmw.ini"), "yes");
  EXPECT_EQ(Get("Defaults", "orphan", "none", "kmw.ini"), "none");
  // The default loses trailing blanks; a null default is empty.
  EXPECT_EQ(Get("Nope", "x", "abc   ", "kmw.ini"), "abc");
  EXPECT_EQ(Get("Nope", "x", nullptr, "kmw.ini"), "");
  // Lists: sections once each (first spelling), keys once each.
  EXPECT_EQ(List(nullptr, "kmw.ini"), (std::vector<std::string>{"Defaults"}));
  EXPECT_EQ(List("defaults", "kmw.ini"),
            (std::vector<std::string>{"RulPit", "Color", "Quoted", "Single", "Half", "Empty", "NoEquals", "Later"}));
}

TEST(Profile, BufferCutsAreBoundedAndCountedAsWindowsDoes) {
  ScopedWinDir w;
  std::string big(100000, 'v');
  w.Write("a.ini", "[S]\nK=" + big + "\nL=abcdef\n[" + std::string(5000, 's') + "]\nX=1");
  EXPECT_EQ(Get("S", "K", "", "a.ini", 261), std::string(260, 'v'));
  EXPECT_EQ(Get("S", "L", "", "a.ini", 6), "abcde");
  EXPECT_EQ(Get("S", "L", "", "a.ini", 1), "");
  EXPECT_EQ(Get(std::string(5000, 's').c_str(), "x", "", "a.ini"), "1");
  char one = 'Q';
  EXPECT_EQ(GetPrivateProfileStringA("S", "L", "", &one, 0, "a.ini"), 0u);
  EXPECT_EQ(one, 'Q');
  // A cut list stays double-terminated.
  char list[5];
  std::memset(list, 'Z', sizeof list);
  EXPECT_EQ(GetPrivateProfileStringA("S", nullptr, "", list, sizeof list, "a.ini"), 3u);
  EXPECT_EQ(list[3], '\0');
  EXPECT_EQ(list[4], '\0');
}

TEST(Profile, HostileFilesGiveDefaultsNotCrashes) {
  ScopedWinDir w;
  w.Write("empty.ini", "");
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  w.Write("binary.ini", binary + std::string("\n[B]\nk=\0v\n\0\xff[", 13));
  w.Write("cr.ini", "[S]\rK=1\r");
  w.Write("nofinal.ini", "[S]\nK=last");
  w.Write("unclosed.ini", "[S\nK=2\n");
  EXPECT_EQ(Get("S", "K", "dflt", "empty.ini"), "dflt");
  EXPECT_EQ(Get("S", "K", "dflt", "missing.ini"), "dflt");
  EXPECT_EQ(Get("B", "k", "dflt", "binary.ini"), "");
  EXPECT_EQ(Get("S", "K", "dflt", "nofinal.ini"), "last");
  EXPECT_EQ(Get("S", "K", "dflt", "unclosed.ini"), "2");
  // A lone CR is not a line end: the whole file is one section line.
  EXPECT_EQ(Get("S", "K", "dflt", "cr.ini"), "dflt");
  // A folder where a file is expected reads as empty.
  w.Write("dir.ini", "");
  std::remove(w.Path("dir.ini").c_str());
  ::mkdir(w.Path("dir.ini").c_str(), 0700);
  EXPECT_EQ(Get("S", "K", "dflt", "dir.ini"), "dflt");
  EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "v", "dir.ini"));
}

TEST(Profile, IntegersParseSignsAndStopAtTheFirstNonDigit) {
  ScopedWinDir w;
  w.Write("i.ini",
          "[N]\nneg=-1\ntol= -30 \nplus=+7\ntail=12abc\nnone=abc\nempty=\nbig=99999999999\n"
          "small=-99999999999\nhex=0x1F\nquoted=\"42\"\n");
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("N", "neg", 5, "i.ini")), -1);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("N", "tol", 5, "i.ini")), -30);
  EXPECT_EQ(GetPrivateProfileIntA("N", "plus", 5, "i.ini"), 7u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "tail", 5, "i.ini"), 12u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "none", 5, "i.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "empty", 5, "i.ini"), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "missing", 5, "i.ini"), 5u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("N", "big", 5, "i.ini")), 2147483647);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("N", "small", 5, "i.ini")), -2147483647 - 1);
  EXPECT_EQ(GetPrivateProfileIntA("N", "hex", 5, "i.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("N", "quoted", 5, "i.ini"), 42u);
}

TEST(Profile, WritesKeepCommentsLineEndsAndLayout) {
  ScopedWinDir w;
  w.Write("w.ini", "; top\n[One]\nA=1\n; keep me\n\n[Two]\nB=2");
  ASSERT_TRUE(WritePrivateProfileStringA("one", "a", "10", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("One", "New", "x y", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Two", "C", "3", "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Three", "D", "", "w.ini"));
  EXPECT_EQ(w.Read("w.ini"), "; top\n[One]\nA=10\nNew=x y\n; keep me\n\n[Two]\nB=2\nC=3\n\n[Three]\nD=\n");
  // Deleting a key and a section.
  ASSERT_TRUE(WritePrivateProfileStringA("one", "NEW", nullptr, "w.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("two", nullptr, nullptr, "w.ini"));
  EXPECT_EQ(w.Read("w.ini"), "; top\n[One]\nA=10\n; keep me\n\n[Three]\nD=\n");
  // Mixed line ends stay as they were; new lines take the first line's.
  w.Write("mixed.ini", "[a]\r\nx=1\ny=2\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "y", "3", "mixed.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("a", "z", "4", "mixed.ini"));
  EXPECT_EQ(w.Read("mixed.ini"), "[a]\r\nx=1\ny=3\r\nz=4\r\n");
  // A new file is created with Windows line ends.
  ASSERT_TRUE(WriteProfileStringA("intl", "sDecimal", ","));
  EXPECT_EQ(w.Read("win.ini"), "[intl]\r\nsDecimal=,\r\n");
  char buf[8];
  GetProfileStringA("INTL", "SDECIMAL", ".", buf, sizeof buf);
  EXPECT_STREQ(buf, ",");
  EXPECT_EQ(GetProfileIntA("intl", "iTime", 1), 1u);
}

// Files are parsed once and kept; a change on the disk, however made, is read.
TEST(Profile, AKeptFileIsReadAgainWhenItChanges) {
  ScopedWinDir w;
  w.Write("k.ini", "[s]\nk=one\n");
  DiskStamp stamp;
  while (TakeDiskStamp(w.Path("k.ini"), &stamp) && !stamp.settled) ::sched_yield();
  EXPECT_EQ(Get("s", "k", "", "k.ini"), "one");
  EXPECT_EQ(Get("s", "k", "", "K.INI"), "one");
  // Rewritten in place, the same size, by another program.
  {
    std::FILE* f = std::fopen(w.Path("k.ini").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fputs("[s]\nk=two\n", f);
    std::fclose(f);
  }
  EXPECT_EQ(Get("s", "k", "", "k.ini"), "two");
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "three", "k.ini"));
  EXPECT_EQ(Get("s", "k", "", "k.ini"), "three");
  ASSERT_EQ(std::remove(w.Path("k.ini").c_str()), 0);
  EXPECT_EQ(Get("s", "k", "gone", "k.ini"), "gone");
}

TEST(Profile, WritesRefuseNamesThatCouldNotBeReadBackAndCutValuesAtLineBreaks) {
  ScopedWinDir w;
  EXPECT_FALSE(WritePrivateProfileStringA("a]b", "k", "v", "x.ini"));
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k=1", "v", "x.ini"));
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k\n[evil]", "v", "x.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v1\r\n[evil]\r\nk=v2", "x.ini"));
  EXPECT_EQ(Get("s", "k", "", "x.ini"), "v1");
  EXPECT_EQ(Get("evil", "k", "none", "x.ini"), "none");
  // A file given with a folder is used where it is, found ignoring case.
  std::string path = w.Path("Sub");
  ::mkdir(path.c_str(), 0700);
  w.Write("Sub/Link.INI", "[kmwlink]\nkmwlink=/work\n");
  EXPECT_EQ(Get("kmwlink", "kmwlink", "", (w.dir() + "\\sub\\link.ini").c_str()), "/work");
  EXPECT_TRUE(WritePrivateProfileStringA("kmwlink", "x", "1", (w.dir() + "/SUB/LINK.ini").c_str()));
  EXPECT_EQ(w.Read("Sub/Link.INI"), "[kmwlink]\nkmwlink=/work\nx=1\n");
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v", (w.dir() + "\\SUB\\new.ini").c_str()));
  EXPECT_EQ(w.Read("Sub/new.ini"), "[s]\r\nk=v\r\n");
}

// Where configparser's rules and ours coincide, both must read the same.
TEST(Profile, AgreesWithPythonConfigparserOnTheCorpus) {
  ScopedWinDir w;
  const std::string data = std::string(VT_TEST_DATA_DIR) + "/platform/";
  int files = 0;
  for (int i = 0; i < 40; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "ini/corpus%02d.ini", i);
    std::string file = data + name;
    std::string cmd = "python3 '" + data + "ini_dump.py' '" + file + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    ASSERT_EQ(::pclose(p), 0) << "python3 could not read " << file;
    auto unhex = [](const std::string& h) {
      std::string s;
      if (h == "-") return s;
      for (size_t k = 0; k + 1 < h.size(); k += 2) s += static_cast<char>(std::stoi(h.substr(k, 2), nullptr, 16));
      return s;
    };
    std::vector<std::string> sections;
    std::map<std::string, std::set<std::string>> keys;
    std::string section;
    size_t pos = 0;
    while (pos < out.size()) {
      size_t lf = out.find('\n', pos);
      std::string line = out.substr(pos, lf - pos);
      pos = lf == std::string::npos ? out.size() : lf + 1;
      if (line.rfind("S ", 0) == 0) {
        section = unhex(line.substr(2));
        sections.push_back(section);
      } else if (line.rfind("K ", 0) == 0) {
        size_t sp = line.find(' ', 2);
        std::string key = unhex(line.substr(2, sp - 2));
        std::string value = unhex(line.substr(sp + 1));
        keys[section].insert(key);
        EXPECT_EQ(Get(section.c_str(), key.c_str(), "\x01", file.c_str(), 65536), value)
            << file << " [" << section << "] " << key;
      }
    }
    EXPECT_EQ(List(nullptr, file.c_str()), sections) << file;
    for (const std::string& s : sections) {
      std::set<std::string> ours;
      for (const std::string& k : List(s.c_str(), file.c_str())) {
        std::string lower;
        for (char c : k) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ours.insert(lower);
      }
      EXPECT_EQ(ours, keys[s]) << file << " [" << s << "]";
    }
    ++files;
  }
  EXPECT_EQ(files, 40);
}
