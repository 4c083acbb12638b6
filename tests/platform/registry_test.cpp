#include "platform/win/registry.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

namespace {
std::string QueryString(HKEY key, const char* name, LONG* rc = nullptr) {
  DWORD size = 0, type = 0;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (rc != nullptr) *rc = r;
  if (r != ERROR_SUCCESS) return "<none>";
  std::string buf(size, 'Z');
  r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &size);
  EXPECT_EQ(r, ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(buf.back(), '\0');
  return std::string(buf.c_str());
}
}  // namespace

TEST(Registry, CreateSetQueryAcrossHandlesIgnoringCase) {
  ScopedWinDir w;
  HKEY key = nullptr;
  DWORD disp = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\kmw.exe",
                            0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
  const char path[] = "C:\\Prog \"x\"\\\n\xE9";
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), ERROR_SUCCESS);
  DWORD one = 0x01020304;
  ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 3),
            ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // Parent keys exist through their child; names ignore case.
  HKEY sw = nullptr, app = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, &sw), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(sw, "MICROSOFT\\windows\\currentversion\\app paths\\KMW.EXE", 0, KEY_READ, &app),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryString(app, "PATH"), std::string(path));
  DWORD got = 0, size = sizeof got, type = 0;
  ASSERT_EQ(RegQueryValueExA(app, "count", nullptr, &type, reinterpret_cast<BYTE*>(&got), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(got, one);
  // Too small a buffer tells the size and writes nothing past it.
  char small[4] = {'Z', 'Z', 'Z', 'Z'};
  size = 2;
  EXPECT_EQ(RegQueryValueExA(app, "Path", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof path);
  EXPECT_EQ(small[2], 'Z');
  // Opened for reading only: no writes.
  EXPECT_EQ(RegSetValueExA(app, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_ACCESS_DENIED);
  LONG rc;
  QueryString(app, "Missing", &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  HKEY none = reinterpret_cast<HKEY>(&rc);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(&rc), "x", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
  RegCloseKey(app);
  RegCloseKey(sw);
}

TEST(Registry, ReadOnlyHiveRefusesWritesButAllowsReads) {
  ScopedWinDir w;
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "TARVOPrivateDir", 0, REG_SZ, reinterpret_cast<const BYTE*>("/w/"), 4);
  RegCloseKey(key);
  RegSetHiveReadOnly(HKEY_LOCAL_MACHINE, true);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, KEY_READ | KEY_WRITE, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "TARVOPrivateDir"), "/w/");
  RegCloseKey(key);
  RegSetHiveReadOnly(HKEY_LOCAL_MACHINE, false);
  // Another hive is separate.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brennick\\Office", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, HostileStoreFilesAreSkippedLineByLine) {
  ScopedWinDir w;
  w.Write("registry.dat",
          "garbage line\n"
          "\"Orphan\"=sz:\"no key yet\"\n"
          "[\"HKEY_NOWHERE\\\\X\"]\n"
          "\"v\"=sz:\"lost\"\n"
          "[\"HKEY_CURRENT_USER\\\\Software\\\\INTERSOLV\\\\QELIB.INI\\\\KMW\"]\n"
          "\"Revision\"=sz:\"1\"\n"
          "\"Revision\"=sz:\"2\"\n"
          "\"Bad\"=sz:\"unterminated\n"
          "\"BadEscape\"=sz:\"\\x4\"\n"
          "\"Dw\"=dword:123456789\n"
          "\"Dw2\"=dword:ff\n"
          "\"Zero\"=sz:\"a\\x00b\"\n"
          "[\"HKEY_CURRENT_USER\n");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\INTERSOLV\\QELIB.INI\\KMW", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "Revision"), "1");
  LONG rc;
  QueryString(key, "Bad", &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  QueryString(key, "BadEscape", &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  DWORD v = 0, size = 4, type;
  EXPECT_EQ(RegQueryValueExA(key, "Dw", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Dw2", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 0xFFu);
  EXPECT_EQ(QueryString(key, "Zero"), "a");
  RegCloseKey(key);
}

TEST(Registry, AFreshStoreNamesAPrivateWorkFolder) {
  ScopedWinDir w;
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "TARVOPrivateDir"), w.dir() + "/private/");
  RegCloseKey(key);
  struct stat st;
  ASSERT_EQ(::stat((w.dir() + "/private").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}
