// The report dictionary over a dBASE table and memo file written by Perl's
// XBase module and an index written by its index writer: the merge into a
// table's new fields, hidden fields, security levels, formulas, and the
// dictionary's failures.
#include "data/report_dictionary.h"

#include "app/document.h"
#include "core/compiled_code.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/open_tables.h"
#include "data/replace_table.h"
#include "data/xbase_index.h"
#include "foundation/heap_strings.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "tests/foundation/settings/settings_fixture.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kTool = std::string(VT_SOURCE_DIR) + "/tests/tools/xbase_tool.pl";
const char* const kColumns =
    "TABLE_NAME:C:10:0,FIELD_NAME:C:11:0,COMMENT:C:40:0,SECURITY:N:5:0,EXTENDED:L:1:0,FIELD_HIDE:L:1:0,"
    "FILTR_HIDE:L:1:0,INST_HIDE:L:1:0,FORMULA:M:10:0,DICTKEY:C:21:0";

int Shell(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// One entry: table part, field part, comment, security, extended, field
// hide, filter hide, insert hide, formula; deleted entries start with "*".
std::string Entry(const std::string& table, const std::string& field, const std::string& comment, int security,
                  int extended, int fieldHide, int filterHide, int insertHide, const std::string& formula) {
  std::string key = table;
  key.resize(10, ' ');
  std::string f = field;
  f.resize(11, ' ');
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  key += f;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  char line[512];
  std::snprintf(line, sizeof line, "%s|%s|%s|%d|%d|%d|%d|%d|%s|%s\n", table.c_str(), field.c_str(), comment.c_str(),
                security, extended, fieldHide, filterHide, insertHide, formula.c_str(), key.c_str());
  return line;
}

// A table (or, with a statement, the statement's result) of the SQLite test
// database opened as the model's master through the data layer.
bool OpenTestMaster(CKmComposite* m, const char* statement) {
  DataAccess* da = GetDataAccess(m);
  if (da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr) != 1) {
    ADD_FAILURE() << DbLastErrorText();
    return false;
  }
  da->SelectDataSource(odbc_test::kSqliteDsn);
  TableOverrideContext ctx;
  ctx.owner = "1";
  uint32_t slot = 0;
  return OpenTable(m, "orders", &slot, true, statement, nullptr, nullptr, ctx) == 0;
}

class ReportDictionaryTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Shell("perl -MXBase -e 1 2>/dev/null") != 0) return;
    char tmpl[] = "/tmp/vt_dictionary_XXXXXX";
    dir_ = mkdtemp(tmpl);
    const std::string entries =
        Entry("CUSTOMER", "", "Customers of the shop", 0, 1, 0, 0, 0, "") +
        Entry("CUSTOMER", "NAME", "Customer name", 500, 1, 0, 0, 0, "") +
        Entry("CUSTOMER", "AB", "Two letters", 500, 0, 0, 1, 1, "") +
        Entry("CUSTOMER", "SECRET", "Never shown", 0, 0, 1, 0, 0, "") +
        Entry("CUSTOMER", "TOTAL2", "Twice the amount", 0, 0, 0, 0, 0, "AMOUNT * 2") +
        Entry("CUSTOMER", "AAA", "Names a later formula", 0, 0, 0, 0, 0, "TOTAL2 * 3") +
        Entry("CUSTOMER", "ZZ", "Across two tables", 0, 0, 0, 0, 0, "AMOUNT + ORDERS.QTY") +
        "*" + Entry("CUSTOMER", "AMOUNT", "A deleted entry", 0, 0, 0, 0, 0, "") +
        Entry("ORDERS", "QTY", "Quantity ordered", 0, 1, 0, 0, 0, "") +
        Entry("ORDERS", "QTY2", "Twice the quantity", 0, 0, 0, 0, 0, "QTY * 2") +
        Entry("ORDERS", "AMOUNT", "Order amount", 0, 1, 0, 0, 0, "") +
        Entry("ORDERS", "CUSTOMER", "Hidden from reports", 0, 0, 1, 0, 0, "") +
        Entry("ORDERS", "DOUBLED", "Twice the order", 0, 0, 0, 0, 0, "AMOUNT * 2") +
        Entry("", "GREETING", "A global formula", 0, 0, 0, 0, 0, "\"Hello\"");
    std::ofstream(dir_ + "/entries.in") << entries;
    ASSERT_EQ(Shell("cd '" + dir_ + "' && perl '" + kTool + "' create dict.dbf " + kColumns + " < entries.in"), 0);
    ASSERT_EQ(Shell("cd '" + dir_ + "' && perl '" + kTool + "' idx dict.dbf dict.idx DICTKEY"), 0);
    // The same table without a COMMENT column.
    std::ofstream(dir_ + "/bad.in") << "CUSTOMER|NAME\n";
    ASSERT_EQ(Shell("cd '" + dir_ + "' && perl '" + kTool + "' create bad.dbf TABLE_NAME:C:10:0,FIELD_NAME:C:11:0 < bad.in"), 0);
    // An index whose key is only the table part.
    ASSERT_EQ(Shell("cd '" + dir_ + "' && perl '" + kTool + "' idx dict.dbf short.idx TABLE_NAME"), 0);
    // The program's settings name the dictionary: kmw.ini read at start-up.
    const std::string win = dir_ + "/win";
    Shell("mkdir -p '" + win + "' '" + dir_ + "/prog'");
    std::ofstream(win + "/kmw.ini") << "[Data Dictionary]\nDataDict=" << dir_ << "/dict.dbf\nDataDictIndex=" << dir_
                                     << "/dict.idx\n";
    std::ofstream(win + "/kmwsql.ini") << "[ODBC]\n";
    setenv("VORTELLE_WINDIR", win.c_str(), 1);
    hooks_.programDir = dir_ + "/prog/";
    SetStartupHooks(&hooks_);
    settingsDoc_ = new CKmDoc;
    ASSERT_EQ(InitSettings(*settingsDoc_), 1);
    SetStartupHooks(nullptr);
    unsetenv("VORTELLE_WINDIR");
    ASSERT_EQ(std::string(DirBlockEntryText(kDirDictTable)), dir_ + "/dict.dbf");
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) Shell("rm -rf '" + dir_ + "'");
  }
  void SetUp() override {
    if (dir_.empty()) GTEST_SKIP() << "Perl's XBase module is not installed";
    Use("dict.dbf", "dict.idx");
    DictionarySwitches() = ReportDictionarySwitches{};
    model.AddTableSlot("CUSTOMER", "CUSTOMER", 0, 0, nullptr);
    secret = Field("SECRET", 0);
    name = Field("NAME", 0);
    ab = Field("AB", 0);
    amount = Field("AMOUNT", kFieldNumeric);
  }
  void TearDown() override {
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
  }
  static void Use(const std::string& table, const std::string& index) {
    std::snprintf(DirBlockEntryText(kDirDictTable), kDirEntryBytes, "%s", table.empty() ? "" : (dir_ + "/" + table).c_str());
    std::snprintf(DirBlockEntryText(kDirDictIndex), kDirEntryBytes, "%s", index.empty() ? "" : (dir_ + "/" + index).c_str());
  }
  FieldDef* Field(const char* n, uint32_t flags) {
    FieldDef* f = model.AddField(flags | kFieldNeeded);
    std::snprintf(f->name, sizeof f->name, "%s", n);
    f->table = 0;
    return f;
  }
  FieldDef* Find(const char* n) {
    for (FieldDef* f = model.fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, n) == 0) return f;
    return nullptr;
  }

  static std::string dir_;
  static settings_test::RecordingHooks hooks_;
  static CKmDoc* settingsDoc_;
  CKmComposite model{nullptr};
  FieldDef *secret = nullptr, *name = nullptr, *ab = nullptr, *amount = nullptr;
};

