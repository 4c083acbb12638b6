// The same layer against a private PostgreSQL server through its ODBC driver.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "tests/support/odbc_env.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

class Postgres : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
    DbClearErrorRecord();
    da.sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da.ConnectDataSource(odbc_test::kPgDsn, false, true, nullptr), 1) << DbLastErrorText();
    da.SelectDataSource(odbc_test::kPgDsn);
  }
  void Exec(const char* sql) { ASSERT_EQ(da.ExecSql(sql), 0) << sql << ": " << DbLastErrorText(); }
  // Tables are made by the server's own client: the connection only reads.
  void Make(const std::string& sql) {
    bool made = false;
    const std::string said = odbc_test::RunPostgresSql(sql, &made);
    ASSERT_TRUE(made) << said;
  }
  DataAccess da;
};

}  // namespace

TEST_F(Postgres, DialectFromTheDriver) {
  EXPECT_STREQ(da.GetDbmsName(), "PostgreSQL");
  EXPECT_EQ(da.GetIdentifierCase(), 2);  // lower
  EXPECT_EQ(da.SupportsOwnerNames(), 1);
  EXPECT_EQ(da.ExpressionsInOrderBy(), 1);
  EXPECT_EQ(da.GetOuterJoinStyle(), OJ_ESCAPE);
  char quote[11];
  da.GetIdentifierQuote(quote);
  EXPECT_STREQ(quote, "\"");
  char db[64];
  EXPECT_TRUE(da.GetDatabaseName(db, sizeof db));
  EXPECT_STREQ(db, "postgres");
  EXPECT_STREQ(da.GetDriverDescription(), "PostgreSQL ANSI");
  EXPECT_NE(da.GetConnectString(), nullptr);
  char noLogin[1024];
  da.GetConnectStringWithoutLogin(noLogin, sizeof noLogin);
  EXPECT_EQ(std::string(noLogin).find("UID="), std::string::npos);
  EXPECT_STREQ(da.GetPlatformName(), "PostgreSQL");
  char term[31];
  da.GetDataSourceDBTerm(term, sizeof term);
  EXPECT_STREQ(term, "Database");
}

TEST_F(Postgres, LongCompletedConnectStringAndSecondDatabase) {
  // The driver's completed string runs past 255 characters; it is kept whole.
  const std::string full = da.GetConnectString();
  EXPECT_GT(full.size(), 255u);
  EXPECT_NE(full.find("DATABASE=postgres"), std::string::npos);
  DataSourceSettings* other = nullptr;
  ASSERT_TRUE(da.ConnectOtherDatabase("template1", "KM SET JOIN", &other)) << DbLastErrorText();
  da.SelectDataSource("KM SET JOIN");
  Exec("select current_database()");
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_STREQ(da.GetColumnText(1, 1, ','), "template1");
  da.SelectDataSource(odbc_test::kPgDsn);
  da.ReplaceConnectDatabase("elsewhere");
  std::string changed = da.GetConnectString();
  EXPECT_NE(changed.find("DATABASE=elsewhere;"), std::string::npos);
  EXPECT_EQ(changed.size(), full.size() - std::strlen("postgres") + std::strlen("elsewhere"));
}

TEST_F(Postgres, TypesBindAndConvert) {
  Make(
      "drop table if exists vt_types; create table vt_types (i integer, s smallint, n numeric(12,2), "
      "d double precision, b boolean, dt date, ts timestamp, tm time, v varchar(20), x text, by bytea); "
      "insert into vt_types values (42, -3, -1234.56, 2.5, true, '2024-02-29', '2024-02-29 10:11:12.345678', "
      "'23:59:58', 'K\xC3\xB6ln', 'memo', '\\x01'); "
      "insert into vt_types values (null, null, null, null, null, null, null, null, null, null, null);");
  Exec("select i, s, n, d, b, dt, ts, tm, v, x, by from vt_types order by i nulls last");
  EXPECT_EQ(da.GetColumnType(1), 4);
  EXPECT_EQ(da.GetColumnType(2), 5);
  EXPECT_EQ(da.GetColumnType(3), 3);
  EXPECT_EQ(da.GetColumnPrecision(3), 12);
  EXPECT_EQ(da.GetColumnScale(3), 2);
  EXPECT_EQ(da.GetColumnType(4), 7);
  EXPECT_EQ(da.GetColumnType(5), 9);
  EXPECT_TRUE(da.GetColumnDateRange(6));
  EXPECT_TRUE(da.IsTimeColumn(8));
  EXPECT_EQ(da.GetColumnType(9), 1);
  EXPECT_EQ(da.GetColumnType(11), -1);

  int32_t i = 0, ci = 0, cs = 0, cn = 0, cd = 0, cb = 0, cdt = 0, cts = 0, ctm = 0, cv = 0;
  int16_t s = 0, b = 0;
  unsigned char n[14];
  double d = 0;
  char dt[11], ts[27], tm[16], v[21];
  ASSERT_EQ(da.BindColumn(1, &i, 4, &ci), 0);
  ASSERT_EQ(da.BindColumn(2, &s, 2, &cs), 0);
  ASSERT_EQ(da.BindColumn(3, n, sizeof n, &cn), 0);
  ASSERT_EQ(da.BindColumn(4, &d, 8, &cd), 0);
  ASSERT_EQ(da.BindColumn(5, &b, 2, &cb), 0);
  ASSERT_EQ(da.BindColumn(6, dt, sizeof dt, &cdt), 0);
  ASSERT_EQ(da.BindColumn(7, ts, sizeof ts, &cts), 0);
  ASSERT_EQ(da.BindColumn(8, tm, sizeof tm, &ctm), 0);
  ASSERT_EQ(da.BindColumn(9, v, sizeof v, &cv), 0);
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(s, -3);
  EXPECT_DOUBLE_EQ(qeDecimalToDouble(n, 12, 2), -1234.56);
  EXPECT_DOUBLE_EQ(d, 2.5);
  EXPECT_EQ(b, 1);
  EXPECT_STREQ(dt, "2024-02-29");
  EXPECT_STREQ(ts, "2024-02-29 10:11:12.345678");
  EXPECT_STREQ(tm, "23:59:58.000000");
  EXPECT_STREQ(v, "K\xF6ln");
  DateTimeParts parts;
  DataAccess::ParseTimestampText(ts, &parts);
  EXPECT_EQ(parts.fraction, 345678);
  ASSERT_EQ(da.FetchNext(), 0);
  for (int32_t c : {ci, cs, cn, cd, cb, cdt, cts, ctm, cv}) EXPECT_EQ(c, QE_LEN_NULL);
  EXPECT_EQ(da.FetchNext(), 1);
  da.EndStatement();
  odbc_test::RunPostgresSql("drop table vt_types;");
}

TEST_F(Postgres, TablesLimitsTimeoutAndErrors) {
  Make(
      "create table if not exists public.people (id integer primary key, name varchar(30)); delete from people; "
      "insert into people select g, 'p' || g from generate_series(1, 50) g;");
  EXPECT_FALSE(da.ListTables("people"));
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_STREQ(da.GetColumnText(2, -1, '\x01'), "public\x01people\x01" "0");

  da.SetMaxRows(7);
  Exec("select id from people order by id");
  int rows = 0;
  while (da.FetchNext() == 0) ++rows;
  EXPECT_EQ(rows, 7);
  da.SetMaxRows(0);
  Exec("select id from people order by id");
  EXPECT_EQ(da.FetchRandom(30), 0);
  EXPECT_STREQ(da.GetColumnText(1, 1, ','), "30");

  da.SetQueryTimeout(1);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(da.ExecSql("select pg_sleep(20)"), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(15));
  EXPECT_EQ(DbLastErrorText().rfind("DB access: ", 0), 0u);
  da.SetQueryTimeout(0);

  DbClearErrorRecord();
  EXPECT_EQ(da.ExecSql("select * from people where name like 'p%d%s'x"), 1);
  EXPECT_EQ(DbErrorCount(), 1);
  EXPECT_EQ(DbLastErrorText().rfind("DB access: ", 0), 0u);
  da.EndStatement();
  odbc_test::RunPostgresSql("drop table people;");
}

// The connection only reads, with kmwsql.ini's read-only statement or
// without it: a statement that says it changes something is refused before
// it is sent, and what a function it calls changes (rows, large objects,
// sequences, settings) fails or is undone with its read-only transaction.
TEST_F(Postgres, TheConnectionOnlyReads) {
  Make(
      "drop table if exists vt_reader_canary; create table vt_reader_canary (x integer); "
      "insert into vt_reader_canary values (1), (2); "
      "drop sequence if exists vt_reader_seq; create sequence vt_reader_seq; select setval('vt_reader_seq', 5); "
      "select lo_unlink(oid) from pg_largeobject_metadata where oid = 4242; select lo_from_bytea(4242, 'kept'); "
      "create or replace function vt_reader_wipe() returns integer language sql as "
      "'delete from vt_reader_canary; select 1'; "
      "create or replace function vt_reader_objects() returns integer language sql as "
      "'select lo_unlink(4242); select lo_from_bytea(0, ''new''); "
      "select set_config(''default_transaction_read_only'', ''off'', false); select 1';");
  DataAccess bare;  // no kmwsql.ini: no read-only statement of the platform's
  ASSERT_EQ(bare.ConnectDataSource(odbc_test::kPgDsn, false, true, nullptr), 1) << DbLastErrorText();
  bare.SelectDataSource(odbc_test::kPgDsn);
  for (DataAccess* d : {&da, &bare}) {
    struct {
      const char* sql;
      const char* says;  // null: runs, and what it did is undone
    } cases[] = {
        {"delete from vt_reader_canary", "only reads data"},
        {"select * into vt_reader_copy from vt_reader_canary", "only reads data"},
        {"select lo_unlink(4242)", "only reads data"},
        {"select lo_from_bytea(0, 'x')", "only reads data"},
        {"select setval('vt_reader_seq', 1)", "only reads data"},
        {"select set_config('default_transaction_read_only', 'off', false)", "only reads data"},
        {"select vt_reader_objects()", nullptr},
        {"select vt_reader_wipe()", "read-only"},
        {"select nextval('vt_reader_seq')", "only reads data"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.sql);
      DbClearErrorRecord();
      const int rc = d->ExecSql(c.sql);
      d->EndStatement();
      if (c.says == nullptr) {
        EXPECT_EQ(rc, 0) << DbLastErrorText();
      } else {
        EXPECT_EQ(rc, 1);
        EXPECT_NE(DbLastErrorText().find(c.says), std::string::npos) << DbLastErrorText();
      }
    }
  }
  bare.DisconnectDataSource(odbc_test::kPgDsn);
  EXPECT_EQ(odbc_test::RunPostgresSql(
                "select count(*) from vt_reader_canary; select last_value from vt_reader_seq; "
                "select string_agg(oid::text, ',') from pg_largeobject_metadata; "
                "select convert_from(lo_get(4242), 'UTF8');"),
            "2\n5\n4242\nkept\n");
  odbc_test::RunPostgresSql(
      "drop table vt_reader_canary; drop function vt_reader_wipe(); drop function vt_reader_objects(); "
      "drop sequence vt_reader_seq; select lo_unlink(4242);");
}
