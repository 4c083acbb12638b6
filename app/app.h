// The application object: start-up, the parsed command line, the library
// manager and the unattended (/G) run.
#pragma once

#include "app/command_line.h"
#include "foundation/cmdline_tokens.h"
#include "foundation/library_manager.h"
#include "layout/band_line_layout.h"

#include <memory>
#include <string>

class CKmDoc;

// The File menu's commands the document and the print run carry out: New,
// Open, Print, Save, Save As and Properties. FALSE for any other command.
BOOL DispatchFileCommand(CKmDoc& doc, UINT id);
// The report reader's way to the data layer and the user, as the program sets it up.
class StreamHooks;
StreamHooks& GetAppStreamHooks();
// The foundation's start-up and shut-down steps, as the program carries them out.
class StartupHooks;
StartupHooks& GetAppStartupHooks();
class CMainFrame;
class CKmRepIO;
class CKmRecentFileList;

// The run-and-end switch's position, program-wide (0: not given).
extern int g_nGoSwitch;

// The program's exit statuses (the README lists them).
constexpr int kExitPrinted = 0;           // normal end, or the /G report printed
constexpr int kExitFailed = 1;            // start-up, open or print failed
constexpr int kExitNoRecords = 2;         // /G: "No records found"
constexpr int kExitStartPageTooLarge = 3; // /G: "Starting page too large"

class CKmApp : public CKmAppCommandLine {
 public:
  CKmApp();
  ~CKmApp() override;

  // Shows string id over the main window (on standard error in an unattended
  // run) and returns 0.
  int ReportCommandLineError(UINT id) override;

  // --- start-up (app.cpp) ---
  // Brings the program up; false when it is to end (start-up failed, or a
  // /G run is over: ExitCode says how it went).
  BOOL InitInstance(int argc, char** argv);
  // The message loop, until the main window goes.
  int Run();
  int ExitInstance();
  // The document's report tables, its file object and the links the command
  // line and the open path go through.
  void CreateHelpers(CKmDoc& doc);
  // The document's first start-up, run on the application object.
  BOOL FirstStartup(CKmDoc& doc, const char* commandLine, int showCommand);
  // 0 for a normal end or a /G run whose report printed; non-zero otherwise
  // (the kExit* statuses).
  int ExitCode() const { return m_nExitCode; }

  // --- the command line (command_line.cpp) ---
  BOOL ParseCommandLine(const char* text, BOOL* fileGiven);
  void ApplyLibraryArgument();
  // The library as the messages name it: the file found, else the name given.
  std::string LibraryNameForMessages() const;
  // Opens what the command line names; its result is the report-loaded flag.
  BOOL RunCommandLine();
  // The value of a recorded switch (or the bare file name); "" when not given.
  const char* SwitchValue(int position) const;
  const CommandLineSwitches& Switches() const { return m_switches; }
  // The file a /L switch settled on ("" when none).
  const std::string& CurrentFile() const { return m_strCurrentFile; }
  // The data-source name of /N ("" when not given).
  const std::string& CommandLineDsn() const { return m_strCommandLineDsn; }
  // A bare library name sets the document's library mode.
  BOOL LibraryModeFromCommandLine() const { return m_bLibraryMode; }
  BOOL ReportLoaded() const { return m_bReportLoaded; }
  // The document and report-file steps; null restores the defaults (which open nothing).
  void SetCommandLineActions(CommandLineActions* actions);
  // The library folder with its separator (for /L values without a folder).
  void SetLibraryFolder(const std::string& folder) { m_strLibraryFolder = folder; }

  // An unattended run: messages go to standard error with their default answer.
  BOOL IsUnattended() const { return m_bUnattended; }
  void SetUnattended(BOOL on) { m_bUnattended = on; }

  CExplicitLibraryManager& LibraryManager() { return *m_pLibraryManager; }
  // The File menu's recent files (kmw.ini [Recent File List]).
  CKmRecentFileList& RecentFiles() { return *m_pRecentFiles; }
  void AddToRecentFileList(const char* path);

  // Application fields.
  BOOL m_bSplashEnabled = TRUE;
  char m_szTitle[80] = {};  // kAppTitle, set by the constructor
  char m_szHelpTopicsText[80] = {};
  char m_szAboutText[80] = {};
  char m_szRegisteredOwner[64] = {};
  BOOL m_bNewShell = TRUE;

 private:
  BOOL RecordSwitch(int index, BOOL* fileGiven);
  BOOL TakeFileArgument(int index, BOOL* fileGiven);
  BOOL OpenNamedReport(const std::string& name);
  BOOL RunReportFromCommandLine();

  std::unique_ptr<CExplicitLibraryManager> m_pLibraryManager;
  std::unique_ptr<CKmRecentFileList> m_pRecentFiles;
  CommandLineSwitches m_switches;
  int m_nFileArgument = 0;  // the bare name's index (joined to the end of the line there)
  std::string m_strCurrentFile;
  std::string m_strCommandLineDsn;
  std::string m_strLibraryFolder;
  BOOL m_bLibraryMode = FALSE;
  BOOL m_bReportLoaded = FALSE;
  BOOL m_bUnattended = FALSE;
  BOOL m_bRunAndEnd = FALSE;  // the /G run took place: the program ends with its result
  int m_nExitCode = 0;
  CKmDoc* m_pDoc = nullptr;
  CommandLineActions m_defaultActions;
  std::unique_ptr<CMainFrame> m_pFrame;
  std::unique_ptr<CKmDoc> m_pOwnDoc;  // the document, when the program made it
  std::unique_ptr<CKmRepIO> m_pRepIO;
  std::unique_ptr<CommandLineActions> m_pDocActions;
  std::unique_ptr<class FrameBars> m_pBars;  // the frame's tool bars; go before the frame
  void DropBars();
  std::unique_ptr<BandLineDialogs> m_pBandLineDialogs;  // the designer's band-line dialogs over the document
  CommandLineActions* m_pActions = &m_defaultActions;
};

// With no display to open (a server, CI), the windows go to Qt's offscreen
// platform, so that an unattended run works anywhere. Call before the window
// layer starts; a platform chosen in the environment is kept.
void ChooseWindowPlatform();

// The one application object (null before it is made).
CKmApp* AfxGetKmApp();