std::string ReportDictionaryTest::dir_;
settings_test::RecordingHooks ReportDictionaryTest::hooks_;
CKmDoc* ReportDictionaryTest::settingsDoc_ = nullptr;

TEST_F(ReportDictionaryTest, EntriesReachTheTablesFields) {
  FieldDef* head = model.fieldList;
  ASSERT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 0);
  // The hidden first field is gone and the list starts at the next one.
  EXPECT_EQ(Find("SECRET"), nullptr);
  EXPECT_EQ(head, name);
  EXPECT_STREQ(GetFieldDescription(name), "Customer name");
  EXPECT_EQ(name->extended, 1);
  EXPECT_EQ(name->security, 500 - ((78 - 32) + (65 - 32) + (77 - 32) + (69 - 32)));
  EXPECT_STREQ(GetFieldDescription(ab), "Two letters");
  EXPECT_EQ(ab->security, 433);
  EXPECT_EQ(ab->extended, 0);
  EXPECT_EQ(ab->dictFlags, kFieldDictFilterHidden | kFieldDictInsertHidden);
  // A deleted entry is no entry: the field keeps no description and counts as undescribed.
  EXPECT_STREQ(GetFieldDescription(amount), "");
  EXPECT_EQ(amount->extended, 1);
  // The table's formula became a calculated field over the table's columns;
  // the one naming another table's field was dropped; the global one joined.
  FieldDef* total = Find("TOTAL2");
  ASSERT_NE(total, nullptr);
  EXPECT_TRUE(IsCalc(total));
  EXPECT_NE(total->code, nullptr);
  EXPECT_EQ(total->dictFlags & kFieldDictFormula, kFieldDictFormula);
  EXPECT_STREQ(GetFieldDescription(total), "Twice the amount");
  EXPECT_STREQ(total->exprText, "CUSTOMER.AMOUNT * 2") << "a bare column is qualified with its table";
  EXPECT_EQ(Find("ZZ"), nullptr);
  FieldDef* thrice = Find("AAA");
  ASSERT_NE(thrice, nullptr) << "compiled once the formula it names was made";
  EXPECT_NE(thrice->code, nullptr);
  FieldDef* greeting = Find("GREETING");
  ASSERT_NE(greeting, nullptr);
  EXPECT_EQ(greeting->table, 255);
  EXPECT_STREQ(GetFieldDescription(greeting), "A global formula");
  EXPECT_FALSE(DictionarySwitches().messageShown);
}

TEST_F(ReportDictionaryTest, LookupTablesTakeNoGlobalEntriesAndSuspensionStopsTheMerge) {
  FieldDef* head = model.fieldList;
  DictionarySwitches().suspended = true;
  ASSERT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 0);
  EXPECT_STREQ(GetFieldDescription(name), "");
  EXPECT_NE(Find("SECRET"), nullptr);
  DictionarySwitches().suspended = false;
  const uint32_t slot = model.AddTableSlot("ORDERS", "ORDERS", 1, 0, nullptr);
  FieldDef* qty = Field("QTY", kFieldNumeric);
  qty->table = static_cast<uint8_t>(slot);
  FieldDef* lookupHead = qty;
  ASSERT_EQ(ReadReportDictionary(&model, &lookupHead, "ORDERS", slot, false), 0);
  EXPECT_STREQ(GetFieldDescription(qty), "Quantity ordered");
  // The lookup table's formula was compiled against its own fields; its
  // field numbers now count from the head of the whole list.
  FieldDef* twice = Find("QTY2");
  ASSERT_NE(twice, nullptr);
  ASSERT_NE(twice->code, nullptr);
  CodeReader reader(twice->code, twice->codeLength);
  Instruction in;
  bool named = false;
  while (reader.Next(&in))
    if (in.op == OP_FIELD) named = in.u32 == model.GetFieldIndex(qty);
  EXPECT_TRUE(named) << DisassembleCode(twice->code, twice->codeLength);
  EXPECT_EQ(Find("GREETING"), nullptr) << "global entries join the master table only";
}

