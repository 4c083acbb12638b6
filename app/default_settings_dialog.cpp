#include "app/default_settings_dialog.h"

#include "app/document.h"
#include "app/file_dialogs.h"
#include "app/folder_browse.h"
#include "app/measure_spin.h"
#include "dialogs/chart_sheet.h"
#include "foundation/dialog_runner.h"
#include "layout/page_metrics.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "foundation/message_dialog.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/profile.h"


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr char kDefaults[] = "Defaults";
constexpr char kIniWriteError[] = "Error writing to program initialization file";
constexpr char kBadNumber[] = "Invalid numeric value or value out of range";
constexpr size_t kMaxPapers = 68;

enum : int {
  kPaper = 200, kTop = 201, kBottom = 203, kLeft = 205, kRight = 207, kMarginsGroup = 209, kUserSize = 210,
  kHorzPitch = 211, kTrue = 215, kFalse = 216, kFont = 217, kPts = 218, kVertPitch = 220, kSnap = 222,
  kColor = 223, kHelp = 300, kHorzSpin = 212, kVertSpin = 221
};
// The spin beside each margin edit is the edit's id + 1.
constexpr WORD kDefaultsHelp = 1016;
constexpr int kMarginIds[] = {kTop, kBottom, kLeft, kRight};

const char* const kColorNames[kColorCount] = {"Black", "Maroon", "Green",  "Olive",   "Navy", "Purple",
                                              "Teal",  "Gray",   "Silver", "Red",     "Lime", "Yellow",
                                              "Blue",  "Fuchsia", "Aqua",  "White"};

struct DefaultsState {
  CKmDoc* doc = nullptr;
  int unit = 1;
  std::vector<PrinterPaper> papers;  // the paper list the combo shows
};

std::string ItemText(HWND dialog, int id, int limit) {
  std::string buf(static_cast<size_t>(limit) + 1, '\0');
  GetDlgItemTextA(dialog, id, buf.data(), limit + 1);
  return buf.c_str();
}

void SetScaled(HWND dialog, int id, unsigned value, unsigned decimals, char decimal) {
  char text[16];
  FormatScaledInt(static_cast<WORD>(value > 0xFFFF ? 0xFFFF : value), text, sizeof text, decimals, decimal);
  SetDlgItemTextA(dialog, id, text);
}

// A scaled number of at most 5 characters; -1 when it does not parse.
long ReadScaled(HWND dialog, int id, int decimals, char decimal) {
  const std::string t = ItemText(dialog, id, 5);
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  if (i == t.size()) return -1;
  WORD v = 0;
  if (strToInt(t.c_str() + i, &v, decimals, decimal) < 0) return -1;
  return v;
}

void Refuse(HWND dialog, CKmDoc& doc, int id, const char* text) {
  doc.ErrorBoxOwner(dialog, text);
  SetFocus(GetDlgItem(dialog, id));
}

void ShowUserPaperSize(HWND dialog, DefaultsState& s) {
  const LRESULT sel = SendDlgItemMessageA(dialog, kPaper, CB_GETCURSEL, 0, 0);
  std::string text;
  if (sel >= 0 && static_cast<size_t>(sel) < s.papers.size())
    text = UserPaperSizeText(s.papers[static_cast<size_t>(sel)], s.unit, s.doc->m_cDecimal);
  SetDlgItemTextA(dialog, kUserSize, text.c_str());
}

