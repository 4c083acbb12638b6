#include "foundation/settings.h"

#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/library_manager.h"
#include "foundation/page_metrics.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"
#include "foundation/units.h"
#include "platform/win/fileio.h"
#include "platform/win/profile.h"
#include "platform/win/registry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int32_t g_datetimeCompatibility = 1;
int32_t g_doubleConnect = 0;

namespace {
constexpr const char* kDefaults = "Defaults";
constexpr const char* kDict = "Data Dictionary";
constexpr const char* kDatabase = "Database";
constexpr const char* kSpecial = "Special";
constexpr const char* kSaveList = "Save List";
constexpr const char* kPreferences = "Preferences";
constexpr const char* kExport = "Export";

const char* const kChartFontKeys[kChartFontCount] = {"ChartFontBase", "ChartFontTitle", "ChartFontAxis",
                                                     "ChartFontLabel", "ChartFontLegend"};
const char* const kChartSizeKeys[kChartFontCount - 1] = {"ChartFontTitleSize", "ChartFontAxisSize",
                                                         "ChartFontLabelSize", "ChartFontLegendSize"};
const char* const kDictKeys[kDictColumnCount] = {"TABLE_NAME", "FIELD_NAME", "SECURITY",   "COMMENT",  "EXTENDED",
                                                 "FORMULA",    "FIELD_HIDE", "FILTR_HIDE", "INST_HIDE"};
const char* const kGrayKeys[kExportGrayCount] = {"TxtXGray", "DbfXGray",  "WksXGray",  "RtfXGray",
                                                 "WordXGray", "CsvXGray", "HtmlXGray", "ViewXGray"};

int Int(const char* section, const char* key, int def) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, def, SettingsIniPath().c_str()));
}
void Text(const char* section, const char* key, const char* def, char* out, DWORD size) {
  GetPrivateProfileStringA(section, key, def, out, size, SettingsIniPath().c_str());
}
BYTE Byte(int v) { return static_cast<BYTE>(v); }

// A size or count from the settings file outside what the program can use
// takes its default.
int Bounded(int v, int lo, int hi, int def) { return v < lo || v > hi ? def : v; }

// A pitch of 0 or less (or beyond a byte) divides by zero in the metrics:
// the default takes its place.
BYTE Pitch(int v) { return (v <= 0 || v > 255) ? 10 : static_cast<BYTE>(v); }

// A directory setting longer than the program keeps is reported and cut.
void CheckDirLength(KmDocBase& doc, char* dir, UINT warning) {
  if (std::strlen(dir) <= kDirSettingMax) return;
  GetStartupHooks().Warning(doc, GetResString(warning, 0));
  dir[kDirSettingMax] = '\0';
}

