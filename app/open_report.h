// Opening a report into the one document: a report file or a library member,
// and the entries of the report file object that opening and saving call.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;
namespace vt_ole {
struct Storage;
}

// The library Open dialog's answer when its Open File button chose a report file.
constexpr int kLibraryChoseReportFile = 2;

// Read results of the file object.
constexpr int kReadOk = 0;
constexpr int kReadLibraryError = 3;
constexpr int kReadBadRevision = 4;
constexpr int kReadFailed = -1;

// What the document needs of its report file object. The file object
// installs itself as the document's m_pFileIO; without one no report opens.
class ReportFileIO {
 public:
  virtual ~ReportFileIO() = default;
  // Reads the report records of a report file into the document; one of the
  // read results above (messages other than 721 and 722 already shown).
  virtual int Load(CKmDoc& doc, const vt_ole::Storage& root) = 0;
  // Writes the report records into the storage; 0 on success.
  virtual int WriteReport(CKmDoc& doc, vt_ole::Storage& root) = 0;
  // Reads the chosen member (the second report name) of the library.
  virtual int ReadLibraryMember(CKmDoc& doc, const char* library) = 0;
  // Writes the report as member of the library; 1 on success, 0 after a message.
  virtual int SaveToLibrary(CKmDoc& /*doc*/, const char* /*library*/, const char* /*member*/) { return 0; }
  // Whether reading changed the report (a stored path was replaced).
  virtual BOOL ModifiedByLoading() const { return FALSE; }
  virtual const char* LibErrorText() { return ""; }
  virtual void ResetProperties(CKmDoc& /*doc*/) {}
  // Read switches: keep the data-source override chosen in the Open dialog,
  // and connect the stored data source while reading.
  virtual void SetKeepOverride(BOOL /*keep*/) {}
  virtual void SetConnectWhileReading(BOOL /*connect*/) {}
};

// The dialogs the open path runs, owned by the file dialogs, the libraries
// and saving. The defaults answer as a cancelled dialog would, except the
// save question, which lets the open go on.
class ReportOpenDialogs {
 public:
  virtual ~ReportOpenDialogs() = default;
  // The Open dialog of report files: the chosen path into the document's
  // file settings (chosenPath); FALSE on cancel.
  virtual BOOL RunReportOpenDialog(CKmDoc& /*doc*/, BOOL* /*noOverrideOut*/) { return FALSE; }
  // The library's Open dialog: chooses a member into the document's second
  // report name (1); below 1 when nothing was chosen; kLibraryChoseReportFile
  // when a report file was chosen instead (its path in the current file).
  virtual int ChooseLibraryMember(CKmDoc& /*doc*/, const char* /*library*/) { return 0; }
  // The unsaved-changes question before another report replaces this one;
  // TRUE to go on. By default the document's own (CKmDoc::SaveModified).
  virtual BOOL SaveModified(CKmDoc& doc);
};

// The dialogs in force; null restores the defaults.
ReportOpenDialogs& GetReportOpenDialogs();
void SetReportOpenDialogs(ReportOpenDialogs* dialogs);
// Whether dialogs other than the defaults are in force.
bool ReportOpenDialogsSet();

// The steps of File New that other parts of the program carry out: the
// start dialog, the report wizard, choosing the master table, the instant
// report and the report script. The defaults answer as a cancelled or
// failed step would.
class NewReportSteps {
 public:
  virtual ~NewReportSteps() = default;
  // The start dialog: the chosen start mode, 0 on cancel.
  virtual int RunStartDialog(CKmDoc& /*doc*/) { return 0; }
  // Starts the wizard program; FALSE when it cannot start. By default the
  // document's own (app/wizard_link.cpp).
  virtual BOOL RunWizard(CKmDoc& doc);
  // Makes the data source ready for a new report (asking for a master
  // table when prompt is set); FALSE when the user gives up. By default the
  // document's own (app/data_source_choice.cpp); a data source named on the
  // command line is connected with no dialog.
  virtual BOOL EnsureDataSource(CKmDoc& doc, BOOL prompt, int passThrough, BOOL blank);
  // Asks for the master table of a template's report.
  virtual BOOL OpenMasterTable(CKmDoc& doc, BOOL blank);
  // Sets the SQL statement up as the master: 0 done, 1 another master is
  // needed, -1 failed.
  virtual int SetupSqlMaster(CKmDoc& doc);
  // By default the instant report of app/instant_report.h.
  virtual BOOL BuildInstantReport(CKmDoc& doc);
  // By default the document's own (app/report_script_run.cpp).
  virtual BOOL RunReportScript(CKmDoc& doc);
  // The report state of a new report: run settings, printer, fonts.
  virtual void InitReportState(CKmDoc& doc);
};

NewReportSteps& GetNewReportSteps();
void SetNewReportSteps(NewReportSteps* steps);
bool NewReportStepsSet();

// Command ids of the document's commands.
enum : UINT {
  kCmdFileNew = 32000,
  kCmdFileOpen = 32001,
  kCmdFileNewUserSql = 32002,
  kCmdDataSources = 32005,
  kCmdOptionsDataSource = 32023,
  kCmdFileSave = 30010,
  kCmdFileSaveAs = 30020,
  kCmdFileProperties = 30028,
  kCmdFilePrint = 30030,
  kCmdFilePrintNow = 30031,  // the tool bar's Print: the current settings, no dialog
  kCmdFilePreview = 30040,
  kCmdFileExport = 30060,
  kCmdFilePageSetup = 30512,
  kCmdShowSql = 30650,
  kCmdUserFunction = 30720,
  kCmdLimitResult = 30660,
  kCmdFileSendMail = 57612,
  kCmdEditPasteLink = 57638,
  kCmdEditLinks = 57857,
  kCmdEditConvert = 57858,
  kCmdObjectVerbs = 57872,
};

// Whether the document's command is enabled: 1 or 0, or -1 for a command
// the document does not decide. inPlaceEdit: the design view has in-place
// text entry open.
int DocumentCommandState(const CKmDoc& doc, UINT id, BOOL inPlaceEdit);
