// Data Source Connections (DSLIST: the data sources ODBC knows that are not
// connected), Connected Data Sources (CURCONNECT: the open connections), the
// logon a driver may need, and the system's ODBC administrator.
#pragma once

#include "platform/win/window.h"

#include <string>

class KmDocBase;
class DataAccess;

// The state of one run of either dialog.
struct DataSourceDialogState {
  KmDocBase* doc = nullptr;
  DataAccess* data = nullptr;
  bool selectMode = false;      // a connected or chosen source becomes current
  bool compatibleOnly = false;  // DSLIST lists the sources of the current driver
  char chosenName[33] = {};     // the name picked in DSLIST
  int listedCount = 0;          // DSLIST: sources listed; CURCONNECT: sources known
};

INT_PTR DataSourcesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ConnectedSourcesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// DSLIST over owner: 0 connected, 1 the connection failed (or the list could
// not be read), 2 cancelled. outCount receives the listed count.
int ShowDataSourcesDialog(KmDocBase* doc, HWND owner, bool selectMode, int* outCount);
// CURCONNECT: 0 chosen or closed, 2 cancelled.
int ShowConnectedSourcesDialog(KmDocBase* doc, HWND owner, bool selectMode);
// The compatible-only DSLIST: 0 with the chosen name (at most 32 characters)
// connected, else the dialog's result.
int ChooseCompatibleDataSource(KmDocBase* doc, HWND owner, char* name);

// With load 0: 1 when an administrator is installed, else 0. With load 1 it
// runs the administrator over owner; where none is installed it says which
// odbc.ini files a data source is added to. Returns 1 when it ran.
int RunOdbcDataSourceManager(int load, HWND owner);

// The logon prompt the data layer asks through while this document shows dialogs.
void InstallLogonPrompt(KmDocBase* doc, DataAccess* data);
INT_PTR LogonDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
