// The date and time built-in functions: value and type handlers.
#include "expr/functions_date.h"

#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/date_settings.h"
#include "expr/date_text.h"
#include "expr/functions_common.h"
#include "expr/type_eval.h"
#include "expr/value_eval.h"
#include "expr/value_helpers.h"
#include "core/composite.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr double kDayMicros = 86400e6;
enum Interval { kYear = 1, kQuarter, kMonth, kDayOfYear, kDay, kWeekday, kWeek, kHours, kMinutes, kSeconds };
enum Layout { kHH = 1, kMM, kSS, kHHMM, kHHMMSS, kMMSS };

bool IsDay(uint32_t d) { return d <= static_cast<uint32_t>(kLastDay); }

int DaysInMonthOf(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return days[(m - 1) % 12];
}

// A date from its parts; years before the calendar (or read as two-digit
// years) give the invalid date rather than a date in another century.
uint32_t MakeDate(int64_t y, int m, int d) {
  if (y < 1600 || y > 2400) return InvalidDate;
  DateParts p;
  p.year = static_cast<int32_t>(y);
  p.month = static_cast<uint8_t>(m);
  p.day = static_cast<uint8_t>(d);
  DayNumber n;
  if (YMDToJulian(p, n) != 0 || !IsRealDay(n)) return InvalidDate;
  return static_cast<uint32_t>(n);
}

// Day arithmetic held inside the calendar: a result outside it is invalid.
uint32_t AddDays(uint32_t day, double n) {
  if (!IsDay(day) || std::isnan(n)) return InvalidDate;
  double r = static_cast<double>(day) + n;
  return (r >= 0 && r <= kLastDay) ? static_cast<uint32_t>(r) : InvalidDate;
}

bool Split(uint32_t day, DateParts& p) { return IsDay(day) && JulianToYMD(static_cast<DayNumber>(day), p) == 0; }

double Trunc(double n) { return std::isnan(n) ? 0.0 : std::trunc(n); }

uint32_t AddMonths(uint32_t day, double months) {
  DateParts p;
  if (!Split(day, p)) return InvalidDate;
  double k = (p.month - 1) + Trunc(months);
  if (std::fabs(k) > 1e6) return InvalidDate;
  int64_t kk = static_cast<int64_t>(k);
  int64_t y = p.year;
  int month;
  if (kk < 0) {
    int64_t c = (11 - kk) / 12;
    y -= c;
    month = static_cast<int>(kk + 1 + 12 * c);
  } else {
    y += kk / 12;
    month = static_cast<int>(kk % 12) + 1;
  }
  int d = std::min<int>(p.day, DaysInMonthOf(static_cast<int>(std::max<int64_t>(y, 0)), month));
  return MakeDate(y, month, d);
}

uint32_t AddYears(uint32_t day, double years) {
  DateParts p;
  if (!Split(day, p)) return InvalidDate;
  double y = p.year + Trunc(years);
  if (y < 0 || y > 1e6) return InvalidDate;
  int yi = static_cast<int>(y);
  return MakeDate(yi, p.month, std::min<int>(p.day, DaysInMonthOf(yi, p.month)));
}

const DateSettings& Settings(const CKmComposite* m) {
  static DateSettings s;
  ApplyIntlDateSettings(ActiveBuiltinDocument().format.intl, s);
  GetDateOrder(s);
  s.padChar = static_cast<char>(m->SpaceDotChar);
  return s;
}

// Today as a day number; false when the clock lies outside the calendar.
bool Today(uint32_t& day) {
  const BuiltinDocumentState& d = ActiveBuiltinDocument();
  if (d.fixedToday != 0xFFFFFFFFu) {
    day = d.fixedToday;
    return IsDay(day);
  }
  DateParts p;
  GetToday(p);
  DayNumber n;
  if (YMDToJulian(p, n) != 0 || !IsRealDay(n)) return false;
  day = static_cast<uint32_t>(n);
  return true;
}

