#include "dialogs/band_line_dialogs.h"

#include "core/composite.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum : int {
  kCount = 200, kAbove = 210, kBelow = 211, kSelectBand = 212, kBandList = 220, kNewPage = 230,
  kLineNumber = 240, kBandName = 241, kAutomatic = 250, kFreeform = 251, kInches = 252, kPoints = 253,
  kHeight = 254, kFieldList = 260, kPrintTrue = 270, kPrintFalse = 271, kFileName = 200
};
constexpr UINT kNoneEntry = 48;        // " (None)"
constexpr UINT kInvalidHeight = 629;   // "Invalid line height"
constexpr UINT kSelectField = 631;     // "You must select a field name"
constexpr UINT kMultiple = 4625, kMixed = 4626, kCentimetres = 4627;

struct PlacementParams {
  KmDocBase* doc;
  const LayoutTables* t;
  CreateLinesRequest* r;
  bool withCount;  // Create Band Lines; Paste has no count and no new-page line
  DocBandLineDialogs* owner;
};

std::string BandName(KmDocBase& doc, BYTE band) {
  char name[80] = {};
  CKmComposite* m = doc.m_pModel;
  GetBandName(name, sizeof name, band, [m](int level) -> const char* {
    if (m == nullptr || level < 0 || level > 7) return nullptr;
    FieldDef* f = m->GetFieldAt(m->groupFields[level]);
    return f ? f->name : nullptr;
  });
  return name;
}

void CheckOneOf(HWND d, int first, int last, int on) {
  for (int id = first; id <= last; ++id) CheckDlgButton(d, id, id == on ? BST_CHECKED : BST_UNCHECKED);
}

bool CurrentLineUsed(const LayoutTables& t) {
  return t.currentLine >= 0 && t.currentLine < kBandLineCount && t.bandRecords[t.currentLine].kind != kBandFree;
}

void FillBands(HWND d, KmDocBase& doc, BYTE chosen) {
  HWND list = GetDlgItem(d, kBandList);
  for (int i = 0; i < kPlacementBandCount; ++i) {
    const BYTE band = kPlacementBands[i];
    // Group bands only for groups the report has.
    if (band != kBandTitle && band != kBandSummary && band != kBandPageHeader && band != kBandPageFooter &&
        band != kBandRecord) {
      const int level = band % 10;
      if (doc.m_pModel == nullptr || doc.m_pModel->GetFieldAt(doc.m_pModel->groupFields[level]) == nullptr) continue;
    }
    const LRESULT at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(BandName(doc, band).c_str()));
    SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(at), band);
    if (band == chosen) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
  if (SendMessageA(list, CB_GETCURSEL, 0, 0) == CB_ERR) SendMessageA(list, CB_SETCURSEL, 0, 0);
}

void EnableBandList(HWND d) {
  EnableWindow(GetDlgItem(d, kBandList), IsDlgButtonChecked(d, kSelectBand) == BST_CHECKED);
}

INT_PTR PlacementProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<PlacementParams*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      p = reinterpret_cast<PlacementParams*>(lParam);
      p->doc->CenterDialogOnOwner(d);
      const bool onLine = CurrentLineUsed(*p->t);
      EnableWindow(GetDlgItem(d, kAbove), onLine);
      EnableWindow(GetDlgItem(d, kBelow), onLine);
      CheckOneOf(d, kAbove, kSelectBand, onLine ? kAbove : kSelectBand);
      FillBands(d, *p->doc, RequestBand(*p->t, *p->r));
      EnableBandList(d);
      if (p->withCount) {
        SetDlgItemTextA(d, kCount, "1");
        SendDlgItemMessageA(d, kCount, EM_LIMITTEXT, 3, 0);
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kAbove: case kBelow: case kSelectBand: EnableBandList(d); return TRUE;
        case IDOK: {
          CreateLinesRequest r = *p->r;
          r.placement = IsDlgButtonChecked(d, kAbove) == BST_CHECKED   ? LinePlacement::Above
                        : IsDlgButtonChecked(d, kBelow) == BST_CHECKED ? LinePlacement::Below
                                                                       : LinePlacement::Band;
          const LRESULT at = SendDlgItemMessageA(d, kBandList, CB_GETCURSEL, 0, 0);
          if (at != CB_ERR) r.band = static_cast<BYTE>(SendDlgItemMessageA(d, kBandList, CB_GETITEMDATA, static_cast<WPARAM>(at), 0));
          if (p->withCount) {
            char text[16] = {};
            GetDlgItemTextA(d, kCount, text, sizeof text);
            char* end = nullptr;
            const long n = std::strtol(text, &end, 10);
            r.count = (end == text || *end != 0 || n <= 0 || n > 999) ? 0 : static_cast<int>(n);
            r.newPage = IsDlgButtonChecked(d, kNewPage) == BST_CHECKED;
            const CreateLinesError e = CheckCreateLines(*p->t, r, p->owner->IsPageOrGroupBand(RequestBand(*p->t, r)));
            if (e != kCreateLinesOk) {
              p->doc->ShowErrorId(e, nullptr);
              return TRUE;
            }
          }
          *p->r = r;
          EndDialog(d, IDOK);
          return TRUE;
        }
        case IDCANCEL: EndDialog(d, IDCANCEL); return TRUE;
      }
      break;
  }
  return FALSE;
}

