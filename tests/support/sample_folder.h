// One folder per test process for the sample set-up (database, data source,
// settings) that tests make afresh for themselves. The ODBC library keeps the
// data sources it has read for the life of the process, so a test that made
// the sample in a folder of its own would leave the next one connecting to
// the first one's removed database: every test makes it in this same folder.
#pragma once

#include <string>

namespace sample_folder {

// The process's folder with the sample made afresh in it (what an earlier
// test left there is gone) and ODBCINI, ODBCSYSINI and VORTELLE_WINDIR
// pointed at it; "" when it cannot be made.
std::string MakeFresh();
// Empties the folder; the folder itself goes when the process ends.
void Clear();
// The sample made afresh in dir on the PostgreSQL server at 127.0.0.1:port
// (its tables made again there); the script's output, status 0 when made.
std::string MakeOnPostgres(const std::string& dir, int port, int* status);

}  // namespace sample_folder
