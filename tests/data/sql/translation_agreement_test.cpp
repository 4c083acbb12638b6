// Every function and operator that the shipped kmwsql.ini sends to the
// database, evaluated once by the program and once through the SQL the
// program writes, over a table of missing values, empty and blank texts,
// zero, negative numbers, accented letters and dates at year and century
// ends, on SQLite and on the private PostgreSQL server: the two agree on
// every row. The cases come from the template keys of the shipped file and
// the built-in function table, so a template added there is tested here.
#include "core/compiled_code.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/table_fields.h"
#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/collation.h"
#include "expr/functions_common.h"
#include "expr/value_eval.h"
#include "model/field_compile.h"
#include "platform/win/profile.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>
#ifdef __SANITIZE_ADDRESS__
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#endif

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The rows, as UTF-8 SQL for both databases. Every column is missing in some
// row; the accented rows hold every letter that has a case pair.
const char* const kTable =
    "create table vt_agree (id integer primary key, qty integer, dv integer, amt %s, note varchar(60), "
    "tag varchar(20), ldate date, odate date, code char(6));\n"
    "insert into vt_agree values "
    "(1, 7, 3, 2.675, 'ZZ Top', 'Z', '1999-12-31', '2000-01-01', 'ab'), "
    "(2, -7, 3, -2.5, 'zz top', '', '2000-01-01', '1999-12-31', ''), "
    "(3, 7, -3, 1234.5, 'na\xc3\xafve', 'NA\xc3\x8fVE', '1899-12-31', '1900-01-01', 'abcdef'), "
    "(4, -7, -3, 15, 'NA\xc3\x8fVE', 'na\xc3\xafve', '2000-02-29', '2099-12-31', ' x'), "
    "(5, 0, 0, 0, '', '   ', '2100-01-01', null, '   '), "
    "(6, null, 4, null, null, 'x', null, '1994-06-15', null), "
    "(7, 12, null, 0.5, '   ', null, '2003-12-31', '2003-12-31', 'ZZ'), "
    "(8, 25, 7, -0.125, 'abc  ', ' lead', '1994-01-01', '2000-03-01', 'a b'), "
    "(9, -1, 1, 19.99, "
    "'\xc3\xa0\xc3\xa1\xc3\xa2\xc3\xa3\xc3\xa4\xc3\xa5\xc3\xa6\xc3\xa7\xc3\xa8\xc3\xa9\xc3\xaa\xc3\xab\xc3\xac\xc3\xad"
    "\xc3\xae\xc3\xaf\xc3\xb0\xc3\xb1\xc3\xb2\xc3\xb3\xc3\xb4\xc3\xb5\xc3\xb6\xc3\xb8\xc3\xb9\xc3\xba\xc3\xbb\xc3\xbc"
    "\xc3\xbd\xc3\xbe\xc5\xa1\xc5\x93\xc5\xbe\xc3\xbf\xc3\x9f\xc2\xb5', 'O''Hara', '1999-01-01', '1999-12-31', '\xc3\xa0" "b'), "
    "(10, 1, -4, -1234.5, "
    "'\xc3\x80\xc3\x81\xc3\x82\xc3\x83\xc3\x84\xc3\x85\xc3\x86\xc3\x87\xc3\x88\xc3\x89\xc3\x8a\xc3\x8b\xc3\x8c\xc3\x8d"
    "\xc3\x8e\xc3\x8f\xc3\x90\xc3\x91\xc3\x92\xc3\x93\xc3\x94\xc3\x95\xc3\x96\xc3\x98\xc3\x99\xc3\x9a\xc3\x9b\xc3\x9c"
    "\xc3\x9d\xc3\x9e\xc5\xa0\xc5\x92\xc5\xbd\xc5\xb8 \xc3\xb7\xc3\x97', 'ab', '2000-12-31', null, 'AB'), "
    "(11, 3, 7, null, 'a*b?c [x]', 'a', '2001-01-01', '2000-12-31', 'a*'), "
    "(12, null, null, null, null, null, null, null, null);\n";

// Operands by the kind a function or operator takes. Columns of each kind,
// and a constant that is negative or fractional.
const std::vector<std::string> kNumbers = {"QTY", "DV", "AMT", "-2.5"};
// CODE is a fixed-width column: the server pads its values to six.
const std::vector<std::string> kTexts = {"NOTE", "TAG", "CODE", "'ZZ Top'"};
const std::vector<std::string> kDates = {"LDATE", "ODATE", "{12/31/1999}"};
const std::vector<std::string> kLogicals = {"QTY > 0", "NOTE = TAG", "LDATE < ODATE"};
// Conditions of IIF: each kind, missing and flagged ones among them.
const std::vector<std::string> kConditions = {"QTY > 2", "QTY", "NOTE", "LDATE", "AMT / DV > 1"};
// Values of IIF's branches, pairs of one kind.
const std::vector<std::pair<std::string, std::string>> kBranches = {
    {"QTY", "AMT"}, {"NOTE", "TAG"}, {"LDATE", "ODATE"}, {"1", "2"}, {"QTY / DV", "0"}, {"LDATE", "{1/1/2000}"}};