void OnInit(HWND dialog, DefaultsState& s) {
  CKmDoc& doc = *s.doc;
  const DocSettings& set = doc.m_settings;
  doc.CenterDialogOnOwner(dialog);
  SendDlgItemMessageA(dialog, kUserSize, WM_SETFONT, reinterpret_cast<WPARAM>(GetAnsiVarFont()), 0);
  SendDlgItemMessageA(dialog, kFont, CB_LIMITTEXT, 32, 0);
  SendDlgItemMessageA(dialog, kTrue, CB_LIMITTEXT, 15, 0);
  SendDlgItemMessageA(dialog, kFalse, CB_LIMITTEXT, 15, 0);
  for (int id : kMarginIds) SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 5, 0);
  s.unit = doc.m_measure;
  if (doc.m_szPrinterDevice[0] == '\0') {
    EnableWindow(GetDlgItem(dialog, kPaper), FALSE);
  } else {
    s.papers = FillPaperSizeCombo(doc, dialog, kPaper);
    if (!s.papers.empty()) {
      SendDlgItemMessageA(dialog, kPaper, CB_SETCURSEL, static_cast<WPARAM>(FindPaperIndex(s.papers, set.pgLM)), 0);
      ShowUserPaperSize(dialog, s);
    }
  }
  SetDlgItemTextA(dialog, kMarginsGroup, s.unit == 1 ? "Margins (Inches)" : "Margins (Centimeters)");
  SetScaled(dialog, kTop, set.topM, 2, doc.m_cDecimal);
  SetScaled(dialog, kBottom, set.botM, 2, doc.m_cDecimal);
  SetScaled(dialog, kLeft, set.leftM, 2, doc.m_cDecimal);
  SetScaled(dialog, kRight, set.rightM, 2, doc.m_cDecimal);
  SetDlgItemInt(dialog, kHorzPitch, set.rulPit, FALSE);
  SetDlgItemInt(dialog, kVertPitch, set.vRulPit, FALSE);
  SetScaled(dialog, kPts, set.pts ? set.pts : 120, 1, doc.m_cDecimal);
  for (const char* t : {"T", "True", "Yes"}) SendDlgItemMessageA(dialog, kTrue, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  for (const char* t : {"F", "False", "No"}) SendDlgItemMessageA(dialog, kFalse, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  SetDlgItemTextA(dialog, kTrue, set.logT);
  SetDlgItemTextA(dialog, kFalse, set.logF);
  if (doc.m_pFonts != nullptr)
    for (const FontEntry& f : doc.m_pFonts->table)
      SendDlgItemMessageA(dialog, kFont, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.logFont.lfFaceName));
  SetDlgItemTextA(dialog, kFont, set.faceName);
  CheckDlgButton(dialog, kSnap, set.snapTo ? BST_CHECKED : BST_UNCHECKED);
  for (int i = 0; i < kColorCount; ++i) {
    const LRESULT at = SendDlgItemMessageA(dialog, kColor, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kColorNames[i]));
    SendDlgItemMessageA(dialog, kColor, CB_SETITEMDATA, static_cast<WPARAM>(at), i);
  }
  SendDlgItemMessageA(dialog, kColor, CB_SETCURSEL, set.color < kColorCount ? set.color : kColorCount - 1, 0);
  for (int id : {kTop, kBottom, kLeft, kRight, kHorzPitch, kVertPitch}) SubclassMeasureEdit(dialog, id);
  const std::pair<int, int> pitchSpins[] = {{kHorzSpin, set.rulPit}, {kVertSpin, set.vRulPit}};
  for (const auto& [id, value] : pitchSpins) {
    SendDlgItemMessageA(dialog, id, UDM_SETRANGE32, 4, 30);
    SendDlgItemMessageA(dialog, id, UDM_SETPOS32, 0, value);
  }
  for (int id : kMarginIds) {
    SendDlgItemMessageA(dialog, id + 1, UDM_SETRANGE32, static_cast<WPARAM>(-100), 100);
    SendDlgItemMessageA(dialog, id + 1, UDM_SETPOS32, 0, 0);
  }
}

