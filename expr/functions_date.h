// The date and time built-in functions (DATE, CDOW, CMONTH, CTOD, DAY, DOW,
// DTOC, MONTH, YEAR, TIME, ADDDAYS ... SUBYRS, DAYSBTWN ... YRSBTWN, WEEK,
// DQTR, QTR, HALF, MONLEN, AGED, PAST, FUTURE, OVER, NDOW, PDOW, DTEADD,
// DTEDIFF, TODATE, DTEPART, TOTIME, DTTOC, TTOC, TTOS, CTDT, CTOS, CTOT,
// STOC, NOW). Dates are day numbers of the calendar; times microseconds.
#pragma once

// The time that stands for one that could not be formed.
double GetPositiveInfinityTime();
