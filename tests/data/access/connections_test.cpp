// Connections, the current connection, entries, overrides and error reports.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "core/composite.h"
#include "tests/support/odbc_env.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

class Connections : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    DbClearErrorRecord();
  }
  DataAccess da;
};

bool AnswerOk(const char*) { return true; }

DataSourceSettings* Fake(const char* name, const char* connect) {
  auto* r = new DataSourceSettings();
  std::strcpy(r->name, name);
  r->completedConnect = connect;
  return r;
}

}  // namespace

TEST_F(Connections, ConnectOnceReplaceOnNewTextAndDisconnect) {
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
  EXPECT_EQ(da.GetConnectionCount(), 1);
  DataSourceSettings* first = da.FindConnection(odbc_test::kSqliteDsn);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(da.Current(), nullptr);  // a new connection is not current by itself
  EXPECT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  EXPECT_EQ(da.GetConnectionCount(), 1);
  EXPECT_EQ(da.FindConnection(odbc_test::kSqliteDsn), first);

  da.SetConnectText(";StepAPI=1");
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  EXPECT_EQ(da.GetConnectionCount(), 1);
  DataSourceSettings* second = da.FindConnection(odbc_test::kSqliteDsn);
  EXPECT_EQ(second->extraConnect, ";StepAPI=1");
  EXPECT_TRUE(da.IsConnectedWith(odbc_test::kSqliteDsn, ";StepAPI=1"));
  EXPECT_FALSE(da.IsConnectedWith(odbc_test::kSqliteDsn, ""));

  da.SelectDataSource(odbc_test::kSqliteDsn);
  ASSERT_NE(da.Current(), nullptr);
  EXPECT_STREQ(da.GetCurrentDataSourceName(), odbc_test::kSqliteDsn);
  EXPECT_EQ(da.dbAnsi, 1);
  EXPECT_NE(da.FindDataSourceEntryByName(odbc_test::kSqliteDsn), nullptr);
  EXPECT_STREQ(da.GetDataSourceInfoText(2), "SQLite");

  EXPECT_TRUE(da.DisconnectDataSource(odbc_test::kSqliteDsn));
  EXPECT_EQ(da.Current(), nullptr);
  EXPECT_EQ(da.GetConnectionCount(), 0);
  EXPECT_EQ(da.FindDataSourceEntryByName(odbc_test::kSqliteDsn), nullptr);
  EXPECT_FALSE(da.DisconnectDataSource(odbc_test::kSqliteDsn));
  EXPECT_EQ(DbErrorCount(), 0);
}

TEST_F(Connections, NoNameMeansDefaultAndLibraryConnectAddsDialogAttribute) {
  da.ini.useQeConnect = 1;
  ASSERT_EQ(da.ConnectDataSource(nullptr, true, true, nullptr), 1) << DbLastErrorText();
  DataSourceSettings* rec = da.FindConnection("Default");
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->completedConnect, "DSN=Default;DLG=2");
  da.SetConnectText("StepAPI=1 ");
  da.appConnectText = ";Timeout=5";
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  EXPECT_EQ(da.FindConnection(odbc_test::kSqliteDsn)->completedConnect,
            std::string("DSN=") + odbc_test::kSqliteDsn + ";StepAPI=1;Timeout=5;DLG=0");
  da.SetConnectText(nullptr);
  da.appConnectText.clear();
  std::string own = std::string("DSN=") + odbc_test::kSqliteDsn + ";";
  ASSERT_EQ(da.ConnectDataSource("own", false, true, own.c_str()), 1);
  EXPECT_EQ(da.FindConnection("own")->completedConnect, "NoCreat=1;" + own);
  EXPECT_EQ(da.GetConnectionCount(), 3);
  da.TermDatabaseLibrary();
  EXPECT_EQ(da.GetConnectionCount(), 0);
}