void ReadDefaults(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  s.snapTo = Byte(Int(kDefaults, "SnapTo", 1));
  s.defMeas = static_cast<signed char>(Int(kDefaults, "DefMeas", -1));
  const int system = s.defMeas < 0 ? (GetProfileIntA("intl", "iMeasure", 1) == 0 ? 0 : 1) : s.defMeas;
  const int margin = system == 1 ? 50 : 127;
  s.pgLM = static_cast<WORD>(Int(kDefaults, "PgLM", 1));
  s.botM = static_cast<WORD>(Int(kDefaults, "BotM", margin));
  s.leftM = static_cast<WORD>(Int(kDefaults, "LeftM", margin));
  s.rightM = static_cast<WORD>(Int(kDefaults, "RightM", margin));
  s.topM = static_cast<WORD>(Int(kDefaults, "TopM", margin));
  s.rulPit = Pitch(Int(kDefaults, "RulPit", 10));
  s.vRulPit = Pitch(Int(kDefaults, "VRulPit", 10));
  s.pts = static_cast<WORD>(Int(kDefaults, "Pts", 120));
  const int color = Int(kDefaults, "Color", 0);
  s.color = Byte(color > 15 || color < 0 ? 15 : color);
  Text(kDefaults, "FaceName", "Arial", s.faceName, sizeof s.faceName);
  Text(kDefaults, "LogF", GetResString(160, 0), s.logF, sizeof s.logF);
  Text(kDefaults, "LogT", GetResString(159, 0), s.logT, sizeof s.logT);
  Text(kDefaults, "TemplateDir", "", s.templateDir, sizeof s.templateDir);
  for (int i = 0; i < kChartFontCount; ++i) {
    std::memset(s.chartFont[i], 0, sizeof s.chartFont[i]);
    Text(kDefaults, kChartFontKeys[i], "Arial", s.chartFont[i], sizeof s.chartFont[i]);
  }
  s.chartPalette = Int(kDefaults, "ChartPalette", 0);
  for (int i = 0; i < kChartFontCount - 1; ++i)
    s.chartFontSize[i] = Bounded(Int(kDefaults, kChartSizeKeys[i], 0), 0, 1638, 0);

  Text(kDefaults, "DataDir", "", s.dataDir, sizeof s.dataDir);
  CheckDirLength(doc, s.dataDir, 3595);
  // The picture and library folders default to the data folder as kept.
  Text(kDefaults, "ImgDir", s.dataDir, s.imgDir, sizeof s.imgDir);
  CheckDirLength(doc, s.imgDir, 3596);
  Text(kDefaults, "ImgExt", "", s.imgExt, sizeof s.imgExt);
  s.imgExt[3] = '\0';
  Text(kDefaults, "LibDir", s.dataDir, s.libDir, sizeof s.libDir);
  CheckDirLength(doc, s.libDir, 3597);
  Text(kDefaults, "MemExt", "", s.memExt, sizeof s.memExt);
  s.memExt[3] = '\0';

  const int tol = Int(kDefaults, "FloatCompTolerance", 3);
  s.floatCompTolerance = tol == 0 ? 1 : tol;
  double modelRatio = 0.0;
  if (tol >= -30 && tol <= -10) s.floatTolerance = std::pow(10.0, tol);
  else if (doc.GetModelTolerance(&modelRatio)) s.floatTolerance = modelRatio;
  doc.SetModelTolerance(s.floatCompTolerance, s.floatTolerance);
}

void ReadDictionary(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  char buf[261];
  if (char* table = DirBlockEntryText(kDirDictTable)) {
    Text(kDict, "DataDict", "", buf, sizeof buf);
    std::memcpy(table, buf, sizeof buf);
  }
  if (char* index = DirBlockEntryText(kDirDictIndex)) {
    Text(kDict, "DataDictIndex", "", buf, sizeof buf);
    std::memcpy(index, buf, sizeof buf);
  }
  for (int i = 0; i < kDictColumnCount; ++i)
    Text(kDict, kDictKeys[i], kDictKeys[i], s.dictColumn[i], sizeof s.dictColumn[i]);
}

void ReadDatabase(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  s.longCharLimit = Bounded(Int(kDatabase, "LongCharLimit", 80), 1, 32767, 80);
  s.longCharWrap = Int(kDatabase, "LongCharWrap", 0);
  s.memoLimit = Bounded(Int(kDatabase, "MemoLimit", 30), 1, 32767, 30);
  s.memoWrap = Int(kDatabase, "MemoWrap", 1);
  s.useQeConnect = Int(kDatabase, GetResString(1156, 0), 0);
  char key[64];
  std::snprintf(key, sizeof key, "%s", GetResString(1194, 0));
  Text(kDatabase, key, "", s.qeTraceFile, sizeof s.qeTraceFile);
  char buf[80];
  std::snprintf(key, sizeof key, "%s", GetResString(1195, 0));
  Text(kDatabase, key, "3", buf, sizeof buf);
  short options = 0;
  s.qeTraceOptions = std::sscanf(buf, "%hi", &options) == 1 ? options : 0;
  g_datetimeCompatibility = Int(kDatabase, "DatetimeCompatibility", 1);
  s.alwaysSelect = Int(kDatabase, "AlwaysSelect", 0);
  s.alwaysLocalLog = Int(kDatabase, "AlwaysLocalLog", 0);
  s.testJoin = Int(kDatabase, "TestJoin", 0);
  s.useDefaultDatabase = Int(kDatabase, "UseDefaultDatabase", 0);
  char timeout[40];
  Text(kDatabase, "QueryTimeout", "0", timeout, sizeof timeout);
  s.queryTimeout = std::atol(timeout);
}

