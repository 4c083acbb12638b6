#include "app/record_layout_dialog.h"

#include "app/document.h"
#include "app/label_stocks.h"
#include "foundation/measure_spin.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/field_list_box.h"
#include "files/report_io.h"
#include "foundation/dialog_runner.h"
#include "foundation/text_helpers.h"
#include "layout/page_metrics.h"
#include "layout/page_setup.h"
#include "model/field_checks.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

enum : int {
  kColumns = 203, kColumnsSpin = 204, kWidth = 205, kWidthSpin = 206, kHeightSpin = 208, kCopiesSpin = 219, kHeight = 207, kCopiesField = 209, kCompress = 210, kSuppress = 211,
  kHeadFoot = 213, kBreakArea = 214, kDimensions = 215, kCopiesNumber = 216, kCopiesByField = 217,
  kCopies = 218, kLabelType = 220, kAcross = 221, kDown = 222, kHelp = 300
};
constexpr WORD kHelpContext = 1028;
constexpr char kBadNumber[] = "Invalid numeric value or value out of range";

struct RecordLayoutState {
  CKmDoc* doc = nullptr;
  int unit = 1;
};

RecordLayoutState* StateOf(HWND dialog) {
  return reinterpret_cast<RecordLayoutState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string ItemText(HWND dialog, int id, int limit = 260) {
  std::string buf(static_cast<size_t>(limit) + 1, '\0');
  GetDlgItemTextA(dialog, id, buf.data(), limit + 1);
  return buf.c_str();
}

void SetTwoDecimals(HWND dialog, int id, int32_t value, char decimal) {
  char text[16];
  FormatScaledInt(static_cast<WORD>(value < 0 ? 0 : value > 0xFFFF ? 0xFFFF : value), text, sizeof text, 2, decimal);
  SetDlgItemTextA(dialog, id, text);
}

// The columns, width and height with their spins.
void EnableSizeFields(HWND dialog, bool enable) {
  for (int id = kColumns; id <= kHeightSpin; ++id) EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

bool IsCopiesCandidate(const FieldDef* f, void*) { return IsPlainTextObject(f); }

// The field whose value gives each record's copies (the model keeps it, so
// that it follows the fields as they are deleted): its position, or -1 for
// the fixed number.
int32_t CopiesField(const CKmDoc& doc) {
  const uint32_t n = doc.m_pModel != nullptr ? doc.m_pModel->recordRepeatField : kNoField;
  return n == kNoField ? -1 : static_cast<int32_t>(n);
}
void SetCopiesField(CKmDoc& doc, int32_t position) {
  if (doc.m_pModel != nullptr) doc.m_pModel->recordRepeatField = position < 0 ? kNoField : static_cast<uint32_t>(position);
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.settings.recordCopiesField = position;
}

void FillCopiesFields(HWND dialog, CKmDoc& doc, int32_t selected) {
  const CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return;
  const FieldDef* sel = selected >= 0 ? m->GetFieldAt(static_cast<uint32_t>(selected)) : nullptr;
  FillFieldListBox(dialog, kCopiesField, m, sel ? sel->name : nullptr, IsCopiesCandidate, nullptr);
}

void FillLabelTypeCombo(HWND dialog, RecordLayoutState& s) {
  SendDlgItemMessageA(dialog, kLabelType, CB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, kLabelType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("User-defined"));
  const std::vector<std::string> keys = ReadLabelStockKeys(LabelsIniPath());
  if (keys.empty() && !s.doc->m_bLabelFileWarned) {
    s.doc->m_bLabelFileWarned = TRUE;
    s.doc->WarningBoxOwner(dialog, "Unable to read KMLABELS.INI");
  }
  for (const std::string& k : keys)
    SendDlgItemMessageA(dialog, kLabelType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(k.c_str()));
  const std::string stock = ReportLabelStock(*s.doc);
  if (stock.empty()) {
    SendDlgItemMessageA(dialog, kLabelType, CB_SETCURSEL, 0, 0);
    return;
  }
  // The first entry that begins with the stored key, ignoring case.
  const LRESULT n = SendDlgItemMessageA(dialog, kLabelType, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 1; i < n; ++i) {
    const std::string& k = keys[static_cast<size_t>(i - 1)];
    if (k.size() >= stock.size() && strncasecmp(k.c_str(), stock.c_str(), stock.size()) == 0) {
      SendDlgItemMessageA(dialog, kLabelType, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  SendDlgItemMessageA(dialog, kLabelType, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void OnInit(HWND dialog, RecordLayoutState& s) {
  CKmDoc& doc = *s.doc;
  const PageSetupRec& ps = *doc.m_pPageSetup;
  doc.CenterDialogOnOwner(dialog);
  s.unit = doc.m_measure;
  SendDlgItemMessageA(dialog, kColumns, EM_LIMITTEXT, 3, 0);
  SetDlgItemTextA(dialog, kDimensions, s.unit == 1 ? "Dimensions (Inches)" : "Dimensions (Centimeters)");
  SetDlgItemInt(dialog, kColumns, static_cast<UINT>(LabelColumns(ps)), FALSE);
  FillLabelTypeCombo(dialog, s);
  SetTwoDecimals(dialog, kWidth, ps.RecordWidth, doc.m_cDecimal);
  SetTwoDecimals(dialog, kHeight, ps.RecordHeight, doc.m_cDecimal);
  if (!ReportLabelStock(doc).empty()) EnableSizeFields(dialog, false);
  CheckDlgButton(dialog, ps.DownOrder == 1 ? kDown : kAcross, BST_CHECKED);
  const int32_t copiesField = CopiesField(doc);
  if (copiesField == -1) {
    CheckDlgButton(dialog, kCopiesNumber, BST_CHECKED);
    SetDlgItemInt(dialog, kCopies, static_cast<UINT>(ps.RecordCopies > 0 ? ps.RecordCopies : 1), FALSE);
    EnableWindow(GetDlgItem(dialog, kCopiesField), FALSE);
  } else {
    CheckDlgButton(dialog, kCopiesByField, BST_CHECKED);
    FillCopiesFields(dialog, doc, copiesField);
    EnableWindow(GetDlgItem(dialog, kCopies), FALSE);
  }
  SubclassFieldList(GetDlgItem(dialog, kCopiesField));
  CheckDlgButton(dialog, kCompress, CompressLinesShown(ps) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kSuppress, SuppressRecordLinesShown(ps) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kHeadFoot, HeadFootInSummaryShown(ps) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kBreakArea, BreakRecordAreaShown(ps) ? BST_CHECKED : BST_UNCHECKED);
  for (int id : {kColumns, kCopies, kWidth, kHeight}) SubclassMeasureEdit(dialog, id);
  SendDlgItemMessageA(dialog, kColumnsSpin, UDM_SETRANGE32, 1, 999);
  SendDlgItemMessageA(dialog, kColumnsSpin, UDM_SETPOS32, 0, LabelColumns(ps));
  SendDlgItemMessageA(dialog, kCopiesSpin, UDM_SETRANGE32, 1, 999);
  // The copies spin starts at the stored count even while a field is chosen
  // (the edit is then empty).
  SendDlgItemMessageA(dialog, kCopiesSpin, UDM_SETBUDDY, 0, 0);
  SendDlgItemMessageA(dialog, kCopiesSpin, UDM_SETPOS32, 0, ps.RecordCopies > 0 ? ps.RecordCopies : 1);
  SendDlgItemMessageA(dialog, kCopiesSpin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, kCopies)), 0);
  for (int id : {kWidthSpin, kHeightSpin}) {
    SendDlgItemMessageA(dialog, id, UDM_SETRANGE32, static_cast<WPARAM>(-100), 100);
    SendDlgItemMessageA(dialog, id, UDM_SETPOS32, 0, 0);
  }
}

void OnLabelTypeChange(HWND dialog, RecordLayoutState& s) {
  const LRESULT sel = SendDlgItemMessageA(dialog, kLabelType, CB_GETCURSEL, 0, 0);
  if (sel < 0) return;
  if (sel == 0) {
    EnableSizeFields(dialog, true);
    s.doc->SetStatusText("");
    return;
  }
  char buf[64] = {};
  SendDlgItemMessageA(dialog, kLabelType, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(buf));
  LabelStockDef d;
  if (!ReadLabelDefinition(LabelsIniPath(), buf, &d)) return;
  s.doc->SetStatusText(FormatLabelDescription(d, s.doc->m_cDecimal).c_str());
  CheckDlgButton(dialog, kAcross, BST_CHECKED);
  CheckDlgButton(dialog, kDown, BST_UNCHECKED);
  ConvertLabelStockUnits(&d, s.unit);
  SetDlgItemInt(dialog, kColumns, d.CountAcross, FALSE);
  SetTwoDecimals(dialog, kWidth, d.HorizontalPitch, s.doc->m_cDecimal);
  SetTwoDecimals(dialog, kHeight, d.VerticalPitch, s.doc->m_cDecimal);
  EnableSizeFields(dialog, false);
  s.doc->SetStatusText("");
}

void Refuse(HWND dialog, CKmDoc& doc, int id, const char* text) {
  doc.ErrorBoxOwner(dialog, text);
  SetFocus(GetDlgItem(dialog, id));
}

// A two-decimal measure of at most 5 characters; -1 when it does not parse.
long ReadMeasure(HWND dialog, int id, char decimal) {
  std::string t = ItemText(dialog, id, 5);
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  WORD v = 0;
  if (strToInt(t.c_str() + i, &v, 2, decimal) < 0) return -1;
  return v;
}

// Every check runs before anything is stored, so a refused OK changes nothing.
bool OnOk(HWND dialog, RecordLayoutState& s) {
  CKmDoc& doc = *s.doc;
  PageSetupRec& ps = *doc.m_pPageSetup;
  const LRESULT sel = SendDlgItemMessageA(dialog, kLabelType, CB_GETCURSEL, 0, 0);
  const bool userDefined = sel <= 0;
  const bool down = IsDlgButtonChecked(dialog, kAcross) != BST_CHECKED;
  UINT columns = 0;
  long width = 0, height = 0;
  if (userDefined) {
    BOOL ok = FALSE;
    columns = GetDlgItemInt(dialog, kColumns, &ok, FALSE);
    if (!ok || columns == 0) return Refuse(dialog, doc, kColumns, kBadNumber), false;
    width = ReadMeasure(dialog, kWidth, doc.m_cDecimal);
    if (width <= 0) return Refuse(dialog, doc, kWidth, kBadNumber), false;
    if (width > 9999)
      return Refuse(dialog, doc, kWidth,
                    s.unit == 1 ? "Maximum record width is 99.99 inches" : "Maximum record width is 99.99 centimeters"),
             false;
    height = ReadMeasure(dialog, kHeight, doc.m_cDecimal);
    if (height < 0) return Refuse(dialog, doc, kHeight, kBadNumber), false;
    if (height > 9999)
      return Refuse(dialog, doc, kHeight,
                    s.unit == 1 ? "Maximum record height is 99.99 inches"
                                : "Maximum record height is 99.99 centimeters"),
             false;
  }
  int32_t copiesField = -1;
  UINT copies = 0;
  if (IsDlgButtonChecked(dialog, kCopiesNumber) != BST_CHECKED) {
    FieldDef* f = GetListedField(dialog, kCopiesField, -1);
    if (f == nullptr || doc.m_pModel == nullptr)
      return Refuse(dialog, doc, kCopiesField, "Record copies: Invalid field name or numeric value"), false;
    copiesField = static_cast<int32_t>(doc.m_pModel->GetFieldIndex(f));
  } else {
    BOOL ok = FALSE;
    copies = GetDlgItemInt(dialog, kCopies, &ok, FALSE);
    if (!ok || copies == 0) return Refuse(dialog, doc, kCopies, kBadNumber), false;
  }
  if (userDefined) {
    SetReportLabelStock(doc, std::string());
    SetLabelArrangement(ps, static_cast<int>(columns), down);
    ps.RecordWidth = static_cast<int32_t>(width);
    ps.RecordHeight = static_cast<int32_t>(height);
  } else {
    char key[64] = {};
    SendDlgItemMessageA(dialog, kLabelType, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(key));
    SetReportLabelStock(doc, key);
    ApplyLabelStock(doc, key, down);
  }
  SetCopiesField(doc, copiesField);
  if (copiesField == -1) ps.RecordCopies = static_cast<int32_t>(copies);
  ps.NoCompressLines = IsDlgButtonChecked(dialog, kCompress) == BST_CHECKED ? 0 : 1;
  ps.NoHeadFootInSummary = IsDlgButtonChecked(dialog, kHeadFoot) == BST_CHECKED ? 0 : 1;
  ps.NoSuppressRecordLines = IsDlgButtonChecked(dialog, kSuppress) == BST_CHECKED ? 0 : 1;
  ps.NoBreakRecordArea = IsDlgButtonChecked(dialog, kBreakArea) == BST_CHECKED ? 0 : 1;
  CalcPageMetrics(doc);
  return true;
}

void OnCopiesNumber(HWND dialog, CKmDoc& doc) {
  EnableWindow(GetDlgItem(dialog, kCopies), TRUE);
  const int32_t n = doc.m_pPageSetup->RecordCopies;
  SetDlgItemInt(dialog, kCopies, static_cast<UINT>(n > 0 ? n : 1), FALSE);
  SendDlgItemMessageA(dialog, kCopiesField, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EnableWindow(GetDlgItem(dialog, kCopiesField), FALSE);
  SetFocus(GetDlgItem(dialog, kCopies));
  SendDlgItemMessageA(dialog, kCopies, EM_SETSEL, 0, -1);
}

void OnCopiesByField(HWND dialog, CKmDoc& doc) {
  EnableWindow(GetDlgItem(dialog, kCopiesField), TRUE);
  FillCopiesFields(dialog, doc, CopiesField(doc));
  SetDlgItemTextA(dialog, kCopies, "");
  EnableWindow(GetDlgItem(dialog, kCopies), FALSE);
  SetFocus(GetDlgItem(dialog, kCopiesField));
}

}  // namespace

INT_PTR RecordLayoutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  RecordLayoutState* s = StateOf(dialog);
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      OnInit(dialog, *reinterpret_cast<RecordLayoutState*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case kLabelType:
          if (HIWORD(wParam) == CBN_SELCHANGE) OnLabelTypeChange(dialog, *s);
          return TRUE;
        case kCopiesNumber:
          if (HIWORD(wParam) == BN_CLICKED) OnCopiesNumber(dialog, *s->doc);
          return TRUE;
        case kCopiesByField:
          if (HIWORD(wParam) == BN_CLICKED) OnCopiesByField(dialog, *s->doc);
          return TRUE;
        case IDOK:
          if (OnOk(dialog, *s)) EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, kHelpContext);
          return TRUE;
      }
      break;
    case WM_NOTIFY:
      if (s == nullptr) break;
      if (StepMeasureSpin(dialog, lParam, kWidthSpin, kWidth, 10, 9999) ||
          StepMeasureSpin(dialog, lParam, kHeightSpin, kHeight, 0, 9999))
        return TRUE;
      break;
    case WM_DESTROY:
      for (int id : {kColumns, kCopies, kWidth, kHeight}) UnsubclassMeasureEdit(GetDlgItem(dialog, id));
      break;
  }
  return FALSE;
}

INT_PTR EditRecordLayout(CKmDoc& doc) {
  if (doc.m_pPageSetup == nullptr) return 0;
  const PageSetupRec before = *doc.m_pPageSetup;
  const int32_t copiesBefore = CopiesField(doc);
  const std::string stockBefore = ReportLabelStock(doc);
  const SHORT paperBefore = GetPrintRunContext().printer.paperCode;
  RecordLayoutState s;
  s.doc = &doc;
  const INT_PTR result =
      doc.DoModalDialog(doc.GetOwnerWindow(), RecordLayoutDlgProc, "DRecOpts", reinterpret_cast<LPARAM>(&s));
  const int32_t copiesAfter = CopiesField(doc);
  if (result == 1) {
    if (!PageSetupEqual(before, *doc.m_pPageSetup) || copiesAfter != copiesBefore ||
        ReportLabelStock(doc) != stockBefore)
      doc.SetModifiedFlag(TRUE);
  } else {
    *doc.m_pPageSetup = before;
    SetCopiesField(doc, copiesBefore);
    SetReportLabelStock(doc, stockBefore);
    GetPrintRunContext().printer.paperCode = paperBefore;
  }
  return result;
}