TEST_F(Connections, HundredSlotsThenRefusal) {
  for (int i = 0; i < kMaxConnections; ++i)
    ASSERT_TRUE(da.AddConnection(Fake(("s" + std::to_string(i)).c_str(), "")));
  DataSourceSettings* extra = Fake("s100", "");
  EXPECT_FALSE(da.AddConnection(extra));
  EXPECT_EQ(DbLastErrorText(), "Program error: too many connections");
  delete extra;
  da.RewindConnections();
  DataSourceSettings* last = nullptr;
  int n = 0;
  for (DataSourceSettings* r; (r = da.NextConnection()) != nullptr; ++n) last = r;
  EXPECT_EQ(n, 100);
  EXPECT_STREQ(last->name, "s99");
  EXPECT_EQ(da.NextConnection(), nullptr);
  DataSourceSettings stranger;
  da.RemoveConnection(&stranger);
  EXPECT_EQ(DbLastErrorText(), "Program error: data source pointer not found");
  EXPECT_EQ(da.FindConnection("S1"), nullptr);  // names compare with case
  da.MarkConnection("s5");
  EXPECT_TRUE(da.IsConnectionMarked("s5"));
  da.ClearConnectionMarks();
  EXPECT_FALSE(da.IsConnectionMarked("s5"));
  da.RewindConnections();
  for (DataSourceSettings* r; (r = da.NextConnection()) != nullptr;) da.RemoveConnection(r);
}

TEST_F(Connections, ConnectStringRewrites) {
  ASSERT_TRUE(da.AddConnection(Fake("x", "DSN=x;UID=me;DATABASE=old;PWD=secret;Port=5")));
  da.SelectDataSource("x");
  char out[256];
  EXPECT_EQ(da.GetConnectStringWithoutLogin(out, sizeof out), 25);
  EXPECT_STREQ(out, "DSN=x;DATABASE=old;Port=5");
  char tiny[6];
  da.GetConnectStringWithoutLogin(tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "DSN=x");
  da.Current()->completedConnect = "DSN=x;A=1;;B=2";
  da.GetConnectStringWithoutLogin(out, sizeof out);
  EXPECT_STREQ(out, "DSN=x;A=1");

  da.Current()->completedConnect = "DSN=x;DATABASE=old;Port=5";
  da.ReplaceConnectDatabase("new");
  EXPECT_EQ(da.Current()->completedConnect, "DSN=x;DATABASE=new;Port=5");
  EXPECT_EQ(da.suppressFlag, 1);
  da.Current()->completedConnect = "DSN=x;Database=old";
  da.ReplaceConnectDatabase("other");
  EXPECT_EQ(da.Current()->completedConnect, "DSN=x;Database=other");
  da.Current()->completedConnect = "DSN=x";
  da.ReplaceConnectDatabase("db");
  EXPECT_EQ(da.Current()->completedConnect, "DSN=x;DATABASE=db");
  da.RemoveConnection(da.Current());
}