double NowTime() {
  const BuiltinDocumentState& d = ActiveBuiltinDocument();
  if (d.fixedToday != 0xFFFFFFFFu) return d.fixedNowTime;
  TimeParts t;
  GetNowTime(t);
  t.microseconds = 0;
  double us;
  TimeToMicroseconds(t, us);
  return us;
}

size_t PopCleanText(CKmComposite* m) {
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  n = TrimText(m, m->stringWork1, n);
  size_t i = 0;
  while (i < n && m->stringWork1[i] == ' ') ++i;
  std::memmove(m->stringWork1, m->stringWork1 + i, n - i + 1);
  return n - i;
}

// ---- Value handlers

int EvalDate(CKmComposite* m) {
  DropEmptyArgument(m);
  uint32_t d;
  if (!Today(d)) return -1;
  PushDate(m, d);
  return 0;
}

int EvalCdow(CKmComposite* m) {
  DateParts p;
  PushText(m, Split(PopDate(m), p) ? GetDayName(p.weekday) : "");
  return 0;
}
int EvalCmonth(CKmComposite* m) {
  DateParts p;
  PushText(m, Split(PopDate(m), p) ? GetMonthName(p.month) : "");
  return 0;
}
int EvalCtod(CKmComposite* m) {
  size_t n = PopCleanText(m);
  uint32_t d = n == 0 ? EmptyDate : ParseDateText(Settings(m), m->stringWork1);
  if (d == InvalidDate || (d != EmptyDate && !IsDay(d))) {
    SetErrorFlag(m);
    d = InvalidDate;
  }
  PushDate(m, d);
  return 0;
}

template <int (*Part)(const DateParts&)>
int EvalPart(CKmComposite* m) {
  DateParts p;
  PushNumber(m, Split(PopDate(m), p) ? Part(p) : 0);
  return 0;
}
int PartDay(const DateParts& p) { return p.day; }
int PartMonth(const DateParts& p) { return p.month; }
int PartYear(const DateParts& p) { return p.year; }
int PartDow(const DateParts& p) { return p.weekday + 1; }
int PartQtr(const DateParts& p) { return (p.month - 1) / 3 + 1; }
int PartHalf(const DateParts& p) { return (p.month - 1) / 6 + 1; }
int PartMonLen(const DateParts& p) { return DaysInMonthOf(p.year, p.month); }
int PartWeek(const DateParts& p) {
  int firstWeekday = (p.weekday - (p.day - 1) % 7 + 7) % 7;
  return (p.day - 1 + firstWeekday) / 7 + 1;
}

int EvalDtoc(CKmComposite* m) {
  bool given = false;
  double flag = PopOptionalNumber(m, 0, &given);
  uint32_t d = PopDate(m);
  DateParts p;
  char buf[256];
  const bool compact = given && flag == 1;
  if (!Split(d, p)) std::strcpy(buf, compact ? "        " : "  /  /  ");
  else if (compact) std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.year, p.month, p.day);
  else FormatDateByPicture(ActiveBuiltinDocument().format, p.month, p.day, p.year, false, buf);
  PushText(m, buf);
  return 0;
}

int EvalTime(CKmComposite* m) {
  DropEmptyArgument(m);
  TimeParts t;
  MicrosecondsToTime(NowTime(), t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hours, t.minutes, t.seconds);
  PushText(m, buf);
  return 0;
}

template <int Kind>  // 0 days, 1 weeks, 2 months, 3 years; negative: subtract
int EvalShift(CKmComposite* m) {
  double n = PopNumber(m);
  uint32_t d = PopDate(m);
  const int kind = Kind < 0 ? -Kind - 1 : Kind;
  double k = Trunc(n) * (Kind < 0 ? -1 : 1);
  uint32_t r;
  switch (kind) {
    case 0: r = AddDays(d, k); break;
    case 1: r = AddDays(d, 7 * k); break;
    case 2: r = AddMonths(d, k); break;
    default: r = AddYears(d, k); break;
  }
  PushDate(m, r);
  return 0;
}

