// The system's ODBC administrator program, where one is installed, and the
// odbc.ini files the driver manager reads data sources from.
#pragma once

#include <string>

// The administrator's path, searched on PATH; "" when none is installed.
std::string FindOdbcAdministrator();
// Runs the administrator and waits for it to end; false when it did not start.
bool RunOdbcAdministrator(const std::string& path);
// The user's file (ODBCINI, else ~/.odbc.ini) and the system's (ODBCSYSINI's
// odbc.ini, else the driver manager's own folder).
void GetOdbcIniFiles(std::string* user, std::string* system);