TEST_F(Connections, EntriesCopyBoundedAndOutOfRange) {
  auto* e = new DataSourceEntry();
  std::strcpy(e->name, "abcdef");
  std::strcpy(e->databaseName, "/data/db");
  ASSERT_TRUE(da.AddDataSourceEntry(e));
  char name[4] = "zz", db[64] = "zz";
  da.CopyDataSourceEntry(0, name, sizeof name, db, sizeof db);
  EXPECT_STREQ(name, "abc");
  EXPECT_STREQ(db, "/data/db");
  da.CopyDataSourceEntry(100, name, sizeof name, nullptr, 0);
  da.CopyDataSourceEntry(-1, name, sizeof name, nullptr, 0);
  EXPECT_STREQ(name, "abc");
  EXPECT_EQ(da.GetDataSourceEntry(100), nullptr);
  int index = -1;
  EXPECT_EQ(da.FindDataSourceEntry("abcdef", &index), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(da.FindDataSourceEntry("ABCDEF", &index), 0);
  char buf[300];
  EXPECT_TRUE(da.QueryDatabaseName("abcdef", buf, sizeof buf, false));
  EXPECT_STREQ(buf, "/data/db");
  // Not yet known: connected, asked, and disconnected again.
  EXPECT_TRUE(da.QueryDatabaseName(odbc_test::kSqliteDsn, buf, sizeof buf, false));
  EXPECT_NE(std::string(buf).find("test.db"), std::string::npos);
  EXPECT_FALSE(da.IsConnected(odbc_test::kSqliteDsn));
  EXPECT_NE(da.FindDataSourceEntryByName(odbc_test::kSqliteDsn), nullptr);
}

TEST_F(Connections, InstalledSourcesAndDrivers) {
  ASSERT_TRUE(da.InitDatabaseLibrary());
  int seen = 0;
  bool found = false;
  for (const char* n; (n = da.NextDataSourceName()) != nullptr; ++seen)
    found = found || std::strcmp(n, odbc_test::kSqliteDsn) == 0;
  EXPECT_TRUE(found);
  EXPECT_EQ(da.NextDataSourceName(), nullptr);  // stays at the end until reopened
  EXPECT_EQ(da.CountDataSources(), seen);

  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  da.SelectDataSource(odbc_test::kSqliteDsn);
  char driver[128];
  ASSERT_TRUE(da.GetDataSourceDriver(driver, sizeof driver));
  EXPECT_STREQ(driver, "SQLite3");
  EXPECT_STREQ(da.GetDriverDescription(), "SQLite3");
  EXPECT_TRUE(da.IsSameDriverAsCurrent("Default"));
  EXPECT_FALSE(da.IsSameDriverAsCurrent(odbc_test::kBrokenDsn));

  // A missing source is offered for creation and written to the private odbc.ini.
  EXPECT_TRUE(da.CheckDataSourceExists("vt_new", "", "SQLite3"));
  SetDbQuestionSink(AnswerOk);
  std::string attrs = std::string("DSN=vt_new;Database=") + odbc_test::Dir() + "/test.db;StepAPI=1";
  EXPECT_TRUE(da.CheckDataSourceExists("vt_new", attrs.c_str(), "SQLite3"));
  SetDbQuestionSink(nullptr);
  EXPECT_EQ(DbLastErrorText(), "Datasource 'vt_new' does not exist. Would you like to create it?");
  EXPECT_EQ(da.ConnectDataSource("vt_new", false, true, nullptr), 1) << DbLastErrorText();
  EXPECT_TRUE(da.IsSameDriverAsCurrent("vt_new"));
}

TEST_F(Connections, ErrorsReachTheUserOnceAsText) {
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  da.SelectDataSource(odbc_test::kSqliteDsn);
  EXPECT_EQ(da.ExecSql("select * from nowhere where a like 'x%s%n'"), 1);
  EXPECT_EQ(DbErrorCount(), 1);
  EXPECT_EQ(DbLastErrorText().rfind("DB access: ", 0), 0u);
  EXPECT_NE(DbLastErrorText().find("nowhere"), std::string::npos);

  char buf[40];
  DbClearErrorRecord();
  EXPECT_EQ(da.ExecSql("select * from nowhere", buf, sizeof buf), 1);
  EXPECT_EQ(DbErrorCount(), 0);
  EXPECT_EQ(std::string(buf).rfind("DB access: ", 0), 0u);
  EXPECT_EQ(std::strlen(buf), sizeof buf - 1);

  // After a database switch a failing statement is not shown, and still fails.
  da.ReplaceConnectDatabase("main");
  EXPECT_EQ(da.ExecSql("select * from nowhere"), 1);
  EXPECT_EQ(DbErrorCount(), 0);
  EXPECT_EQ(da.Current()->statement, 0);
  EXPECT_EQ(da.ExecSql("select 1"), 0);
  da.suppressFlag = 0;

  // Unknown sources and a server that is not there: the driver's message, no hang.
  DbClearErrorRecord();
  EXPECT_EQ(da.ConnectDataSource("vt_missing", true, true, nullptr), 0);
  EXPECT_EQ(DbErrorCount(), 1);
  EXPECT_EQ(DbLastErrorText().rfind("DB access: ", 0), 0u);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(da.ConnectDataSource(odbc_test::kBrokenDsn, true, true, nullptr), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));
  EXPECT_GT(DbLastErrorText().size(), std::strlen("DB access: "));
  EXPECT_EQ(da.ConnectDataSource("vt_missing", false, false, nullptr), 0);  // quiet
  EXPECT_EQ(DbErrorCount(), 2);
  EXPECT_EQ(da.GetConnectionCount(), 1);
}