// Years and months from the earlier to the later date, signed by which came first.
void SpanBetween(uint32_t a, uint32_t b, double& years, double& months) {
  const bool aEarlier = static_cast<int32_t>(a) < static_cast<int32_t>(b);
  DateSpan s;
  DateDiffYMD(static_cast<DayNumber>(aEarlier ? a : b), static_cast<DayNumber>(aEarlier ? b : a), s);
  const double sign = aEarlier ? -1 : 1;
  years = sign * s.years;
  months = sign * (12.0 * s.years + s.months);
}

template <int Kind>  // 0 days, 1 weeks, 2 months, 3 years
int EvalBetween(CKmComposite* m) {
  uint32_t b = PopDate(m), a = PopDate(m);
  double r = 0;
  if (!IsDay(a) || !IsDay(b)) {
    SetErrorFlag(m);
  } else {
    double diff = static_cast<double>(static_cast<int32_t>(a)) - static_cast<int32_t>(b);
    double years, months;
    switch (Kind) {
      case 0: r = diff; break;
      case 1: r = std::trunc(diff / 7); break;
      case 2: SpanBetween(a, b, years, months); r = months; break;
      default: SpanBetween(a, b, years, months); r = years; break;
    }
  }
  PushNumber(m, r);
  return 0;
}

int EvalDqtr(CKmComposite* m) {
  uint32_t d = PopDate(m);
  DateParts p;
  uint32_t r = InvalidDate;
  if (Split(d, p)) {
    r = MakeDate(p.year, (p.month - 1) / 3 * 3 + 1, 1);
    if (r == InvalidDate) r = d;  // the quarter begins before the calendar
  }
  PushDate(m, r);
  return 0;
}

int EvalAged(CKmComposite* m) {
  double hi = PopNumber(m), lo = PopNumber(m);
  uint32_t d = PopDate(m), today;
  if (!Today(today)) return -1;
  double age = static_cast<double>(today) - static_cast<double>(static_cast<int32_t>(d));
  PushNumber(m, (IsDay(d) && lo <= age && age <= hi) ? 1.0 : 0.0);
  return 0;
}

template <int Dir>  // -1 PAST, 1 FUTURE
int EvalPastFuture(CKmComposite* m) {
  bool given = false;
  double inc = PopOptionalNumber(m, 0, &given);
  uint32_t d = PopDate(m), today;
  if (!Today(today)) return -1;
  bool r = false;
  if (IsDay(d)) {
    int32_t diff = static_cast<int32_t>(d) - static_cast<int32_t>(today);
    r = Dir < 0 ? diff < 0 : diff > 0;
    if (given && inc == 1 && diff == 0) r = true;
  }
  PushNumber(m, r ? 1.0 : 0.0);
  return 0;
}

int EvalOver(CKmComposite* m) {
  double n = PopNumber(m);
  uint32_t d = PopDate(m), today;
  if (!Today(today)) return -1;
  PushNumber(m, (IsDay(d) && static_cast<double>(today) - static_cast<int32_t>(d) > n) ? 1.0 : 0.0);
  return 0;
}

template <int Dir>  // 1 NDOW, -1 PDOW
int EvalNextDow(CKmComposite* m) {
  double n = Trunc(PopNumber(m));
  uint32_t d = PopDate(m);
  DateParts p;
  uint32_t r = InvalidDate;
  if (n >= 1 && n <= 7 && Split(d, p)) {
    int target = static_cast<int>(n) - 1;
    int step = Dir > 0 ? (target - p.weekday + 7) % 7 : (p.weekday - target + 7) % 7;
    if (step == 0) step = 7;
    r = AddDays(d, Dir * step);
  }
  PushDate(m, r);
  return 0;
}

uint8_t PopInterval(CKmComposite* m) {
  uint8_t tag = 0;
  return PopKeyword(m, &tag);
}