struct PropertiesParams {
  KmDocBase* doc;
  const LayoutTables* t;
  LinePropertiesRequest* r;
  DocBandLineDialogs* owner;
  int marked;
  BYTE modelBand;
};

bool Metric(const KmDocBase& doc) { return doc.m_measure == 0; }

void ShowHeight(HWND d, const PropertiesParams& p, BYTE mode, uint32_t height) {
  char text[16] = {};
  if (mode == kHeightPoints)
    FormatScaledInt(static_cast<WORD>(height), text, sizeof text, 1, '.');
  else if (mode == kHeightMeasure)
    FormatScaledInt(static_cast<WORD>(height), text, sizeof text, 2, '.');
  SetDlgItemTextA(d, kHeight, text);
  (void)p;
}

void EnableFreeform(HWND d) {
  const bool free = IsDlgButtonChecked(d, kFreeform) == BST_CHECKED;
  for (int id : {kInches, kPoints, kHeight}) EnableWindow(GetDlgItem(d, id), free);
}
// A line turned freeform starts from the height it has now, in the unit
// chosen, rather than from an empty box OK would refuse.
void OfferCurrentHeight(HWND d, const PropertiesParams& p) {
  if (IsDlgButtonChecked(d, kFreeform) != BST_CHECKED || GetWindowTextLengthA(GetDlgItem(d, kHeight)) > 0) return;
  const LayoutTables& t = *p.t;
  const BYTE mode = IsDlgButtonChecked(d, kPoints) == BST_CHECKED ? kHeightPoints : kHeightMeasure;
  ShowHeight(d, p, mode, PixelsToDisplayUnits(t.metrics, mode, t.bandRecords[FirstMarkedLine(t)].pixelHeight));
}
void EnablePrintWhen(HWND d) {
  const bool field = SendDlgItemMessageA(d, kFieldList, CB_GETCURSEL, 0, 0) > 0;
  EnableWindow(GetDlgItem(d, kPrintTrue), field);
  EnableWindow(GetDlgItem(d, kPrintFalse), field);
}

