// The property sheets of numeric and date fields: the style of the picture
// a value prints with, the width and decimals of a number, blank when zero,
// the four-digit year of a date. OK applies them to every selected field of
// that kind; nothing changes on a refusal or Cancel.
#pragma once

#include <vector>

#include "platform/win/window.h"

class KmDocBase;
struct FieldDef;

enum : int {
  kFormatStyle = 300, kFormatWidth = 301, kFormatDecimals = 302, kFormatBlankZero = 303, kFormatFourDigits = 304
};

// IDOK when the fields changed.
INT_PTR ShowNumericFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields);
INT_PTR ShowDateFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields);
