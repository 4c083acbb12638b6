#include "tests/support/odbc_env.h"
#include "tests/support/client_session.h"
#include "tests/support/free_port.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

// The ODBC drivers keep memory of their own until the process ends; our own
// allocations stay under the leak check.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsqlite3odbc\nleak:psqlodbc\nleak:libodbc\nleak:libltdl\nleak:libpq\n";
}

namespace odbc_test {

const char* const kSqliteDsn = "vt_sqlite";
const char* const kBrokenDsn = "vt_broken";
const char* const kPgDsn = "vt_pg";
const char* const kMissingDsn = "vt_no_database";

namespace {

std::string g_dir;
std::string g_sqliteDriver;
std::string g_pgDriver;
std::string g_pgData;
std::string g_pgBin;
int g_pgPort = 0;
bool g_pgTried = false;
bool g_pgOk = false;
std::string g_pgWhy;
std::unique_ptr<client_session::ClientSession> g_pgSession;

std::string FirstExisting(std::initializer_list<const char*> paths) {
  for (const char* p : paths)
    if (access(p, R_OK) == 0) return p;
  return std::string();
}

int Run(const std::string& cmd) { return std::system(cmd.c_str()); }

void AppendOdbcIni(const std::string& text) {
  std::ofstream f(g_dir + "/odbc.ini", std::ios::app);
  f << text;
}

class OdbcEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/vt_dataaccess_XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_sqliteDriver = FirstExisting({"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                                    "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
                                    "/usr/lib/odbc/libsqlite3odbc.so"});
    g_pgDriver = FirstExisting({"/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so",
                                "/usr/lib/aarch64-linux-gnu/odbc/psqlodbca.so", "/usr/lib/odbc/psqlodbca.so"});
    std::ostringstream inst;
    inst << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << g_sqliteDriver << "\n\n";
    inst << "[PostgreSQL ANSI]\nDescription=PostgreSQL ODBC driver\nDriver=" << g_pgDriver << "\n\n";
    WriteFile("odbcinst.ini", inst.str());
    setenv("ODBCSYSINI", g_dir.c_str(), 1);
    setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
    std::string db = g_dir + "/test.db";
    // Test databases are thrown away: no statement waits for the disk.
    Run("sqlite3 -cmd 'PRAGMA synchronous=OFF' '" + db + "' < '" VT_TEST_DATA_DIR "/dataaccess/sample.sql'");
    std::ostringstream ini;
    ini << "[" << kSqliteDsn << "]\nDriver=SQLite3\nDatabase=" << db << "\nStepAPI=1\n\n";
    ini << "[Default]\nDriver=SQLite3\nDatabase=" << db << "\nStepAPI=1\n\n";
    ini << "[" << kMissingDsn << "]\nDriver=SQLite3\nDatabase=" << g_dir << "/missing.db\n\n";
    ini << "[" << kBrokenDsn << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" << FreeLoopbackPort()
        << "\nDatabase=none\nUsername=nobody\nConnSettings=\n\n";
    WriteFile("odbc.ini", ini.str());
    // The system's own user file must not be seen.
    setenv("HOME", g_dir.c_str(), 1);
  }

  void TearDown() override {
    g_pgSession.reset();
    if (g_pgOk) {
      Run("timeout 60 runuser -u postgres -- " + g_pgBin + "/pg_ctl -D '" + g_pgData +
          "' -m immediate -w -t 30 stop >/dev/null 2>&1 || timeout 60 " + g_pgBin + "/pg_ctl -D '" + g_pgData +
          "' -m immediate -w -t 30 stop >/dev/null 2>&1");
    }
    if (!g_dir.empty() && g_dir.rfind("/tmp/vt_dataaccess_", 0) == 0) Run("rm -rf '" + g_dir + "'");
  }
};

testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new OdbcEnvironment);

}  // namespace

const std::string& Dir() { return g_dir; }

bool HaveSqliteDriver() { return !g_sqliteDriver.empty(); }

std::string WriteFile(const std::string& name, const std::string& text) {
  std::string path = g_dir + "/" + name;
  std::ofstream f(path, std::ios::trunc);
  f << text;
  return path;
}

std::string SqlIniWith(const std::string& name, const std::string& section, const std::string& lines) {
  std::ifstream sample(VT_SOURCE_DIR "/samples/kmwsql.ini");
  std::stringstream text;
  text << sample.rdbuf();
  std::string ini = text.str();
  const size_t at = ini.find(section + "\n");
  if (at != std::string::npos) ini.insert(at + section.size() + 1, lines);
  return WriteFile(name, ini);
}