// Every check runs first; the settings file is written from a copy, and the
// document takes the copy only when every key was written.
bool OnOk(HWND dialog, DefaultsState& s) {
  CKmDoc& doc = *s.doc;
  const char dec = doc.m_cDecimal;
  long margins[4] = {};
  for (int i = 0; i < 4; ++i) {
    margins[i] = ReadScaled(dialog, kMarginIds[i], 2, dec);
    if (margins[i] < 0) return Refuse(dialog, doc, kMarginIds[i], kBadNumber), false;
  }
  const LRESULT sel = SendDlgItemMessageA(dialog, kPaper, CB_GETCURSEL, 0, 0);
  const PrinterPaper* paper =
      sel >= 0 && static_cast<size_t>(sel) < s.papers.size() ? &s.papers[static_cast<size_t>(sel)] : nullptr;
  // New reports start upright on the paper.
  const MarginFault fault = CheckMarginsOnPaper(margins[0], margins[1], margins[2], margins[3], s.unit == 1,
                                                paper ? paper->widthTenthsMm : 2159,
                                                paper ? paper->heightTenthsMm : 2794, false, kTop, kLeft);
  if (fault.text != nullptr) return Refuse(dialog, doc, fault.control, fault.text), false;
  const long pts = ReadScaled(dialog, kPts, 1, dec);
  if (pts < 40 || pts > 5000) {
    char text[80];
    std::snprintf(text, sizeof text, "Invalid point size:\r\nRange is %d to %d points", 4, 500);
    return Refuse(dialog, doc, kPts, text), false;
  }
  UINT pitch[2] = {};
  const int pitchIds[2] = {kHorzPitch, kVertPitch};
  for (int i = 0; i < 2; ++i) {
    BOOL ok = FALSE;
    pitch[i] = GetDlgItemInt(dialog, pitchIds[i], &ok, FALSE);
    if (!ok || pitch[i] < 4 || pitch[i] > 30)
      return Refuse(dialog, doc, pitchIds[i], "Ruler spacing may be 4 to 30 units per inch"), false;
  }
  DocSettings next = doc.m_settings;
  const std::string face = ItemText(dialog, kFont, 32);
  const bool fontChanged = pts != next.pts || face != next.faceName;
  std::snprintf(next.faceName, sizeof next.faceName, "%s", face.c_str());
  next.pts = static_cast<WORD>(pts);
  next.pgLM = static_cast<WORD>(paper ? paper->code : 1);
  next.rulPit = static_cast<BYTE>(pitch[0]);
  next.vRulPit = static_cast<BYTE>(pitch[1]);
  next.topM = static_cast<WORD>(margins[0]);
  next.botM = static_cast<WORD>(margins[1]);
  next.leftM = static_cast<WORD>(margins[2]);
  next.rightM = static_cast<WORD>(margins[3]);
  std::snprintf(next.logT, sizeof next.logT, "%s", ItemText(dialog, kTrue, 15).c_str());
  std::snprintf(next.logF, sizeof next.logF, "%s", ItemText(dialog, kFalse, 15).c_str());
  next.snapTo = IsDlgButtonChecked(dialog, kSnap) == BST_CHECKED ? 1 : 0;
  const LRESULT colour = SendDlgItemMessageA(dialog, kColor, CB_GETCURSEL, 0, 0);
  if (colour >= 0) next.color = static_cast<BYTE>(colour);
  const DocSettings before = doc.m_settings;
  doc.m_settings = next;
  if (!WriteDefaultSettings(doc)) {
    doc.m_settings = before;
    return Refuse(dialog, doc, IDOK, kIniWriteError), false;
  }
  if (fontChanged && doc.m_pFonts != nullptr && doc.m_pLayout != nullptr) {
    doc.m_pFonts->settingsFace = next.faceName;
    doc.m_pFonts->settingsSize = next.pts;
    if (FindFontByFace(*doc.m_pFonts, next.faceName, false) >= 0)
      ValidateDefaultFont(*doc.m_pLayout, *doc.m_pFonts, doc.m_bReportOpen != 0);
  }
  CalcPageMetrics(doc);
  return true;
}

void EndDefaults(HWND dialog, INT_PTR result) {
  for (int id : {kTop, kBottom, kLeft, kRight, kHorzPitch, kVertPitch}) UnsubclassMeasureEdit(GetDlgItem(dialog, id));
  EndDialog(dialog, result);
}

