// Result columns as fields and fetched values, against the SQLite test database
// and through hand-made bindings.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/table_fields.h"
#include "expr/calendar.h"
#include "core/composite.h"
#include "platform/qe/qe.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

FieldDef* Find(CKmComposite& m, const char* name) {
  for (FieldDef* f = m.fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

uint32_t Day(const uint8_t* v) { return v[0] | v[1] << 8 | v[2] << 16 | static_cast<uint32_t>(v[3]) << 24; }
double Time(const uint8_t* v) {
  double d;
  std::memcpy(&d, v + 4, 8);
  return d;
}
double Number(const uint8_t* v) {
  double d;
  std::memcpy(&d, v, 8);
  return d;
}
uint32_t DayOf(int y, int mo, int d) {
  DateParts p;
  p.year = y;
  p.month = static_cast<uint8_t>(mo);
  p.day = static_cast<uint8_t>(d);
  DayNumber n = 0;
  YMDToJulian(p, n);
  return static_cast<uint32_t>(n);
}

class FetchText : public testing::Test {
 protected:
  void SetUp() override {
    f = model.AddField(kFieldNeeded);
    f->width = 40;
    f->value = value;
    FieldBinding* b = GetFieldBinding(f, true);
    b->columnType = 1;
    b->fetchBuffer = static_cast<uint8_t*>(std::calloc(64, 1));
    b->fetchSize = 64;
  }
  std::string Convert(const char* fetched) {
    FieldBinding* b = GetFieldBinding(f, false);
    std::strncpy(reinterpret_cast<char*>(b->fetchBuffer), fetched, 63);
    b->fetchedLength = static_cast<int32_t>(std::strlen(fetched));
    ConvertFetchedValue(&model, f);
    return reinterpret_cast<char*>(value);
  }
  CKmComposite model{nullptr};
  FieldDef* f = nullptr;
  uint8_t value[300] = {};
};

}  // namespace

TEST_F(FetchText, LineBreaksTabsAndControlCharacters) {
  EXPECT_EQ(Convert("ab\r\ncd"), "ab cd");
  EXPECT_EQ(Convert("ab\n\rcd"), "ab cd");
  EXPECT_EQ(Convert("ab\n\ncd"), "ab\n\ncd");
  EXPECT_EQ(Convert("a\tb\x01\x1f" "c"), "a bc");
  GetSqlRunState(&model)->asciiEditor = 0;
  EXPECT_EQ(Convert("ab\r\ncd"), "ab\ncd");
  EXPECT_EQ(Convert("ab\n\ncd"), "ab\n\ncd");
  EXPECT_EQ(Convert("ab\x8d\r\ncd\xec\nx"), "ab\ncd\nx");
  GetSqlRunState(&model)->charRaw = 1;
  EXPECT_EQ(Convert("a\tb\r\n"), "a\tb\r\n");
}

TEST_F(FetchText, AControlByteIsFoundAnywhereInALongValue) {
  GetSqlRunState(&model)->asciiEditor = 0;
  // Letters next to the folded bytes, and code-page letters, stay as they are.
  const std::string plain = "\x1f" "A\xEB\xED\x8C\x8E\xE9\xFF !~";
  EXPECT_EQ(Convert(("xx" + plain.substr(1) + "yyyyyyyyyyyy").c_str()), "xx" + plain.substr(1) + "yyyyyyyyyyyy");
  for (size_t at = 0; at < 20; ++at) {
    std::string value(24, 'q');
    value.replace(at, 2, "\x8D\n");
    std::string want = value;
    want.erase(at, 1);
    EXPECT_EQ(Convert(value.c_str()), want) << at;
    value = std::string(24, '\xE9');
    value[at] = '\t';
    want = value;
    want[at] = ' ';
    EXPECT_EQ(Convert(value.c_str()), want) << at;
  }
}

TEST_F(FetchText, ValueNeverOverrunsTheFieldAndNullIsMarked) {
  f->width = 5;
  EXPECT_EQ(Convert("abcdefghij"), "abcde");
  FieldBinding* b = GetFieldBinding(f, false);
  b->fetchedLength = -2;
  ConvertFetchedValue(&model, f);
  EXPECT_EQ(value[0], 0);
  EXPECT_TRUE(f->totalFlags & kTotalNullValue);
  Convert("x");
  EXPECT_FALSE(f->totalFlags & kTotalNullValue);
}

TEST_F(FetchText, BufferWithoutTerminatorIsReadOnlyToItsEnd) {
  FieldBinding* b = GetFieldBinding(f, false);
  std::memset(b->fetchBuffer, 'x', b->fetchSize);  // no NUL anywhere
  b->fetchedLength = -1;
  ConvertFetchedValue(&model, f);
  EXPECT_EQ(std::strlen(reinterpret_cast<char*>(value)), 40u);
  b->columnType = 8;
  f->flags |= kFieldDateTime;
  ConvertFetchedValue(&model, f);  // a date text without its end is no date
  EXPECT_EQ(Day(value), EmptyDate);
}

TEST_F(FetchText, TimeFractionsAreFractionsOfASecond) {
  EXPECT_EQ(FractionToMicroseconds("250"), 250000u);
  EXPECT_EQ(FractionToMicroseconds("5"), 500000u);
  EXPECT_EQ(FractionToMicroseconds("000001"), 1u);
  EXPECT_EQ(FractionToMicroseconds("1234567"), 123456u);
  EXPECT_EQ(FractionToMicroseconds(""), 0u);
  f->flags |= kFieldTime;
  GetFieldBinding(f, false)->columnType = 8;
  Convert("10:00:01.250");
  EXPECT_DOUBLE_EQ(Time(value), (36001.25) * 1e6);
  f->flags = (f->flags & ~kFieldKindMask) | kFieldDateTime;
  Convert("1998-03-05 00:00:00.5");
  EXPECT_EQ(Day(value), DayOf(1998, 3, 5));
  EXPECT_DOUBLE_EQ(Time(value), 500000.0);
  Convert("0000-00-00 10:00:00");  // year 0: no date
  EXPECT_EQ(Day(value), EmptyDate);
  f->flags = (f->flags & ~kFieldKindMask) | kFieldDate;
  Convert("1998-02-30");
  EXPECT_EQ(Day(value), EmptyDate);
}

TEST_F(FetchText, RowsOfOneDateAndTheDatesAmongThem) {
  f->flags = (f->flags & ~kFieldKindMask) | kFieldDate;
  GetFieldBinding(f, false)->columnType = 8;
  Convert("2001-07-04");
  EXPECT_EQ(Day(value), DayOf(2001, 7, 4));
  // A row of the same date writes its whole value again.
  std::memset(value, 0xEE, 12);
  Convert("2001-07-04");
  EXPECT_EQ(Day(value), DayOf(2001, 7, 4));
  EXPECT_EQ(Time(value), 0.0);
  Convert("2001-07-0");  // the same beginning is not the same date
  EXPECT_EQ(Day(value), EmptyDate);
  Convert("2001-07-05");
  EXPECT_EQ(Day(value), DayOf(2001, 7, 5));
  Convert("1998-02-30");
  EXPECT_EQ(Day(value), EmptyDate);
  Convert("1998-02-30");  // a date that is none stays none
  EXPECT_EQ(Day(value), EmptyDate);
  Convert("2001-07-05");
  EXPECT_EQ(Day(value), DayOf(2001, 7, 5));
}

TEST(NumericKind, DecimalDisplayWidthsAndPackedValues) {
  FieldDef f;
  SetNumericFieldKind(&f, 3, 25, 4);
  EXPECT_EQ(f.displayWidth, 19u);
  EXPECT_EQ(f.displayDecimals, 0);
  SetNumericFieldKind(&f, 3, 18, 17);
  EXPECT_EQ(f.displayWidth, 16u);
  EXPECT_EQ(f.displayDecimals, 15);
  SetNumericFieldKind(&f, 10, 10, 2);
  EXPECT_EQ(f.displayWidth, 10u);
  EXPECT_EQ(f.displayDecimals, 2);
  EXPECT_EQ(f.formatCode, 0x3006u);
  SetNumericFieldKind(&f, 4, 0, 0);
  EXPECT_EQ(f.displayWidth, 6u);
  EXPECT_EQ(f.formatCode, 0x3005u);
  // Floating-point columns keep a fraction: two decimals, or the driver's
  // scale; a 64-bit integer column (also type 7) keeps none.
  SetNumericFieldKind(&f, 7, 54, 0, true);
  EXPECT_EQ(f.displayWidth, 9u);
  EXPECT_EQ(f.displayDecimals, 2);
  EXPECT_EQ(f.formatCode, 0x3005u);
  SetNumericFieldKind(&f, 6, 7, 4, true);
  EXPECT_EQ(f.displayWidth, 11u);
  EXPECT_EQ(f.displayDecimals, 4);
  SetNumericFieldKind(&f, 7, 19, 0, false);
  EXPECT_EQ(f.displayWidth, 6u);
  EXPECT_EQ(f.displayDecimals, 0);

  CKmComposite m(nullptr);
  FieldDef* d = m.AddField(kFieldNeeded | kFieldNumeric);
  uint8_t value[16] = {};
  d->value = value;
  d->width = 26;
  FieldBinding* b = GetFieldBinding(d, true);
  b->columnType = 3;
  b->precision = 25;
  b->scale = 4;
  b->fetchBuffer = static_cast<uint8_t*>(std::calloc(27, 1));
  b->fetchSize = 27;
  ASSERT_TRUE(qePackDecimal("-12345.6789", 25, 4, b->fetchBuffer, 27));
  b->fetchedLength = 14;
  ConvertFetchedValue(&m, d);
  EXPECT_DOUBLE_EQ(Number(value), -12345.6789);
  b->fetchedLength = -2;
  ConvertFetchedValue(&m, d);
  EXPECT_EQ(Number(value), kNullNumber);
}

TEST(FieldTypeText, NamesByKindAndCodesOtherwise) {
  CKmComposite m(nullptr);
  FieldDef* f = m.AddField(kFieldNeeded);
  GetFieldBinding(f, true)->dbType = 110;
  EXPECT_STREQ(GetFieldTypeText(&m, f), "code 110");  // no dBASE/SQL Server source
  f->flags |= kFieldAlias;
  EXPECT_STREQ(GetFieldTypeText(&m, f), "");
}

namespace {

class SqliteFields : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&model);
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    // The table is made by the database's own client: the program only reads.
    bool made = false;
    const std::string said = odbc_test::RunSqliteSql(
        "drop table if exists vt_kinds; "
        "create table vt_kinds (i integer, d decimal(25,4), s decimal(18,17), r double, "
        "t varchar(200), c varchar(10), dt date, tm time, ts timestamp, memo text); "
        "insert into vt_kinds values (42, 12345.5, 1.25, 0.1, 'Malm\xc3\xb6', 'it''s', "
        "'1998-03-05', '10:20:30', '2001-12-31 23:59:58.250', 'a' || char(10) || 'b'); "
        "insert into vt_kinds values (null, null, null, null, null, null, null, null, null, null);",
        &made);
    ASSERT_TRUE(made) << said;
  }
  CKmComposite model{nullptr};
  DataAccess* da = nullptr;
};

}  // namespace

