// A connection to the SQLite test database through the database library.
#pragma once

#include "tests/support/odbc_env.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class QeLayer : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    ASSERT_EQ(qeLibInit(), 0);
    conn = qeConnect((std::string("DSN=") + odbc_test::kSqliteDsn + ";DLG=2").c_str());
    ASSERT_NE(conn, 0) << qeErrMsg();
  }
  void TearDown() override {
    if (conn) {
      EXPECT_EQ(qeDisconnect(conn), 0);
    }
  }
  QEHANDLE Exec(const char* sql) {
    QEHANDLE s = qeExecSQL(conn, sql);
    EXPECT_NE(s, 0) << qeErrMsg();
    return s;
  }
  QEHANDLE conn = 0;
};

}  // namespace