// File Settings.
enum : int { kImageDir = 1121, kReportDir = 1122, kTextExt = 1124, kImageExt = 1125, kTemplateDir = 1126,
             kDictTable = 1127, kDictIndex = 1128 };
constexpr WORD kFileSettingsHelp = 1060;

struct FileSettingsState {
  CKmDoc* doc = nullptr;
  std::string libDir, imgDir, templateDir, dictTable, dictIndex, memExt, imgExt;
};

// The names are the program's text: the file layer spells them as the system does.
bool IsDirectoryPath(const std::string& path) { return ::IsDirectoryPath(path.c_str()) != FALSE; }

bool IsPlainFile(const std::string& path) {
  FileInfo info;
  return GetFileInfoByPath(NativePath(path), &info) && !IsDirectoryPath(path);
}

// Only a root stands alone; any other folder name loses one trailing separator.
bool IsRootPath(const std::string& p) {
  return p == "/" || p == "\\" || (p.size() == 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/')) ||
         (p.size() == 2 && p[1] == ':');
}

std::string WithoutTrailingSeparator(std::string p) {
  if (!IsRootPath(p) && !p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  return p;
}

void AddSplit(HWND dialog, int id, const char* list) {
  // The list's last character separates its items.
  const size_t n = std::strlen(list);
  if (n == 0) return;
  const char sep = list[n - 1];
  std::string item;
  for (size_t i = 0; i < n; ++i) {
    if (list[i] == sep) {
      SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
      item.clear();
    } else {
      item.push_back(list[i]);
    }
  }
}

void ReadFileSettings(HWND dialog, FileSettingsState& s) {
  s.libDir = WithoutTrailingSeparator(ItemText(dialog, kReportDir, 260));
  s.imgDir = WithoutTrailingSeparator(ItemText(dialog, kImageDir, 260));
  s.templateDir = WithoutTrailingSeparator(ItemText(dialog, kTemplateDir, 260));
  s.dictTable = ItemText(dialog, kDictTable, 260);
  s.dictIndex = ItemText(dialog, kDictIndex, 260);
  s.memExt = ItemText(dialog, kTextExt, 3);
  s.imgExt = ItemText(dialog, kImageExt, 3);
}

bool WriteDefaultDirectories(const FileSettingsState& s) {
  const std::string ini = SettingsIniPath();
  bool ok = true;
  const std::pair<const char*, const std::string*> keys[] = {
      {"LibDir", &s.libDir}, {"ImgDir", &s.imgDir}, {"MemExt", &s.memExt}, {"ImgExt", &s.imgExt},
      {"TemplateDir", &s.templateDir}};
  for (const auto& k : keys) ok = WritePrivateProfileStringA(kDefaults, k.first, k.second->c_str(), ini.c_str()) && ok;
  ok = WritePrivateProfileStringA("Data Dictionary", "DataDict", s.dictTable.c_str(), ini.c_str()) && ok;
  ok = WritePrivateProfileStringA("Data Dictionary", "DataDictIndex", s.dictIndex.c_str(), ini.c_str()) && ok;
  return ok;
}

bool OnFileSettingsOk(HWND dialog, FileSettingsState& s) {
  CKmDoc& doc = *s.doc;
  ReadFileSettings(dialog, s);
  const std::string problems = FileSettingsProblems(s.libDir, s.imgDir, s.templateDir, s.dictTable, s.dictIndex);
  if (!problems.empty()) {
    ErrorBeep();
    if (doc.ShowMessageDialog(dialog, problems.c_str(), doc.GetAppCaption(), 6) == IDCANCEL) return false;
  }
  if (s.dictTable.empty() != s.dictIndex.empty()) {
    ErrorBeep();
    if (doc.ShowMessageDialog(dialog, "Report dictionary requires a table and an index file", doc.GetAppCaption(),
                              6) == IDCANCEL)
      return false;
  }
  if (!WriteDefaultDirectories(s)) {
    doc.ErrorBoxOwner(dialog, kIniWriteError);
    return false;
  }
  return true;
}

// The Browse buttons: each starts from its field, else the stored value, else
// the library folder (reports, templates) or the data folder (the rest).
enum : int { kBrowseReportDir = 1130, kBrowseImageDir, kBrowseTemplateDir, kBrowseDictTable, kBrowseDictIndex };
constexpr UINT kReportFilter = 228;
constexpr UINT kPictureFilter = 7055;
constexpr UINT kDbaseFilter = 6123;
constexpr UINT kIndexFilter = 7056;

void BrowseFileSetting(HWND dialog, FileSettingsState& s, int button) {
  CKmDoc& doc = *s.doc;
  BrowseRequest r;
  const auto libDir = [&doc] { return GetLibDirSlash(doc); };
  const auto dataDir = [&doc] { return GetDataDirSlash(doc); };
  switch (button) {
    case kBrowseReportDir:
      r = {kReportDir, s.libDir, libDir, false, kReportFilter, 0, "QB6", 7050};
      break;
    case kBrowseImageDir:
      r = {kImageDir, s.imgDir, dataDir, false, kPictureFilter, kImageExt, "", 7051};
      break;
    case kBrowseTemplateDir:
      r = {kTemplateDir, s.templateDir, libDir, false, kReportFilter, 0, "QN6", 7052};
      break;
    case kBrowseDictTable:
      r = {kDictTable, s.dictTable, dataDir, true, kDbaseFilter, 0, "DBF", 7053};
      break;
    default:
      r = {kDictIndex, s.dictIndex, dataDir, true, kIndexFilter, 0, "", 7054};
      break;
  }
  BrowseIntoDirectoryEdit(doc, dialog, r);
}

void CopyText(char* to, size_t size, const std::string& from) { std::snprintf(to, size, "%s", from.c_str()); }

}  // namespace

std::vector<PrinterPaper> FillPaperSizeCombo(CKmDoc& doc, HWND dialog, int comboId) {
  std::vector<PrinterPaper> papers;
  if (dialog) SendDlgItemMessageA(dialog, comboId, CB_RESETCONTENT, 0, 0);
  if (doc.m_szPrinterDevice[0] != '\0') papers = GetPrinterPapers(doc.m_szPrinterDevice);
  if (papers.size() > kMaxPapers) papers.clear();
  if (dialog) {
    for (const PrinterPaper& p : papers)
      SendDlgItemMessageA(dialog, comboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.name.c_str()));
    EnableWindow(GetDlgItem(dialog, comboId), papers.empty() ? FALSE : TRUE);
  }
  return papers;
}

