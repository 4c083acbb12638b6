// The database library against the SQLite test database.
#include "tests/data/access/qe_fixture.h"
#include "tests/support/odbc_env.h"
#include "platform/qe/qe.h"
#include "platform/qe/qe_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>


TEST_F(QeLayer, DescribesColumnsInTheLayersOwnTerms) {
  QEHANDLE s = Exec("select id, name, balance, since, seen, opens, active, notes, photo from customers");
  ASSERT_EQ(qeNumCols(s), 9);
  EXPECT_EQ(qeColType(s, 1), QE_TYPE_LONG);
  EXPECT_EQ(qeColType(s, 2), QE_TYPE_CHAR);
  EXPECT_EQ(qeColType(s, 3), QE_TYPE_DOUBLE);
  EXPECT_EQ(qeColType(s, 4), QE_TYPE_DATETIME);
  EXPECT_EQ(qeColDateStart(s, 4), 0);
  EXPECT_EQ(qeColDateEnd(s, 4), 9);
  EXPECT_EQ(qeColDateEnd(s, 5), 25);
  EXPECT_EQ(qeColDateStart(s, 6), 11);
  EXPECT_EQ(qeColDBType(s, 7), QE_DB_BIT);
  EXPECT_EQ(qeColType(s, 7), QE_TYPE_SHORT);
  EXPECT_EQ(qeColDBType(s, 8), QE_DB_MEMO);
  EXPECT_GE(qeColDBType(s, 9), QE_DB_BINARY);
  EXPECT_LE(qeColDBType(s, 9), QE_DB_LONGBINARY);
  EXPECT_GE(qeColWidth(s, 2), 41);
  EXPECT_GE(qeColWidth(s, 1), 4);
  EXPECT_GE(qeColWidth(s, 3), 8);
  char name[QE_COLNAME_MAX];
  EXPECT_EQ(qeColNameBuf(s, name, 2), 0);
  EXPECT_STREQ(name, "name");
  EXPECT_NE(qeColNameBuf(s, name, 10), 0);  // past the last column
  EXPECT_STREQ(name, "");
  EXPECT_NE(qeErr(), 0);
  EXPECT_EQ(qeEndSQL(s), 0);
  EXPECT_NE(qeEndSQL(s), 0);  // a handle is good once

  // A name longer than the layer's limit is cut, never written past it.
  std::string alias(300, 'a');
  s = Exec(("select 1 as " + alias).c_str());
  char big[QE_COLNAME_MAX + 16];
  std::memset(big, 0x5A, sizeof big);
  EXPECT_EQ(qeColAliasBuf(s, big, 1), 0);
  EXPECT_EQ(std::strlen(big), static_cast<size_t>(QE_COLNAME_MAX - 1));
  EXPECT_EQ(static_cast<unsigned char>(big[QE_COLNAME_MAX]), 0x5A);
  qeEndSQL(s);
}

TEST_F(QeLayer, BoundRowsNullsTruncationAndDateTimeText) {
  QEHANDLE s = Exec("select id, name, balance, since, seen, opens, active from customers order by id");
  int32_t id = 0;
  char name[11];
  double balance = 0;
  char since[11], seen[27], opens[16];
  int16_t active = 0;
  int32_t cells[7] = {4, sizeof name, 8, sizeof since, sizeof seen, sizeof opens, 2};
  void* bufs[7] = {&id, name, &balance, since, seen, opens, &active};
  for (int c = 0; c < 7; ++c) ASSERT_EQ(qeBindCol(s, c + 1, bufs[c], &cells[c]), 0) << c;

  ASSERT_EQ(qeFetchNext(s), 0) << qeErrMsg();
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "Anders");
  EXPECT_EQ(cells[1], 6);
  EXPECT_DOUBLE_EQ(balance, 1250.5);
  EXPECT_STREQ(since, "1999-08-24");
  EXPECT_STREQ(seen, "1999-08-24 13:05:09.250000");
  EXPECT_STREQ(opens, "08:30:00.000000");
  EXPECT_EQ(active, 1);

  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(name, "O'Hara");
  ASSERT_EQ(qeFetchNext(s), 0);  // the row of nulls
  for (int c = 1; c < 7; ++c) EXPECT_EQ(cells[c], QE_LEN_NULL) << c;
  EXPECT_EQ(cells[0], 4);
  ASSERT_EQ(qeFetchNext(s), 0);  // a name longer than the buffer
  EXPECT_EQ(cells[1], QE_LEN_TRUNCATED);
  EXPECT_STREQ(name, "A name tha");
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_NE(qeFetchNext(s), 0);
  EXPECT_EQ(qeErr(), QE_END_OF_DATA);
  qeEndSQL(s);
}

