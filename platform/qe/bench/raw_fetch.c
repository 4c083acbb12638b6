/* The floor of the report run: the report's own SELECT fetched through ODBC
 * into bound buffers, nothing done with the rows.
 *   raw-fetch <data source> <select>
 * Prints the row count and the sum of the last column. */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <string.h>

#define COLUMNS_MAX 32

static void Fail(const char* what, SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6], text[512];
  SQLINTEGER native;
  SQLSMALLINT n;
  text[0] = 0;
  SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &n);
  fprintf(stderr, "raw-fetch: %s: %s\n", what, (const char*)text);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: raw-fetch <data source> <select>\n");
    return 2;
  }
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (void*)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)argv[1], SQL_NTS, NULL, 0, NULL, 0))) {
    Fail("connect", SQL_HANDLE_DBC, dbc);
    return 1;
  }
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  if (!SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)argv[2], SQL_NTS))) {
    Fail("select", SQL_HANDLE_STMT, st);
    return 1;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(st, &columns);
  if (columns > COLUMNS_MAX) columns = COLUMNS_MAX;
  static char text[COLUMNS_MAX][256];
  SQLLEN length[COLUMNS_MAX];
  double last = 0;
  SQLLEN lastLength = 0;
  for (SQLSMALLINT c = 1; c <= columns; ++c) {
    SQLCHAR name[128];
    SQLSMALLINT nameLength, type, digits, nullable;
    SQLULEN size;
    SQLDescribeCol(st, c, name, sizeof name, &nameLength, &type, &size, &digits, &nullable);
    if (c == columns)
      SQLBindCol(st, c, SQL_C_DOUBLE, &last, sizeof last, &lastLength);
    else if (type == SQL_DOUBLE || type == SQL_FLOAT || type == SQL_REAL || type == SQL_INTEGER ||
             type == SQL_NUMERIC || type == SQL_DECIMAL)
      SQLBindCol(st, c, SQL_C_DOUBLE, text[c - 1], 8, &length[c - 1]);
    else
      SQLBindCol(st, c, SQL_C_CHAR, text[c - 1], sizeof text[c - 1], &length[c - 1]);
  }
  long rows = 0;
  double sum = 0;
  SQLRETURN rc;
  while (SQL_SUCCEEDED(rc = SQLFetch(st))) {
    ++rows;
    if (lastLength != SQL_NULL_DATA) sum += last;
  }
  if (rc != SQL_NO_DATA) {
    Fail("fetch", SQL_HANDLE_STMT, st);
    return 1;
  }
  printf("%ld rows, sum %.2f\n", rows, sum);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
