#include "dialogs/field_format_dialog.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "core/fields.h"
#include "engine/doc_upkeep.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrNumericCaption = 18625, kStrDateCaption = 18626, kStrNumberStyles = 18627,
               kStrDateStyles = 18628, kStrBadWidth = 18629, kStrAlignments = 18631, kStrTimeStyles = 18632,
               kStrCharCaption = 18633, kStrTimeCaption = 18634, kStrDateTimeCaption = 18635,
               kStrTextCaption = 18636, kStrBadAlignment = 18637, kStrNoParts = 18638, kStrBadCharWidth = 18639;
// The style codes in the order the lists name them.
constexpr uint32_t kNumberStyles[] = {2, 5, 7, 4, 1};
constexpr uint32_t kDateStyles[] = {0x1000, 0x2000, 0x3000, 0x4000, 1, 6, 7, 8, 0x5000, 0x6000};
// The system's own time picture, then with or without seconds, 12 or 24 hours.
constexpr uint32_t kTimeStyles[] = {0x8000, 0, 1, 6, 7};
constexpr uint32_t kTimeStyleBits = 0x8007;
constexpr uint32_t kShowDate = 0x10, kShowTime = 0x20;
constexpr uint32_t kBlankWhenZero = 0x200;
constexpr uint32_t kFourDigitYear = 0x10;
constexpr uint32_t kWrapStyle = 4;
constexpr int kMaxWidth = 254, kMaxDecimals = 15;
constexpr int kAlignCentre = 1, kAlignJustify = 3;

enum class Kind { Numeric, Date, Char, Time, DateTime, Text };

struct State {
  KmDocBase* doc = nullptr;
  const std::vector<FieldDef*>* fields = nullptr;
  std::vector<ReportItemHead*> items;
  Kind kind = Kind::Numeric;
  ItemPropertyChoice* choice = nullptr;
  // What the sheet showed: only what the user changed is applied.
  int shownAlignment = -1;
  UINT shownTrim = BST_INDETERMINATE;
};