uint32_t AddWeekdays(uint32_t day, int64_t n) {
  DateParts p;
  if (!Split(day, p) || n == 0) return IsDay(day) ? day : InvalidDate;
  const int w = p.weekday;
  const int64_t mrem = n % 5;
  int64_t np = n + 2 * (n / 5);
  if (w == 0) {
    np = (np < 1 && mrem != 0) ? np - 1 : np + 1;
  } else if ((w == 6 && mrem >= 0) || (w == 5 && mrem > 0) || (w == 4 && mrem > 1) || (w == 3 && mrem > 2) ||
             (w == 2 && mrem > 3)) {
    np += 2;
  } else if ((w == 4 && mrem < -3) || (w == 3 && mrem < -2) || (w == 2 && mrem < -1) || (w == 1 && mrem < 0)) {
    np -= 2;
  }
  return AddDays(day, static_cast<double>(np));
}

int EvalDteAdd(CKmComposite* m) {
  uint32_t day;
  double time;
  PopDateTime(m, &day, &time);
  double n = Trunc(PopNumber(m));
  uint8_t iv = PopInterval(m);
  if (day == EmptyDate && time == kNullNumber) {
    SetErrorFlag(m);
    PushDateTime(m, InvalidDate, GetPositiveInfinityTime());
    return 0;
  }
  n = std::max(-1e9, std::min(1e9, n));
  switch (iv) {
    case kYear:
      if (day == EmptyDate || !IsDay(day)) {
        PushDate(m, InvalidDate);
        return 0;
      }
      day = AddYears(day, n);
      if (day == InvalidDate) {
        PushDate(m, InvalidDate);
        return 0;
      }
      break;
    case kQuarter: day = AddMonths(day, 3 * n); break;
    case kMonth: day = AddMonths(day, n); break;
    case kDayOfYear:
    case kDay: day = AddDays(day, n); break;
    case kWeekday: day = AddWeekdays(day, static_cast<int64_t>(n)); break;
    case kWeek: day = AddDays(day, 7 * n); break;
    case kHours:
    case kMinutes:
    case kSeconds: {
      const int64_t perDay = iv == kHours ? 24 : iv == kMinutes ? 1440 : 86400;
      const double unit = iv == kHours ? 3600e6 : iv == kMinutes ? 60e6 : 1e6;
      const int64_t k = static_cast<int64_t>(n);
      int64_t dd = k / perDay;
      double t = (time == kNullNumber ? 0.0 : time) + static_cast<double>(k % perDay) * unit;
      if (t > kDayMicros) {
        ++dd;
        t -= kDayMicros;
      }
      while (t < 0) {
        --dd;
        t += kDayMicros;
      }
      day = AddDays(day, static_cast<double>(dd));
      time = t;
      break;
    }
    default:
      break;
  }
  PushDateTime(m, day, time);
  return 0;
}

int QuarterIndex(const DateParts& p) { return (p.month - 1) / 3; }

