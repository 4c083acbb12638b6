#include "expr/udf_library.h"
#include "expr/value_eval.h"

#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "foundation/library_file.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

using Bytes = std::vector<uint8_t>;

std::string ScratchDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/vt_udf_XXXXXX";
    char* made = mkdtemp(tmpl);
    dir = made != nullptr ? made : "/tmp";
  }
  return dir;
}

std::string FreshLibrary(const char* name) {
  std::string p = ScratchDir() + "/" + name;
  std::remove(p.c_str());
  return p;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Moves the file's last-write time, as a write by another program would.
void Touch(const std::string& path, int secondsAhead) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec += secondsAhead;
  times[1] = times[0];
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct Session {
  CKmComposite m{nullptr};
  explicit Session(const std::string& path) {
    InitCompiler(&m, 50000, 8000);
    InstallUdfHooks(&m);
    SetUdfLibraryPath(&m, path.c_str());
  }
  ~Session() { CloseUdfLibrary(&m); }
  // Defines a function and writes it to the library, as the editor does.
  int Save(const char* heading, const char* body, const char* oldName = nullptr) {
    int rc = OpenUdfLibrary(&m, true);
    if (rc != 0) return 100 + rc;
    UdfNode* existing = oldName ? FindUdfByName(&m, oldName, std::strlen(oldName), false) : nullptr;
    int32_t pos = 0;
    if (DefineUdf(&m, existing, heading, body, &pos) != 0) {
      CloseUdfLibrary(&m);
      return 200;
    }
    UdfNode* node = CommitUdfDefinition(&m);
    rc = SaveUdf(&m, node, oldName);
    CloseUdfLibrary(&m);
    return rc;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (UdfNode* n = m.udfList; n; n = n->next) out.push_back(n->name);
    return out;
  }
  UdfNode* Find(const char* name) { return FindUdfByName(&m, name, std::strlen(name), false); }
};

// A member written record by record, for files another program (or a
// hostile one) made.
struct MemberWriter {
  Bytes bytes;
  MemberWriter& Record(uint8_t type, const Bytes& data) {
    bytes.push_back(type);
    bytes.push_back(static_cast<uint8_t>(data.size()));
    bytes.push_back(static_cast<uint8_t>(data.size() >> 8));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  MemberWriter& Text(uint8_t type, const std::string& s) { return Record(type, Bytes(s.begin(), s.end())); }
  MemberWriter& Header(uint8_t codePage) { return Record(1, {1, 0xEA, 0x07, 12, 6, 10, 30, 0, codePage}); }
  MemberWriter& Flags(uint16_t f) { return Record(4, {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8)}); }
  MemberWriter& End() { return Record(2, {}); }
};

void AddRawMember(const std::string& path, const char* name, const Bytes& data) {
  LibraryFile eng;
  WORD kind = 0;
  LibFileControlBlock* f = eng.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::ReadWrite, &kind, 32);
  ASSERT_NE(f, nullptr);
  DWORD first = eng.LibAllocRecord(f);
  eng.LibRewind(f, first);
  ASSERT_EQ(eng.LibWrite(f, static_cast<DWORD>(data.size()), data.data(), FALSE, FALSE), 0);
  LibMember* m = NewLibMember(name, first);
  ASSERT_EQ(eng.LibAddMember(f, m), 0);
  FreeLibMemberList(m);
  eng.LibFileClose(f);
}

double Evaluate(CKmComposite* m, const char* text) {
  uint32_t pos = 0;
  CompileOutput out;
  if (CompileExpression(m, text, &pos, &out, nullptr, nullptr, 1) != 0) return -1e300;
  uint8_t result[8016] = {};
  uint32_t flags = 0;
  int32_t prev = 0;
  EvaluateCompiledExpression(m, out.code.data(), result, 0, &flags, &prev);
  double v;
  std::memcpy(&v, result, 8);
  return v;
}

}  // namespace