TEST_F(QeLayer, SmallBuffersAreNeverOverrun) {
  // A two-byte buffer for a double and a 32-bit integer, as for unused sort columns.
  QEHANDLE s = Exec("select balance, id, name from customers where id = 1");
  std::vector<unsigned char> a(2, 0xAA), b(2, 0xAA), c(1, 0xAA);
  int32_t la = 2, lb = 2, lc = 1;
  ASSERT_EQ(qeBindCol(s, 1, a.data(), &la), 0);
  ASSERT_EQ(qeBindCol(s, 2, b.data(), &lb), 0);
  ASSERT_EQ(qeBindCol(s, 3, c.data(), &lc), 0);
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_EQ(la, QE_LEN_TRUNCATED);
  EXPECT_EQ(lb, QE_LEN_TRUNCATED);
  EXPECT_EQ(lc, QE_LEN_TRUNCATED);
  EXPECT_EQ(c[0], 0);
  qeEndSQL(s);
  int32_t bad = -5;
  s = Exec("select id from customers");
  EXPECT_NE(qeBindCol(s, 1, a.data(), &bad), 0);
  EXPECT_NE(qeBindCol(s, 1, nullptr, &la), 0);
  qeEndSQL(s);
}

TEST_F(QeLayer, TextCrossesInTheProgramsCodePage) {
  QEHANDLE s = Exec("select city from customers where city = 'Z\xFCrich'");  // cp1252 u-umlaut
  char city[31];
  int32_t cell = sizeof city;
  ASSERT_EQ(qeBindCol(s, 1, city, &cell), 0);
  ASSERT_EQ(qeFetchNext(s), 0) << qeErrMsg();
  EXPECT_STREQ(city, "Z\xFCrich");
  EXPECT_EQ(cell, 6);
  qeEndSQL(s);
  // Cut to a smaller buffer, after and within the ASCII start.
  for (int32_t size : {3, 2}) {
    s = Exec("select city from customers where city = 'Z\xFCrich'");
    char small[4] = {'x', 'x', 'x', 'x'};
    cell = size;
    ASSERT_EQ(qeBindCol(s, 1, small, &cell), 0);
    ASSERT_EQ(qeFetchNext(s), 0) << qeErrMsg();
    EXPECT_STREQ(small, size == 3 ? "Z\xFC" : "Z");
    EXPECT_EQ(cell, QE_LEN_TRUNCATED);
    EXPECT_EQ(small[3], 'x');
    qeEndSQL(s);
  }

  char out[8];
  // Invalid UTF-8 is taken as already in the code page; a cut sequence at the end is dropped.
  EXPECT_EQ(qe_text::Utf8ToAnsi("a\xE9z", 3, out, sizeof out), 3u);
  EXPECT_STREQ(out, "a\xE9z");
  EXPECT_EQ(qe_text::Utf8ToAnsi("ab\xC3", 3, out, sizeof out), 2u);
  EXPECT_EQ(qe_text::Utf8ToAnsi("\xE2\x82\xAC\xE4\xB8\x80", 6, out, sizeof out), 2u);
  EXPECT_STREQ(out, "\x80?");
  EXPECT_EQ(qe_text::Utf8ToAnsi("abcdef", 6, out, 4), 6u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(qe_text::Utf8ToAnsi("M\xC3\xBCller", 7, out, 4), 6u);
  EXPECT_STREQ(out, "M\xFCl");
  // ASCII runs longer than a word, cut inside a run and before a letter.
  char wide[16];
  EXPECT_EQ(qe_text::Utf8ToAnsi("abcdefghijk\xC3\xA9lmnopq", 19, wide, 12), 18u);
  EXPECT_STREQ(wide, "abcdefghijk");
  EXPECT_EQ(qe_text::Utf8ToAnsi("0123456789\xC3\xA9xy", 14, wide, sizeof wide), 13u);
  EXPECT_STREQ(wide, "0123456789\xE9xy");
  EXPECT_EQ(qe_text::Utf8ToAnsi("0123456789abcdefghij", 20, wide, 9), 20u);
  EXPECT_STREQ(wide, "01234567");
  EXPECT_EQ(qe_text::AsciiRun("abcdefgh\xC3ij", 11), 8u);
  EXPECT_EQ(qe_text::AsciiRun("abc\x80" "defghijk", 12), 3u);
  EXPECT_EQ(qe_text::AsciiRun("abcdefghij", 10), 10u);
  EXPECT_EQ(qe_text::AnsiToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
}

// A character the code page lacks comes as '?'; the library tells what each
// '?' of the current row's text stood for, whether the rows are read ahead
// (every column bound) or one at a time.
TEST_F(QeLayer, WhatTheCodePageLostIsTold) {
  for (const char* spare : {"", ", 1"}) {
    QEHANDLE s = Exec((std::string("select char(937) || 'mega?'") + spare + " union all select 'plain?'" + spare +
                       " union all select char(1044, 252)" + spare)
                          .c_str());
    char text[16];
    int32_t cell = sizeof text;
    ASSERT_EQ(qeBindCol(s, 1, text, &cell), 0);
    std::vector<std::string> got;
    std::string lost = "stale";
    while (qeFetchNext(s) == 0) {
      const int r = qeColLostChars(s, 1, &lost);
      got.push_back(std::string(text) + "|" + std::to_string(r) + "|" + lost);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"?mega?|1|\xCE\xA9?", "plain?|0|", "?\xFC|1|\xD0\x94"})) << spare;
    EXPECT_EQ(qeColLostChars(s, 2, &lost), 0);  // not a bound text
    qeEndSQL(s);
  }
  std::string lost;
  EXPECT_FALSE(qe_text::LostCharacters("a\xE9?", 3, &lost));  // code page bytes as they stand
  EXPECT_TRUE(lost.empty());
  EXPECT_TRUE(qe_text::LostCharacters("\xE2\x82\xAC\xE4\xB8\x80\xE4", 7, &lost));  // a cut end is dropped
  EXPECT_EQ(lost, "\xE4\xB8\x80");
}

