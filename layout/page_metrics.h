// The page values that reach the report's fields and pictures, and dates
// written by the Windows date pictures the document keeps.
#pragma once

#include "foundation/page_metrics.h"

#include <cstddef>

// The page's sizes and printable width, then the widths of the fields kept in
// the user's measure, which follow the ruler pitch.
void CalcPageMetrics(KmDocBase& doc);
// A change of the document's measurement system (1 inches, 0 metric): the
// shown sizes of pictures, charts and embedded objects, kept in the report's
// measure, follow it; nothing changes while the report file object is busy
// reading or writing them.
void ConvertObjectUnits(KmDocBase& doc, int oldSystem, int newSystem, bool fileObjectBusy);

// Writes the date by the short (or long) date picture into buffer (size
// bytes, always ended); month 255 is an empty date written as asterisks.
// Returns the length.
int FormatDateByPictureEx(const KmDocBase& doc, int month, int day, int year, int useLong, char* buffer,
                          size_t size, int fourDigitYear);
int FormatDateByPicture(const KmDocBase& doc, int month, int day, int year, int useLong, char* buffer,
                        size_t size);
