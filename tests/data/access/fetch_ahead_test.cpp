// Results read ahead on their own thread (every column bound, forward only)
// against the same results read a row a fetch (one column left unbound).
#include "tests/data/access/qe_fixture.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// 2000 numbers times the customers: several blocks of rows, NULLs, a text cut
// to its buffer, doubles and dates.
const char* const kLongSelect =
    "with recursive n(x) as (select 1 union all select x + 1 from n where x < 2000) "
    "select n.x, c.id, c.name, c.balance, c.since%s from n, customers c order by n.x, c.id";
// Fails at row 700 (an integer overflow while stepping) and goes on after it.
const char* const kFailingSelect =
    "with recursive n(x) as (select 1 union all select x + 1 from n where x < 1000) "
    "select x, abs(case when x = 700 then -9223372036854775807 - 1 else x end)%s from n";

class QeReadAhead : public QeLayer {
 protected:
  // The SELECT as it stands (read ahead), or with a spare column nobody binds
  // (read a row a fetch).
  QEHANDLE Exec(const char* pattern, bool readAhead) {
    char sql[512];
    std::snprintf(sql, sizeof sql, pattern, readAhead ? "" : ", 0 as spare");
    return QeLayer::Exec(sql);
  }
};

struct LongRow {
  char x[12];
  int32_t id;
  char name[11];
  double balance;
  char since[11];
  int32_t cells[5];
};

// Every fetch's result and every row's values and cells, as one text.
std::string ReadLong(QEHANDLE s, long* rows) {
  LongRow r{};
  void* bufs[5] = {r.x, &r.id, r.name, &r.balance, r.since};
  const int32_t sizes[5] = {sizeof r.x, 4, sizeof r.name, 8, sizeof r.since};
  for (int c = 0; c < 5; ++c) {
    r.cells[c] = sizes[c];
    EXPECT_EQ(qeBindCol(s, c + 1, bufs[c], &r.cells[c]), 0) << c;
  }
  std::string all;
  *rows = 0;
  int rc;
  while ((rc = qeFetchNext(s)) == 0) {
    ++*rows;
    char line[200];
    std::snprintf(line, sizeof line, "%s|%d|%s|%.2f|%s|%d %d %d %d %d\n", r.x, r.id,
                  r.cells[2] == QE_LEN_NULL ? "-" : r.name, r.cells[3] == QE_LEN_NULL ? -1.0 : r.balance,
                  r.cells[4] == QE_LEN_NULL ? "-" : r.since, r.cells[0], r.cells[1], r.cells[2], r.cells[3],
                  r.cells[4]);
    all += line;
  }
  all += "end " + std::to_string(rc) + " " + std::to_string(qeErr()) + "\n";
  all += "again " + std::to_string(qeFetchNext(s)) + "\n";
  return all;
}

// Results of the fetches up to the end, a row's first column for each row.
std::vector<std::string> ReadFailing(QEHANDLE s, std::string* message) {
  char x[12], v[24];
  int32_t cx = sizeof x, cv = sizeof v;
  EXPECT_EQ(qeBindCol(s, 1, x, &cx), 0);
  EXPECT_EQ(qeBindCol(s, 2, v, &cv), 0);
  std::vector<std::string> seen;
  for (int i = 0; i < 1100; ++i) {
    int rc = qeFetchNext(s);
    if (rc == QE_END_OF_DATA) break;
    if (rc != 0) {
      *message = qeErrMsg();
      seen.push_back("error " + std::to_string(rc));
    } else {
      seen.push_back(std::string(x) + "=" + v);
    }
  }
  return seen;
}

}  // namespace

TEST_F(QeReadAhead, GivesTheRowsAndCellsOfSingleFetches) {
  long aheadRows = 0, plainRows = 0;
  QEHANDLE s = Exec(kLongSelect, true);
  const std::string ahead = ReadLong(s, &aheadRows);
  qeEndSQL(s);
  s = Exec(kLongSelect, false);
  const std::string plain = ReadLong(s, &plainRows);
  qeEndSQL(s);
  EXPECT_GT(aheadRows, 5000);
  EXPECT_EQ(aheadRows, plainRows);
  EXPECT_EQ(ahead, plain);
  EXPECT_NE(ahead.find("|-|-1.00|-|"), std::string::npos);  // the row of NULLs
  EXPECT_NE(ahead.find("A name tha|"), std::string::npos);  // cut to its buffer
}

TEST_F(QeReadAhead, AFailureComesAtItsRowWithTheDriversMessage) {
  std::string aheadMessage, plainMessage;
  QEHANDLE s = Exec(kFailingSelect, true);
  const std::vector<std::string> ahead = ReadFailing(s, &aheadMessage);
  qeEndSQL(s);
  s = Exec(kFailingSelect, false);
  const std::vector<std::string> plain = ReadFailing(s, &plainMessage);
  qeEndSQL(s);
  ASSERT_GE(ahead.size(), 700u);
  EXPECT_EQ(ahead[698], "699=699");
  EXPECT_EQ(ahead[699], "error " + std::to_string(QE_ERROR));
  EXPECT_NE(aheadMessage.find("overflow"), std::string::npos) << aheadMessage;
  EXPECT_EQ(ahead, plain);
  EXPECT_EQ(aheadMessage, plainMessage);
}

TEST_F(QeReadAhead, RandomRowsAndNewBindingsGoOnFromTheRowRead) {
  QEHANDLE s = Exec(kFailingSelect, true);
  char x[12], v[24], other[12];
  int32_t cx = sizeof x, cv = sizeof v;
  ASSERT_EQ(qeBindCol(s, 1, x, &cx), 0);
  ASSERT_EQ(qeBindCol(s, 2, v, &cv), 0);
  ASSERT_EQ(qeReadAhead(s), 0);  // the rows start on their way before the first fetch
  for (int i = 0; i < 10; ++i) ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(x, "10");
  ASSERT_EQ(qeFetchRandom(s, 15), 0) << qeErrMsg();  // further on: read on
  EXPECT_STREQ(x, "15");
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(x, "16");
  ASSERT_EQ(qeFetchRandom(s, 5), 0) << qeErrMsg();  // behind: the result runs again
  EXPECT_STREQ(x, "5");
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(x, "6");
  qeEndSQL(s);

  s = Exec(kFailingSelect, true);
  cx = sizeof x;  // the cells hold the last lengths fetched
  cv = sizeof v;
  ASSERT_EQ(qeBindCol(s, 1, x, &cx), 0);
  ASSERT_EQ(qeBindCol(s, 2, v, &cv), 0);
  ASSERT_EQ(qeReadAhead(s), 0);
  int32_t early = sizeof other;
  ASSERT_EQ(qeBindCol(s, 1, other, &early), 0) << qeErrMsg();  // bound again before any row was read
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(other, "1");
  for (int i = 1; i < 10; ++i) ASSERT_EQ(qeFetchNext(s), 0);
  int32_t co = sizeof other;
  ASSERT_EQ(qeBindCol(s, 1, other, &co), 0) << qeErrMsg();
  ASSERT_EQ(qeFetchNext(s), 0);
  EXPECT_STREQ(other, "11");
  EXPECT_STREQ(v, "11");
  qeEndSQL(s);
}

TEST_F(QeReadAhead, RowLimitEndingEarlyAndTheConnectionAfter) {
  ASSERT_EQ(qeSetMaxRows(conn, 333), 0);
  QEHANDLE s = Exec(kFailingSelect, true);
  char x[12], v[24];
  int32_t cx = sizeof x, cv = sizeof v;
  ASSERT_EQ(qeBindCol(s, 1, x, &cx), 0);
  ASSERT_EQ(qeBindCol(s, 2, v, &cv), 0);
  int n = 0;
  while (qeFetchNext(s) == 0) ++n;
  EXPECT_EQ(n, 333);
  EXPECT_EQ(qeFetchNext(s), QE_END_OF_DATA);
  qeEndSQL(s);
  // Blocks too small to be put in the caller's form on a thread of their own.
  ASSERT_EQ(qeSetMaxRows(conn, 7), 0);
  s = Exec(kFailingSelect, true);
  cx = sizeof x;
  cv = sizeof v;
  ASSERT_EQ(qeBindCol(s, 1, x, &cx), 0);
  ASSERT_EQ(qeBindCol(s, 2, v, &cv), 0);
  std::string rows;
  while (qeFetchNext(s) == 0) rows += std::string(x) + "=" + v + " ";
  EXPECT_EQ(rows, "1=1 2=2 3=3 4=4 5=5 6=6 7=7 ");
  EXPECT_EQ(qeFetchNext(s), QE_END_OF_DATA);
  qeEndSQL(s);
  qeSetMaxRows(conn, 0);

  // A run stopped after a few rows ends its statement while rows are on their way.
  for (int round = 0; round < 20; ++round) {
    s = Exec(kLongSelect, true);
    LongRow r{};
    void* bufs[5] = {r.x, &r.id, r.name, &r.balance, r.since};
    const int32_t sizes[5] = {sizeof r.x, 4, sizeof r.name, 8, sizeof r.since};
    for (int c = 0; c < 5; ++c) {
      r.cells[c] = sizes[c];
      ASSERT_EQ(qeBindCol(s, c + 1, bufs[c], &r.cells[c]), 0);
    }
    for (int i = 0; i < round; ++i) ASSERT_EQ(qeFetchNext(s), 0);
    EXPECT_EQ(qeEndSQL(s), 0);
  }
  s = QeLayer::Exec("select count(*) from customers");
  char count[8];
  int32_t cc = sizeof count;
  ASSERT_EQ(qeBindCol(s, 1, count, &cc), 0);
  ASSERT_EQ(qeFetchNext(s), 0) << qeErrMsg();
  EXPECT_STRNE(count, "");
  qeEndSQL(s);
}