TEST_F(Connections, SecondDatabaseOfTheCurrentSource) {
  std::string other = odbc_test::Dir() + "/other.db";
  ASSERT_EQ(std::system(("sqlite3 '" + other + "' 'create table only_here (x integer)'").c_str()), 0);
  da.sqlIniPath = odbc_test::WriteFile("kmwsql_other.ini", "[SQLite]\nDataSourceDBTerm=Database\n");
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
  da.SelectDataSource(odbc_test::kSqliteDsn);
  DataSourceSettings* rec = nullptr;
  ASSERT_TRUE(da.ConnectOtherDatabase(other.c_str(), "KM EDIT JOIN", &rec)) << DbLastErrorText();
  ASSERT_NE(rec, nullptr);
  EXPECT_NE(rec->completedConnect.find(";Database=" + other), std::string::npos);
  EXPECT_EQ(da.GetConnectionCount(), 2);
  da.SelectDataSource("KM EDIT JOIN");
  EXPECT_EQ(da.FindDataSourceEntryByName("KM EDIT JOIN"), nullptr);  // join dialogs' names get no entry
  EXPECT_EQ(da.ExecSql("select x from only_here"), 0) << DbLastErrorText();
  da.SelectDataSource(odbc_test::kSqliteDsn);
  EXPECT_EQ(da.ExecSql("select x from only_here"), 1);
  da.SelectDataSource(nullptr);
  EXPECT_EQ(da.ExecSql("select 1"), 1);  // no current connection
  EXPECT_EQ(DbLastErrorText().rfind("DB access: ", 0), 0u);
}

TEST_F(Connections, OnePerReportModel) {
  CKmComposite model(nullptr);
  DataAccess* a = GetDataAccess(&model);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetDataAccess(&model), a);
  ASSERT_EQ(a->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  model.DropAttachment(AttachmentSlot::kDataAccess);  // ends the connections with it
  EXPECT_EQ(model.FindAttachment<DataAccess>(), nullptr);
  model.DropAttachment(AttachmentSlot::kDataAccess);
  EXPECT_EQ(GetDataAccess(nullptr), nullptr);
}

// Names a report file gives never become attributes of a connect text: a
// data source name that no data source can have and a database name with
// connect-text syntax are refused with a message; a database name on a
// source whose database is its file opens no other file; values that go
// into a connect text are in braces.
TEST_F(Connections, NamesFromAReportNeverBecomeConnectAttributes) {
  EXPECT_EQ(ConnectValue("a}b;c=d"), "{a}}b;c=d}");
  EXPECT_EQ(ConnectValue("plain value"), "plain value");
  EXPECT_TRUE(IsValidDataSourceName("Vortelle Sample-2.x"));
  for (const char* bad : {"", "a;b", "a=b", "a{b", "a}b", "a[b", "a]b", "a(b", "a)b", "a,b", "a?b", "a*b", "a!b",
                          "a@b", "a\\b", "a\x01", "123456789012345678901234567890123"})
    EXPECT_FALSE(IsValidDataSourceName(bad)) << bad;
  EXPECT_TRUE(IsValidDatabaseName("sales 2024"));
  for (const char* bad : {"a;b", "a{b", "a}b", "a=b", "a\nb", "a\x1f"}) EXPECT_FALSE(IsValidDatabaseName(bad)) << bad;

  const std::string sneaky = std::string(odbc_test::kSqliteDsn) + ";LoadExt=" + odbc_test::Dir() + "/evil.so";
  EXPECT_EQ(da.ConnectDataSource(sneaky.c_str(), false, true, nullptr), 0);
  EXPECT_EQ(da.GetConnectionCount(), 0);
  EXPECT_NE(DbLastErrorText().find("cannot be used"), std::string::npos) << DbLastErrorText();

  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
  da.SelectDataSource(odbc_test::kSqliteDsn);
  char own[261] = {};
  ASSERT_TRUE(da.GetDatabaseName(own, sizeof own));
  EXPECT_TRUE(da.DatabaseIsFile());

  DbClearErrorRecord();
  EXPECT_FALSE(da.SwitchDatabase("main;LoadExt=nothing"));
  EXPECT_NE(DbLastErrorText().find("cannot be used"), std::string::npos) << DbLastErrorText();
  // Another name on a file's source: nothing opened, nothing made, the own database kept.
  const std::string stray = "vt_no_such_database.db";
  EXPECT_TRUE(da.SwitchDatabase(stray.c_str()));
  EXPECT_NE(access(stray.c_str(), F_OK), 0);
  char now[261] = {};
  ASSERT_TRUE(da.GetDatabaseName(now, sizeof now));
  EXPECT_STREQ(now, own);
}