TEST(UdfLibrary, MissingFileThenFirstSaveCreatesIt) {
  std::string path = FreshLibrary("kmw.udf");
  Session s(path);
  EXPECT_EQ(LoadUserFunctionLibrary(&s.m), 0);
  EXPECT_EQ(s.m.udfList, nullptr);
  ASSERT_EQ(s.Save("DOUBLE(N_X)", "X * 2"), 0);
  Bytes b = ReadAll(path);
  ASSERT_GE(b.size(), 512u);
  EXPECT_EQ(b[3], 1);
  EXPECT_EQ(b[19] | (b[20] << 8), 32);  // 32-byte records
  EXPECT_EQ(b[21] | (b[22] << 8), 0);   // the user-function kind

  // The member holds header, id, flags, heading, body and end, in that order.
  LibraryFile eng;
  LibFileControlBlock* f = eng.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  LibMember* m = eng.LibFindMember(f, "double");
  ASSERT_NE(m, nullptr);
  eng.LibRewind(f, m->firstRecord);
  uint8_t rec[64];
  std::vector<int> types;
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(eng.LibRead(f, 3, rec), 0);
    types.push_back(rec[0]);
    uint16_t len = static_cast<uint16_t>(rec[1] | (rec[2] << 8));
    ASSERT_LE(len, sizeof rec - 3);
    if (len) {
      ASSERT_EQ(eng.LibRead(f, len, rec + 3), 0);
    }
    if (rec[0] == 1) {
      EXPECT_EQ(len, 9);
      EXPECT_EQ(rec[3], 1);
      EXPECT_EQ(rec[11], 1);  // texts in the ANSI code page
    }
    std::string text(reinterpret_cast<char*>(rec + 3), len);
    if (rec[0] == 5) {
      EXPECT_EQ(text, "DOUBLE(N_X)");
    } else if (rec[0] == 6) {
      EXPECT_EQ(text, "X * 2");
    } else if (rec[0] == 4) {
      EXPECT_EQ(rec[3] | (rec[4] << 8), 4);
    }
  }
  EXPECT_EQ(types, (std::vector<int>{1, 3, 4, 5, 6, 2}));
  FreeLibMemberList(m);
  eng.LibFileClose(f);
}

TEST(UdfLibrary, FunctionsSurviveSaveAndReload) {
  std::string path = FreshLibrary("reload.udf");
  {
    Session s(path);
    ASSERT_EQ(LoadUserFunctionLibrary(&s.m), 0);
    ASSERT_EQ(s.Save("BASE(N_X)", "X + 1"), 0);
    ASSERT_EQ(s.Save("ABOVE(N_X)", "BASE(X) * 2"), 0);
    ASSERT_EQ(s.Save("GREET(C_WHO)", "'Hi ' + WHO"), 0);
    // Rewriting BASE under its own name replaces the member's data.
    ASSERT_EQ(s.Save("BASE(N_X)", "X + 10", "BASE"), 0);
  }
  Session t(path);
  ASSERT_EQ(LoadUserFunctionLibrary(&t.m), 0);
  EXPECT_EQ(t.Names().size(), 3u);
  ASSERT_NE(t.Find("ABOVE"), nullptr);
  EXPECT_NE(t.Find("ABOVE")->code, nullptr);
  EXPECT_DOUBLE_EQ(Evaluate(&t.m, "ABOVE(1)"), 22.0);
  EXPECT_EQ(t.Find("GREET")->resultType, 4);

  // A second load with the file unchanged keeps the nodes as they are.
  UdfNode* before = t.Find("BASE");
  EXPECT_EQ(LoadUserFunctionLibrary(&t.m), 0);
  EXPECT_EQ(t.Find("BASE"), before);
}

TEST(UdfLibrary, CallerStoredBeforeCalleeLoadsInALaterPass) {
  std::string path = FreshLibrary("passes.udf");
  {
    Session s(path);
    ASSERT_EQ(s.Save("INNER(N_X)", "X * 3"), 0);
    ASSERT_EQ(s.Save("OUTER(N_X)", "INNER(X) + 1"), 0);
    // Rename INNER: the new member goes to the directory's end, after OUTER.
    ASSERT_EQ(s.Save("LATER(N_X)", "X * 3", "INNER"), 0);
    ASSERT_EQ(s.Save("OUTER(N_X)", "LATER(X) + 1", "OUTER"), 0);
  }
  Session t(path);
  ASSERT_EQ(LoadUserFunctionLibrary(&t.m), 0);
  EXPECT_EQ(t.Names(), (std::vector<std::string>{"LATER", "OUTER"}));
  EXPECT_EQ(t.Find("INNER"), nullptr);
  EXPECT_DOUBLE_EQ(Evaluate(&t.m, "OUTER(2)"), 7.0);
}