int EvalDteDiff(CKmComposite* m) {
  uint32_t db, da;
  double tb, ta;
  PopDateTime(m, &da, &ta);  // the second argument: A
  PopDateTime(m, &db, &tb);  // the first: B
  uint8_t iv = PopInterval(m);
  const bool nullA = da == EmptyDate && ta == kNullNumber, nullB = db == EmptyDate && tb == kNullNumber;
  if (nullA || nullB) {
    SetErrorFlag(m);
    PushNumber(m, 0);
    return 0;
  }
  if (ta == kNullNumber) ta = 0;
  if (tb == kNullNumber) tb = 0;
  DateParts pa, pb;
  const bool dayParts = Split(da, pa) && Split(db, pb);
  const int32_t A = static_cast<int32_t>(da), B = static_cast<int32_t>(db);
  const bool aEarlier = A < B || (A == B && ta < tb);
  const double sign = aEarlier ? -1 : 1;
  double r = 0;
  const int32_t E = aEarlier ? A : B, Lday = aEarlier ? B : A;
  const double Et = aEarlier ? ta : tb, Lt = aEarlier ? tb : ta;
  switch (iv) {
    case kYear:
      if (dayParts) r = pa.year - pb.year;
      break;
    case kQuarter:
    case kMonth:
      if (dayParts) {
        int months = (pa.year - pb.year) * 12 + (pa.month - pb.month);
        r = iv == kMonth ? months : 4 * (pa.year - pb.year) + (QuarterIndex(pa) - QuarterIndex(pb));
      }
      break;
    case kDayOfYear:
    case kDay:
      r = static_cast<double>(A) - B;
      break;
    case kWeekday:
    case kWeek: {
      DateParts pe, pl;
      if (!Split(static_cast<uint32_t>(E), pe) || !Split(static_cast<uint32_t>(Lday), pl)) break;
      const int64_t k = static_cast<int64_t>(Lday) - E;
      const int we = pe.weekday, wl = pl.weekday;
      int64_t v;
      if (iv == kWeekday) {
        v = k - 2 * (k / 7);
        if (k % 7 != 0 && (we == 0 || wl == 0)) v -= 1;
        else if (k % 7 != 0 && wl < we) v -= 2;
      } else {
        v = k / 7;
        if ((we == 0 && wl != 0) || (wl != 0 && wl < we) || k % 7 == 6) v += 1;
      }
      r = sign * static_cast<double>(v);
      break;
    }
    case kHours:
    case kMinutes:
    case kSeconds: {
      int64_t days = static_cast<int64_t>(Lday) - E;
      if (iv == kSeconds) {
        double lt = Lt;
        if (Lt < Et) {
          --days;
          lt += kDayMicros;
        }
        r = sign * (86400.0 * days + (lt - Et) / 1e6);
        break;
      }
      TimeParts te, tl;
      MicrosecondsToTime(Et, te);
      MicrosecondsToTime(Lt, tl);
      int lh = tl.hours, lm = tl.minutes;
      if (Lt < Et) {
        --days;
        lh += 24;
      }
      if (iv == kHours) {
        r = sign * static_cast<double>((lh - te.hours) + 24 * days);
      } else {
        if (lm < te.minutes) {
          --lh;
          lm += 60;
        }
        r = sign * static_cast<double>(60 * (lh - te.hours) + (lm - te.minutes) + 1440 * days);
      }
      break;
    }
    default:
      break;
  }
  PushNumber(m, r);
  return 0;
}

int EvalToDate(CKmComposite* m) {
  uint32_t d;
  double t;
  PopDateTime(m, &d, &t);
  PushDate(m, d);
  return 0;
}

int EvalToTime(CKmComposite* m) {
  uint32_t d;
  double t;
  PopDateTime(m, &d, &t);
  PushTime(m, t);
  return 0;
}

int EvalDtePart(CKmComposite* m) {
  uint32_t d;
  double t;
  PopDateTime(m, &d, &t);
  uint8_t iv = PopInterval(m);
  DateParts p;
  double r = 0;
  if (iv >= kHours) {
    if (t != kNullNumber && t >= 0) {
      TimeParts tp;
      MicrosecondsToTime(t, tp);
      r = iv == kHours ? tp.hours : iv == kMinutes ? tp.minutes : tp.seconds;
    }
  } else if (Split(d, p)) {
    // Day of the year from day numbers: 1 March 1600 (day 0) is day 61 of a leap year.
    uint32_t jan1 = MakeDate(p.year, 1, 1);
    int64_t doy = jan1 != InvalidDate ? static_cast<int64_t>(d) - jan1 + 1 : static_cast<int64_t>(d) + 61;
    switch (iv) {
      case kYear: r = p.year; break;
      case kQuarter: r = QuarterIndex(p) + 1; break;
      case kMonth: r = p.month; break;
      case kDayOfYear: r = static_cast<double>(doy); break;
      case kDay: r = p.day; break;
      case kWeekday: r = p.weekday + 1; break;
      case kWeek: r = static_cast<double>((doy - 1) / 7 + 1); break;
      default: break;
    }
  }
  PushNumber(m, r);
  return 0;
}