void FillList(HWND dialog, int id, UINT names) {
  std::stringstream in(LoadResString(names));
  std::string name;
  while (std::getline(in, name, ';'))
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

template <size_t N>
int IndexOf(const uint32_t (&codes)[N], uint32_t code) {
  for (size_t i = 0; i < N; ++i)
    if (codes[i] == code) return static_cast<int>(i);
  return 0;
}

bool ReadNumber(HWND dialog, int id, int low, int high, int* out) {
  char text[16] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

bool IsWrapped(const ReportItemHead& h) {
  if (!(h.flags & kItemKindField)) return false;
  const auto* f = reinterpret_cast<const FieldDef*>(&h);
  return (f->flags & kFieldKindMask) == 0 && ((f->formatCode >> 4) & 0xF) == kWrapStyle;
}

// The alignment as the list names it: a word-wrapped field's is its second
// code (1 left, 2 justified, 3 right).
int AlignmentOf(KmDocBase* doc, const ReportItemHead& h) {
  if (IsWrapped(h)) {
    const uint32_t code = (reinterpret_cast<const FieldDef*>(&h)->formatCode >> 8) & 0xF;
    return code == 2 ? kAlignJustify : code == 3 ? 2 : 0;
  }
  return GetObjectAlignment(doc, &h);
}

// A check box showing whether all, none or some of the items have a property.
void CheckAll(HWND dialog, int id, const std::vector<ReportItemHead*>& items, bool (*has)(const ReportItemHead&)) {
  int count = 0;
  for (const ReportItemHead* h : items) count += has(*h) ? 1 : 0;
  CheckDlgButton(dialog, id, count == 0 ? BST_UNCHECKED
                             : count == static_cast<int>(items.size()) ? BST_CHECKED : BST_INDETERMINATE);
}

void Hide(HWND dialog, std::initializer_list<int> ids) {
  for (int id : ids) ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

// Moves control id to where control place stands, keeping its size: the
// kinds with fewer parts show theirs from the top.
void MoveTo(HWND dialog, int id, int place) {
  RECT from{}, to{};
  GetWindowRect(GetDlgItem(dialog, id), &from);
  GetWindowRect(GetDlgItem(dialog, place), &to);
  POINT p{to.left, to.top};
  ScreenToClient(dialog, &p);
  MoveWindow(GetDlgItem(dialog, id), p.x, p.y, from.right - from.left, from.bottom - from.top, TRUE);
}

void InitCommon(HWND dialog, State* s) {
  FillList(dialog, kFormatAlignment, kStrAlignments);
  const int first = AlignmentOf(s->doc, *s->items.front());
  bool same = true;
  for (const ReportItemHead* h : s->items) same = same && AlignmentOf(s->doc, *h) == first;
  SendDlgItemMessageA(dialog, kFormatAlignment, CB_SETCURSEL, same ? static_cast<WPARAM>(first) : static_cast<WPARAM>(-1), 0);
  s->shownAlignment = static_cast<int>(SendDlgItemMessageA(dialog, kFormatAlignment, CB_GETCURSEL, 0, 0));
  // A trimmed item follows the one before it.
  CheckAll(dialog, kFormatTrim, s->items, [](const ReportItemHead& h) { return !(h.flags & kItemFixedPosition); });
  s->shownTrim = IsDlgButtonChecked(dialog, kFormatTrim);
  if (s->kind == Kind::Char) CheckAll(dialog, kFormatWrap, s->items, IsWrapped);
  else Hide(dialog, {kFormatWrap});
  if (s->choice == nullptr || !s->choice->chooseFont) Hide(dialog, {kFormatFont});
}

void Init(HWND dialog, State* s) {
  static const UINT captions[] = {kStrNumericCaption, kStrDateCaption, kStrCharCaption,
                                  kStrTimeCaption, kStrDateTimeCaption, kStrTextCaption};
  SetWindowTextA(dialog, LoadResString(captions[static_cast<int>(s->kind)]).c_str());
  InitCommon(dialog, s);
  const FieldDef* f = s->fields != nullptr ? s->fields->front() : nullptr;
  switch (s->kind) {
    case Kind::Numeric:
      FillList(dialog, kFormatStyle, kStrNumberStyles);
      SendDlgItemMessageA(dialog, kFormatStyle, CB_SETCURSEL, IndexOf(kNumberStyles, f->formatCode & 0xF), 0);
      SetDlgItemTextA(dialog, kFormatWidth, std::to_string(f->displayWidth).c_str());
      SetDlgItemTextA(dialog, kFormatDecimals, std::to_string(f->displayDecimals).c_str());
      CheckDlgButton(dialog, kFormatBlankZero, (f->formatCode & kBlankWhenZero) ? BST_CHECKED : BST_UNCHECKED);
      Hide(dialog, {kFormatFourDigits, kFormatTimeStyle, 316, kFormatShowDate, kFormatShowTime});
      break;
    case Kind::Date:
    case Kind::DateTime:
      FillList(dialog, kFormatStyle, kStrDateStyles);
      SendDlgItemMessageA(dialog, kFormatStyle, CB_SETCURSEL, IndexOf(kDateStyles, f->formatCode & 0xF00F), 0);
      CheckDlgButton(dialog, kFormatFourDigits, (f->formatCode & 0xF0) ? BST_CHECKED : BST_UNCHECKED);
      Hide(dialog, {kFormatWidth, kFormatDecimals, kFormatBlankZero, 311, 312});
      if (s->kind == Kind::Date) {
        Hide(dialog, {kFormatTimeStyle, 316, kFormatShowDate, kFormatShowTime});
        break;
      }
      FillList(dialog, kFormatTimeStyle, kStrTimeStyles);
      SendDlgItemMessageA(dialog, kFormatTimeStyle, CB_SETCURSEL, IndexOf(kTimeStyles, f->timeFormat & kTimeStyleBits), 0);
      {
        // Neither part set shows both.
        const uint32_t parts = (f->timeFormat & (kShowDate | kShowTime)) ? f->timeFormat : kShowDate | kShowTime;
        CheckDlgButton(dialog, kFormatShowDate, (parts & kShowDate) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kFormatShowTime, (parts & kShowTime) ? BST_CHECKED : BST_UNCHECKED);
      }
      break;
    case Kind::Time:
      FillList(dialog, kFormatStyle, kStrTimeStyles);
      SendDlgItemMessageA(dialog, kFormatStyle, CB_SETCURSEL, IndexOf(kTimeStyles, f->timeFormat & kTimeStyleBits), 0);
      Hide(dialog, {kFormatWidth, kFormatDecimals, kFormatBlankZero, 311, 312, kFormatFourDigits, kFormatTimeStyle,
                    316, kFormatShowDate, kFormatShowTime});
      MoveTo(dialog, 315, 311);
      MoveTo(dialog, kFormatAlignment, kFormatWidth);
      MoveTo(dialog, kFormatTrim, kFormatShowDate);
      break;
    case Kind::Char:
      SetDlgItemTextA(dialog, kFormatWidth, std::to_string(f->displayWidth).c_str());
      Hide(dialog, {kFormatStyle, 310, kFormatDecimals, 312, kFormatBlankZero, kFormatFourDigits, kFormatTimeStyle,
                    316, kFormatShowDate, kFormatShowTime});
      MoveTo(dialog, 315, 311);
      MoveTo(dialog, kFormatAlignment, kFormatWidth);
      MoveTo(dialog, 311, 310);
      MoveTo(dialog, kFormatWidth, kFormatStyle);
      MoveTo(dialog, kFormatWrap, kFormatShowDate);
      MoveTo(dialog, kFormatTrim, kFormatShowTime);
      break;
    case Kind::Text:
      Hide(dialog, {kFormatStyle, 310, kFormatWidth, 311, kFormatDecimals, 312, kFormatBlankZero, kFormatFourDigits,
                    kFormatTimeStyle, 316, kFormatShowDate, kFormatShowTime});
      MoveTo(dialog, kFormatTrim, kFormatTimeStyle);
      MoveTo(dialog, 315, 310);
      MoveTo(dialog, kFormatAlignment, kFormatStyle);
      break;
  }
}

void Refuse(HWND dialog, State* s, UINT message) {
  if (s->doc) s->doc->ErrorBoxOwner(dialog, LoadResString(message).c_str());
}

int Selected(HWND dialog, int id) {
  const LRESULT v = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  return v < 0 ? -1 : static_cast<int>(v);
}

// Every check first; then the pictures change.
bool Ok(HWND dialog, State* s) {
  const int style = Selected(dialog, kFormatStyle);
  const int alignment = Selected(dialog, kFormatAlignment);
  const UINT wrap = s->kind == Kind::Char ? IsDlgButtonChecked(dialog, kFormatWrap) : BST_UNCHECKED;
  // Only word-wrapped text is justified, and it is never centred.
  if (alignment == kAlignJustify && wrap != BST_CHECKED) return Refuse(dialog, s, kStrBadAlignment), false;
  if (alignment == kAlignCentre && wrap == BST_CHECKED) return Refuse(dialog, s, kStrBadAlignment), false;
  int width = 0, decimals = 0;
  switch (s->kind) {
    case Kind::Numeric:
      if (!ReadNumber(dialog, kFormatWidth, 1, kMaxWidth, &width) ||
          !ReadNumber(dialog, kFormatDecimals, 0, kMaxDecimals, &decimals) || decimals >= width)
        return Refuse(dialog, s, kStrBadWidth), false;
      break;
    case Kind::Char:
      if (!ReadNumber(dialog, kFormatWidth, 1, kMaxWidth, &width)) return Refuse(dialog, s, kStrBadCharWidth), false;
      break;
    case Kind::DateTime:
      if (IsDlgButtonChecked(dialog, kFormatShowDate) != BST_CHECKED &&
          IsDlgButtonChecked(dialog, kFormatShowTime) != BST_CHECKED)
        return Refuse(dialog, s, kStrNoParts), false;
      break;
    default:
      break;
  }

  const std::vector<FieldDef*> none;
  const std::vector<FieldDef*>& fields = s->fields != nullptr ? *s->fields : none;
  switch (s->kind) {
    case Kind::Numeric: {
      const uint32_t code = kNumberStyles[style < 0 ? 0 : style];
      const bool blank = IsDlgButtonChecked(dialog, kFormatBlankZero) == BST_CHECKED;
      for (FieldDef* f : fields) {
        f->formatCode = (f->formatCode & ~(0xFu | kBlankWhenZero)) | code | (blank ? kBlankWhenZero : 0);
        f->displayWidth = static_cast<uint32_t>(width);
        f->displayDecimals = static_cast<uint8_t>(decimals);
        f->head.width = static_cast<uint8_t>(width);
      }
      break;
    }
    case Kind::Date:
    case Kind::DateTime: {
      const uint32_t code = kDateStyles[style < 0 ? 0 : style];
      const bool four = IsDlgButtonChecked(dialog, kFormatFourDigits) == BST_CHECKED;
      for (FieldDef* f : fields) f->formatCode = (f->formatCode & ~(0xF00Fu | 0xF0u)) | code | (four ? kFourDigitYear : 0);
      if (s->kind == Kind::Date) break;
      const int time = Selected(dialog, kFormatTimeStyle);
      const uint32_t parts = (IsDlgButtonChecked(dialog, kFormatShowDate) == BST_CHECKED ? kShowDate : 0) |
                             (IsDlgButtonChecked(dialog, kFormatShowTime) == BST_CHECKED ? kShowTime : 0);
      for (FieldDef* f : fields)
        f->timeFormat = (f->timeFormat & ~(kTimeStyleBits | kShowDate | kShowTime)) | kTimeStyles[time < 0 ? 0 : time] | parts;
      break;
    }
    case Kind::Time:
      for (FieldDef* f : fields) f->timeFormat = (f->timeFormat & ~kTimeStyleBits) | kTimeStyles[style < 0 ? 0 : style];
      break;
    case Kind::Char:
      for (FieldDef* f : fields) {
        f->displayWidth = static_cast<uint32_t>(width);
        f->head.width = static_cast<uint8_t>(width);
        const uint32_t now = (f->formatCode >> 4) & 0xF;
        // A field leaving word wrap starts left-aligned; the alignment follows.
        uint32_t next = now;
        if (wrap == BST_CHECKED) next = kWrapStyle;
        else if (wrap == BST_UNCHECKED && now == kWrapStyle) next = 1;
        f->formatCode = (f->formatCode & ~0xF0u) | (next << 4);
      }
      break;
    case Kind::Text:
      break;
  }
  if (s->choice != nullptr) {
    const UINT trim = IsDlgButtonChecked(dialog, kFormatTrim);
    // A change of word wrap re-applies the alignment: the wrapped fields keep it in another place.
    const bool wrapChanged = s->kind == Kind::Char && wrap != BST_INDETERMINATE;
    s->choice->alignment = alignment != s->shownAlignment || wrapChanged ? alignment : -1;
    s->choice->trim = trim != s->shownTrim ? static_cast<int>(trim) : int{BST_INDETERMINATE};
  }
  return true;
}

INT_PTR FormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Init(dialog, s);
      return TRUE;
    case WM_COMMAND:
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case IDOK:
          if (Ok(dialog, s)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kFormatFont:
          if (s->choice != nullptr && s->choice->chooseFont) s->choice->chooseFont(dialog);
          return TRUE;
        default:
          break;
      }
      break;
  }
  return FALSE;
}

INT_PTR Run(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>* fields, std::vector<ReportItemHead*> items,
            Kind kind, ItemPropertyChoice* choice) {
  if (fields != nullptr)
    for (FieldDef* f : *fields) items.push_back(&f->head);
  if (items.empty()) return IDCANCEL;
  State s;
  s.doc = doc;
  s.fields = fields;
  s.items = std::move(items);
  s.kind = kind;
  s.choice = choice;
  return doc->DoModalDialog(owner, FormatProc, "DFieldFormat", reinterpret_cast<LPARAM>(&s));
}

}  // namespace

INT_PTR ShowNumericFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                   ItemPropertyChoice* choice) {
  return Run(doc, owner, &fields, {}, Kind::Numeric, choice);
}

INT_PTR ShowDateFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice) {
  return Run(doc, owner, &fields, {}, Kind::Date, choice);
}

INT_PTR ShowCharFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice) {
  return Run(doc, owner, &fields, {}, Kind::Char, choice);
}

INT_PTR ShowTimeFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                ItemPropertyChoice* choice) {
  return Run(doc, owner, &fields, {}, Kind::Time, choice);
}

INT_PTR ShowDateTimeFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields,
                                    ItemPropertyChoice* choice) {
  return Run(doc, owner, &fields, {}, Kind::DateTime, choice);
}

INT_PTR ShowTextObjectProperties(KmDocBase* doc, HWND owner, const std::vector<ReportItemHead*>& items,
                                 ItemPropertyChoice* choice) {
  return Run(doc, owner, nullptr, items, Kind::Text, choice);
}
