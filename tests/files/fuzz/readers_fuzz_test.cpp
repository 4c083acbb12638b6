// Every reader of outside bytes under the mutation loop, each from seeds the
// program's own writers made.
#include "tests/files/fuzz/mutator.h"
#include "tests/files/reportstream/report_fixture.h"

#include "data/query_desc.h"
#include "expr/collation.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "expr/udf_library.h"
#include "files/summary_info.h"
#include "foundation/library_file.h"
#include "platform/ole/compound_file.h"
#include "platform/win/profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using fuzz::Bytes;

std::string TempFile(const char* leaf) {
  std::string dir = testing::TempDir();
  return dir + (dir.back() == '/' ? "" : "/") + leaf;
}

void Save(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(ReadersFuzz, ReportRecordStream) {
  std::vector<Bytes> seeds;
  {
    rs_test::Doc d;
    rs_test::BuildFullReport(d);
    seeds.push_back(d.Write(StreamMode::Storage));
    seeds.push_back(d.Write(StreamMode::Library));
  }
  ASSERT_FALSE(seeds[0].empty());
  long read = fuzz::Loop(seeds, fuzz::Runs(3000), [](const Bytes& b) {
    for (StreamMode mode : {StreamMode::Storage, StreamMode::Library}) {
      rs_test::Doc d;
      d.Read(b, mode);
    }
  });
  RecordProperty("inputs", static_cast<int>(read));
}

TEST(ReadersFuzz, CompoundFileAndSummaryStream) {
  vt_ole::Storage tree;
  tree.PutStream("Contents", Bytes(3000, 0x41));
  SummaryProperties props;
  props.title = "Orders";
  props.author = "A. Writer";
  props.revision = 3;
  tree.PutStream("\005SummaryInformation", EncodeSummaryInformation(props, 0x01D0000000000000ull));
  tree.PutStorage("Embedding 1").PutStream("\001Ole", Bytes(20, 4));
  const std::string path = TempFile("fuzz_seed.kmw");
  ASSERT_EQ(vt_ole::WriteStorageFile(path, tree), vt_ole::StorageError::kNone);
  const std::string input = TempFile("fuzz_input.kmw");
  fuzz::Loop({Load(path)}, fuzz::Runs(400), [&](const Bytes& b) {
    Save(input, b);
    vt_ole::Storage back;
    if (vt_ole::ReadStorageFile(input, back) != vt_ole::StorageError::kNone) return;
    if (const vt_ole::Stream* s = back.FindStream("\005SummaryInformation")) {
      SummaryProperties p;
      DecodeSummaryInformation(s->data, p);
    }
  }, 2);
  fuzz::Loop({tree.FindStream("\005SummaryInformation")->data}, fuzz::Runs(3000), [](const Bytes& b) {
    SummaryProperties p;
    DecodeSummaryInformation(b, p);
  }, 3);
}

TEST(ReadersFuzz, LibraryFile) {
  const std::string path = TempFile("fuzz_seed.qb6");
  std::remove(path.c_str());
  {
    LibraryFile engine;
    LibFileControlBlock* f = engine.LibFileCreate(path.c_str(), lib_of::ShareDenyWrite, nullptr, kLibKindReport, 64);
    ASSERT_NE(f, nullptr);
    for (const char* name : {"first", "second", "third"}) {
      const DWORD start = engine.LibAllocRecord(f);
      ASSERT_NE(start, 0u);
      LibMember* m = NewLibMember(name, start);
      engine.LibRewind(f, start);
      const std::string body = std::string(name) + std::string(300, 'x');
      engine.LibWrite(f, static_cast<DWORD>(body.size()), body.data(), TRUE, TRUE);
      engine.LibAddMember(f, m);
      FreeLibMemberList(m);
    }
    engine.LibFileClose(f);
  }
  const std::string input = TempFile("fuzz_input.qb6");
  fuzz::Loop({Load(path)}, fuzz::Runs(1500), [&](const Bytes& b) {
    Save(input, b);
    LibraryFile engine;
    WORD kind = 0;
    LibFileControlBlock* f = engine.LibFileOpen(input.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
    if (f == nullptr) return;
    LibMember* list = engine.LibListMembers(f);
    for (LibMember* m = list; m != nullptr; m = m->next) {
      engine.LibRewind(f, m->firstRecord);
      char buf[256];
      for (int i = 0; i < 20 && engine.LibRead(f, sizeof buf, buf) == 0; ++i) {
      }
    }
    FreeLibMemberList(list);
    engine.LibFileClose(f);
  }, 4);
}

TEST(ReadersFuzz, SortOrderIniAndQueryFiles) {
  const std::string srt = "CASE=INSENSITIVE\nIDENTICAL=F\nPAD=183\n\xe9=e\n\xe6=ae\na<\xe1\n; comment\n";
  fuzz::Loop({Bytes(srt.begin(), srt.end())}, fuzz::Runs(3000), [](const Bytes& b) {
    SortOrderTables tables;
    CollationSwitches switches;
    ParseSortOrderText(reinterpret_cast<const char*>(b.data()), b.size(), tables, switches,
                       [](const std::string&) {});
  }, 5);

  const std::string ini = "[Defaults]\nRulPit=10\nLibDir=/tmp\n[Report]\nMasterTable=orders\nDataSource=X\n";
  const std::string iniPath = TempFile("fuzz_input.ini");
  fuzz::Loop({Bytes(ini.begin(), ini.end())}, fuzz::Runs(1500), [&](const Bytes& b) {
    Save(iniPath, b);
    char out[300];
    GetPrivateProfileStringA("Report", "MasterTable", "", out, sizeof out, iniPath.c_str());
    GetPrivateProfileIntA("Defaults", "RulPit", 10, iniPath.c_str());
    GetPrivateProfileStringA(nullptr, nullptr, "", out, sizeof out, iniPath.c_str());
  }, 6);

  QueryDesc q;
  q.name = "Orders";
  q.dataSource = "VortelleSample";
  q.query = "select * from orders";
  q.connect = "DSN=VortelleSample";
  Bytes packed(static_cast<size_t>(q.GetPackedSize()));
  ASSERT_TRUE(q.Pack(packed.data(), packed.size()));
  fuzz::Loop({packed}, fuzz::Runs(3000), [](const Bytes& b) {
    Bytes copy = b;
    QueryDesc back;
    back.Parse(copy.data(), copy.size());
  }, 7);
}

}  // namespace

namespace {

// kmw.udf: functions saved the way the function editor saves them, then the
// whole library loaded as a report's open loads it.
TEST(ReadersFuzz, UserFunctionLibrary) {
  const std::string path = TempFile("fuzz_seed_kmw.udf");
  std::remove(path.c_str());
  {
    CKmComposite m{nullptr};
    InitCompiler(&m, 50000, 8000);
    InstallUdfHooks(&m);
    SetUdfLibraryPath(&m, path.c_str());
    const char* const defs[][2] = {{"TWICE(N_X)", "X * 2"}, {"GREET(C_WHO)", "'Hello ' + WHO"},
                                   {"QUAD(N_X)", "TWICE(TWICE(X))"}};
    for (const auto& d : defs) {
      ASSERT_EQ(OpenUdfLibrary(&m, true), 0);
      int32_t pos = 0;
      ASSERT_EQ(DefineUdf(&m, nullptr, d[0], d[1], &pos), 0) << d[0];
      ASSERT_EQ(SaveUdf(&m, CommitUdfDefinition(&m), nullptr), 0) << d[0];
      CloseUdfLibrary(&m);
    }
  }
  {
    CKmComposite m{nullptr};
    InitCompiler(&m, 50000, 8000);
    InstallUdfHooks(&m);
    SetUdfLibraryPath(&m, path.c_str());
    ASSERT_EQ(LoadUserFunctionLibrary(&m), kUdfLibOk);
    int count = 0;
    for (UdfNode* n = m.udfList; n != nullptr; n = n->next) ++count;
    EXPECT_EQ(count, 3) << "the seed holds every function";
    CloseUdfLibrary(&m);
  }
  const std::string input = TempFile("fuzz_input_kmw.udf");
  fuzz::Loop({Load(path)}, fuzz::Runs(1000), [&](const Bytes& b) {
    Save(input, b);
    CKmComposite m{nullptr};
    InitCompiler(&m, 50000, 8000);
    InstallUdfHooks(&m);
    SetUdfLibraryPath(&m, input.c_str());
    LoadUserFunctionLibrary(&m);
    CloseUdfLibrary(&m);
  }, 8);
}

}  // namespace
