// Where the program finds its libraries and data files: the program folder,
// the folder registered under App Paths, the help folder named by the office
// suite's help-directory library, and the settings file kmw.ini. Each getter
// applies one search rule and answers a path, or the bare name when nothing is
// found (the caller's open then fails and is reported there).
#pragma once

#include "platform/win/registry.h"
#include "platform/win/win_types.h"

#include <string>

class CExplicitLibraryManager {
 public:
  CExplicitLibraryManager();
  virtual ~CExplicitLibraryManager();

  // The four settled strings, in the order the object holds them.
  const std::string& ProgramDir() const { return programDir_; }
  const std::string& AppPathsDir() const { return appPathsDir_; }
  const std::string& HelpDir() const { return helpDir_; }
  const std::string& SettingsFile() const { return settingsFile_; }

  // Search rules over a bare file name.
  std::string FindInProgramDir(const char* name) const;
  std::string FindDllPath(const char* name) const;
  std::string FindIniPath(const char* name) const;
  std::string FindHelpPath(const char* name) const;
  // The first existing of program folder, current folder, system folder,
  // Windows folder and the PATH folders + name; else the bare name.
  std::string SearchPathList(const char* name) const;
  // A bare name is first replaced by SearchPathList; then tested for existence.
  bool FileExistsOrSearch(const char* name) const;

  std::string GetPageDriverPath() const { return FindDllPath("kmpd.dll"); }
  std::string GetTextExportDllPath() const { return FindDllPath("kmtxtx.dll"); }
  std::string GetCsvExportDllPath() const { return FindDllPath("kmcsvx.dll"); }
  std::string GetDbfExportDllPath() const { return FindDllPath("kmdbfx.dll"); }
  std::string GetWksExportDllPath() const { return FindDllPath("kmwksx.dll"); }
  std::string GetRtfExportDllPath() const { return FindDllPath("kmrtfx.dll"); }
  std::string GetHtmlExportDllPath() const { return FindDllPath("kmhtml.dll"); }
  std::string GetViewerExportDllPath() const { return FindDllPath("kmviewx.dll"); }
  std::string GetAttribDllPath() const { return FindDllPath("RUVERORE.DLL"); }
  std::string GetImageLibPath() const { return "snbd6w9s.dll"; }
  std::string GetChartDllPath() const { return "GSWDLL32.DLL"; }
  std::string GetChartAgDllPath() const { return "GSWAG32.DLL"; }
  std::string GetMapiDllPath() const { return "mapi32.dll"; }
  std::string GetOdbcIniPath() const { return "odbc.ini"; }
  std::string GetOdbcInstIniPath() const { return "odbcinst.ini"; }
  std::string GetOdbcCpDllPath() const;
  std::string GetSortTablePath() const { return FindInProgramDir("kmw.srt"); }
  std::string GetWizardPath() const { return FindInProgramDir("kmwiz.exe"); }
  std::string GetFontInfoIniPath() const { return FindIniPath("kmwfif.ini"); }
  std::string GetLinkIniPath() const { return FindIniPath("kmwlink.ini"); }
  std::string GetLinkIniBaseName() const;
  std::string GetSqlIniPath() const { return FindIniPath("kmwsql.ini"); }
  std::string GetLabelsIniPath() const { return FindIniPath("kmlabels.ini"); }
  std::string GetHelpFilePath() const { return FindHelpPath("kmw.hlp"); }
  // The language resource library for a language id (0: the system's default);
  // empty when neither of its two names exists.
  std::string FindLanguageDll(WORD language) const;

 private:
  bool IniExists(const std::string& path) const;
  bool HelpExists(const std::string& path, std::string* found) const;

  std::string programDir_;
  std::string appPathsDir_;
  std::string helpDir_;
  std::string settingsFile_;
};

// The application object's manager, for the routines that reach it without an
// application pointer; null until the application sets it.
CExplicitLibraryManager* AppLibraryManager();
void SetAppLibraryManager(CExplicitLibraryManager* manager);

// App Paths registry helpers, over the key "App Paths" below
// HKEY_LOCAL_MACHINE SOFTWARE, Microsoft, Windows, CurrentVersion. Reads open
// the keys for reading only, so a user without write rights still reads them.
HKEY OpenAppPathsKey(REGSAM access = KEY_READ | KEY_WRITE);
HKEY CreateAppPathsSubKey(const char* program);
DWORD QueryAppPathsDword(const char* program, const char* valueName, DWORD defaultValue);
std::string QueryAppPathsString(const char* program, const char* valueName, const char* defaultValue);

// The working directory the program started in (set at start-up; the current
// directory until then).
std::string StartupDirectory();
void SetStartupDirectory(const char* dir);

// Copies the directory (or the start-up directory when it is empty) into out
// (size bytes) and appends a separator when the last character is none and
// room remains; returns the terminating zero, where a file name can follow.
// A directory that does not fit is cut, never written past the buffer.
char* CopyDirWithSlash(const char* directory, char* out, size_t size);

// For "X:..." the bit of drive X (bit 0 for A:), else 0 (also for null).
DWORD DriveBit(const char* path);
