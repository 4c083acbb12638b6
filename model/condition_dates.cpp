#include "model/condition_dates.h"

#include <cstdio>
#include <cstring>

#include "expr/compiler_state.h"
#include "expr/date_text.h"
#include "core/fields.h"
#include "model/record_filter.h"
#include "model/selection_conditions.h"

namespace {

DateSettings OrderedSettings(CKmComposite* m) {
  DateSettings s = ModelDateSettings(m);
  GetDateOrder(s);
  return s;
}

std::string PartText(uint32_t value, uint32_t at, uint32_t star, const char* format, int offset) {
  if (value == at) return "@";
  if (value == star) return "*";
  char buf[16];
  std::snprintf(buf, sizeof buf, format, static_cast<int>(value) + offset);
  return buf;
}

// The three parts in the document's order, joined by the separator.
std::string Ordered(const DateSettings& s, const std::string& month, const std::string& day, const std::string& year,
                    char separator) {
  std::string out;
  for (int i = 0; i < 3; ++i) {
    if (i) out += separator;
    switch (s.dateOrder[i]) {
      case 'd': out += day; break;
      case 'y': out += year; break;
      default: out += month; break;
    }
  }
  return out;
}

std::string DateText(const DateSettings& s, uint32_t date) {
  if (date == EmptyDate || date == InvalidDate) return std::string();
  if (IsDatePattern(date)) {
    const uint32_t year = (date >> 16) & 0x7FFF, month = (date >> 8) & 0xFF, day = date & 0xFF;
    char m[8], d[8], y[16];
    std::snprintf(m, sizeof m, "%-2s", PartText(month, 255, 254, "%02d", 0).c_str());
    std::snprintf(d, sizeof d, "%-2s", PartText(day, 255, 254, "%02d", 0).c_str());
    std::snprintf(y, sizeof y, "%-4s", PartText(year, 0x7FFF, 0x7FFE, "%d", 1600).c_str());
    return Ordered(s, m, d, y, '/');
  }
  DateParts parts;
  if (JulianToYMD(static_cast<DayNumber>(date), parts)) return std::string();
  char m[8], d[8], y[16];
  std::snprintf(m, sizeof m, "%02d", parts.month);
  std::snprintf(d, sizeof d, "%02d", parts.day);
  std::snprintf(y, sizeof y, "%04d", static_cast<int>(parts.year));
  return Ordered(s, m, d, y, s.dateSeparator > ' ' ? s.dateSeparator : '/');
}

std::string TimeText(const DateSettings& s, double micros) {
  if (micros == kNullNumber || !(micros >= 0) || micros >= 86400e6) return std::string();
  TimeParts t;
  MicrosecondsToTime(micros, t);
  const char sep = s.timeSeparator > ' ' ? s.timeSeparator : ':';
  const bool clock24 = (s.timeFlags & 2) != 0;
  int hours = t.hours;
  if (!clock24) hours = hours % 12 == 0 ? 12 : hours % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, (s.timeFlags & 4) ? "%02d%c%02d%c%02d" : "%d%c%02d%c%02d", hours, sep, t.minutes, sep,
                t.seconds);
  std::string out = buf;
  if (!clock24) {
    out += ' ';
    out += t.hours < 12 ? s.morningMarker : s.afternoonMarker;
  }
  return out;
}

}  // namespace

int ReadConditionDate(CKmComposite* m, const char* begin, const char* end, ConditionDate* out) {
  *out = ConditionDate();
  std::string inner(begin, end);
  while (!inner.empty() && inner.back() == ' ') inner.pop_back();
  size_t lead = 0;
  while (lead < inner.size() && inner[lead] == ' ') ++lead;
  inner.erase(0, lead);
  if (inner.empty()) return 0;
  const DateSettings s = OrderedSettings(m);
  double time = kNullNumber;
  uint32_t date = EmptyDate;
  switch (ParseDateTimeLiteral(s, inner.c_str(), time, date)) {
    case kLiteralDate: out->token = kCondDate; break;
    case kLiteralDateTime: out->token = kCondDateTime; break;
    case kLiteralTime: out->token = kCondTime; break;
    default: return kCondErrBadDate;
  }
  if (date == InvalidDate) return kCondErrBadDate;
  // A date-time needs a real day; a pattern stands only for a date.
  if (out->token == kCondDateTime && (date == EmptyDate || IsDatePattern(date))) return kCondErrBadDate;
  out->date = date;
  out->time = time;
  return 0;
}

int CheckConditionDateKind(const ConditionDate& v, uint32_t fieldKind) {
  switch (v.token) {
    case kCondDate:
      if (fieldKind == kFieldDate) return 0;
      if (fieldKind == kFieldDateTime && !IsDatePattern(v.date)) return 0;
      break;
    case kCondDateTime:
      if (fieldKind == kFieldDateTime) return 0;
      break;
    case kCondTime:
      if (fieldKind == kFieldTime) return 0;
      break;
    default:
      return 0;
  }
  return KindErrorCode(fieldKind);
}

namespace {
// The token a value is stored as for a field of the kind (0 for none): a
// date-time field keeps a date as a date-time without a time.
uint8_t StoredDateToken(const ConditionDate& v, uint32_t fieldKind) {
  if (fieldKind == kFieldDateTime && (v.token == kCondDate || v.token == kCondDateTime)) return kCondDateTime;
  return v.token == kCondDate || v.token == kCondDateTime || v.token == kCondTime ? v.token : 0;
}
}  // namespace

size_t ConditionDateSize(const ConditionDate& v, uint32_t fieldKind) {
  const uint8_t token = StoredDateToken(v, fieldKind);
  return token != 0 ? FixedConditionTokenSize(token) : 0;
}

size_t WriteConditionDate(uint8_t* out, const ConditionDate& v, uint32_t fieldKind) {
  switch (StoredDateToken(v, fieldKind)) {
    case kCondDateTime: return PutConditionDateTime(out, v.date, v.token == kCondDateTime ? v.time : kNullNumber);
    case kCondDate: return PutConditionDate(out, v.date);
    case kCondTime: return PutConditionTime(out, v.time);
    default: return 0;
  }
}

std::string FormatConditionDate(CKmComposite* m, const uint8_t* token, size_t n) {
  if (!token || n == 0) return "{}";
  const DateSettings s = OrderedSettings(m);
  std::string text;
  if (token[0] == kCondDate && n >= kCondDateSize) {
    text = DateText(s, ConditionDay(token));
  } else if (token[0] == kCondDateTime && n >= kCondDateTimeSize) {
    const std::string date = DateText(s, ConditionDay(token));
    const std::string time = TimeText(s, ConditionDateTimeTime(token));
    if (!date.empty()) text = time.empty() ? date : date + " " + time;
  } else if (token[0] == kCondTime && n >= kCondTimeSize) {
    text = TimeText(s, ConditionNumber(token));
  }
  return "{" + text + "}";
}

int CompareConditionDates(const ConditionDate& a, const ConditionDate& b) {
  if (a.token != kCondTime && b.token != kCondTime && a.date != b.date) {
    // Patterns have no order among days.
    if (IsDatePattern(a.date) || IsDatePattern(b.date)) return 0;
    return static_cast<int32_t>(a.date) < static_cast<int32_t>(b.date) ? -1 : 1;
  }
  const double ta = a.time == kNullNumber ? -1 : a.time, tb = b.time == kNullNumber ? -1 : b.time;
  return ta < tb ? -1 : ta > tb ? 1 : 0;
}