INT_PTR PropertiesProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<PropertiesParams*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      p = reinterpret_cast<PropertiesParams*>(lParam);
      p->doc->CenterDialogOnOwner(d);
      const LayoutTables& t = *p->t;
      char number[16];
      std::snprintf(number, sizeof number, "%d", t.currentLine + 1);
      SetDlgItemTextA(d, kLineNumber, p->marked > 1 ? LoadResString(kMultiple).c_str() : number);
      bool mixed = false;
      for (int i = 0; i < kBandLineCount; ++i)
        if (t.bandRecords[i].kind != kBandFree && (t.bandRecords[i].flags & kLineMarked) &&
            t.bandRecords[i].kind != p->modelBand)
          mixed = true;
      SetDlgItemTextA(d, kBandName, mixed ? LoadResString(kMixed).c_str() : BandName(*p->doc, p->modelBand).c_str());
      if (Metric(*p->doc)) SetDlgItemTextA(d, kInches, LoadResString(kCentimetres).c_str());
      CheckDlgButton(d, kNewPage, p->r->newPage ? BST_CHECKED : BST_UNCHECKED);
      EnableWindow(GetDlgItem(d, kNewPage), p->marked == 1);
      CheckOneOf(d, kAutomatic, kFreeform, p->r->heightMode == kHeightAutomatic ? kAutomatic : kFreeform);
      CheckOneOf(d, kInches, kPoints, p->r->heightMode == kHeightPoints ? kPoints : kInches);
      ShowHeight(d, *p, p->r->heightMode, p->r->height);
      HWND list = GetDlgItem(d, kFieldList);
      SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(kNoneEntry).c_str()));
      SendMessageA(list, CB_SETITEMDATA, 0, static_cast<LPARAM>(-1));
      SendMessageA(list, CB_SETCURSEL, 0, 0);
      if (CKmComposite* m = p->doc->m_pModel)
        for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
          if (!(f->flags & kFieldLogical) || (f->flags & kFieldAlias)) continue;
          const LRESULT at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f->name));
          const int32_t id = static_cast<int32_t>(m->GetFieldIndex(f));
          SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(at), id);
          if (id == p->r->objectId) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        }
      CheckOneOf(d, kPrintTrue, kPrintFalse, p->r->printWhenFalse ? kPrintFalse : kPrintTrue);
      EnableFreeform(d);
      EnablePrintWhen(d);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kAutomatic: case kFreeform:
          EnableFreeform(d);
          OfferCurrentHeight(d, *p);
          return TRUE;
        case kFieldList: EnablePrintWhen(d); return TRUE;
        case IDOK: {
          LinePropertiesRequest r = *p->r;
          r.heightMode = kHeightAutomatic;
          r.height = 0;
          if (IsDlgButtonChecked(d, kFreeform) == BST_CHECKED) {
            const bool points = IsDlgButtonChecked(d, kPoints) == BST_CHECKED;
            char text[16] = {};
            GetDlgItemTextA(d, kHeight, text, sizeof text);
            WORD v = 0;
            const int rc = strToInt(text, &v, points ? 1 : 2, '.');
            // strToInt refuses what a WORD cannot hold.
            if (rc < 0 || v == 0) {
              p->doc->ShowErrorId(kInvalidHeight, nullptr);
              SetFocus(GetDlgItem(d, kHeight));
              SendDlgItemMessageA(d, kHeight, EM_SETSEL, 0, -1);
              return TRUE;
            }
            r.heightMode = points ? kHeightPoints : kHeightMeasure;
            r.height = v;
          }
          const LRESULT at = SendDlgItemMessageA(d, kFieldList, CB_GETCURSEL, 0, 0);
          if (at == CB_ERR) {
            p->doc->ShowErrorId(kSelectField, nullptr);
            return TRUE;
          }
          r.objectId = static_cast<int32_t>(SendDlgItemMessageA(d, kFieldList, CB_GETITEMDATA, static_cast<WPARAM>(at), 0));
          r.printWhenFalse = r.objectId != -1 && IsDlgButtonChecked(d, kPrintFalse) == BST_CHECKED;
          r.newPage = IsDlgButtonChecked(d, kNewPage) == BST_CHECKED;
          if (p->marked == 1 && r.newPage && p->owner->IsPageOrGroupBand(p->modelBand)) {
            p->doc->ShowErrorId(kNewPageInPageBand, nullptr);
            return TRUE;
          }
          *p->r = r;
          EndDialog(d, IDOK);
          return TRUE;
        }
        case IDCANCEL: EndDialog(d, IDCANCEL); return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool DocBandLineDialogs::RunCreateLines(const LayoutTables& t, CreateLinesRequest* r) {
  PlacementParams p{&doc_, &t, r, true, this};
  return doc_.DoModalDialog(doc_.GetOwnerWindow(), PlacementProc, "DLCreate", reinterpret_cast<LPARAM>(&p)) == IDOK;
}

bool DocBandLineDialogs::RunPasteLines(const LayoutTables& t, CreateLinesRequest* r) {
  PlacementParams p{&doc_, &t, r, false, this};
  return doc_.DoModalDialog(doc_.GetOwnerWindow(), PlacementProc, "DPaste", reinterpret_cast<LPARAM>(&p)) == IDOK;
}

bool DocBandLineDialogs::RunLineProperties(const LayoutTables& t, LinePropertiesRequest* r) {
  const int marked = CountMarkedLines(t, nullptr, nullptr);
  PropertiesParams p{&doc_, &t, r, this, marked, t.bandRecords[FirstMarkedLine(t)].kind};
  return doc_.DoModalDialog(doc_.GetOwnerWindow(), PropertiesProc, "DLEdit", reinterpret_cast<LPARAM>(&p)) == IDOK;
}

bool DocBandLineDialogs::IsPageOrGroupBand(BYTE band) {
  CKmComposite* m = doc_.m_pModel;
  return ::IsPageOrGroupBand(band, [m](int level, unsigned mask) {
    return m != nullptr && level >= 0 && level < 8 && (m->groupFlags[level] & mask) != 0;
  });
}

void DocBandLineDialogs::ErrorBeep() { MessageBeep(0); }