int FindPaperIndex(const std::vector<PrinterPaper>& papers, int code) {
  for (size_t i = 0; i < papers.size(); ++i)
    if (papers[i].code == code) return static_cast<int>(i);
  return 0;
}

std::string UserPaperSizeText(const PrinterPaper& paper, int unit, char decimal) {
  if (paper.code != kDmPaperUser) return std::string();
  const int to = unit == 1 ? kMeasureHundredths : kMeasureTenthsMm;
  const UINT w = ConvertMeasure(static_cast<WORD>(paper.widthTenthsMm), to, kMeasureTenthsMm, 0, 0);
  const UINT h = ConvertVertMeasure(static_cast<WORD>(paper.heightTenthsMm), unit == 1 ? kVertHundredths : kVertTenthsMm,
                                    kVertTenthsMm, 0);
  // Tenths of a millimetre read with two decimals are centimetres with two decimals.
  char ws[16], hs[16], text[80];
  FormatScaledInt(static_cast<WORD>(w > 0xFFFF ? 0xFFFF : w), ws, sizeof ws, 2, decimal);
  FormatScaledInt(static_cast<WORD>(h > 0xFFFF ? 0xFFFF : h), hs, sizeof hs, 2, decimal);
  std::snprintf(text, sizeof text, "User defined: %s x %s %s", ws, hs, unit == 1 ? "inches" : "centimeters");
  return text;
}