std::string DocTimeText(bool invalid, double t) {
  TimeParts tp;
  if (!invalid) MicrosecondsToTime(t, tp);
  char buf[64];
  FormatTimeText(ActiveBuiltinDocument().format, invalid, tp.hours, tp.minutes, tp.seconds, buf, true);
  return buf;
}

int EvalDttoc(CKmComposite* m) {
  uint32_t d;
  double t;
  PopDateTime(m, &d, &t);
  DateParts p;
  std::string out;
  if (!Split(d, p)) {
    out = "  /  /     :  :  ";
  } else {
    char buf[256];
    FormatDateByPicture(ActiveBuiltinDocument().format, p.month, p.day, p.year, false, buf);
    out = buf;
    out += ' ';
    out += DocTimeText(t == kNullNumber || t < 0, t == kNullNumber ? 0 : t);
  }
  PushText(m, out);
  return 0;
}

int EvalTtoc(CKmComposite* m) {
  double t = PopTime(m);
  std::string out;
  if (t == kNullNumber) {
    out = DocTimeText(true, 0);
    for (char& c : out)
      if (c == '*') c = ' ';
  } else {
    out = DocTimeText(false, t);
  }
  PushText(m, out);
  return 0;
}

int EvalTtos(CKmComposite* m) {
  double t = PopTime(m);
  PushNumber(m, t == kNullNumber ? 0.0 : t / 1e6);
  return 0;
}

int EvalCtdt(CKmComposite* m) {
  size_t n = PopCleanText(m);
  if (n == 0) {
    PushDateTime(m, EmptyDate, kNullNumber);
    return 0;
  }
  double time = kNullNumber;
  uint32_t date = EmptyDate;
  int kind = ParseDateTimeLiteral(Settings(m), m->stringWork1, time, date);
  switch (kind) {
    case kLiteralDate: PushDateTime(m, date, 0.0); break;
    case kLiteralDateTime: PushDateTime(m, date, time); break;
    case kLiteralTime: PushDateTime(m, 0, time); break;
    default:
      SetErrorFlag(m);
      PushDateTime(m, InvalidDate, GetPositiveInfinityTime());
  }
  return 0;
}

int PopLayout(CKmComposite* m) {
  if (DropEmptyArgument(m)) return kHHMMSS;
  uint8_t tag = 0;
  return PopKeyword(m, &tag);
}

int EvalCtos(CKmComposite* m) {
  int layout = PopLayout(m);
  size_t n = PopCleanText(m);
  if (n == 0) {
    PushNumber(m, kNullNumber);
    return 0;
  }
  // The layout's missing leading parts come first; the text is held whole.
  std::string text = m->stringWork1;
  if (layout == kMM || layout == kMMSS) text = "00:" + text;
  else if (layout == kSS) text = "00:00:" + text;
  double secs = ReadTimeText(Settings(m), text.c_str(), 1);
  if (!std::isfinite(secs)) {
    SetErrorFlag(m);
    secs = 0;
  }
  PushNumber(m, secs);
  return 0;
}

int EvalCtot(CKmComposite* m) {
  size_t n = PopCleanText(m);
  double time = kNullNumber;
  uint32_t date = EmptyDate;
  if (n > 0) ParseDateTimeLiteral(Settings(m), m->stringWork1, time, date);
  PushTime(m, time);
  return 0;
}