TEST(UdfLibrary, RenameAndDeleteLeaveTheRestIntact) {
  std::string path = FreshLibrary("edit.udf");
  Session s(path);
  ASSERT_EQ(s.Save("ONE(N_X)", "X + 1"), 0);
  ASSERT_EQ(s.Save("TWO(N_X)", "X + 2"), 0);
  ASSERT_EQ(s.Save("THREE(N_X)", "X + 3"), 0);
  ASSERT_EQ(s.Save("DEUX(N_X)", "X + 2", "TWO"), 0);
  ASSERT_EQ(OpenUdfLibrary(&s.m, true), 0);
  EXPECT_EQ(DeleteUdfFromLibrary(&s.m, s.Find("ONE")), 0);
  UdfNode ghost{};
  char ghostName[] = "GHOST";
  ghost.name = ghostName;
  EXPECT_EQ(DeleteUdfFromLibrary(&s.m, &ghost), 1);
  EXPECT_STREQ(UdfLibraryErrorText(&s.m, kUdfLibDeleteError),
               "Library error (no such name) deleting function 'GHOST'");
  CloseUdfLibrary(&s.m);

  Session t(path);
  ASSERT_EQ(LoadUserFunctionLibrary(&t.m), 0);
  EXPECT_EQ(t.Names(), (std::vector<std::string>{"THREE", "DEUX"}));
  EXPECT_DOUBLE_EQ(Evaluate(&t.m, "THREE(1) + DEUX(1)"), 7.0);
}

TEST(UdfLibrary, AnotherProgramsWriteMakesFunctionsNotCurrent) {
  std::string path = FreshLibrary("shared.udf");
  Session mine(path);
  ASSERT_EQ(mine.Save("MINE(N_X)", "X"), 0);
  ASSERT_EQ(LoadUserFunctionLibrary(&mine.m), 0);

  {
    Session other(path);
    ASSERT_EQ(LoadUserFunctionLibrary(&other.m), 0);
    ASSERT_EQ(other.Save("THEIRS(N_X)", "X * 5"), 0);
  }
  Touch(path, 5);
  EXPECT_EQ(OpenUdfLibrary(&mine.m, true), kUdfLibNotCurrent);
  EXPECT_STREQ(UdfLibraryErrorText(&mine.m, kUdfLibNotCurrent), "Functions are not current");
  // The next load reads everything again, and editing is allowed after it.
  ASSERT_EQ(LoadUserFunctionLibrary(&mine.m), 0);
  ASSERT_NE(mine.Find("THEIRS"), nullptr);
  EXPECT_DOUBLE_EQ(Evaluate(&mine.m, "THEIRS(2)"), 10.0);
  EXPECT_EQ(OpenUdfLibrary(&mine.m, true), 0);
  CloseUdfLibrary(&mine.m);

  // While one program holds the library for writing, another cannot open it.
  ASSERT_EQ(OpenUdfLibrary(&mine.m, true), 0);
  Session third(path);
  EXPECT_EQ(OpenUdfLibrary(&third.m, false), kUdfLibNoAccess);
  EXPECT_STREQ(UdfLibraryErrorText(&third.m, kUdfLibNoAccess), "Cannot access user function library");
  CloseUdfLibrary(&mine.m);
}

