#include "foundation/startup.h"

#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/library_file.h"
#include "foundation/library_manager.h"
#include "foundation/settings.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/unattended.h"
#include "platform/win/fileio.h"
#include "platform/win/gdi.h"
#include "platform/win/modules.h"
#include "platform/win/process.h"
#include "platform/win/profile.h"
#include "platform/win/registry.h"
#include "platform/win/windir.h"
#include "platform/win/window.h"

#include <cstdio>
#include <cstring>

ScreenInfo g_screen;

// The directory block lives in dir_block.cpp, which those who only read it link alone.
extern char* g_dirBlock;

namespace {

constexpr const char* kOfficeKey = "SOFTWARE\\Brennick\\Office";
constexpr const char* kWriteTestName = "KmwWrite.$$$";

void CopyEntry(int entry, const char* text) {
  std::snprintf(DirBlockEntryText(entry), kDirEntryBytes, "%s", text);
}

template <class T>
void FreeBlock(T*& block) {
  if (block) HeapFreeBlock(block);
  block = nullptr;
}

void FreeStartupBlocks(KmDocBase& doc) {
  FreeBlock(doc.m_bandLines.lines);
  FreeBlock(doc.m_pPageSetup);
  FreeBlock(doc.m_pSmallPage);
  FreeBlock(doc.m_pDocPaths);
  FreeBlock(g_dirBlock);
  FreeBlock(doc.m_pExportFile);
  FreeBlock(doc.m_pPageDriver);
}

template <class T>
bool Alloc(T*& block, DWORD size) {
  block = static_cast<T*>(HeapAllocZero(0, size));
  return block != nullptr;
}

bool AllocStartupBlocks(KmDocBase& doc) {
  return Alloc(doc.m_bandLines.lines, kBandLineTableBytes) && Alloc(doc.m_pPageSetup, kPageSetupBytes) &&
         Alloc(doc.m_pSmallPage, kSmallPageBytes) && Alloc(doc.m_pDocPaths, kDocPathsBytes) &&
         Alloc(g_dirBlock, kDirBlockBytes) && Alloc(doc.m_pExportFile, kExportFileBytes) &&
         Alloc(doc.m_pPageDriver, kPageDriverBytes);
}

// A file can be made in the folder: the test file is created and removed at once.
bool FolderWritable(const std::string& folder) {
  const std::string path = folder + kWriteTestName;
  std::FILE* f = std::fopen(NativePath(path).c_str(), "w");
  if (f == nullptr) return false;
  std::fclose(f);
  DeleteFileA(path.c_str());
  return true;
}

std::string SuitePrivateDir() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOfficeKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  char value[261] = {};
  DWORD size = 260;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, "TARVOPrivateDir", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

void SettleWorkDirectory(const std::string& programDir) {
  CExplicitLibraryManager* m = AppLibraryManager();
  const std::string linkIni = m ? m->GetLinkIniPath() : std::string("kmwlink.ini");
  const std::string base = m ? m->GetLinkIniBaseName() : std::string("kmwlink");
  char work[261] = {};
  GetPrivateProfileStringA(base.c_str(), base.c_str(), "", work, sizeof work, linkIni.c_str());
  std::string dir = work;
  if (dir.empty()) {
    dir = programDir;
    if (!FolderWritable(programDir)) {
      const std::string suite = SuitePrivateDir();
      if (!suite.empty()) dir = suite;
    }
  }
  // A separator is added only where it fits; a folder that fills the entry
  // cannot take a file name and gives way to the program folder.
  if (!dir.empty() && !IsPathSeparator(dir.back())) dir += kPathSep;
  if (dir.size() >= kDirEntryBytes) dir = programDir;
  CopyEntry(kDirWork, dir.c_str());
}

bool IniFileExists(const std::string& path) {
  if (path.find_first_of("/\\") == std::string::npos)
    return AccessPath((WindowsDirectory() + kPathSep + path).c_str(), 0) == 0;
  return AccessPath(path.c_str(), 0) == 0;
}
}  // namespace