void ReadSpecial(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  s.charRaw = Int(kSpecial, "CharRaw", 0);
  s.asciiEditor = Int(kSpecial, "AsciiEditor", 1);
  g_doubleConnect = Int(kSpecial, "DoubleConnect", 0);
  const int handles = Int(kSpecial, "KMWHANDLES", 0);
  s.kmwHandles = handles <= 0 ? 55 : handles > 255 ? 255 : static_cast<UINT>(handles);
}

int ReadQeRevision() {
  const char* const keys[] = {"Software\\INTERSOLV\\QELIB.INI\\KMW", "Software\\INTERSOLV\\QELIB.INI\\QELIB"};
  for (const char* k : keys) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, k, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    char value[21] = {};
    DWORD size = 20;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, "Revision", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size);
    RegCloseKey(key);
    return (rc == ERROR_SUCCESS && type == REG_SZ && std::atoi(value) == 1) ? 1 : 2;
  }
  return 2;
}

bool FileExists(const char* path) { return path[0] != '\0' && AccessPath(path, 0) == 0; }

// The last library, or STANDARD.QB6 in the library folder when it is gone.
void CheckLastLibrary(KmDocBase& doc) {
  if (doc.m_pDocPaths == nullptr) return;
  char* lib = reinterpret_cast<char*>(doc.m_pDocPaths + kDocPathsLibrary);
  if (FileExists(lib)) return;
  char standard[261];
  char* end = CopyDirWithSlash(doc.m_settings.libDir, standard, sizeof standard);
  std::snprintf(end, sizeof standard - (end - standard), "%s", "STANDARD.QB6");
  if (FileExists(standard)) std::memcpy(lib, standard, sizeof standard);
  else std::memset(lib, 0, 261);
}
}  // namespace

std::string SettingsIniPath() {
  CExplicitLibraryManager* m = AppLibraryManager();
  return m ? m->SettingsFile() : std::string("kmw.ini");
}

void ReadDataSourceDefaults(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  Text(kDefaults, "DefaultDataSource", "Default", s.defaultDataSource, sizeof s.defaultDataSource);
  s.newReportAlwaysUseSameDS = Int(kDefaults, "NewReportAlwaysUseSameDS", 0);
  s.readReportAlwaysUseSameDS = Int(kDefaults, "ReadReportAlwaysUseSameDS", 0);
}

void ComputeLogicalTextWidth(KmDocBase& doc) {
  const size_t t = std::strlen(doc.m_settings.logT), f = std::strlen(doc.m_settings.logF);
  doc.m_settings.logicalWidth = static_cast<int32_t>(t > f ? t : f);
}

void ReadIniSettings(KmDocBase& doc) {
  ReadDefaults(doc);
  ReadDictionary(doc);
  ReadDatabase(doc);
  ReadSpecial(doc);
  doc.m_settings.qeRevision = ReadQeRevision();
  ReadDataSourceDefaults(doc);
  const int pool = Int(kSpecial, "SortPoolSize", 0);
  doc.m_settings.sortPoolSize = pool <= 0 ? 524288u : static_cast<uint32_t>(pool);
  ComputeLogicalTextWidth(doc);
}

void ReadIntlSettings(KmDocBase& doc) {
  const int old = doc.m_measure;
  const int now = ::ReadIntlSettings(doc.m_intl) == 0 ? 0 : 1;
  doc.m_cDecimal = doc.m_intl.sDecimal;
  if (doc.m_bReportOpen && old != now) {
    ConvertMarginUnits(doc, old, now);
    ConvertBandLineUnits(doc, old, now);
    GetStartupHooks().ConvertOpenReport(doc, old, now);
  }
  // The page defaults are in DefMeas's system only on the first read; after
  // that they are already in the document's system.
  int from = old;
  if (!doc.m_intlReadOnce && doc.m_settings.defMeas >= 0) from = doc.m_settings.defMeas == 1 ? 1 : 0;
  else if (!doc.m_intlReadOnce) from = now;
  doc.m_intlReadOnce = true;
  if (from != now) {
    DocSettings& s = doc.m_settings;
    const int hFrom = from ? kMeasureHundredths : kMeasureTenthsMm, hTo = now ? kMeasureHundredths : kMeasureTenthsMm;
    const int vFrom = from ? kVertHundredths : kVertTenthsMm, vTo = now ? kVertHundredths : kVertTenthsMm;
    auto vert = [&](WORD& v) { v = static_cast<WORD>(ConvertVertMeasure(v, vTo, vFrom, 0)); };
    auto horz = [&](WORD& v) {
      UINT r = ConvertMeasure(v, hTo, hFrom, s.rulPit, 0);
      v = static_cast<WORD>(r > 65535 ? 65535 : r);
    };
    vert(s.topM);
    vert(s.botM);
    vert(s.leftM);
    horz(s.rightM);
  }
  doc.m_measure = doc.m_measure2 = static_cast<BYTE>(now);
}

