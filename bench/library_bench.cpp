// Library-file throughput: saving members the way report saving does, finding
// them by name in a directory of many entries, and reading them back through
// the six-page cache.
#include "foundation/library_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

std::string TempPath(const char* name) {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/vt_libbench_XXXXXX";
    char* made = mkdtemp(tmpl);
    dir = made != nullptr ? made : "/tmp";
  }
  std::string p = dir + "/" + name;
  std::remove(p.c_str());
  return p;
}

int SaveMember(LibraryFile& eng, LibFileControlBlock* f, const std::string& name,
               const std::vector<char>& data) {
  DWORD first = eng.LibAllocRecord(f);
  if (first == 0) return 1;
  eng.LibRewind(f, first);
  if (eng.LibWrite(f, static_cast<DWORD>(data.size()), data.data(), FALSE, FALSE) != 0) return 1;
  LibMember* m = NewLibMember(name.c_str(), first);
  int rc = eng.LibAddMember(f, m);
  FreeLibMemberList(m);
  return rc;
}

// Saves range(0) members of range(1) bytes each into a fresh 512-byte-record library.
void BM_SaveMembers(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<char> data(static_cast<size_t>(state.range(1)), 'r');
  for (auto _ : state) {
    LibraryFile eng;
    std::string p = TempPath("save.QB6");
    LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), lib_of::ShareDenyWrite, nullptr, 8, 512);
    for (int i = 0; i < count; ++i) SaveMember(eng, f, "REPORT" + std::to_string(i), data);
    eng.LibFileClose(f);
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * count * state.range(1));
}
BENCHMARK(BM_SaveMembers)->Args({100, 4000})->Args({500, 4000})->Unit(benchmark::kMillisecond);

// Finds a name in a directory of range(0) members, then reads the member.
void BM_FindAndRead(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<char> data(4000, 'r');
  LibraryFile eng;
  std::string p = TempPath("find.QB6");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), lib_of::ShareDenyWrite, nullptr, 8, 512);
  for (int i = 0; i < count; ++i) SaveMember(eng, f, "REPORT" + std::to_string(i), data);
  std::vector<char> back(data.size());
  int i = 0;
  for (auto _ : state) {
    std::string name = "report" + std::to_string((i++ * 7919) % count);
    LibMember* m = eng.LibFindMember(f, name.c_str());
    eng.LibRewind(f, m->firstRecord);
    eng.LibRead(f, static_cast<DWORD>(back.size()), back.data());
    benchmark::DoNotOptimize(back.data());
    FreeLibMemberList(m);
  }
  state.SetItemsProcessed(state.iterations());
  eng.LibFileClose(f);
}
BENCHMARK(BM_FindAndRead)->Arg(50)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Lists a user-function library of range(0) members (32-byte records).
void BM_ListSmallRecords(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<char> data(120, 'u');
  LibraryFile eng;
  std::string p = TempPath("list.udf");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), lib_of::ShareDenyWrite, nullptr, 0, 32);
  for (int i = 0; i < count; ++i) SaveMember(eng, f, "FUNCTION_" + std::to_string(i), data);
  for (auto _ : state) {
    LibMember* list = eng.LibListMembers(f);
    benchmark::DoNotOptimize(list);
    FreeLibMemberList(list);
  }
  state.SetItemsProcessed(state.iterations() * count);
  eng.LibFileClose(f);
}
BENCHMARK(BM_ListSmallRecords)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace
