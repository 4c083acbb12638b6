// Which SQL texts a report may send: one reading statement or one procedure
// call, read as its own server reads quotes, names and comments, so that
// nothing can be hidden from the check in a part the server reads another
// way; and no function that reaches outside the query, in any quoting.
#include "data/user_statement.h"

#include "data/data_access.h"
#include "data/sql_names.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

SqlCheckRules Rules(SqlServer server, int backslash = -1, bool passExec = true, const char* procVerb = "") {
  SqlCheckRules r;
  r.lex.server = server;
  r.lex.backslashInStrings = server == SqlServer::kSqlite ? 0 : backslash;
  r.passExec = passExec;
  r.procVerb = procVerb;
  r.refusedFunctions = DefaultRefusedFunctions(server);
  return r;
}

constexpr SqlServer kLite = SqlServer::kSqlite, kPg = SqlServer::kPostgres, kOther = SqlServer::kOther;

struct Case {
  SqlServer server;
  const char* text;
  const char* says;  // null: the text passes; else a part of the reason
  int backslash = 0;
};

void ExpectStatements(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const SqlReading r = ReadReportStatement(c.text, Rules(c.server, c.backslash));
    if (c.says == nullptr) {
      EXPECT_TRUE(r.ok) << r.why;
    } else {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.why.find(c.says), std::string::npos) << r.why;
    }
  }
}

constexpr const char* kFirstWord = "only reads data, so its statement must be one SELECT";
constexpr const char* kSecond = "only reads data, and this one holds a second statement";
constexpr const char* kWord = "only reads data, and this one holds the word";
constexpr const char* kCall = "only reads data, and this one calls";
constexpr const char* kUnsure = "only reads data, and this one cannot be read surely";

TEST(UserStatement, ReadingStatementsAndProcedureCallsPass) {
  for (SqlServer s : {kLite, kPg}) {
    ExpectStatements({
        {s, "select * from orders", nullptr},
        {s, "  SELECT company\n from customers;  -- done", nullptr},
        {s, "(select 1) union (select 2)", nullptr},
        {s, "with big as (select * from orders where amount > 5) select * from big", nullptr},
        {s, "values (1, 'a'), (2, 'b')", nullptr},
        // Whatever quotes or comments hold counts for nothing.
        {s, "select * from t where note like '%;%' and status <> 'in''to'", nullptr},
        {s, "select \"into\", \"delete\" from t", nullptr},
        {s, "-- monthly\r\nselect 1 /* no; into */ from t -- end;", nullptr},
        {s, "select 'C:\\temp\\into; delete' from t", nullptr},
        // Words a reading statement uses too.
        {s, "select replace(name, 'a', 'b'), case when a then 1 end, start, \"set\" from t", nullptr},
        // The procedure forms a report sends.
        {s, "{call sales_rows()}", nullptr},
        {s, "{ call sales_rows(2024, 'x') }", nullptr},
        {s, "call monthly(2024)", nullptr},
        {s, "exec monthly_sales 2024", nullptr},
        {s, "define reportview Sales (customer, total) as select c, sum(a) from t group by c", nullptr},
    });
  }
  ExpectStatements({
      {kPg, "table orders", nullptr},
      {kPg, "select $$;delete$$, $x$ ' $x$ from t", nullptr},
      {kPg, "select E'it\\'s; delete' from t", nullptr},
      {kPg, "select 1 /* outer /* inner */ still; comment */ from t", nullptr},
      {kPg, "select 'a'\n'b' from t", nullptr},
      {kLite, "select [order], `group`, x'00ff' from t", nullptr},
      // SQLite ends a "--" comment at a line feed only.
      {kLite, "select 1 --x\r; delete from t", nullptr},
  });
}

