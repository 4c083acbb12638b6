#include "expr/file_date_text.h"

#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"

#include <cstdio>

namespace {

constexpr UINT kLastSavedText = 143;     // "Last Saved: %s  %s:%s:%s"
constexpr UINT kIdentifierText = 226;    // "  ID: %s"
constexpr UINT kUnknownText = 227;       // "Last Saved: Unknown"
constexpr UINT kDataSourceText = 264;    // "  Data Source: %s"

struct Pieces {
  char month[8], day[8], year[16], hours[8], minutes[8], seconds[8], date[40];
};

Pieces Split(const DateParts& date, const TimeParts& time) {
  Pieces p;
  std::snprintf(p.month, sizeof p.month, "%02d", date.month);
  std::snprintf(p.day, sizeof p.day, "%02d", date.day);
  std::snprintf(p.year, sizeof p.year, "%04d", static_cast<int>(date.year));
  std::snprintf(p.hours, sizeof p.hours, "%02d", time.hours);
  std::snprintf(p.minutes, sizeof p.minutes, "%02d", time.minutes);
  std::snprintf(p.seconds, sizeof p.seconds, "%02d", time.seconds);
  std::snprintf(p.date, sizeof p.date, "%s/%s/%s", p.month, p.day, p.year);
  return p;
}

// A string-table format applied to up to four texts, bounded.
std::string Format(UINT id, const char* a, const char* b = "", const char* c = "", const char* d = "") {
  char buf[600];
  std::snprintf(buf, sizeof buf, GetResString(id, 0), a, b, c, d);
  return buf;
}

}  // namespace

std::string FormatLastSavedStatus(const DateParts& date, const TimeParts& time, const char* identifier,
                                  const char* dataSource) {
  if (date.year == -1) return GetResString(kUnknownText, 0);
  const Pieces p = Split(date, time);
  std::string text = Format(kLastSavedText, p.date, p.hours, p.minutes, p.seconds);
  if (identifier && *identifier) text += Format(kIdentifierText, identifier);
  if (dataSource) text += Format(kDataSourceText, dataSource);
  return text;
}

void FillFileDateTime(const DateParts& date, const TimeParts& time, const char* identifier, HWND dialog,
                      int dateControl, int identifierControl, const char* dataSource) {
  if (!dialog) {
    if (KmDocBase* doc = GetActiveDocBase())
      doc->SetStatusText(FormatLastSavedStatus(date, time, identifier, dataSource).c_str());
    return;
  }
  if (date.year == -1) return;
  const Pieces p = Split(date, time);
  char text[80];
  std::snprintf(text, sizeof text, "%s  %s:%s:%s", p.date, p.hours, p.minutes, p.seconds);
  const WPARAM font = reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT));
  SetDlgItemTextA(dialog, dateControl, text);
  SendDlgItemMessageA(dialog, dateControl, WM_SETFONT, font, 0);
  if (identifier && *identifier) {
    SetDlgItemTextA(dialog, identifierControl, identifier);
    SendDlgItemMessageA(dialog, identifierControl, WM_SETFONT, font, 0);
  }
}