TEST_F(SqliteFields, ColumnsBecomeFieldsOfTheirKind) {
  uint32_t t = model.AddTableSlot("vt_kinds", "A", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&model, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  EXPECT_EQ(model.tableSlots[t]->fieldCount, 10u);
  FieldDef* i = Find(model, "i");
  ASSERT_NE(i, nullptr);
  EXPECT_EQ(FieldKind(i), kFieldNumeric);
  EXPECT_EQ(i->formatCode, 0x3005u);
  FieldDef* txt = Find(model, "t");
  ASSERT_NE(txt, nullptr);
  EXPECT_EQ(FieldKind(txt), 0u);
  EXPECT_EQ(txt->head.width, 80);  // LongCharLimit
  EXPECT_EQ(txt->formatCode, 0x11u);
  EXPECT_EQ(FieldKind(Find(model, "dt")), kFieldDate);
  EXPECT_EQ(FieldKind(Find(model, "tm")), kFieldTime);
  EXPECT_EQ(FieldKind(Find(model, "ts")), kFieldDateTime);
  EXPECT_TRUE(Find(model, "i")->flags2 & kField2SqlCondition);
  EXPECT_FALSE(Find(model, "dt")->flags2 & kField2SqlCondition);
}

TEST_F(SqliteFields, FetchedValuesConvertExactly) {
  uint32_t t = model.AddTableSlot("vt_kinds", "A", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&model, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  std::vector<std::vector<uint8_t>> buffers;
  for (FieldDef* f = model.fieldList; f; f = f->next) {
    buffers.emplace_back(model.GetFieldStorageSize(f) + 16, 0);
    f->value = buffers.back().data();
  }
  SqlRunState* st = GetSqlRunState(&model);
  st->queryTables[0] = static_cast<uint8_t>(t);
  st->queryTableCount = 1;
  ASSERT_EQ(da->ExecSql("select * from vt_kinds order by i desc"), 0);
  ASSERT_EQ(BindResultColumns(&model, true, 0), 0);
  ASSERT_EQ(da->FetchNext(), 0);
  ConvertFetchedRow(&model);
  EXPECT_DOUBLE_EQ(Number(Find(model, "i")->value), 42.0);
  // This driver describes decimal columns as text.
  EXPECT_STREQ(reinterpret_cast<char*>(Find(model, "d")->value), "12345.5");
  EXPECT_DOUBLE_EQ(Number(Find(model, "r")->value), 0.1);
  EXPECT_STREQ(reinterpret_cast<char*>(Find(model, "t")->value), "Malm\xf6");
  EXPECT_STREQ(reinterpret_cast<char*>(Find(model, "c")->value), "it's");
  EXPECT_EQ(Day(Find(model, "dt")->value), DayOf(1998, 3, 5));
  EXPECT_DOUBLE_EQ(Time(Find(model, "tm")->value), (10 * 3600 + 20 * 60 + 30) * 1e6);
  EXPECT_EQ(Day(Find(model, "ts")->value), DayOf(2001, 12, 31));
  EXPECT_DOUBLE_EQ(Time(Find(model, "ts")->value), (23 * 3600 + 59 * 60 + 58.25) * 1e6);
  EXPECT_STREQ(reinterpret_cast<char*>(Find(model, "memo")->value), "a b");
  ASSERT_EQ(da->FetchNext(), 0);
  ConvertFetchedRow(&model);
  for (FieldDef* f = model.fieldList; f; f = f->next) EXPECT_TRUE(f->totalFlags & kTotalNullValue) << f->name;
  EXPECT_EQ(Day(Find(model, "dt")->value), EmptyDate);
  EXPECT_EQ(da->FetchNext(), 1);
  da->EndStatement();
}

TEST_F(SqliteFields, UserSelectNamesAndUnsupportedColumns) {
  uint32_t t = model.AddTableSlot("", "A", 0, 0, nullptr);
  const char* names[] = {"First", nullptr};
  ASSERT_EQ(BuildSqlFieldList(&model, t, "select i, c as label, 1 + 1 from vt_kinds", nullptr, names, true,
                              nullptr, 0),
            0);
  ASSERT_EQ(model.tableSlots[t]->fieldCount, 3u);
  FieldDef* f = model.tableSlots[t]->firstField;
  EXPECT_STREQ(f->name, "First");
  EXPECT_STREQ(f->next->name, "label");
  uint32_t bad = model.AddTableSlot("no_such_table", "B", 1, 0, nullptr);
  char err[256] = {};
  EXPECT_EQ(BuildSqlFieldList(&model, bad, nullptr, nullptr, nullptr, true, err, sizeof err), 1);
  EXPECT_NE(err[0], 0);
}
