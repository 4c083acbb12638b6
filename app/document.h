// The report document: the commands of the open report (new, open, save,
// titles, start files) and the frame and view that show it, over the
// document state the lower layers share (foundation/doc_base.h).
#pragma once

#include "app/layout_view.h"
#include "app/main_frame.h"

#include "dialogs/insert_field_dialog.h"
#include "foundation/doc_base.h"

#include <memory>
#include <string>

struct WizardProcess;
// Owns the running wizard (its process and completion channel); letting go
// of it closes both (app/wizard_link.cpp).
struct WizardSlot {
  WizardSlot() = default;
  ~WizardSlot();
  WizardSlot(const WizardSlot&) = delete;
  WizardSlot& operator=(const WizardSlot&) = delete;
  void Reset(WizardProcess* p = nullptr);
  WizardProcess* get() const { return p_; }
  WizardProcess* Release() {
    WizardProcess* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  WizardProcess* p_ = nullptr;
};

class CKmDoc : public KmDocBase {
 public:
  CKmDoc() = default;
  ~CKmDoc() override;

  HWND GetOwnerWindow() const override;
  void HideTitleWindow() override;
  void SetFrameModal(bool modal) override;
  void ShowStatusReportName() override;
  void UpdateViewCaret() override;
  void SetStatusText(const char* text) override;
  void UpdateFormatBar() override;
  bool GetModelTolerance(double* ratio) const override;
  void SetModelTolerance(int32_t units, double ratio) override;
  BOOL RunOpenFileDialog(HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                         const char* defaultExt, UINT titleId, UINT helpContext) override;
  // The master table's folder, else the default data folder, else the
  // current file's folder.
  std::string GetReportFolder() const override;

  CMainFrame* m_pMainFrame = nullptr;
  CKmView* m_pView = nullptr;

  // The framework's title; ignored while a library is open, so a save into a
  // member keeps the member's name.
  void SetTitle(const char* title);
  void SetPathName(const char* path);
  // Makes the model, layout tables and fonts when they are missing; the
  // document frees only what it made itself.
  bool CreateReportTables();
  // Loads (storing false) or stores the report records through the file
  // object; 0 on success. Without the compound-file flag nothing is done.
  int Serialize(vt_ole::Storage& root, bool storing);
  // Releases the report file the document holds open, so that it can be
  // replaced or opened again.
  void ForgetCompoundFile();
  int CountClientItems() const;
  // Empties the model: fields, table slots, statement and item order.
  void EmptyModel();
  // Gives back the fonts the layout's items hold (their faces are kept).
  void ReleaseReportFonts();
  // Frees the layout's text items, pictures, lines and boxes and charts; each
  // step on its own for the shut-down, which also clears the export formats.
  void FreeLayoutItems();
  void FreeTextItems();
  void FreePicturesAndItems();
  void ReleaseCharts();
  void FreeLinesAndBoxes();
  void ClearExportFormats();
  // The file commands' common condition: a report is loaded.
  BOOL CanSaveReport() const { return m_bReportOpen; }

  // New and open (app/open_report.cpp).
  void OnFileOpen();
  BOOL OpenReportDialog(BOOL* noOverrideOut);
  BOOL ReadReport(const char* path);  // the document's open of a path
  int OpenReport(const char* path);   // 1 opened, 0 copy declined, -1 failed
  void FinishReportLoad(BOOL isTemplate);
  void ClearReport(BOOL closeModel);
  // Undo and the designer's own clipboard let go of the report's items: a
  // report closed, opened or begun anew leaves nothing to undo or paste.
  void ForgetEditHoldings();
  // Closes text entry on the layout without storing it, before the report's
  // items and fonts that the editor points at are freed.
  void DropTextEditor();
  void StartNewReport();
  // The status line's four panes, the position shown again (a report is loaded).
  void ShowNormalStatusPanes();
  // The report's font table from its printer, its default font the one
  // Default Settings names.
  void LoadSettingsFonts();
  void ApplyRulerSettings();
  void NewReportCommand(BOOL ask, BOOL userSql);
  BOOL DoFileNew(const char* masterTable, int passThrough, BOOL ask, BOOL fromQuery);
  BOOL ChooseNewReportMaster(const char* masterTable, int passThrough, BOOL blank, BOOL forTemplate,
                             BOOL fromQuery);
  BOOL PrepareNewReport();
  BOOL NewReportFromTemplate(const char* masterTable, int passThrough);
  // Asks whether to save a changed report before it is replaced; TRUE to go
  // on. Yes runs File Save (app/save_report.h), which asks for a name when the
  // report has none; FALSE while the report is still unsaved afterwards.
  BOOL SaveModified();
  // Writes the report file at path (the framework's save of a report file).
  BOOL OnSaveDocument(const char* path);

  // The report's data source and master table (app/data_source_choice.cpp).
  void RefreshDataSourceTitle();
  void UpdateDatabaseMenu();
  // 0 chosen or connected, else failed or cancelled.
  int ChooseDataSource(BOOL selectMode);
  BOOL ConnectAndSelect(const char* name);
  BOOL EnsureDataSource(BOOL openMaster, BOOL singleOnly, BOOL dialogMode);
  BOOL OpenMasterTable(BOOL dialogMode);
  // The chosen master table (or user SELECT) opened into a new report.
  BOOL OpenNewReportMaster();
  int SetupStatementMaster();
  int m_nListedSources = 0;  // data sources the last Data Source Connections listed

  // File checks, titles and start files (app/file_checks.cpp).
  void UpdateTitle(BOOL useName);
  BOOL GetReportFileName(char* buffer, int size);
  // fileRead (optional) tells whether the file was there to read, so the
  // caller blames a missing master table only on a file that was read.
  BOOL ReadStartFile(const char* path, char* masterTable, int size, BOOL* fileRead = nullptr);
  BOOL LoadQueryFile(const char* path);
  BOOL ConnectQueryDataSource();
  // The entries in force: m_pFileIO when set, else those of m_pRepIO; null
  // when the document has neither.
  ReportFileIO* FileIO();
  // The library engine the document reads and writes libraries with (made
  // on first use).
  class LibraryFile* LibraryEngine();

  // Report scripts (app/report_script_run.cpp): builds the report that the
  // script at m_files.startFile describes; TRUE when it was built.
  BOOL RunReportScript();
  // The report wizard (app/wizard_link.cpp). File New's "Report Wizards"
  // choice: a new report from the wizard, from the data source choice to
  // the wizard's start; its report arrives when the wizard is done.
  BOOL StartReportWizard();
  BOOL FindWizardProgram();
  // Writes the input script and starts the wizard; FALSE after a message.
  BOOL RunWizard();
  void LoadWizardResult(WPARAM wParam);
  // The frame's ends of the link: the wizard's completion message and the
  // poll of timer 101. Each does nothing unless a wizard runs.
  void OnWizardDone(WPARAM wParam);
  void OnWizardTimer();
  BOOL WizardRunning() const { return m_bWizardRunning; }
  BOOL m_bWizardRunning = FALSE;
  WizardSlot m_wizard;  // the running wizard, when one runs
  // The modeless Insert Field palette while it has been opened (app/field_commands.cpp).
  std::unique_ptr<InsertFieldPalette> m_pInsertField;
  // Record Layout: the label file's warning was shown for this document.
  BOOL m_bLabelFileWarned = FALSE;
  // The frame's tool bars (owned by the application), when they exist.
  class FrameBars* m_pBars = nullptr;
};

// The document the program's dialogs and message boxes belong to (the last one created).
CKmDoc* GetActiveKmDoc();