void ReadSaveListSettings(KmDocBase& doc) {
  DocSettings& s = doc.m_settings;
  s.actionBar = Byte(Int(kSaveList, "ActionBar", 1));
  s.formatBar = Byte(Int(kSaveList, "FormatBar", 1));
  s.fieldNames = Byte(Int(kSaveList, "FieldNames", 0));
  s.pasteArgs = Byte(Int(kSaveList, "PasteArgs", 1));
  s.shHzRul = Byte(Int(kSaveList, "ShHzRul", 1));
  s.shVtRul = Byte(Int(kSaveList, "ShVtRul", 1));
  s.shGrd = Byte(Int(kSaveList, "ShGrd", 1));
  s.closeInsDlg = Byte(Int(kSaveList, "CloseInsDlg", 0));
  s.showCalcComment = Byte(Int(kSaveList, "ShowCalcComment", 1));
  Text(kSaveList, "Report32", "", s.report32, sizeof s.report32);
  if (doc.m_pDocPaths) {
    Text(kSaveList, "Library32", "", reinterpret_cast<char*>(doc.m_pDocPaths + kDocPathsLibrary), 261);
    CheckLastLibrary(doc);
  }
  s.fileNew = Int(kPreferences, "FileNew", 0);
  s.fieldLists = Int(kPreferences, "FieldLists", 0);
  s.scrBarHz = Int(kPreferences, "ScrBarHz", 1);
  s.scrBarVt = Int(kPreferences, "ScrBarVt", 1);
  s.toolHelp = Int(kPreferences, "ToolHelp", 1);
  s.useCommonDlg = Int(kPreferences, "UseCommonDlg", 0);
  for (int i = 0; i < kExportGrayCount; ++i) s.exportGray[i] = Byte(Int(kSpecial, kGrayKeys[i], 0));
  s.csvKeepNumFormats = Int(kExport, "CSVKeepNumFormats", 0);
  s.csvKeepDateFormats = Int(kExport, "CSVKeepDateFormats", 2);
  s.prevWinClr = Int(kPreferences, "PrevWinClr", 0);
}

BOOL WriteIniInt(const char* section, const char* key, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return WritePrivateProfileStringA(section, key, text, SettingsIniPath().c_str());
}

void WriteSaveListSettings(KmDocBase& doc) {
  const DocSettings& s = doc.m_settings;
  WriteIniInt(kSaveList, "ActionBar", s.actionBar);
  WriteIniInt(kSaveList, "FormatBar", s.formatBar);
  WriteIniInt(kSaveList, "FieldNames", s.fieldNames);
  WriteIniInt(kSaveList, "PasteArgs", s.pasteArgs);
  WriteIniInt(kSaveList, "ShHzRul", s.shHzRul);
  WriteIniInt(kSaveList, "ShVtRul", s.shVtRul);
  WriteIniInt(kSaveList, "ShGrd", s.shGrd);
  WriteIniInt(kSaveList, "ShowCalcComment", s.showCalcComment);
  WriteIniInt(kSaveList, "IVer", 2);
  WriteIniInt(kSaveList, "CloseInsDlg", s.closeInsDlg);
  if (doc.m_pDocPaths) {
    char lib[262] = {};
    std::memcpy(lib, doc.m_pDocPaths + kDocPathsLibrary, 261);
    if (lib[0]) WritePrivateProfileStringA(kSaveList, "Library32", lib, SettingsIniPath().c_str());
  }
  if (s.report32[0]) WritePrivateProfileStringA(kSaveList, "Report32", s.report32, SettingsIniPath().c_str());
}