namespace {

// A fresh cluster, as initdb makes it, beside the test programs: made by the
// first program that needs one and copied by the others, as making one
// costs far more than a copy. Each server version and user has its own.
std::string ClusterCopy() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::string();
  std::string dir(self, static_cast<size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  const std::string version = g_pgBin.substr(0, g_pgBin.rfind('/'));
  return dir + "/pg_cluster_" + version.substr(version.rfind('/') + 1) + "_" + std::to_string(geteuid());
}

bool CopyCluster() {
  const std::string copy = ClusterCopy();
  if (copy.empty() || access(copy.c_str(), F_OK) != 0) return false;
  if (Run("cp -a '" + copy + "' '" + g_pgData + "'") == 0) return true;
  Run("rm -rf '" + g_pgData + "'");
  return false;
}

// Keeps the cluster just made (not yet started) for the next programs; the
// copy appears whole or not at all, and the first one made stays.
void KeepCluster() {
  const std::string copy = ClusterCopy();
  if (copy.empty()) return;
  const std::string part = copy + ".part" + std::to_string(getpid());
  Run("cp -a '" + g_pgData + "' '" + part + "' 2>/dev/null && mv -T '" + part + "' '" + copy +
      "' 2>/dev/null || rm -rf '" + part + "'");
}

}  // namespace

bool StartPostgres(std::string* why) {
  if (g_pgTried) {
    if (why) *why = g_pgWhy;
    return g_pgOk;
  }
  g_pgTried = true;
  g_pgBin = FirstExisting({"/usr/lib/postgresql/17/bin/initdb", "/usr/lib/postgresql/16/bin/initdb",
                           "/usr/lib/postgresql/15/bin/initdb", "/usr/lib/postgresql/14/bin/initdb",
                           "/usr/lib/postgresql/13/bin/initdb"});
  if (g_pgBin.empty() || g_pgDriver.empty()) {
    g_pgWhy = "PostgreSQL server binaries or the PostgreSQL ODBC driver are not installed";
    if (why) *why = g_pgWhy;
    return false;
  }
  g_pgBin = g_pgBin.substr(0, g_pgBin.rfind('/'));
  g_pgData = g_dir + "/pgdata";
  g_pgPort = FreeLoopbackPort();
  bool root = geteuid() == 0;
  std::string as = root ? "runuser -u postgres -- " : "";
  if (root) Run("chown postgres '" + g_dir + "' && chmod 755 '" + g_dir + "'");
  // The cluster goes with the process: nothing of it need reach the disk, and
  // waiting for that on a busy machine cost seconds per test program.
  std::string init = "timeout 120 " + as + g_pgBin + "/initdb -D '" + g_pgData +
                     "' -A trust -U postgres -E UTF8 --no-locale --no-sync >'" + g_dir + "/initdb.log' 2>&1";
  std::string start = "timeout 60 " + as + g_pgBin + "/pg_ctl -D '" + g_pgData + "' -w -t 30 -l '" + g_dir +
                      "/pg.log' -o \"-h 127.0.0.1 -p " + std::to_string(g_pgPort) + " -k '" + g_dir +
                      "' -c fsync=off\" start >/dev/null 2>&1";
  bool made = CopyCluster();
  if (!made && Run(init) == 0) {
    made = true;
    KeepCluster();
  }
  if (!made || Run(start) != 0) {
    g_pgWhy = "the private PostgreSQL server did not start (see " + g_dir + "/pg.log)";
    if (why) *why = g_pgWhy;
    return false;
  }
  g_pgOk = true;
  std::ostringstream ini;
  ini << "[" << kPgDsn << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" << g_pgPort
      << "\nDatabase=postgres\nUsername=postgres\nBoolsAsChar=0\nUseDeclareFetch=1\nFetch=1000\n\n";
  AppendOdbcIni(ini.str());
  return true;
}

int PostgresPort() { return g_pgOk ? g_pgPort : 0; }

namespace {

// Runs a client on SQL text written to a script beside the database.
std::string RunClient(const std::string& client, const std::string& name, const std::string& sql, bool* ok) {
  const std::string file = WriteFile(name + ".sql", sql);
  const std::string out = g_dir + "/" + name + ".out";
  const int rc = Run("timeout 60 " + client + " <'" + file + "' >'" + out + "' 2>&1");
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  if (ok) *ok = rc == 0;
  return text.str();
}

}  // namespace

std::string RunPostgresSql(const std::string& sql, bool* ok) {
  if (ok) *ok = false;
  if (!g_pgOk) return std::string();
  return RunClient(g_pgBin + "/psql -X -q -A -t -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(g_pgPort) +
                       " -U postgres -d postgres",
                   "pg_script", sql, ok);
}

std::string QueryPostgres(const std::string& sql) {
  if (!g_pgOk) return std::string();
  if (!g_pgSession)
    g_pgSession = std::make_unique<client_session::ClientSession>(
        std::vector<std::string>{g_pgBin + "/psql", "-X", "-q", "-A", "-t", "-h", "127.0.0.1", "-p",
                                 std::to_string(g_pgPort), "-U", "postgres", "-d", "postgres"},
        "\\echo");
  return g_pgSession->Ask(sql + ";");
}

std::string RunSqliteSql(const std::string& sql, bool* ok) {
  if (ok) *ok = false;
  return RunClient("sqlite3 -bail -cmd 'PRAGMA synchronous=OFF' '" + g_dir + "/test.db'", "sqlite_script", sql, ok);
}

}  // namespace odbc_test