// The operators, by the key of their template, and how each is written.
struct OperatorForm {
  const char* key;
  const char* pattern;  // @1 and @2 stand for the operands
  const std::vector<std::string>* a;
  const std::vector<std::string>* b;
};
const OperatorForm kOperators[] = {
    {"plus", "@1 + @2", &kNumbers, &kNumbers},        {"minus", "@1 - @2", &kNumbers, &kNumbers},
    {"mul", "@1 * @2", &kNumbers, &kNumbers},         {"div", "@1 / @2", &kNumbers, &kNumbers},
    {"oexp", "@1 ^ @2", &kNumbers, &kNumbers},        {"pct", "@1 % @2", &kNumbers, &kNumbers},
    {"uminus", "-(@1)", &kNumbers, nullptr},         {"uplus", "+@1", &kNumbers, nullptr},
    {"eq", "@1 = @2", &kNumbers, &kNumbers},          {"eq", "@1 = @2", &kTexts, &kTexts},
    {"eq", "@1 = @2", &kDates, &kDates},              {"neq", "@1 <> @2", &kNumbers, &kNumbers},
    {"neq", "@1 # @2", &kTexts, &kTexts},             {"neq", "@1 <> @2", &kDates, &kDates},
    {"lt", "@1 < @2", &kNumbers, &kNumbers},          {"lt", "@1 < @2", &kDates, &kDates},
    {"lt", "@1 < @2", &kTexts, &kTexts},              {"gt", "@1 > @2", &kNumbers, &kNumbers},
    {"gt", "@1 > @2", &kDates, &kDates},              {"le", "@1 <= @2", &kNumbers, &kNumbers},
    {"le", "@1 <= @2", &kDates, &kDates},             {"ge", "@1 >= @2", &kNumbers, &kNumbers},
    {"ge", "@1 >= @2", &kDates, &kDates},             {"and", "(@1) .AND. (@2)", &kLogicals, &kLogicals},
    {"or", "(@1) .OR. (@2)", &kLogicals, &kLogicals}, {"not", ".NOT. (@1)", &kLogicals, nullptr},
    {"cat", "@1 + @2", &kTexts, &kTexts},             {"tcat", "@1 - @2", &kTexts, &kTexts},
    {"osubstr", "@1 $ @2", &kTexts, &kTexts},         {"plusdays", "@1 + @2", &kDates, &kNumbers},
    {"plusdays", "@2 + @1", &kDates, &kNumbers},      {"osubdays", "@1 - @2", &kDates, &kNumbers},
    {"datedif", "@1 - @2", &kDates, &kDates},
};

// Calculations that the compositions use by name (name, text).
const char* const kInner[] = {"DUE", "LDATE", "RATE", "AMT / DV", "LABEL", "TRIM(NOTE) + '.'"};