TEST_F(ReportDictionaryTest, AnUnusableDictionaryLeavesTheFieldsAndSpeaksOnce) {
  FieldDef* head = model.fieldList;
  Use("", "");
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 0) << "no dictionary named";
  EXPECT_FALSE(DictionarySwitches().messageShown);
  // An index keyed on less than the table and field parts is passed over silently.
  Use("dict.dbf", "short.idx");
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 1);
  EXPECT_FALSE(DictionarySwitches().messageShown);
  // A table without the comment column: one message for the run.
  DbClearErrorRecord();
  Use("bad.dbf", "dict.idx");
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 1);
  EXPECT_TRUE(DictionarySwitches().messageShown);
  EXPECT_EQ(DbLastErrorText(), "Report Dictionary error - incorrect file format");
  Use("dict.dbf", "missing.idx");
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 1);
  EXPECT_EQ(DbErrorCount(), 1) << "later failures of the run are silent";
  // A missing index, as the first message of a run, names the index.
  DictionarySwitches().messageShown = false;
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 1);
  EXPECT_EQ(DbLastErrorText(), "Invalid report dictionary index file " + dir_ + "/missing.idx");
  // A damaged table header: the record length runs past the file.
  std::string bytes;
  {
    std::ifstream in(dir_ + "/dict.dbf", std::ios::binary);
    bytes.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bytes[10] = '\x10';
  bytes[11] = '\x00';  // a record of 16 bytes cannot hold the columns the descriptors name
  std::ofstream(dir_ + "/damaged.dbf", std::ios::binary) << bytes;
  Use("damaged.dbf", "dict.idx");
  EXPECT_EQ(ReadReportDictionary(&model, &head, "CUSTOMER", 0, false), 1);
  EXPECT_STREQ(GetFieldDescription(name), "");
  EXPECT_NE(Find("SECRET"), nullptr);
}

TEST_F(ReportDictionaryTest, TheKeyIsPaddedAndUpperCased) {
  EXPECT_EQ(BuildDictionaryKey(&model, -1, "name", "customer", 10, 11), "CUSTOMER  NAME       ");
  EXPECT_EQ(BuildDictionaryKey(&model, 0, "a_rather_long_name", nullptr, 4, 5), "CUSTA_RAT");
}

// Opening a table through the data layer merges its entries: a real
// table of the SQLite test database.
TEST_F(ReportDictionaryTest, OpeningATableMergesItsEntries) {
  if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
  CKmComposite m(nullptr);
  ASSERT_TRUE(OpenTestMaster(&m, nullptr));
  TableOverrideContext ctx;
  ctx.owner = "1";
  auto find = [&m](const char* n) -> FieldDef* {
    for (FieldDef* f = m.fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, n) == 0) return f;
    return nullptr;
  };
  ASSERT_NE(find("amount"), nullptr);
  EXPECT_STREQ(GetFieldDescription(find("amount")), "Order amount");
  EXPECT_EQ(find("customer"), nullptr) << "the dictionary hides it from reports";
  ASSERT_NE(find("id"), nullptr);
  EXPECT_EQ(find("id")->extended, 1) << "a column without an entry";
  FieldDef* doubled = find("DOUBLED");
  ASSERT_NE(doubled, nullptr);
  EXPECT_NE(doubled->code, nullptr);
  EXPECT_EQ(find("QTY2"), nullptr) << "a formula over columns the table lacks";
  EXPECT_NE(find("GREETING"), nullptr) << "the master table takes the global formulas";
  EXPECT_STREQ(doubled->exprText, "orders.AMOUNT * 2") << "a bare column is qualified with its table";
  // Replacing the master table brings the new table's entries, not the global formulas again.
  TableReplacement pending;
  ASSERT_EQ(ReplaceTable(&m, &pending, 0, "customers", nullptr, nullptr, nullptr, ctx), 0);
  int greetings = 0;
  for (FieldDef* f = m.fieldList; f != nullptr; f = f->next) greetings += std::strcmp(f->name, "GREETING") == 0;
  EXPECT_EQ(greetings, 1);
  EXPECT_FALSE(DictionarySwitches().globalsSuppressed);
  CancelReplaceTable(&m, &pending);
  m.DropAttachment(AttachmentSlot::kSqlFields);
}

