#include "dialogs/picture_properties_dialog.h"

#include "foundation/doc_base.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <cstdio>

namespace {

enum : int {
  kGroup = 1000, kWidth = 1001, kHeight = 1002, kOriginal = 1005, kCurrent = 1006, kZoom = 1008, kCrop = 1009,
  kStretch = 1010, kFile = 1012, kObjectKind = 1011, kObjectType = 1012, kObjectApp = 1013
};
constexpr UINT kStrInches = 590, kStrCentimetres = 591, kStrMaxInches = 767, kStrMaxCentimetres = 768,
               kStrBadWidth = 4629, kStrBadHeight = 629, kStrCropLarger = 782;
constexpr int kMaxInches = 2540, kMaxCentimetres = 6450;  // hundredths

struct Dialog {
  KmDocBase* doc;
  PicturePropertiesParams* p;
};

void ShowSize(HWND d, int width, int height) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%02d", width / 100, width % 100);
  SetDlgItemTextA(d, kWidth, text);
  std::snprintf(text, sizeof text, "%d.%02d", height / 100, height % 100);
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
  const int width = ParsePictureMeasure(Text(d, kWidth), '.');
  const int height = ParsePictureMeasure(Text(d, kHeight), '.');
  const int most = p.metric ? kMaxCentimetres : kMaxInches;
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
    ShowSize(d, id == kOriginal ? p.naturalWidth : p.width, id == kOriginal ? p.naturalHeight : p.height);
  } else if (id == IDOK) {
    if (Accept(x, d)) EndDialog(d, IDOK);
  } else if (id == IDCANCEL) {
    EndDialog(d, IDCANCEL);
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
      } else {
        SetDlgItemTextA(d, kFile, p.fileName.c_str());
      }
      SendDlgItemMessageA(d, kWidth, EM_LIMITTEXT, 8, 0);
      SendDlgItemMessageA(d, kHeight, EM_LIMITTEXT, 8, 0);
      ShowSize(d, p.width, p.height);
      CheckDlgButton(d, p.scaling == 1 ? kCrop : p.scaling == 2 ? kStretch : kZoom, BST_CHECKED);
      return TRUE;
    }
    case WM_COMMAND:
      return OnCommand(*x, d, LOWORD(wParam));
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
