// A connection to the PostgreSQL driver reads through a cursor unless its
// data source or connection text chooses; other drivers' texts are left as
// they are.
#include "platform/qe/cursor_fetch.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <cstdio>
#include <stdlib.h>
#include <unistd.h>

using qe_cursor::WithCursorFetch;

TEST(CursorFetch, OnlyThePostgresDriverIsAskedAndAChoiceMadeIsKept) {
  const std::string cursor = "UseDeclareFetch=1;Fetch=" + std::to_string(qe_cursor::kFetchRows);
  EXPECT_EQ(WithCursorFetch("DSN=Shop;", "/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so", false), "DSN=Shop;" + cursor);
  EXPECT_EQ(WithCursorFetch("DSN=Shop", "psqlodbcw.so", false), "DSN=Shop;" + cursor);
  EXPECT_EQ(WithCursorFetch("", "psqlodbca.so", false), cursor);
  EXPECT_EQ(WithCursorFetch("DSN=Shop", "/usr/lib/odbc/libsqlite3odbc.so", false), "DSN=Shop");
  EXPECT_EQ(WithCursorFetch("DSN=Shop", "/opt/psql/libmyodbc.so", false), "DSN=Shop") << "only the file name counts";
  EXPECT_EQ(WithCursorFetch("DSN=Shop", "psqlodbca.so", true), "DSN=Shop") << "the data source chose";
  EXPECT_EQ(WithCursorFetch("DSN=Shop; usedeclarefetch = 0", "psqlodbca.so", false), "DSN=Shop; usedeclarefetch = 0");
  // A braced value may hold the key's name and ';' without being taken for it.
  EXPECT_EQ(WithCursorFetch("DSN=Shop;PWD={a;UseDeclareFetch=0}", "psqlodbca.so", false),
            "DSN=Shop;PWD={a;UseDeclareFetch=0};" + cursor);
}

TEST(CursorFetch, TheDriverIsFoundThroughTheDataSourceAndTheDriverList) {
  char tmpl[] = "/tmp/vt_cursor_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::ofstream(dir + "/odbcinst.ini") << "[PG]\nDriver=/usr/lib/odbc/psqlodbca.so\n[Lite]\nDriver=/usr/lib/odbc/libsqlite3odbc.so\n";
  std::ofstream(dir + "/odbc.ini") << "[Shop]\nDriver=PG\nServername=db\n[Chose]\nDriver=PG\nUseDeclareFetch=0\n"
                                      "[Local]\nDriver=Lite\nDatabase=/tmp/x.db\n";
  {
    ScopedEnv ini("ODBCINI", dir + "/odbc.ini");
    ScopedEnv sys("ODBCSYSINI", dir);
    const std::string cursor = ";UseDeclareFetch=1;Fetch=" + std::to_string(qe_cursor::kFetchRows);
    EXPECT_EQ(WithCursorFetch("DSN=Shop;UID=me"), "DSN=Shop;UID=me" + cursor);
    EXPECT_EQ(WithCursorFetch("DRIVER={PG};Servername=db"), "DRIVER={PG};Servername=db" + cursor);
    EXPECT_EQ(WithCursorFetch("DSN=Chose"), "DSN=Chose");
    EXPECT_EQ(WithCursorFetch("DSN=Local"), "DSN=Local");
    EXPECT_EQ(WithCursorFetch("DSN=Nowhere"), "DSN=Nowhere");
    EXPECT_EQ(WithCursorFetch("UID=me"), "UID=me") << "no driver named";
  }
  std::remove((dir + "/odbc.ini").c_str());
  std::remove((dir + "/odbcinst.ini").c_str());
  ::rmdir(dir.c_str());
}