TEST_F(QeLayer, PackedDecimals) {
  unsigned char buf[8];
  ASSERT_TRUE(qePackDecimal("-123.45", 5, 2, buf, sizeof buf));
  EXPECT_EQ(buf[0], 0xD1);
  EXPECT_EQ(buf[1], 0x23);
  EXPECT_EQ(buf[2], 0x45);
  EXPECT_DOUBLE_EQ(qeDecimalToDouble(buf, 5, 2), -123.45);
  ASSERT_TRUE(qePackDecimal("0.005", 4, 2, buf, sizeof buf));
  EXPECT_DOUBLE_EQ(qeDecimalToDouble(buf, 4, 2), 0.01);
  ASSERT_TRUE(qePackDecimal("99.995", 5, 2, buf, sizeof buf));
  EXPECT_DOUBLE_EQ(qeDecimalToDouble(buf, 5, 2), 100.0);
  EXPECT_FALSE(qePackDecimal("1000.00", 5, 2, buf, sizeof buf));  // needs six digits
  EXPECT_FALSE(qePackDecimal("12x", 5, 2, buf, sizeof buf));
  EXPECT_FALSE(qePackDecimal("1", 5, 2, buf, 2));  // buffer too small
  EXPECT_FALSE(qePackDecimal("", 5, 2, buf, sizeof buf));
  int32_t i = -7;
  int16_t h = 300;
  float f = 2.5f;
  EXPECT_EQ(qeLongToDouble(&i), -7.0);
  EXPECT_EQ(qeIntToDouble(&h), 300.0);
  EXPECT_EQ(qeFloatToDouble(&f), 2.5);
}

