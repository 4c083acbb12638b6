// The "last saved" line of a report file: into two dialog controls, or the
// main window's status line when no dialog is given.
#pragma once

#include <string>

#include "expr/calendar.h"
#include "platform/win/window.h"

// The status-line text (no dialog): "Last Saved: Unknown" for a year of -1,
// else the date and time, the identifier and the data source when given.
std::string FormatLastSavedStatus(const DateParts& date, const TimeParts& time, const char* identifier,
                                  const char* dataSource);
// With a dialog, fills dateControl with "mm/dd/yyyy  hh:mm:ss" and
// identifierControl with the identifier when it is not empty (a year of -1
// fills nothing); without one, shows the status text on the active
// document's status line.
void FillFileDateTime(const DateParts& date, const TimeParts& time, const char* identifier, HWND dialog,
                      int dateControl, int identifierControl, const char* dataSource);