// A source whose database is named by a file name alone (no folder): the
// SQLite driver knows no catalogs, so its one database is that file, and a
// stored name opens or makes no other file, a "file:" name neither.
TEST_F(Connections, ASourceWithoutCatalogsNeverOpensAnotherDatabase) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(odbc_test::Dir().c_str()), 0);
  const std::string text = std::string("DSN=") + odbc_test::kSqliteDsn + ";Database=test.db";
  const int connected = da.ConnectDataSource("relative", false, true, text.c_str());
  if (connected == 1) {
    da.SelectDataSource("relative");
    EXPECT_TRUE(da.DatabaseIsFile());
    for (const char* stored : {"main", "vt_stored_other.db", "../vt_created_dotdot.db", "file:vt_made.db"})
      EXPECT_TRUE(da.SwitchDatabase(stored)) << stored;
    char now[261] = {};
    EXPECT_TRUE(da.GetDatabaseName(now, sizeof now));
    EXPECT_STREQ(now, "test.db");
  }
  for (const char* made : {"main", "vt_stored_other.db", "../vt_created_dotdot.db", "vt_made.db", "file:vt_made.db"})
    EXPECT_NE(access(made, F_OK), 0) << made;
  ASSERT_EQ(chdir(cwd), 0);
  ASSERT_EQ(connected, 1) << DbLastErrorText();
}

// Every connection is read-only where the platform has a statement for it
// (SQLite's own without kmwsql.ini): a statement that changes rows is
// refused before it is sent, and one sent all the same fails with the
// driver's words; the rows stay.
TEST_F(Connections, ConnectionsAreReadOnlyWhereThePlatformSaysHow) {
  ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
  da.SelectDataSource(odbc_test::kSqliteDsn);
  EXPECT_NE(da.ExecSql("delete from orders"), 0);
  EXPECT_NE(DbLastErrorText().find("only reads data"), std::string::npos) << DbLastErrorText();
  EXPECT_NE(da.ExecSql("delete from orders", nullptr, 0, DataAccess::SqlUse::kOwn), 0);
  EXPECT_NE(DbLastErrorText().find("readonly"), std::string::npos) << DbLastErrorText();
  ASSERT_EQ(da.ExecSql("select count(*) from orders"), 0);
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_STREQ(da.GetColumnText(1, 1, '.'), "3");
  da.EndStatement();

  // A platform statement the driver refuses: no connection, and its reason.
  const std::string ini = odbc_test::WriteFile("readonly.ini", "[SQLite]\nReadOnlyStatement=no such statement\n");
  DataAccess other;
  other.sqlIniPath = ini;
  DbClearErrorRecord();
  EXPECT_EQ(other.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 0);
  EXPECT_EQ(other.GetConnectionCount(), 0);
  EXPECT_NE(DbLastErrorText().find("syntax error"), std::string::npos) << DbLastErrorText();
}