bool WriteDefaultSettings(CKmDoc& doc) {
  doc.SetWaitCursor(1);
  const DocSettings& s = doc.m_settings;
  const std::pair<const char*, int> ints[] = {
      {"DefMeas", s.defMeas}, {"PgLM", s.pgLM},       {"BotM", s.botM},       {"LeftM", s.leftM},
      {"RightM", s.rightM},   {"TopM", s.topM},       {"RulPit", s.rulPit},   {"VRulPit", s.vRulPit},
      {"Pts", s.pts},         {"SnapTo", s.snapTo},   {"Color", s.color}};
  bool ok = true;
  for (const auto& k : ints) ok = ok && WriteIniInt(kDefaults, k.first, k.second);
  const std::string ini = SettingsIniPath();
  const std::pair<const char*, const char*> texts[] = {{"FaceName", s.faceName}, {"LogF", s.logF}, {"LogT", s.logT}};
  for (const auto& k : texts) ok = ok && WritePrivateProfileStringA(kDefaults, k.first, k.second, ini.c_str());
  ComputeLogicalTextWidth(doc);
  doc.SetWaitCursor(0);
  return ok;
}

MarginFault CheckMarginsOnPaper(long top, long bottom, long left, long right, bool inches, long paperWidth,
                                long paperLength, bool landscape, int topControl, int leftControl) {
  auto tenthsMm = [inches](long v) {
    const WORD w = static_cast<WORD>(std::clamp<long>(v, 0, 0xFFFF));
    return static_cast<long>(inches ? ConvertVertMeasure(w, kVertTenthsMm, kVertHundredths, 0) : w);
  };
  const long length = landscape ? paperWidth : paperLength;
  const long width = landscape ? paperLength : paperWidth;
  MarginFault fault;
  if (tenthsMm(top) + tenthsMm(bottom) >= length) {
    fault.text = "Top plus bottom margin exceeds page length";
    fault.control = topControl;
  } else if (tenthsMm(left) + tenthsMm(right) >= width) {
    fault.text = "Left plus right margin exceeds page width";
    fault.control = leftControl;
  }
  return fault;
}