int EvalStoc(CKmComposite* m) {
  int layout = PopLayout(m);
  double x = PopNumber(m);
  std::string out;
  if (IsNullNumber(x)) {
    static const char* blank[] = {"", "", "", "", " :  ", " :  :  ", " :  "};
    out = blank[std::max(0, std::min(layout, 6))];
  } else if (!std::isfinite(x) || std::fabs(x) >= 4e9) {
    static const char* stars[] = {"*", "*", "*", "*", "*:**", "*:**:**", "*:**"};
    out = stars[std::max(0, std::min(layout, 6))];
  } else {
    const bool negative = x < 0;
    const double ax = std::fabs(x);
    uint32_t w[3] = {0, 0, 0};
    SplitSeconds(ax, w, (layout == kMM || layout == kMMSS) ? 2 : 1);
    char buf[64];
    const char* sign = negative ? "-" : "";
    switch (layout) {
      case kHH: std::snprintf(buf, sizeof buf, "%s%u", sign, w[0]); break;
      case kMM: std::snprintf(buf, sizeof buf, "%s%u", sign, w[1]); break;
      case kSS: std::snprintf(buf, sizeof buf, "%s%02lld", sign, static_cast<long long>(ax)); break;
      case kHHMM: std::snprintf(buf, sizeof buf, "%s%u:%02u", sign, w[0], w[1]); break;
      case kMMSS: std::snprintf(buf, sizeof buf, "%s%u:%02u", sign, w[1], w[2]); break;
      default: std::snprintf(buf, sizeof buf, "%s%u:%02u:%02u", sign, w[0], w[1], w[2]); break;
    }
    out = buf;
  }
  PushText(m, out);
  return 0;
}

int EvalNow(CKmComposite* m) {
  DropEmptyArgument(m);
  uint32_t d;
  if (!Today(d)) return -1;
  PushDateTime(m, d, NowTime());
  return 0;
}

// ---- Type handlers

int TypeDate(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushTypeCell(m, DescribeDate());
  return 0;
}
int TypeDateTime(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushTypeCell(m, DescribeDateTime());
  return 0;
}
int TypeTime(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushTypeCell(m, DescribeTime());
  return 0;
}
template <int W>
int TypeString(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushStringCell(m, W, W);
  return 0;
}
template <int D>
int TypeNumber(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushNumberCell(m, D, 0);
  return 0;
}
int TypeKeepDate(CKmComposite* m) {  // the number goes, the date's description stays
  PopTypeCell(m);
  return 0;
}
int TypeDteAdd(CKmComposite* m) {
  ValueCell dt = PopTypeCell(m);
  PopTypeCell(m);
  ValueCell iv = PopTypeCell(m);
  const int k = static_cast<int>(iv.value);
  const uint32_t kind = CellKind(dt);
  if ((k >= kYear && k <= kWeek && kind == kKindTime) || (k >= kHours && kind == kKindDate)) {
    PushTypeCell(m, DescribeDateTime());
  } else {
    dt.kind &= ~kKindConstant;
    PushTypeCell(m, dt);
  }
  return 0;
}
int TypeDtePart(CKmComposite* m) {
  PopTypeCell(m);
  ValueCell iv = PopTypeCell(m);
  static const int digits[] = {1, 4, 1, 2, 3, 2, 1, 2, 2, 2, 2};
  int k = static_cast<int>(iv.value);
  PushNumberCell(m, digits[k >= 1 && k <= 10 ? k : 0], 0);
  return 0;
}
int TypeStoc(CKmComposite* m) {
  ValueCell layout = PopTypeCell(m);
  PopTypeCell(m);
  static const int widths[] = {8, 2, 4, 6, 5, 8, 5};
  int k = CellKind(layout) == kKindKeyword ? static_cast<int>(layout.value) : kHHMMSS;
  ValueCell c = DescribeString(m, static_cast<uint32_t>(widths[k >= 1 && k <= 6 ? k : 0]));
  c.length = 16;
  PushTypeCell(m, c);
  return 0;
}

}  // namespace

double GetPositiveInfinityTime() { return HUGE_VAL; }