TEST(UserStatement, WhatChangesDataOrIsHiddenIsRefused) {
  for (SqlServer s : {kLite, kPg, kOther}) {
    ExpectStatements({
        {s, "delete from order_lines", kFirstWord},
        {s, "  Update orders set amount = 0", kFirstWord},
        {s, "pragma writable_schema = 1", kFirstWord},
        {s, "select 1; delete from order_lines", kSecond},
        {s, "select * into copy_of_orders from orders", kWord},
        {s, "with gone as (delete from orders returning *) select * from gone", kWord},
        {s, "with x as (select 1) insert into t select * from x", kWord},
        {s, "select 1delete from t", kWord},
        {s, "select 'open; delete from t", kUnsure},
        {s, "select 1 /* open", kUnsure},
        {s, "define reportview R (a) as select 1 into x", kWord},
        {s, "exec delete from orders", kWord},
        {s, "{call sales_rows()} union select 1", kFirstWord},
        {s, "select 1 \\; delete from t", kUnsure},
        {s, "insert into t values (1)", kFirstWord},
        {s, "drop table orders", kFirstWord},
        {s, "attach database 'x.db' as x", kFirstWord},
        {s, "vacuum", kFirstWord},
        {s, "select 'a' into t from x", kWord},
        {s, "exec update t set a = 1", kWord},
        {s, "call x; delete from t", kSecond},
        {s, "'select'", kFirstWord},
        {s, "-- note", kFirstWord},
        {s, "(", kFirstWord},
        // What no REPORTVIEW or exec statement can be.
        {s, "define reportview R () as delete", "Missing SELECT"},
        {s, "define view R as select 1", ""},
        {s, "exec", "Missing stored procedure name"},
    });
  }
  // Quotes some servers read another way hide nothing where they are read
  // both ways.
  for (SqlServer s : {kLite, kPg}) ExpectStatements({{s, "select 'x\\'; delete from t; --'", kSecond}});
  ExpectStatements({
      // A comment nests on PostgreSQL only: each reads the statement its server runs.
      // SQLite reads "select 1 */ delete" as a syntax error: nothing runs.
      {kLite, "/* /* */ select 1 */ delete from t", nullptr},
      {kPg, "/* /* */ select 1 */ delete from t", kFirstWord},
      {kOther, "select 'x\\'; delete from t; --'", kUnsure},
      {kOther, "/* /* */ select 1 */ delete from t", kUnsure},
      {kOther, "select q'!x'!', 1 from dual; delete from t --'", kUnsure},
      {kOther, "select 1 /*! ; delete from t */", kUnsure},
      {kPg, "select $$'$$; delete from t; select $$'$$", kSecond},
      {kLite, "select $$'$$; delete from t; select $$'$$", "parameter"},
      {kPg, "select $$'$$ into t from x --'", kWord},
  });
  EXPECT_FALSE(ReadReportStatement("  ", Rules(kLite)).ok);
  ExpectStatements({
      // SQLite: a quoted function name is still the function.
      {kLite, "select \"load_extension\"('./evil.so')", kCall},
      {kLite, "select [LOAD_EXTENSION]('./evil.so'), `blob_export`(x'00', '/tmp/f')", kCall},
      {kLite, "select writefile('/tmp/f', 'x')", kCall},
      // A comment that runs on to the line feed, with a quote after a carriage return.
      {kLite, "select 1 --x\r' \n, load_extension('a') --'", kCall},
      // Parameters whose names swallow quotes.
      {kLite, "select $a(') , load_extension('x') --')", "parameter"},
      {kLite, "select :x", "parameter"},
      // PostgreSQL ends a comment at a carriage return.
      {kPg, "select 1 as a --\r; commit; start transaction read write; delete from canary; commit; select 1", kSecond},
      {kPg, "select lo_unlink(1)", kCall},
      {kPg, "select pg_catalog.\"LO_FROM_BYTEA\"(0, 'x')", kCall},
      {kPg, "select set_config('default_transaction_read_only', 'off', false)", kCall},
      {kPg, "select setval('s', 1), nextval('s')", kCall},
      {kPg, "select query_to_xml('delete from t', true, true, '')", kCall},
      {kPg, "select * from dblink('x', 'delete from t') as t(a int)", kCall},
      {kPg, "select U&\"lo\\005Funlink\"(1)", kUnsure},
      {kPg, "select U&\"lo!005Funlink\" UESCAPE '!' (1)", kUnsure},
      {kPg, "{call lo_unlink(5)}", kCall},
      {kPg, "call set_config('a', 'b', false)", kCall},
      {kPg, "exec lo_unlink 5", kCall},
      // A literal continued on the next line is read the first part's way.
      {kPg, "select E'x'\n'\\'' , lo_unlink(1) --'", kCall},
      {kPg, "select 1e'\\'' , lo_unlink(1) --'", kUnsure},
      {kPg, "select $1", "parameter"},
      {kPg, "select $tag$ x $tag", kUnsure},
      {kPg, "select 1 /* a /* b */ ; delete from t", kUnsure},
      // Elsewhere whatever servers read in different ways is refused.
      {kOther, "select 1 # comment", kUnsure},
      {kOther, "select 1 --x\nfrom t", kUnsure},
      {kOther, "select E'x' from t", kUnsure},
      {kOther, "select 'a\\b' from t", "BackslashEscapes", -1},
  });
}

