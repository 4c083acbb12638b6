// The property sheets of fields and text objects: the style of the picture a
// value prints with (numbers, dates, times, dates with times), the width and
// decimals of a number, the width and word wrap of a character field, blank
// when zero, the four-digit year; and for every kind the alignment, the trim
// and the font. OK applies the pictures to every selected item of that kind
// and leaves the alignment, trim and font to the document's selection
// operations; nothing changes on a refusal or Cancel.
#pragma once

#include <functional>
#include <vector>

#include "platform/win/window.h"

class KmDocBase;
struct FieldDef;
struct ReportItemHead;

enum : int {
  kFormatStyle = 300, kFormatWidth = 301, kFormatDecimals = 302, kFormatBlankZero = 303, kFormatFourDigits = 304,
  kFormatAlignment = 305, kFormatWrap = 306, kFormatTrim = 307, kFormatTimeStyle = 308, kFormatShowDate = 309,
  kFormatShowTime = 313, kFormatFont = 314
};

// What a sheet leaves to the selection operations. alignment: 0 left,
// 1 centre, 2 right, 3 justify (word-wrapped fields only), -1 unchanged;
// trim: a BST_ state, BST_INDETERMINATE keeping each item's. The Font button
// runs chooseFont, which keeps the font it was given until the sheet's OK.
struct ItemPropertyChoice {
  int alignment = -1;
  int trim = 2;
  std::function<bool(HWND owner)> chooseFont;
};

// IDOK when the items changed.
INT_PTR ShowNumericFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                   ItemPropertyChoice* choice = nullptr);
INT_PTR ShowDateFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice = nullptr);
INT_PTR ShowCharFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice = nullptr);
INT_PTR ShowTimeFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice = nullptr);
INT_PTR ShowDateTimeFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                    ItemPropertyChoice* choice = nullptr);
INT_PTR ShowTextObjectProperties(KmDocBase* doc, HWND owner, const std::vector<ReportItemHead*>& items,
                                 ItemPropertyChoice* choice = nullptr);
