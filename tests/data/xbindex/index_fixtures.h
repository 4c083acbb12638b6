// Index files for the engine's tests: those an independent library writes
// (dBASE single indexes from libxbase64, uncompressed FoxBASE indexes from
// Perl's XBase module) and those built from the documented layouts by
// tests/tools/make_index_fixtures.py, all over one set of rows.
#pragma once

#include "core/composite.h"
#include "data/xbase_index.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xbtest {

struct Row {
  std::string name;  // OEM bytes as stored
  double amount = 0;
  uint32_t record = 0;
};

// One key as the engine or a reader delivers it: text (trailing blanks
// removed, in the program's code page) or a number, and its record.
struct KeyRecord {
  std::string text;
  double number = 0;
  uint32_t record = 0;
  bool operator==(const KeyRecord& o) const { return text == o.text && number == o.number && record == o.record; }
};

// Rows in the indexes Perl's XBase writes (the first rows).
constexpr size_t kPerlIndexRows = 100;
// Rows in the indexes libxbase64 writes.
constexpr size_t kLibIndexRows = 20;

std::string Run(const std::string& command, int* status = nullptr);
// The folder with every fixture (made once per test program).
const std::string& FixtureDir();
const std::vector<Row>& Rows();
bool HaveXBaseWriter();
bool HavePerlXBase();

std::string OemToAnsi(const std::string& s);
std::string TrimRight(std::string s);

// Opens path (tag for multi-tag kinds), walks all keys forward (or backward
// from the end) and closes; numeric keys when numeric. Empty on failure,
// with *error the last error.
std::vector<KeyRecord> Walk(CKmComposite* m, const std::string& path, const char* tag, bool numeric, bool backward,
                            uint32_t keyType = 0, int32_t* error = nullptr);
// Perl's reading of the same file: key and record in index order.
std::vector<KeyRecord> PerlDump(const std::string& path, const char* tag);

}  // namespace xbtest