void InstallDateFunctions() {
  SetBuiltinHandlers(18, EvalDate, TypeDate);
  SetBuiltinHandlers(19, EvalCdow, TypeString<9>);
  SetBuiltinHandlers(20, EvalCmonth, TypeString<9>);
  SetBuiltinHandlers(21, EvalCtod, TypeDate);
  SetBuiltinHandlers(22, EvalPart<PartDay>, TypeNumber<2>);
  SetBuiltinHandlers(23, EvalPart<PartDow>, TypeNumber<1>);
  SetBuiltinHandlers(24, EvalDtoc, TypeString<10>);
  SetBuiltinHandlers(25, EvalPart<PartMonth>, TypeNumber<2>);
  SetBuiltinHandlers(26, EvalPart<PartYear>, TypeNumber<4>);
  SetBuiltinHandlers(27, EvalTime, TypeString<8>);
  SetBuiltinHandlers(41, EvalShift<0>, TypeKeepDate);
  SetBuiltinHandlers(42, EvalShift<1>, TypeKeepDate);
  SetBuiltinHandlers(43, EvalShift<2>, TypeKeepDate);
  SetBuiltinHandlers(44, EvalShift<3>, TypeKeepDate);
  SetBuiltinHandlers(45, EvalShift<-1>, TypeKeepDate);
  SetBuiltinHandlers(46, EvalShift<-2>, TypeKeepDate);
  SetBuiltinHandlers(47, EvalShift<-3>, TypeKeepDate);
  SetBuiltinHandlers(48, EvalShift<-4>, TypeKeepDate);
  SetBuiltinHandlers(49, EvalBetween<0>, TypeNumber<3>);
  SetBuiltinHandlers(50, EvalBetween<1>, TypeNumber<3>);
  SetBuiltinHandlers(51, EvalBetween<2>, TypeNumber<3>);
  SetBuiltinHandlers(52, EvalBetween<3>, TypeNumber<3>);
  SetBuiltinHandlers(53, EvalPart<PartWeek>, TypeNumber<1>);
  SetBuiltinHandlers(54, EvalDqtr, DefaultTypeHandler);
  SetBuiltinHandlers(55, EvalPart<PartQtr>, TypeNumber<1>);
  SetBuiltinHandlers(110, EvalPart<PartHalf>, TypeNumber<1>);
  SetBuiltinHandlers(111, EvalPart<PartMonLen>, TypeNumber<2>);
  SetBuiltinHandlers(112, EvalAged, LogicalTypeHandler);
  SetBuiltinHandlers(113, EvalPastFuture<-1>, LogicalTypeHandler);
  SetBuiltinHandlers(114, EvalPastFuture<1>, LogicalTypeHandler);
  SetBuiltinHandlers(115, EvalOver, LogicalTypeHandler);
  SetBuiltinHandlers(116, EvalNextDow<1>, TypeDate);
  SetBuiltinHandlers(117, EvalNextDow<-1>, TypeDate);
  SetBuiltinHandlers(119, EvalDteAdd, TypeDteAdd);
  SetBuiltinHandlers(120, EvalDteDiff, TypeNumber<3>);
  SetBuiltinHandlers(121, EvalToDate, TypeDate);
  SetBuiltinHandlers(122, EvalDtePart, TypeDtePart);
  SetBuiltinHandlers(123, EvalDteAdd, TypeDteAdd);
  SetBuiltinHandlers(124, EvalDteAdd, TypeDteAdd);
  SetBuiltinHandlers(125, EvalToTime, TypeTime);
  SetBuiltinHandlers(126, EvalDttoc, TypeString<23>);
  SetBuiltinHandlers(127, EvalTtoc, TypeString<12>);
  SetBuiltinHandlers(129, EvalTtos, TypeNumber<6>);
  SetBuiltinHandlers(130, EvalCtdt, TypeDateTime);
  SetBuiltinHandlers(131, EvalCtos, TypeNumber<6>);
  SetBuiltinHandlers(132, EvalCtot, TypeTime);
  SetBuiltinHandlers(133, EvalStoc, TypeStoc);
  SetBuiltinHandlers(135, EvalNow, TypeDateTime);
}
