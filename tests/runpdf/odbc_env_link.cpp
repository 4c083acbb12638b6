// The data-access tests' private ODBC set-up, built into this program as well.
#include "../dataaccess/odbc_env.cpp"