TEST(UdfLibrary, MembersThatLoadWithoutCode) {
  std::string path = FreshLibrary("uncompiled.udf");
  {
    Session s(path);
    ASSERT_EQ(s.Save("GOOD(N_X)", "X"), 0);
  }
  // Stored type says date, body compiles to a number.
  AddRawMember(path, "WRONGTYPE",
               MemberWriter().Header(1).Flags(0x200).Text(5, "WRONGTYPE(N_X)").Text(6, "X + 1").End().bytes);
  // Member name differs from the heading's name.
  AddRawMember(path, "ALIAS",
               MemberWriter().Header(1).Flags(4).Text(5, "OTHER(N_X)").Text(6, "X").End().bytes);
  // An end record with data.
  AddRawMember(path, "TAILED", MemberWriter().Header(1).Flags(4).Text(5, "TAILED(N_X)").Text(6, "X")
                                   .Record(2, {1}).bytes);
  // Texts in the OEM code page: 0x81 is u-umlaut there.
  AddRawMember(path, "OEM", MemberWriter().Header(0).Flags(0).Text(5, "OEM(C_S)")
                                .Text(6, "S + '\x81'").End().bytes);
  Session t(path);
  ASSERT_EQ(LoadUserFunctionLibrary(&t.m), 0);
    // Those that compile load first; the rest are kept without code.
  EXPECT_EQ(t.Names(), (std::vector<std::string>{"GOOD", "OEM", "WRONGTYPE", "ALIAS", "TAILED"}));
  EXPECT_NE(t.Find("GOOD")->code, nullptr);
  for (const char* n : {"WRONGTYPE", "ALIAS", "TAILED"}) {
    UdfNode* node = t.Find(n);
    ASSERT_NE(node, nullptr) << n;
    EXPECT_EQ(node->code, nullptr) << n;
    EXPECT_EQ(node->codeLength, 0u) << n;
  }
  EXPECT_STREQ(t.Find("WRONGTYPE")->body, "X + 1");
  EXPECT_EQ(t.Find("WRONGTYPE")->resultType, 7);
  UdfNode* oem = t.Find("OEM");
  ASSERT_NE(oem->code, nullptr);
  EXPECT_EQ(std::string(oem->body).substr(0, 8), "S + '\xFC'");
}

TEST(UdfLibrary, HostileMembersAndFiles) {
  std::string path = FreshLibrary("hostile.udf");
  {
    Session s(path);
    ASSERT_EQ(s.Save("FINE(N_X)", "X"), 0);
  }
  Bytes longHeading(300, 'H');
  AddRawMember(path, "LONGHEAD", MemberWriter().Header(1).Record(5, longHeading).End().bytes);
  AddRawMember(path, "NOHEADER", MemberWriter().Flags(4).Text(5, "NOHEADER(N_X)").End().bytes);
  AddRawMember(path, "BADTYPE", MemberWriter().Header(1).Record(9, {1, 2}).End().bytes);
  AddRawMember(path, "BIGHDR", MemberWriter().Record(1, Bytes(40, 1)).End().bytes);
  AddRawMember(path, "VERSION", MemberWriter().Record(1, {2, 0, 0, 0, 0, 0, 0, 0, 1}).End().bytes);
  AddRawMember(path, "WIDEFLAGS", MemberWriter().Header(1).Record(8, Bytes(9, 0xFF)).End().bytes);
  {
    Session t(path);
    ASSERT_EQ(LoadUserFunctionLibrary(&t.m), 0);
    EXPECT_EQ(t.Names(), std::vector<std::string>{"FINE"});
  }
  // A member whose chain ends inside a record: the load reports a read error.
  Bytes cut = MemberWriter().Header(1).bytes;
  cut.insert(cut.end(), {6, 0xD0, 0x07});
  cut.insert(cut.end(), 100, 'x');
  AddRawMember(path, "CUT", cut);
  {
    Session t(path);
    int rc = LoadUserFunctionLibrary(&t.m);
    EXPECT_EQ(rc, kUdfLibReadError);
    // The words say what is wrong and the path says which file.
    EXPECT_EQ(std::string(UdfLibraryErrorText(&t.m, rc)),
              "Library error (the file is damaged) reading user functions " + path);
  }
  // A report library is not a user-function library.
  std::string other = FreshLibrary("report.udf");
  LibraryFile eng;
  eng.LibFileClose(eng.LibFileCreate(other.c_str(), lib_of::ShareDenyWrite, nullptr, kLibKindReport, 512));
  Session u(other);
  EXPECT_EQ(LoadUserFunctionLibrary(&u.m), kUdfLibInvalid);
  EXPECT_STREQ(UdfLibraryErrorText(&u.m, kUdfLibInvalid), "Invalid user function library");
  EXPECT_STREQ(UdfLibraryErrorText(&u.m, 42), "User function access error");
  // Garbage: the header check fails and the code says so.
  std::string junk = FreshLibrary("junk.udf");
  std::ofstream(junk, std::ios::binary) << std::string(700, '\x55');
  Session v(junk);
  EXPECT_EQ(LoadUserFunctionLibrary(&v.m), kUdfLibOpenError);
  EXPECT_EQ(std::string(UdfLibraryErrorText(&v.m, kUdfLibOpenError)),
            "Library error (invalid file revision) opening user function library " + junk);
}

