#include "tests/data/xbindex/index_fixtures.h"

#include "foundation/byte_order.h"
#include "platform/win/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace xbtest {

std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

namespace {

const std::string kTool = std::string(VT_SOURCE_DIR) + "/tests/tools/";

std::vector<Row> ReadRows(const std::string& path) {
  std::vector<Row> rows;
  std::ifstream in(path);
  std::string hex, amount, record;
  while (in >> hex >> amount >> record) {
    Row r;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) r.name.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    r.amount = std::stod(amount);
    r.record = static_cast<uint32_t>(std::stoul(record));
    rows.push_back(r);
  }
  return rows;
}

// A dBASE table of the first rows, written by Perl's XBase.
void MakeTable(const std::string& dir, const std::string& name, const std::string& lines, size_t rows, int width) {
  std::string few;
  for (size_t i = 0, n = 0; i < lines.size() && n < rows; ++i) {
    few.push_back(lines[i]);
    if (lines[i] == '\n') ++n;
  }
  std::ofstream(dir + "/" + name + ".in", std::ios::binary) << few;
  Run("cd '" + dir + "' && perl '" + kTool + "xbase_tool.pl' create " + name + ".dbf NAME:C:" + std::to_string(width) +
      ":0,AMOUNT:N:10:2 < " + name + ".in");
}

struct Fixtures {
  std::string dir;
  std::vector<Row> rows;
  bool writer = false;
  bool perl = false;
  ~Fixtures() { Run("rm -rf '" + dir + "'"); }
  Fixtures() {
    char tmpl[] = "/tmp/vt_xbindex_XXXXXX";
    dir = mkdtemp(tmpl);
    int status = 0;
    Run("python3 '" + kTool + "make_index_fixtures.py' '" + dir + "' 2>&1", &status);
    rows = ReadRows(dir + "/rows.txt");
    Run("perl -MXBase -e 1 2>/dev/null", &status);
    perl = status == 0;
    if (!perl) return;
    // The table the independent writers index: Perl writes it, libxbase64
    // and Perl's own index writer index it.
    std::string lines;
    for (const Row& r : rows) {
      char amount[32];
      std::snprintf(amount, sizeof amount, "%.2f", r.amount);
      lines += r.name + "|" + amount + "\n";
    }
    // Perl's index writer fills at most five pages: it indexes the first rows only.
    MakeTable(dir, "few", lines, kPerlIndexRows, 10);
    Run("cd '" + dir + "' && perl '" + kTool + "xbase_tool.pl' idx few.dbf name.idx NAME && perl '" + kTool +
            "xbase_tool.pl' idx few.dbf amt.idx AMOUNT",
        &status);
#ifdef VT_XBASE_WRITER
    // libxbase64 keeps its trees whole only while they fit one page, and
    // pads its entries rightly only for key lengths that are multiples of 4.
    MakeTable(dir, "lib", lines, kLibIndexRows, 12);
    int a = 1, b = 1;
    Run("cd '" + dir + "' && '" VT_XBASE_WRITER "' lib.dbf name.ndx NAME", &a);
    Run("cd '" + dir + "' && '" VT_XBASE_WRITER "' lib.dbf amt.ndx AMOUNT", &b);
    writer = a == 0 && b == 0;
    if (writer) {
      // A directory of tag files whose tags are those two indexes.
      Run("cd '" + dir + "' && cp name.ndx ORDERS.W00 && cp amt.ndx ORDERS.W01");
      uint8_t head[34] = {0x33, 0, 0, 2, 'O', 'R', 'D', 'E', 'R', 'S'};
      std::memcpy(head + 14, "NAME", 4);
      std::memcpy(head + 24, "AMOUNT", 6);
      std::ofstream(dir + "/orders.wdx", std::ios::binary).write(reinterpret_cast<const char*>(head), sizeof head);
    }
#endif
  }
};

const Fixtures& F() {
  static Fixtures f;
  return f;
}

}  // namespace

const std::string& FixtureDir() { return F().dir; }
const std::vector<Row>& Rows() { return F().rows; }
bool HaveXBaseWriter() { return F().writer; }
bool HavePerlXBase() { return F().perl; }

std::string OemToAnsi(const std::string& s) {
  std::string out = s;
  if (!out.empty()) OemToCharBuffA(out.c_str(), &out[0], static_cast<DWORD>(out.size()));
  return out;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == 0)) s.pop_back();
  return s;
}

std::vector<KeyRecord> Walk(CKmComposite* m, const std::string& path, const char* tag, bool numeric, bool backward,
                            uint32_t keyType, int32_t* error) {
  std::vector<KeyRecord> out;
  IndexCursor* c = nullptr;
  if (OpenIndex(m, path.c_str(), &c, tag)) {
    if (error != nullptr) *error = IndexLastError(m);
    return out;
  }
  if (keyType != 0) c->keyType = keyType;
  BeginIndexUse(m, &c, 1);
  uint8_t key[kIndexKeyBuffer];
  uint32_t record = 0;
  int r;
  if (backward) {
    while ((r = NextKey(m, c, key, &record)) == kIndexKeyFound) {
    }
  }
  // Bounded: a walk longer than the rows means the engine went round.
  for (size_t guard = 0; guard < 100000; ++guard) {
    r = backward ? PreviousKey(m, c, key, &record) : NextKey(m, c, key, &record);
    if (r != kIndexKeyFound) break;
    KeyRecord k;
    k.record = record;
    if (numeric) k.number = GetF64(key);
    else k.text = TrimRight(std::string(reinterpret_cast<const char*>(key), static_cast<size_t>(c->keyLength)));
    out.push_back(k);
  }
  if (error != nullptr) *error = r == kIndexFailed ? IndexLastError(m) : 0;
  EndIndexUse(m, &c, 1);
  CloseIndex(m, c);
  return out;
}

std::vector<KeyRecord> PerlDump(const std::string& path, const char* tag) {
  std::string cmd = "perl '" + kTool + "xbase_tool.pl' dump '" + path + "'";
  if (tag != nullptr) cmd += std::string(" '") + tag + "'";
  std::istringstream in(Run(cmd + " 2>/dev/null"));
  std::vector<KeyRecord> out;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos) continue;
    KeyRecord k;
    k.text = OemToAnsi(TrimRight(line.substr(0, tab)));
    k.record = static_cast<uint32_t>(std::stoul(line.substr(tab + 1)));
    out.push_back(k);
  }
  return out;
}

}  // namespace xbtest