// A word that changes data is refused where it acts, never as a name, on
// the servers that need a ";" between statements; SHOW and EXPLAIN of a
// reading statement read. Elsewhere such a word is refused wherever it
// stands unquoted, as a statement may follow another without a ";".
TEST(UserStatement, ChangingWordsAreRefusedWhereTheyAct) {
  for (SqlServer s : {kLite, kPg}) {
    ExpectStatements({
        {s, "select company as lock, commit, grant from customers", nullptr},
        {s, "select lock.id, rollback.x from public.lock lock join public.rollback_log rollback on 1 = 1", nullptr},
        {s, "select 1 as into, t.delete from t where note = 'insert into' and \"update\" > 0", nullptr},
        {s, "with w as (select c, sum(q) over (partition by c order by id) s from t) select * from w", nullptr},
        {s, "select * from t where id in (select id from lock where copy > 1)", nullptr},
        {s, "explain select * from t", nullptr},
        {s, "explain analyze select count(*) from t", nullptr},
        {s, "with gone as materialized (delete from t returning *) select * from gone", kWord},
        {s, "with x as (select 1), y as (update t set a = 1 returning a) select * from y", kWord},
        {s, "with x as (select 1) delete from t", kWord},
        {s, "((with x as (select 1) delete from t))", kWord},
        {s, "with x as (select 1) select * into y from x", kWord},
        {s, "explain analyze delete from t", kFirstWord},
        {s, "explain (analyze) insert into t values (1)", kFirstWord},
        {s, "explain analyze with x as (delete from t returning 1) select 1", kWord},
        // After a WITH list's SELECT such a word is a column's name; FOR
        // before a name locks nothing.
        {s, "with c as (select * from t) select merge, replace, c.delete from c order by merge", nullptr},
        {s, "with c as (select 1) merge into t using c on true when matched then delete", kWord},
        {s, "select * from t for key share", "FOR KEY"},
        {s, "select * from t for update", "FOR UPDATE"},
        {s, "select * from t for no key update of t", "FOR NO"},
        {s, "pragma query_only = 0", kFirstWord},
    });
  }
  ExpectStatements({
      {kPg, "show search_path", nullptr},
      {kPg, "show all", nullptr},
      {kPg, "explain (analyze, costs off, format json) select 1", nullptr},
      {kLite, "explain query plan select * from t", nullptr},
      {kPg, "with recursive r(n) as (select 1 union all select n + 1 from r where n < 3) "
            "cycle n set c using p delete from t", kWord},
      {kPg, "with c as (select * from t) select update, insert, delete, x from c where update > insert", nullptr},
      {kPg, "select substring(name for key), substring(name from 2 for no) from t", nullptr},
      // CTEs named by verbs; FOR inside a call locks nothing, in a subquery it does.
      {kPg, "with update as (select 1 as a), replace(b) as (select a from update) select b from replace", nullptr},
      {kPg, "with recursive update(n) as (select 1) select substring('ab' for update.n) from update", nullptr},
      {kPg, "select substring(name for update), substring(name from 2 for share) from t", nullptr},
      {kPg, "select * from t where id in ((select id from t for update))", "FOR UPDATE"},
      {kPg, "with update as (select 1) update t set a = 1", kWord},
      {kOther, "with c as (select * from t) select update from c", kWord},
      {kOther, "select company as lock from customers", kWord},
      {kOther, "select 1 delete from t", kWord},
  });
}

// The program's own aliases go in quotes where a server would read them
// as its grammar or as a changing word, in the case the server folds names
// to, so that an unquoted reference still meets them.
TEST(UserStatement, AliasesThatAreWordsAreQuoted) {
  EXPECT_EQ(SqlAliasText("lock", "\"", 2), "\"lock\"");
  EXPECT_EQ(SqlAliasText("ROLLBACK", "\"", 2), "\"rollback\"");
  EXPECT_EQ(SqlAliasText("order", "`", 3), "`ORDER`");
  EXPECT_EQ(SqlAliasText("Group", "\"", 1), "\"Group\"");
  EXPECT_EQ(SqlAliasText("ORDERS", "\"", 2), "ORDERS");
  EXPECT_EQ(SqlAliasText("lock", "", 2), "lock");
}