TEST_F(QeLayer, ListsLimitsRandomRowsAndErrors) {
  QEHANDLE t = qeTables(conn, "%", "%", "%", 0x13);
  ASSERT_NE(t, 0) << qeErrMsg();
  std::vector<std::string> names;
  while (qeFetchNext(t) == 0) names.push_back(qeValMultiChar(t, 3, 3, "", "", ""));
  EXPECT_EQ(qeErr(), QE_END_OF_DATA);
  EXPECT_NE(std::find(names.begin(), names.end(), "customers"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "big_orders"), names.end());
  qeEndSQL(t);

  QEHANDLE src = qeSources(1);
  ASSERT_NE(src, 0);
  int found = 0;
  char dsn[33];
  while (qeFetchNext(src) == 0) {
    qeValCharBuf(src, dsn, 1, "", sizeof dsn);
    found += std::strcmp(dsn, odbc_test::kSqliteDsn) == 0;
  }
  EXPECT_EQ(found, 1);  // the user's and the system's file are the same file here
  qeEndSQL(src);

  ASSERT_EQ(qeSetMaxRows(conn, 2), 0);
  QEHANDLE s = Exec("select id from customers order by id");
  int n = 0;
  while (qeFetchNext(s) == 0) ++n;
  EXPECT_EQ(n, 2);
  qeEndSQL(s);
  qeSetMaxRows(conn, 0);

  // Random rows on a forward-only result and on a scrollable one.
  for (long options : {0L, 2L}) {
    qeSetSelectOptions(conn, options);
    s = Exec("select id from customers order by id");
    int32_t id = 0, cell = 4;
    ASSERT_EQ(qeBindCol(s, 1, &id, &cell), 0);
    ASSERT_EQ(qeFetchRandom(s, 4), 0) << options;
    EXPECT_EQ(id, 4);
    ASSERT_EQ(qeFetchRandom(s, 2), 0) << options;
    EXPECT_EQ(id, 2);
    EXPECT_NE(qeFetchRandom(s, 99), 0);
    qeEndSQL(s);
  }
  qeSetSelectOptions(conn, 0);

  // Kept text runs again with an empty text.
  ASSERT_EQ(qeSetSQL(conn, "select count(*) from orders"), 0);
  s = qeExecSQL(conn, "");
  ASSERT_NE(s, 0);
  EXPECT_STREQ(qeValMultiChar(s, 1, -1, "", "", ","), "");  // before the first fetch
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(qeValMultiChar(s, 1, -1, "", "", ","), "3");
  qeEndSQL(s);

  EXPECT_EQ(qeExecSQL(conn, "select * from no_such_table"), 0);
  EXPECT_EQ(qeErr(), QE_ERROR);
  EXPECT_NE(std::string(qeErrMsg()).find("no_such_table"), std::string::npos);
  std::string longName(2000, 'x');
  EXPECT_EQ(qeExecSQL(conn, ("select * from " + longName).c_str()), 0);
  char msg[QE_ERRMSG_MAX + 64];
  std::memset(msg, 0x5A, sizeof msg);
  int len = qeErrMsgBuf(msg);
  EXPECT_LT(len, QE_ERRMSG_MAX);
  EXPECT_EQ(msg[len], '\0');
  EXPECT_EQ(static_cast<unsigned char>(msg[QE_ERRMSG_MAX]), 0x5A);

  std::string trace = odbc_test::Dir() + "/trace.txt";
  ASSERT_EQ(qeSetTraceOptions(3), 0);
  ASSERT_EQ(qeTraceOn(trace.c_str()), 0);
  qeEndSQL(Exec("select 1"));
  ASSERT_EQ(qeTraceOff(), 0);
  std::ifstream in(trace);
  std::string traced((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(traced.find("qeExecSQL"), std::string::npos);
  EXPECT_NE(qeTraceOn((odbc_test::Dir() + "/no/such/folder/t.txt").c_str()), 0);

  EXPECT_EQ(qeFetchNext(9999), QE_BAD_HANDLE);
  EXPECT_EQ(qeExecSQL(9999, "select 1"), 0);
  EXPECT_EQ(qeConnect("DSN=vt_no_such_source"), 0);
  EXPECT_NE(qeErr(), 0);
  EXPECT_STRNE(qeErrMsg(), "");
}