TEST(UdfLibrary, RandomMembersNeverEscapeTheBuffers) {
  // Members of random records (some after a valid header) under the
  // sanitizers: each load ends with a code, and what loads is well formed.
  uint32_t state = 777;
  auto rnd = [&state]() {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int round = 0; round < 60; ++round) {
    std::string path = FreshLibrary("random.udf");
    {
      Session s(path);
      ASSERT_EQ(s.Save("KEEP(N_X)", "X"), 0);
    }
    for (int k = 0; k < 3; ++k) {
      MemberWriter w;
      if (rnd() % 2) w.Header(static_cast<uint8_t>(rnd() % 2));
      int records = 1 + rnd() % 6;
      for (int r = 0; r < records; ++r) {
        Bytes data(rnd() % (r % 3 == 0 ? 300 : 12));
        for (auto& b : data) b = static_cast<uint8_t>(rnd() % 3 ? 'A' + rnd() % 26 : rnd());
        w.Record(static_cast<uint8_t>(rnd() % 10), data);
      }
      if (rnd() % 2) w.End();
      AddRawMember(path, ("R" + std::to_string(k)).c_str(), w.bytes);
    }
    Session t(path);
    int rc = LoadUserFunctionLibrary(&t.m);
    EXPECT_TRUE(rc == kUdfLibOk || rc == kUdfLibReadError) << rc;
    UdfLibraryErrorText(&t.m, rc);
    for (UdfNode* n = t.m.udfList; n; n = n->next) {
      EXPECT_LE(std::strlen(n->name), kUdfNameMax);
      EXPECT_LE(std::strlen(n->heading), kUdfHeadingMax);
      if (n->code) Evaluate(&t.m, (std::string(n->name) + "(1)").c_str());
    }
  }
}

TEST(UdfLibrary, ReportInfoForTheOpenDialog) {
  std::string path = FreshLibrary("reports.QB6");
  LibraryFile eng;
  LibFileControlBlock* f = eng.LibFileCreate(path.c_str(), lib_of::ShareDenyWrite, nullptr, kLibKindReport, 512);
  ASSERT_NE(f, nullptr);
  auto member = [&](const char* name, const Bytes& data) {
    DWORD first = eng.LibAllocRecord(f);
    eng.LibRewind(f, first);
    ASSERT_EQ(eng.LibWrite(f, static_cast<DWORD>(data.size()), data.data(), FALSE, FALSE), 0);
    LibMember* m = NewLibMember(name, first);
    ASSERT_EQ(eng.LibAddMember(f, m), 0);
    FreeLibMemberList(m);
  };
  // Header record: type 1, 17 bytes: version, 1, year, month, day, h, m, s, "Windows".
  Bytes withInfo = {1, 0, 17, 0, 8, 1, 0xEA, 0x07, 12, 6, 23, 59, 58, 'W', 'i', 'n', 'd', 'o', 'w', 's', 0,
                    98, 0, 6, 0, 'N', 'o', 't', 'e', 's', 0, 2, 0, 0, 0};
  member("SALES", withInfo);
  member("ODD", {7, 0, 2, 0, 1, 2, 2, 0, 0, 0});
  member("HUGE", {1, 0, 0xFF, 0xFF});
  LibMember* list = eng.LibListMembers(f);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(ReadLibraryReportInfo(&eng, f, list), 0);
  const uint8_t* info = list->reportInfo;
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info[0] | (info[1] << 8) | (info[2] << 16) | (info[3] << 24), 2026);
  EXPECT_EQ(info[4], 12);
  EXPECT_EQ(info[5], 6);
  EXPECT_EQ(info[7], 23);
  EXPECT_EQ(info[9], 58);
  EXPECT_STREQ(reinterpret_cast<const char*>(info + 10), "Windows");
  EXPECT_STREQ(list->comments, "Notes");
  for (LibMember* m = list->next; m; m = m->next) {
    ASSERT_NE(m->reportInfo, nullptr);
    EXPECT_EQ(m->reportInfo[0] & m->reportInfo[1] & m->reportInfo[2] & m->reportInfo[3], 0xFF);
    EXPECT_EQ(m->comments, nullptr);
  }
  FreeLibMemberList(list);
  eng.LibFileClose(f);
}
