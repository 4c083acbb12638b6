#include "dialogs/picture_properties_dialog.h"

#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "foundation/measure_spin.h"
#include "platform/win/beep.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <cstdio>

namespace {

enum : int {
  kGroup = 1000, kWidth = 1001, kHeight = 1002, kWidthSpin = 1003, kHeightSpin = 1004, kOriginal = 1005,
  kCurrent = 1006, kZoom = 1008, kCrop = 1009, kStretch = 1010, kFile = 1012, kObjectKind = 1011,
  kObjectType = 1012, kObjectApp = 1013, kHelp = 300
};
constexpr WORD kObjectHelpContext = 1112;
constexpr int kSpinRange = 100;
constexpr UINT kStrInches = 590, kStrCentimetres = 591, kStrMaxInches = 767, kStrMaxCentimetres = 768,
               kStrBadWidth = 625, kStrBadHeight = 629, kStrCropLarger = 782;
constexpr int kMaxInches = 2540, kMaxCentimetres = 6450;  // hundredths

struct Dialog {
  KmDocBase* doc;
  PicturePropertiesParams* p;
};

// The largest size taken, 25.4 inches, in the dialog's unit.
int MostHundredths(const PicturePropertiesParams& p) { return p.metric ? kMaxCentimetres : kMaxInches; }

// Sizes are shown and read with the document's decimal character.
char Decimal(const Dialog& x) { return x.doc->m_cDecimal ? x.doc->m_cDecimal : '.'; }

void ShowSize(const Dialog& x, HWND d, int width, int height) {
  char text[32];
  std::snprintf(text, sizeof text, "%d%c%02d", width / 100, Decimal(x), width % 100);
  SetDlgItemTextA(d, kWidth, text);
  std::snprintf(text, sizeof text, "%d%c%02d", height / 100, Decimal(x), height % 100);
  SetDlgItemTextA(d, kHeight, text);
}

int Scaling(HWND d) {
  if (IsDlgButtonChecked(d, kCrop) == BST_CHECKED) return 1;
  if (IsDlgButtonChecked(d, kStretch) == BST_CHECKED) return 2;
  return 0;
}

std::string Text(HWND d, int id) {
  char text[64] = {};
  GetDlgItemTextA(d, id, text, sizeof text);
  return text;
}

bool Refuse(Dialog& x, HWND d, UINT message, int focus) {
  x.doc->ErrorBoxOwner(d, LoadResString(message).c_str());
  SetFocus(GetDlgItem(d, focus));
  return false;
}

bool Accept(Dialog& x, HWND d) {
  PicturePropertiesParams& p = *x.p;
  const int width = ParsePictureMeasure(Text(d, kWidth), Decimal(x));
  const int height = ParsePictureMeasure(Text(d, kHeight), Decimal(x));
  const int most = MostHundredths(p);
  if (width > most || height > most) return Refuse(x, d, p.metric ? kStrMaxCentimetres : kStrMaxInches, kWidth);
  if (width <= 0) return Refuse(x, d, kStrBadWidth, kWidth);
  if (height <= 0) return Refuse(x, d, kStrBadHeight, kHeight);
  const int scaling = Scaling(d);
  // Crop shows the image at its own scale: it can show less of it, not more.
  if (scaling == 1 && (width > p.naturalWidth || height > p.naturalHeight))
    return Refuse(x, d, kStrCropLarger, kWidth);
  p.width = width;
  p.height = height;
  p.scaling = scaling;
  return true;
}

INT_PTR OnCommand(Dialog& x, HWND d, int id) {
  const PicturePropertiesParams& p = *x.p;
  if (id == kOriginal || id == kCurrent) {
    ShowSize(x, d, id == kOriginal ? p.naturalWidth : p.width, id == kOriginal ? p.naturalHeight : p.height);
  } else if (id == IDOK) {
    if (Accept(x, d)) EndDialog(d, IDOK);
  } else if (id == IDCANCEL) {
    EndDialog(d, IDCANCEL);
  } else if (id == kHelp && p.object) {
    x.doc->ShowDialogHelp(d, kObjectHelpContext);
  } else {
    return FALSE;
  }
  return TRUE;
}

INT_PTR PictureProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* x = reinterpret_cast<Dialog*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      x = reinterpret_cast<Dialog*>(lParam);
      const PicturePropertiesParams& p = *x->p;
      x->doc->CenterDialogOnOwner(d);
      SetDlgItemTextA(d, kGroup, LoadResString(p.metric ? kStrCentimetres : kStrInches).c_str());
      if (p.object) {
        SetDlgItemTextA(d, kObjectKind, p.objectKind.c_str());
        SetDlgItemTextA(d, kObjectType, p.typeName.c_str());
        SetDlgItemTextA(d, kObjectApp, p.appName.c_str());
        // The spins only report a step up or down; the edit holds the value.
        for (int spin : {kWidthSpin, kHeightSpin}) {
          SendDlgItemMessageA(d, spin, UDM_SETRANGE32, static_cast<WPARAM>(-kSpinRange), kSpinRange);
          SendDlgItemMessageA(d, spin, UDM_SETPOS32, 0, 0);
        }
        SubclassMeasureEdit(d, kWidth);
        SubclassMeasureEdit(d, kHeight);
      } else {
        SetDlgItemTextA(d, kFile, p.fileName.c_str());
      }
      SendDlgItemMessageA(d, kWidth, EM_LIMITTEXT, 8, 0);
      SendDlgItemMessageA(d, kHeight, EM_LIMITTEXT, 8, 0);
      ShowSize(*x, d, p.width, p.height);
      CheckDlgButton(d, p.scaling == 1 ? kCrop : p.scaling == 2 ? kStretch : kZoom, BST_CHECKED);
      return TRUE;
    }
    case WM_COMMAND:
      return OnCommand(*x, d, LOWORD(wParam));
    case WM_NOTIFY:
      if (x == nullptr || !x->p->object) return FALSE;
      return StepMeasureSpin(d, lParam, kWidthSpin, kWidth, 0, MostHundredths(*x->p)) ||
             StepMeasureSpin(d, lParam, kHeightSpin, kHeight, 0, MostHundredths(*x->p));
    case WM_DESTROY:
      if (x != nullptr && x->p->object)
        for (int id : {kWidth, kHeight}) UnsubclassMeasureEdit(GetDlgItem(d, id));
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int ParsePictureMeasure(const std::string& text, char decimal) {
  long whole = 0;
  int fraction = 0, places = 0;
  bool digits = false, point = false;
  for (char c : text) {
    if (c == ' ' && !digits && !point) continue;
    if (c == decimal && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (!point) {
        whole = whole * 10 + (c - '0');
        if (whole > 100000) return -1;
      } else if (places < 2) {
        fraction = fraction * 10 + (c - '0');
        ++places;
      }
    } else {
      return -1;
    }
  }
  if (!digits) return -1;
  while (places < 2) {
    fraction *= 10;
    ++places;
  }
  return static_cast<int>(whole * 100 + fraction);
}

int RunPicturePropertiesDialog(KmDocBase& doc, PicturePropertiesParams* params) {
  Dialog x{&doc, params};
  return static_cast<int>(doc.DoModalDialog(doc.GetOwnerWindow(), PictureProc, params->object ? "7000" : "DIMGMOD",
                                            reinterpret_cast<LPARAM>(&x)));
}