// A connect text from a file names a data source and how a user logs on,
// nothing else: every key that loads code, runs statements, writes files or
// changes how text is read is refused with its name.
TEST(UserStatement, AConnectTextFromAFileOnlyLogsOn) {
  for (const char* ok : {"DSN=sales", "DSN=sales;UID=ann;PWD=a=b", " dsn=sales; Database = /srv/sales.db;",
                         "DSN=pg;Server=127.0.0.1;Port=5432;Database=shop;Username=ann;Password=x"}) {
    std::string why;
    EXPECT_TRUE(ReadFileConnectText(ok, &why)) << ok << ": " << why;
  }
  const struct {
    const char* text;
    const char* says;
  } refused[] = {
      {"DRIVER=/tmp/evil.so;Database=/tmp/x.db", "gives \"DRIVER\""},
      {"DSN=sales;LoadExt=/tmp/evil.so", "gives \"LoadExt\""},
      {"DSN=sales;JournalMode=wal", "gives \"JournalMode\""},
      {"DSN=pg;ConnSettings=delete from t", "gives \"ConnSettings\""},
      {"DSN=pg;A6=set client_encoding to 'GBK'", "gives \"A6\""},
      {"DSN=pg;pqopt={options=-c default_transaction_read_only=off}", "gives \"pqopt\""},
      {"FILEDSN=/tmp/x.dsn", "gives \"FILEDSN\""},
      {"DSN=sales;SAVEFILE=/tmp/saved.dsn", "gives \"SAVEFILE\""},
      {"DSN=sales;PWD={x;LoadExt=/tmp/evil.so}", "value of \"PWD\""},
      {"DSN=sales;Database=file:/tmp/new.db?mode=rwc", "value of \"Database\""},
      {"DSN=sa[les]", "value of \"DSN\""},
      {"DSN=sales;UID=a\x01", "value of \"UID\""},
      {"DSN=sales;Trace", "gives \"Trace\""},
      // The driver manager connects with the last source, and reads none
      // from a key or a name set off by blanks.
      {"DSN=sales;UID=ann;dsn=other", "gives \"dsn\" a second time"},
      {"DSN =sales", "value of \"DSN\""},
      {"DSN=sales ", "value of \"DSN\""},
  };
  for (const auto& r : refused) {
    std::string why;
    EXPECT_FALSE(ReadFileConnectText(r.text, &why)) << r.text;
    EXPECT_NE(why.find("The connect text cannot be used"), std::string::npos) << why;
    EXPECT_NE(why.find(r.says), std::string::npos) << why;
  }
}