INT_PTR DefaultSettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<DefaultsState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      OnInit(dialog, *reinterpret_cast<DefaultsState*>(lParam));
      return TRUE;
    case WM_NOTIFY:
      if (s == nullptr) break;
      for (int id : kMarginIds)
        if (StepMeasureSpin(dialog, lParam, id + 1, id, 0, 9999)) return TRUE;
      break;
    case WM_MEASUREITEM:
      if (wParam != static_cast<WPARAM>(kColor)) return FALSE;
      MeasureColorItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_DRAWITEM: {
      if (wParam != static_cast<WPARAM>(kColor)) return FALSE;
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      DrawColorItem(item, ColorTableValue(static_cast<BYTE>(item->itemData)), false);
      if (item->itemState & ODS_SELECTED) DrawColorItemFrame(item);
      return TRUE;
    }
    case WM_COMMAND:
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case kPaper:
          if (HIWORD(wParam) == CBN_SELCHANGE) ShowUserPaperSize(dialog, *s);
          return TRUE;
        case IDOK:
          if (OnOk(dialog, *s)) EndDefaults(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDefaults(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, kDefaultsHelp);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR EditDefaultSettings(CKmDoc& doc) {
  DefaultsState s;
  s.doc = &doc;
  return doc.DoModalDialog(doc.GetOwnerWindow(), DefaultSettingsDlgProc, "DGlobDef", reinterpret_cast<LPARAM>(&s));
}

std::string FileSettingsProblems(const std::string& reportDir, const std::string& imageDir,
                                 const std::string& templateDir, const std::string& dictTable,
                                 const std::string& dictIndex) {
  std::string text;
  auto add = [&text](const char* line) {
    if (!text.empty()) text += "\r\n";
    text += line;
  };
  const std::pair<const std::string*, const char*> dirs[] = {{&reportDir, "Report directory does not exist"},
                                                             {&imageDir, "Picture directory does not exist"},
                                                             {&templateDir, "Template directory does not exist"}};
  for (const auto& d : dirs) {
    if (d.first->empty()) continue;
    const std::string p = WithoutTrailingSeparator(*d.first);
    if (!IsRootPath(p) && !IsDirectoryPath(p)) add(d.second);
  }
  if (!dictTable.empty() && !IsPlainFile(dictTable)) add("Report dictionary does not exist");
  if (!dictIndex.empty() && !IsPlainFile(dictIndex)) add("Dictionary index does not exist");
  return text;
}

INT_PTR FileSettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<FileSettingsState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      s = reinterpret_cast<FileSettingsState*>(lParam);
      s->doc->CenterDialogOnOwner(dialog);
      for (int id : {kReportDir, kImageDir, kTemplateDir, kDictTable, kDictIndex})
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 260, 0);
      SendDlgItemMessageA(dialog, kTextExt, CB_LIMITTEXT, 3, 0);
      SendDlgItemMessageA(dialog, kImageExt, CB_LIMITTEXT, 3, 0);
      AddSplit(dialog, kTextExt, "TXT|PRN|");
      AddSplit(dialog, kImageExt, "BMP|DCX|DIB|EPS|GIF|JPG|PCT|PCX|TGA|TIF|WMF|WPG|");
      SetDlgItemTextA(dialog, kReportDir, s->libDir.c_str());
      SetDlgItemTextA(dialog, kImageDir, s->imgDir.c_str());
      SetDlgItemTextA(dialog, kTemplateDir, s->templateDir.c_str());
      SetDlgItemTextA(dialog, kDictTable, s->dictTable.c_str());
      SetDlgItemTextA(dialog, kDictIndex, s->dictIndex.c_str());
      SetDlgItemTextA(dialog, kTextExt, s->memExt.c_str());
      SetDlgItemTextA(dialog, kImageExt, s->imgExt.c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case IDOK:
          if (OnFileSettingsOk(dialog, *s)) EndDialog(dialog, IDOK);
          return TRUE;
        case kBrowseReportDir:
        case kBrowseImageDir:
        case kBrowseTemplateDir:
        case kBrowseDictTable:
        case kBrowseDictIndex:
          BrowseFileSetting(dialog, *s, LOWORD(wParam));
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, kFileSettingsHelp);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR RunFileSettingsDialog(CKmDoc& doc) {
  FileSettingsState s;
  s.doc = &doc;
  DocSettings& set = doc.m_settings;
  s.libDir = set.libDir;
  s.imgDir = set.imgDir;
  s.templateDir = set.templateDir;
  s.memExt = set.memExt;
  s.imgExt = set.imgExt;
  if (const char* t = DirBlockEntryText(kDirDictTable)) s.dictTable = t;
  if (const char* t = DirBlockEntryText(kDirDictIndex)) s.dictIndex = t;
  const INT_PTR r =
      doc.DoModalDialog(doc.GetOwnerWindow(), FileSettingsDlgProc, "134", reinterpret_cast<LPARAM>(&s));
  if (r == IDOK) {
    CopyText(set.libDir, sizeof set.libDir, s.libDir);
    CopyText(set.imgDir, sizeof set.imgDir, s.imgDir);
    CopyText(set.templateDir, sizeof set.templateDir, s.templateDir);
    CopyText(set.memExt, sizeof set.memExt, s.memExt);
    CopyText(set.imgExt, sizeof set.imgExt, s.imgExt);
    if (char* t = DirBlockEntryText(kDirDictTable)) CopyText(t, 261, s.dictTable);
    if (char* t = DirBlockEntryText(kDirDictIndex)) CopyText(t, 261, s.dictIndex);
  }
  if (doc.m_pView) doc.m_pView->UpdateCaretAndStatus(0);
  return r;
}