int StartupChecks(KmDocBase& doc) {
  StartupHooks& hooks = GetStartupHooks();
  if (!hooks.InitCompiler(doc, 50000, 8000)) {
    hooks.Error(doc, GetResString(619, 0));
    return 0;
  }
  if (!AllocStartupBlocks(doc)) {
    FreeStartupBlocks(doc);
    hooks.FreeCompiler(doc);
    hooks.Error(doc, GetResString(610, 0));
    return 0;
  }
  ClearBandLineTable(doc.m_bandLines);
  const std::string programDir = hooks.ProgramDirectory();
  char cwd[261] = {};
  if (GetCurrentDir(cwd, 261) == nullptr) cwd[0] = '\0';
  CopyEntry(kDirStartup, cwd);
  CopyEntry(kDirProgram, programDir.c_str());
  SettleWorkDirectory(programDir);

  doc.m_nPictures = 0;
  doc.m_cWildAny = '%';
  doc.m_cWildOne = '_';
  hooks.ResetPageOrigin(doc);

  CExplicitLibraryManager* m = AppLibraryManager();
  if (!IniFileExists(m ? m->GetSqlIniPath() : std::string("kmwsql.ini")))
    hooks.Warning(doc, GetResString(1115, 0));

  const int asked = static_cast<int>(GetPrivateProfileIntA("Special", "KMWHANDLES", 0, SettingsIniPath().c_str()));
  const unsigned handles = asked <= 0 ? 55u : asked > 255 ? 255u : static_cast<unsigned>(asked);
  if (hooks.SetHandleCount(handles) < 4) {
    FreeStartupBlocks(doc);
    hooks.FreeCompiler(doc);
    hooks.Error(doc, GetResString(754, 0));
    return 0;
  }
  return 1;
}

void StartupHooks::MeasureScreen(KmDocBase& doc) {
  HWND owner = doc.GetOwnerWindow();
  HDC dc = GetDC(owner);
  if (dc == nullptr) return;
  // Displays of more than 256 colours answer -1: they are colour displays.
  const int colours = GetDeviceCaps(dc, NUMCOLORS);
  g_screen.colorDisplay = colours == -1 || colours > 2;
  const int x = GetDeviceCaps(dc, LOGPIXELSX), y = GetDeviceCaps(dc, LOGPIXELSY);
  if (x > 0 && x <= 0xFFFF) g_screen.dpiX = static_cast<WORD>(x);
  if (y > 0 && y <= 0xFFFF) g_screen.dpiY = static_cast<WORD>(y);
  // The window's colours, its background brush, and text placed by its bottom.
  g_screen.windowColour = GetSysColor(COLOR_WINDOW);
  g_screen.windowTextColour = GetSysColor(COLOR_WINDOWTEXT);
  if (g_screen.windowBrush == nullptr) g_screen.windowBrush = CreateSolidBrush(g_screen.windowColour);
  SetTextAlign(dc, TA_BOTTOM);
  ReleaseDC(owner, dc);
}

int InitSettings(KmDocBase& doc) {
  StartupHooks& hooks = GetStartupHooks();
  hooks.AttachStatusBuffer(doc);
  if (!StartupChecks(doc)) return 0;
  hooks.MeasureScreen(doc);
  LayoutMetrics metrics;
  metrics.dpiX = g_screen.dpiX;
  metrics.dpiY = g_screen.dpiY;
  metrics.pitch = doc.m_settings.rulPit;
  doc.m_layoutWidth = CharCellWidth(metrics, 254);
  SetErrorMode(1);  // SEM_FAILCRITICALERRORS
  ReadIniSettings(doc);
  ReadIntlSettings(doc);
  // The layout is as wide as 254 cells at the pitch just read.
  metrics.pitch = doc.m_settings.rulPit;
  doc.m_layoutWidth = CharCellWidth(metrics, 254);
  hooks.GetDefaultPrinter(doc);
  hooks.EnumPrinterFonts(doc);
  doc.m_hUiFont = CreateUiFont(g_screen.dpiY / 8, 700);
  // The stock font stands in when none could be made, and is not deleted.
  doc.m_bDeleteUiFont = doc.m_hUiFont != GetStockObject(ANSI_VAR_FONT) ? TRUE : FALSE;
  ReadSaveListSettings(doc);
  hooks.LoadSortOrderFile(doc);
  doc.m_bSettingsRead = TRUE;
  return 1;
}