// A data source's own driver may be told how to talk to its server, as it
// completes a connect text itself; what loads code, runs statements, writes
// files or loosens the read-only setting stays refused, and one driver's
// keys are none of another's.
TEST(UserStatement, AConnectTextMayTuneItsOwnDriver) {
  const std::string lite = std::string("DSN=") + odbc_test::kSqliteDsn, pg = std::string("DSN=") + odbc_test::kBrokenDsn;
  std::ofstream(odbc_test::Dir() + "/odbc.ini", std::ios::app) << "[vt_pg_read_only]\nDriver=PostgreSQL ANSI\nReadOnly=1\n\n";
  const struct {
    std::string text;
    const char* says;  // null: taken
  } cases[] = {
      // (The drivers' whole completed texts are run in the read-only SQL tests.)
      {lite + ";StepAPI=1;SyncPragma=NORMAL;NoCreat=;JournalMode=;LoadExt=;Tracefile=", nullptr},
      {pg + ";SSLmode=disable;ReadOnly=0;Protocol=7.4;Debug=0;CommLog=0;D6=-101;ExtraSysTablePrefixes=", nullptr},
      {"DSN=vt_pg_read_only;ReadOnly=1", nullptr},
      {lite + ";LoadExt=/tmp/evil.so", "gives \"LoadExt\""},
      {lite + ";SyncPragma=off attach", "gives \"SyncPragma\""},
      {lite + ";Tracefile=/tmp/trace", "gives \"Tracefile\""},
      // A blank is a file or library of that name to the driver.
      {lite + ";Tracefile= ", "gives \"Tracefile\""},
      {lite + ";LoadExt=  ", "gives \"LoadExt\""},
      {lite + ";SSLmode=disable", "gives \"SSLmode\""},
      {pg + ";ConnSettings=delete from t", "gives \"ConnSettings\""},
      {pg + ";pqopt={options=-cdefault_transaction_read_only=off}", "gives \"pqopt\""},
      {pg + ";A0=0", "gives \"A0\""},
      {pg + ";CommLog=1", "gives \"CommLog\""},
      {pg + ";StepAPI=1", "gives \"StepAPI\""},
      {"DSN=vt_pg_read_only;ReadOnly=0", "gives \"ReadOnly\""},
      {pg + ";Driver=/tmp/evil.so", "gives \"Driver\""},
      {pg + ";SSLmode=disable;" + lite, "gives \"DSN\" a second time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string why;
    EXPECT_EQ(ReadFileConnectText(c.text, &why), c.says == nullptr) << why;
    if (c.says != nullptr) {
      EXPECT_NE(why.find(c.says), std::string::npos) << why;
    }
  }
}

// A backslash in a plain literal is read as the server's setting says.
TEST(UserStatement, BackslashesAreReadAsTheServerReadsThem) {
  const char* text = "select '\\'' , lo_unlink(1) -- ' from t";
  EXPECT_TRUE(ReadReportStatement(text, Rules(kPg, 0)).ok);
  EXPECT_FALSE(ReadReportStatement(text, Rules(kPg, 1)).ok);
  EXPECT_FALSE(ReadReportStatement(text, Rules(kPg, -1)).ok);
  EXPECT_TRUE(ReadReportStatement("select 'a\\b' from t", Rules(kOther, 0)).ok);
  EXPECT_TRUE(ReadReportStatement("select 'a\\'b' from t", Rules(kOther, 1)).ok);
}

// What is sent, and as what: the offset of the query, procedure or not.
TEST(UserStatement, TheSentPartAndItsKind) {
  const char* view = "define reportview R (a, b) as  select a, b from t";
  SqlReading r = ReadReportStatement(view, Rules(kLite));
  ASSERT_TRUE(r.ok) << r.why;
  EXPECT_STREQ(view + r.queryOffset, "select a, b from t");
  EXPECT_FALSE(r.procedure);

  r = ReadReportStatement(" exec {call sales_rows()}", Rules(kPg, 0, false));
  ASSERT_TRUE(r.ok) << r.why;
  EXPECT_STREQ(" exec {call sales_rows()}" + r.queryOffset, "{call sales_rows()}");
  EXPECT_TRUE(r.procedure);
  // Without its exec a procedure is named by its first word, unless that
  // word begins another statement.
  EXPECT_TRUE(ReadReportStatement("exec sales_rows 2024", Rules(kPg, 0, false)).ok);
  EXPECT_FALSE(ReadReportStatement("exec rename table a to b", Rules(kOther, 0, false)).ok);
  EXPECT_FALSE(ReadReportStatement("rename table a to b", Rules(kOther, 0, false)).ok);
  EXPECT_TRUE(ReadSentStatement("sales_rows 2024", Rules(kPg), true).ok);
  EXPECT_FALSE(ReadSentStatement("sales_rows 2024", Rules(kPg), false).ok);
  // The platform's own procedure verb.
  EXPECT_TRUE(ReadReportStatement("run monthly(2024)", Rules(kOther, 0, true, "RUN")).procedure);
  EXPECT_FALSE(ReadReportStatement("run monthly(2024)", Rules(kOther)).ok);

  // kmwsql.ini's list adds to the shipped one.
  SqlCheckRules own = Rules(kLite);
  AddRefusedFunctions("my_mailer, audit_*", &own.refusedFunctions);
  EXPECT_FALSE(ReadSentStatement("select My_Mailer('x')", own, false).ok);
  EXPECT_FALSE(ReadSentStatement("select audit_write('x')", own, false).ok);
  EXPECT_TRUE(ReadSentStatement("select audit from t", own, false).ok);
}

TEST(UserStatement, ExpressionPiecesStayInTheirPlace) {
  for (SqlServer s : {kLite, kPg}) {
    for (const char* ok : {"amount * 2", "upper(name) || '; --'", "(select max(x) from t)"})
      EXPECT_TRUE(ReadSqlExpression(ok, Rules(s, 0)).ok) << ok;
    for (const char* bad : {"1) from t; delete from t; select (1", "1 -- the rest of the SELECT", "(1", "1)",
                            s == kLite ? "load_extension('x')" : "lo_unlink(5)", "(select 1 into x)"}) {
      const SqlReading r = ReadSqlExpression(bad, Rules(s, 0));
      EXPECT_FALSE(r.ok) << bad;
      EXPECT_NE(r.why.find("The SQL expression cannot be used"), std::string::npos) << r.why;
    }
  }
}

}  // namespace