// On PostgreSQL, where unquoted names fold to lower case, the qualified
// formula still becomes SQL the server computes as its own arithmetic.
TEST_F(ReportDictionaryTest, AQualifiedFormulaIsComputedByPostgres) {
  std::string why;
  if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
  bool ok = false;
  odbc_test::RunPostgresSql("drop table if exists orders;"
                            "create table orders (id integer primary key, amount numeric(12,2), customer integer);"
                            "insert into orders values (1, 12.25, 7), (2, -3.5, 8), (3, 0, 7);",
                            &ok);
  ASSERT_TRUE(ok);
  CKmComposite m(nullptr);
  InstallSqlTranslation(&m);
  DataAccess* da = GetDataAccess(&m);
  da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
  ASSERT_EQ(da->ConnectDataSource(odbc_test::kPgDsn, false, true, nullptr), 1) << DbLastErrorText();
  da->SelectDataSource(odbc_test::kPgDsn);
  TableOverrideContext ctx;
  ctx.owner = "1";
  uint32_t slot = 0;
  ASSERT_EQ(OpenTable(&m, "orders", &slot, true, nullptr, nullptr, nullptr, ctx), 0) << DbLastErrorText();
  FieldDef* doubled = nullptr;
  for (FieldDef* f = m.fieldList; f != nullptr; f = f->next)
    if (std::strcmp(f->name, "DOUBLED") == 0) doubled = f;
  ASSERT_NE(doubled, nullptr);
  EXPECT_STREQ(doubled->exprText, "orders.AMOUNT * 2");
  ASSERT_NE(doubled->sqlText, nullptr) << "the server can compute the formula";
  auto column = [da](const std::string& sql) {
    std::string values;
    EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql << ": " << DbLastErrorText();
    while (da->FetchNext() == 0) values += std::string(da->GetColumnText(1, 1, '|')) + ";";
    da->EndStatement();
    return values;
  };
  const std::string ours = column(std::string("select ") + doubled->sqlText + " from orders order by id");
  // The server computes in doubles, as the program does.
  EXPECT_EQ(ours, column("select cast(amount as float8) * 2 from orders order by id")) << doubled->sqlText;
  EXPECT_EQ(ours.substr(0, 5), "24.5;") << ours;
  m.DropAttachment(AttachmentSlot::kSqlFields);
}

}  // namespace

namespace {

// A report on an SQL statement: its result columns are no table of the
// dictionary, so only the global formulas join them.
TEST_F(ReportDictionaryTest, AStatementMasterTakesTheGlobalEntriesOnly) {
  if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
  CKmComposite m(nullptr);
  ASSERT_TRUE(OpenTestMaster(&m, "select id, amount from orders"));
  int greetings = 0, doubled = 0;
  const FieldDef* amount = nullptr;
  for (FieldDef* f = m.fieldList; f != nullptr; f = f->next) {
    greetings += std::strcmp(f->name, "GREETING") == 0;
    doubled += std::strcmp(f->name, "DOUBLED") == 0;
    if (std::strcmp(f->name, "amount") == 0) amount = f;
  }
  EXPECT_EQ(greetings, 1);
  EXPECT_EQ(doubled, 0) << "the orders table's formula is not the statement's";
  ASSERT_NE(amount, nullptr);
  EXPECT_STREQ(GetFieldDescription(amount), "") << "no table entry describes a result column";
  m.DropAttachment(AttachmentSlot::kSqlFields);
}

}  // namespace