// Expressions that put the translations together: flags and missing values
// passed through several steps. Those marked sent must stay with the
// database, where a filter on a million rows is fast.
struct Composition {
  const char* text;
  bool sent;  // must be translated
};
const Composition kCompositions[] = {
    {"MOD(QTY, 4) = 1", true},
    {"LDATE + -7 >= {1/1/2000}", true},
    {"LEN(NOTE) < 3", true},
    {"YEAR(LDATE) + MONTH(ODATE) * 100", true},
    {"LEFT(NOTE, QTY) + RIGHT(TAG, DV)", true},
    {"SUBSTR(TRIM(NOTE) + '!', 2)", true},
    {"LDATE - ODATE > 0", true},
    {".NOT. (QTY > 2 .OR. DV > 2)", true},
    {"(QTY > 2 .AND. NOTE = '') .OR. LDATE < {1/1/2000}", true},
    {"IIF(QTY > 2, 'big', 'small') + NOTE", true},
    {"ROUND(AMT * 10, -1) / 10", true},
    {"YEAR(DUE) + DAY(DUE + 1)", true},
    {"DUE < {1/1/2000}", true},
    {"RATE * 2 + LEN(LABEL)", true},
    {"IIF(LABEL = '.', RATE, 0)", true},
    {"IIF(QTY > 2, IIF(NOTE = 'ZZ Top', 1, 2), 3)", false},
    {"IIF(AMT / DV > 1, 'big', 'small')", false},
    {"IIF(QTY > 2, 1, 2) + IIF(DV > 2, 1, 2)", false},
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// A value as text the two sides can be compared in: "NULL" for a missing
// number or date, numbers to 12 significant digits.
std::string NumberText(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.12g", v == 0 ? 0.0 : v);
  return b;
}

struct Case {
  std::string key;
  std::string text;
  FieldDef* field = nullptr;
};

class Agreement : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    postgres_ = GetParam();
    std::string why;
    if (postgres_ && !odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
    if (!postgres_ && !odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    bool made = false;
    char table[4096];
    std::snprintf(table, sizeof table, kTable, postgres_ ? "numeric(12,4)" : "real");
    const std::string sql = std::string("drop table if exists vt_agree;\n") + table;
    const std::string said = postgres_ ? odbc_test::RunPostgresSql(sql, &made) : odbc_test::RunSqliteSql(sql, &made);
    ASSERT_TRUE(made) << said;
    InstallBuiltinFunctionHandlers();
    ApplyCollationToModel(&m_, CollationSwitches());  // no sort-order file: case matters
    m_.compareText = nullptr;
    da_ = GetDataAccess(&m_);
    da_->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    const char* dsn = postgres_ ? odbc_test::kPgDsn : odbc_test::kSqliteDsn;
    ASSERT_EQ(da_->ConnectDataSource(dsn, false, true, nullptr), 1) << DbLastErrorText();
    da_->SelectDataSource(dsn);
    table_ = m_.AddTableSlot("vt_agree", "A", 0, 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(&m_, table_, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    ReadRows();
    InstallSqlTranslation(&m_);
    // Calculations that others use: a missing date, a flagged number, a text.
    for (const char* const* c : {kInner, kInner + 2, kInner + 4}) {
      FieldDef* f = CompileField(&m_, c[0], c[1], false, nullptr);
      ASSERT_TRUE(f != nullptr && f->sqlText != nullptr) << c[1];
      buffers_.emplace_back(m_.GetFieldStorageSize(f) + 16, 0);
      f->value = buffers_.back().data();
      inner_.push_back(f);
    }
  }
  void TearDown() override { da_ = nullptr; }

  // The rows as the program reads them: each column's value bytes and null mark.
  void ReadRows() {
    for (FieldDef* f = m_.fieldList; f; f = f->next) {
      buffers_.emplace_back(m_.GetFieldStorageSize(f) + 16, 0);
      f->value = buffers_.back().data();
    }
    SqlRunState* st = GetSqlRunState(&m_);
    st->queryTables[0] = static_cast<uint8_t>(table_);
    st->queryTableCount = 1;
    ASSERT_EQ(da_->ExecSql("select * from vt_agree order by id"), 0);
    ASSERT_EQ(BindResultColumns(&m_, true, 0), 0);
    while (da_->FetchNext() == 0) {
      ConvertFetchedRow(&m_);
      Row row;
      for (FieldDef* f = m_.fieldList; f; f = f->next) row.values.emplace_back(f->value, f->value + m_.GetFieldStorageSize(f)), row.marks.push_back(f->totalFlags);
      rows_.push_back(row);
    }
    da_->EndStatement();
    ASSERT_EQ(rows_.size(), 12u);
  }
  // The row's columns, then the calculations others use, as the record pass
  // computes them: the value written and its flag kept with the field.
  void LoadRow(size_t r) {
    size_t i = 0;
    for (FieldDef* f = m_.fieldList; f && i < rows_[r].values.size(); f = f->next, ++i) {
      std::memcpy(f->value, rows_[r].values[i].data(), rows_[r].values[i].size());
      f->totalFlags = rows_[r].marks[i];
    }
    for (FieldDef* f : inner_) {
      uint32_t flags = 0;
      EvaluateCompiledExpression(&m_, f->code, f->value, m_.GetFieldStorageSize(f) - 1, &flags, nullptr);
      f->valueStatus = static_cast<uint8_t>(flags & 7);
    }
  }

  // What the program writes for the expression on row r, as comparable text.
  std::string Program(FieldDef* f, size_t r) {
    LoadRow(r);
    uint8_t out[300] = {};
    uint32_t flags = 0;
    if (EvaluateCompiledExpression(&m_, f->code, out, 254, &flags, nullptr) != 0) return "(evaluation failed)";
    const uint32_t kind = FieldKind(f);
    double d;
    uint32_t day;
    std::memcpy(&d, out, 8);
    std::memcpy(&day, out, 4);
    if (kind & kFieldLogical) return flags ? "0" : out[0] ? "1" : "0";
    if (kind & kFieldNumeric) return flags ? "0" : d == kNullNumber ? "NULL" : NumberText(d);
    if (kind & kFieldDate) {
      if (flags) day = kFirstDay;
      if (day == EmptyDate) return "NULL";
      DateParts p;
      if (JulianToYMD(static_cast<DayNumber>(day), p) != 0) return "(invalid date)";
      char b[16];
      std::snprintf(b, sizeof b, "%04d-%02d-%02d", p.year, p.month, p.day);
      return b;
    }
    // Pad characters stand for blanks; they are printed and compared as blanks.
    std::string text = flags ? "" : reinterpret_cast<const char*>(out);
    for (char& c : text)
      if (static_cast<unsigned char>(c) == static_cast<unsigned char>(m_.SpaceDotChar)) c = ' ';
    return text;
  }

  // What the database gives for the translation, row by row.
  bool Database(FieldDef* f, std::vector<std::string>* out) {
    const std::string sql = std::string("select ") + f->sqlText + " from vt_agree order by id";
    char error[512] = {};
    if (da_->ExecSql(sql.c_str(), error, sizeof error) != 0) {
      out->assign(1, std::string("(the database failed: ") + error + ")");
      return false;
    }
    const uint32_t kind = FieldKind(f);
    while (da_->FetchNext() == 0) {
      std::string v = da_->GetColumnText(1, 1, '|');
      if ((kind & (kFieldNumeric | kFieldDate)) && v.empty()) v = "NULL";
      else if (kind & kFieldNumeric || (kind & kFieldLogical)) v = NumberText(std::strtod(v.c_str(), nullptr));
      else if (kind & kFieldDate) v = v.substr(0, 10);
      out->push_back(v);
    }
    da_->EndStatement();
    return true;
  }

  // Every key of the platform's section that names a built-in or an operator.
  std::vector<std::string> TemplateKeys() {
    std::vector<char> buf(8000, 0);
    GetPrivateProfileStringA(da_->GetPlatformName(), nullptr, "", buf.data(), static_cast<DWORD>(buf.size()),
                             da_->sqlIniPath.c_str());
    std::vector<std::string> keys;
    for (const char* k = buf.data(); *k; k += std::strlen(k) + 1) {
      bool op = false;
      for (uint8_t o = 0; o <= kLastOpcode; ++o) op = op || (OpcodeSqlKey(o) && std::strcmp(OpcodeSqlKey(o), k) == 0);
      if (op || FindBuiltinExact(k, std::strlen(k)) >= 0) keys.push_back(k);
    }
    return keys;
  }

  // Calls of a built-in over every operand of the kinds its arguments take;
  // an optional last argument is also left out.
  void CallsOf(const std::string& name, std::vector<Case>* cases) {
    const int slot = FindBuiltinExact(name.c_str(), name.size());
    if (slot == static_cast<int>(kSlotIif)) {
      for (const std::string& c : kConditions)
        for (const auto& b : kBranches) cases->push_back({name, "IIF(" + c + ", " + b.first + ", " + b.second + ")"});
      return;
    }
    const unsigned count = BuiltinArgCount(static_cast<uint32_t>(slot));
    std::vector<std::string> partial = {""};
    for (unsigned i = 0; i < count; ++i) {
      const uint8_t type = BuiltinArgType(static_cast<uint32_t>(slot), i);
      const std::vector<std::string>& pool = (type & 0x1F) == kArgString ? kTexts
                                             : (type & 0x1F) == kArgDate ? kDates
                                                                         : kNumbers;
      std::vector<std::string> next;
      for (const std::string& p : partial) {
        if (type & kArgOptional) cases->push_back({name, name + "(" + p + ")"});
        for (const std::string& a : pool) next.push_back(p + (i ? ", " : "") + a);
      }
      partial = next;
    }
    for (const std::string& p : partial) cases->push_back({name, name + "(" + p + ")"});
  }

  std::vector<Case> CasesOf(const std::string& key) {
    std::vector<Case> cases;
    if (FindBuiltinExact(key.c_str(), key.size()) >= 0) {
      CallsOf(key, &cases);
      return cases;
    }
    for (const OperatorForm& o : kOperators) {
      if (key != o.key) continue;
      for (const std::string& a : *o.a) {
        if (o.b == nullptr) {
          cases.push_back({key, Replace(o.pattern, "@1", a)});
          continue;
        }
        for (const std::string& b : *o.b) cases.push_back({key, Replace(Replace(o.pattern, "@1", a), "@2", b)});
      }
    }
    return cases;
  }

  // Compiles the case; false when its translation does not agree on a row.
  bool Agrees(Case& c, std::string* report) {
    c.field = CompileField(&m_, "CHECK", c.text.c_str(), false, nullptr);
    if (c.field == nullptr || c.field->code == nullptr) {
      *report += c.text + ": does not compile\n";
      return false;
    }
    if (c.field->sqlText == nullptr) return true;  // the program's to compute
    std::vector<std::string> db;
    bool ok = Database(c.field, &db);
    for (size_t r = 0; ok && r < rows_.size(); ++r) {
      const std::string mine = Program(c.field, r);
      if (r < db.size() && db[r] == mine) continue;
      *report += c.text + " on row " + std::to_string(r + 1) + ": the program gives \"" + mine +
                 "\", the database \"" + (r < db.size() ? db[r] : "(no row)") + "\"\n  " + c.field->sqlText + "\n";
      ok = false;
    }
    if (!ok && db.size() == 1) *report += c.text + ": " + db[0] + "\n  " + c.field->sqlText + "\n";
    return ok;
  }

  bool postgres_ = false;
  CKmComposite m_{nullptr};
  DataAccess* da_ = nullptr;
  uint32_t table_ = 0;
  struct Row {
    std::vector<std::vector<uint8_t>> values;
    std::vector<uint8_t> marks;
  };
  std::vector<Row> rows_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::vector<FieldDef*> inner_;
};

TEST_P(Agreement, EveryShippedTranslationMeansWhatTheProgramMeans) {
  std::string report;
  int checked = 0;
  for (const std::string& key : TemplateKeys()) {
    std::vector<Case> cases = CasesOf(key);
    ASSERT_FALSE(cases.empty()) << "no case is written for the template " << key;
    int translated = 0;
    for (Case& c : cases) {
      Agrees(c, &report);
      if (c.field != nullptr && c.field->sqlText != nullptr) ++translated, ++checked;
    }
    // A template that never translates only costs: the shipped file drops
    // it, unless it serves beside (LOWER folds the case of joins and sorts).
    if ((key == "LOWER" || key == "UPPER") && !CaseTemplateMapsAsTheProgram(&m_, key.c_str())) {
      EXPECT_FALSE(postgres_) << key << " maps case over every letter on PostgreSQL";
      EXPECT_EQ(translated, 0) << key << " folds only some letters but is sent";
    } else {
      EXPECT_GT(translated, 0) << "no case of " << key << " is sent to the database";
    }
  }
  for (const Composition& k : kCompositions) {
    Case c{"", k.text};
    Agrees(c, &report);
    if (k.sent) {
      EXPECT_TRUE(c.field != nullptr && c.field->sqlText != nullptr) << k.text << " is not sent";
    }
  }
  EXPECT_TRUE(report.empty()) << report;
  EXPECT_GT(checked, 100);
}

// In a child process: an allocation of more than 64 MB ends it at once.
void LimitAllocations() {
  constexpr size_t kLimit = size_t{64} << 20;
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer's own reports need room of their own: the request itself is watched.
  __sanitizer_install_malloc_and_free_hooks(
      [](const volatile void*, size_t size) {
        if (size > kLimit) _exit(4);
      },
      [](const volatile void*) {});
#else
  std::ifstream status("/proc/self/status");
  unsigned long long kb = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) kb = std::strtoull(line.c_str() + 7, nullptr, 10);
  const rlimit room{(kb << 10) + kLimit, RLIM_INFINITY};
  if (kb == 0 || setrlimit(RLIMIT_AS, &room) != 0) _exit(3);
#endif
}

// A calculation whose translation doubles with each OR or ROUND is given up
// as soon as a part passes the limit, within a few kilobytes; unbounded,
// these would take terabytes.
TEST_P(Agreement, ALongTranslationIsGivenUpWithinItsBound) {
  std::string chain = "QTY = 1", round = "AMT * 1.5";
  for (int i = 2; i <= 40; ++i) chain += " .OR. QTY = " + std::to_string(i);
  for (int i = 0; i < 40; ++i) round = "ROUND(" + round + ", 2)";
  for (const std::string& text : {"IIF(" + chain + ", 1, 0)", round}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      LimitAllocations();
      FieldDef* f = CompileField(&m_, "LONG", text.c_str(), false, nullptr);
      _exit(f == nullptr ? 2 : f->sqlText != nullptr ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << text.substr(0, 60) << "...: " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1)
        << " (1 sent, 2 not compiled, 3 no limit set, 4 or -1: grew past 64 MB)";
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, Agreement, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
