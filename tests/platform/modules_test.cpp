#include "platform/win/modules.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
int CallCount = 0;
void EntryOne() { ++CallCount; }
void EntryThree() { CallCount += 3; }
const BuiltinExport kDriver[] = {
    {"getAPIVersion", 0, &EntryOne},
    {nullptr, 3, &EntryThree},
    {"SelectFont", 1, &EntryOne},
};
}  // namespace

TEST(Modules, BuiltinModulesByNameAndOrdinalWithReferenceCounts) {
  RegisterBuiltinModule("kmpd.dll", kDriver, 3);
  HMODULE a = LoadLibraryA("C:\\Program Files\\KMPD.DLL");
  HMODULE b = LoadLibraryA("kmpd.dll");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(GetProcAddress(a, "getAPIVersion"), &EntryOne);
  EXPECT_EQ(GetProcAddress(a, "GETAPIVERSION"), nullptr);  // entry names keep their case
  EXPECT_EQ(GetProcAddress(a, MAKEINTRESOURCEA(3)), &EntryThree);
  EXPECT_EQ(GetProcAddress(a, MAKEINTRESOURCEA(1)), &EntryOne);
  EXPECT_EQ(GetProcAddress(a, MAKEINTRESOURCEA(4)), nullptr);
  EXPECT_EQ(GetProcAddress(a, MAKEINTRESOURCEA(0)), nullptr);
  char path[512];
  EXPECT_GT(GetModuleFileNameA(a, path, sizeof path), 0u);
  EXPECT_NE(std::strstr(path, "kmpd.dll"), nullptr);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(GetProcAddress(b, MAKEINTRESOURCEA(3)), &EntryThree);
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_FALSE(FreeLibrary(b));
  EXPECT_EQ(GetProcAddress(b, "getAPIVersion"), nullptr);
  UnregisterBuiltinModule("KMPD.dll");
  EXPECT_EQ(LoadLibraryA("kmpd.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST(Modules, SharedObjectsLoadThroughDlopen) {
  HMODULE m = LoadLibraryA("libm.so.6");
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "cos"), nullptr);
  EXPECT_EQ(GetProcAddress(m, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_TRUE(FreeLibrary(m));
  ScopedWinDir w;
  w.Write("notalib.dll", "MZ this is no shared object");
  EXPECT_EQ(LoadLibraryA("NotALib.DLL"), nullptr);
}

TEST(Modules, ProgramPathAndCutNames) {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(path[0], '/');
  std::string dir = ProgramDirectory();
  EXPECT_EQ(std::string(path).rfind(dir, 0), 0u);
  EXPECT_EQ(dir.back(), '/');
  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(std::strlen(small), 4u);
}