HFONT CreateUiFont(int height, int weight) {
  HFONT h = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS,
                        "MS Sans Serif");
  return h != nullptr ? h : static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
}

void DestroyInsertFieldPalette(KmDocBase& doc) {
  CWnd* palette = doc.m_pInsertFieldPalette;
  doc.m_pInsertFieldPalette = nullptr;
  if (palette != nullptr && palette->m_hWnd != nullptr && IsWindow(palette->m_hWnd)) DestroyWindow(palette->m_hWnd);
}

void FlushPendingFileName(KmDocBase& doc) {
  // Whatever the pending file held was made from the report as it was.
  doc.SetModifiedFlag(TRUE);
  if (doc.m_pDocPaths == nullptr) return;
  char* pending = reinterpret_cast<char*>(doc.m_pDocPaths + kDocPathsPending);
  if (pending[0]) {
    pending[260] = '\0';
    DeleteFileA(pending);
    std::memset(pending, 0, 261);
  }
}

void SaveSettingsOnExit(KmDocBase& doc) {
  StartupHooks& hooks = GetStartupHooks();
  doc.SetWaitCursor(1);
  doc.m_bReportOpen = FALSE;
  doc.m_bShowNameOnly = FALSE;
  DestroyInsertFieldPalette(doc);
  // An unattended run changes no setting; writing them back would only
  // rewrite the user's file (a damaged one included).
  if (doc.m_bSettingsRead && !IsUnattendedRun()) WriteSaveListSettings(doc);
  hooks.QuitHelp(doc);
  hooks.FreeCompiler(doc);
  hooks.ReleaseObjectFonts(doc);
  hooks.ClearModel(doc);
  hooks.DeleteAllUdfs(doc);
  hooks.FreeTextItems(doc);
  hooks.FreePrinterFonts(doc);
  hooks.FreePicturesAndItems(doc);
  hooks.FreeLinesAndBoxes(doc);
  hooks.ReleaseCharts(doc);
  hooks.ClearExportFormats(doc);
  FreeBlock(doc.m_pPageDriver);
  FreeBlock(doc.m_bandLines.lines);
  FreeBlock(doc.m_pExportFile);
  FreeBlock(doc.m_pSmallPage);
  FreeBlock(doc.m_pPageSetup);
  if (doc.m_pLibEngine != nullptr) doc.m_pLibEngine->LibFreeBuffers();
  if (g_screen.windowBrush) {
    DeleteObject(g_screen.windowBrush);
    g_screen.windowBrush = nullptr;
  }
  if (doc.m_bDeleteUiFont && doc.m_hUiFont != nullptr) DeleteObject(doc.m_hUiFont);
  doc.m_hUiFont = nullptr;
  doc.m_bDeleteUiFont = FALSE;
  hooks.FreeStatusBuffer(doc);
  FlushPendingFileName(doc);
  hooks.RemoveWorkFiles(doc);
  doc.SetWaitCursor(0);
  hooks.FreeConnectOverrides(doc);
  FreeBlock(doc.m_pDocPaths);
  FreeBlock(g_dirBlock);
  doc.m_bSettingsRead = FALSE;
}

void RegisterAppPath() {
  char longPath[261] = {}, path[261] = {};
  GetModuleFileNameA(nullptr, longPath, 260);
  if (GetShortPathNameA(longPath, path, sizeof path) == 0) std::memcpy(path, longPath, sizeof path);
  const char* name = FileNamePart(path);
  char keyName[400];
  std::snprintf(keyName, sizeof keyName, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", name);
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  const DWORD len = static_cast<DWORD>(std::strlen(path) + 1);
  if (RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), len) == ERROR_SUCCESS) {
    std::string dir(path, static_cast<size_t>(name - path));
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>(dir.size() + 1));
  }
  RegCloseKey(key);
}

void ReadRegisteredUser(std::string* owner, std::string* organisation) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOfficeKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  auto read = [key](const char* name, std::string* out) {
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return;
    char* data = static_cast<char*>(HeapAllocZero(0, size + 1));
    if (data == nullptr) return;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size) == ERROR_SUCCESS)
      *out = data;
    HeapFreeBlock(data);
  };
  read("RegisteredOwner", owner);
  read("RegisteredOrganization", organisation);
  RegCloseKey(key);
}
