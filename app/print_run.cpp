#include "app/print_run.h"

#include "app/builtin_document_state.h"
#include "app/preview_view.h"
#include "app/output_checks.h"
#include "app/run_status.h"
#include "engine/report_spec.h"
#include "export/export_library.h"
#include "export/export_spec_text.h"
#include "foundation/band_lines.h"
#include "layout/layout_records.h"
#include "app/document.h"
#include "app/file_dialogs.h"
#include "app/main_frame.h"
#include "data/data_access.h"
#include "data/select_builder.h"
#include "charts/chart.h"
#include "engine/chart_output.h"
#include "engine/output_messages.h"
#include "engine/run_report.h"
#include "engine/test_pattern.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "foundation/settings.h"
#include "foundation/startup_hooks.h"
#include "files/report_io.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "model/group_levels.h"
#include "platform/win/fileio.h"
#include "platform/win/process.h"
#include "platform/win/unattended.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

constexpr int kDestinationFile = 2;
constexpr BYTE kBandLineNewPage = 1;  // band-line flag of a line that starts a new page
constexpr int kRunModeReport = 0;
constexpr int kPrintDialogPreview = 3;
constexpr LONG kSpoolerErrorBit = 0x4000;
constexpr int kRunOutOfMemory = -6;
constexpr UINT kIdReportIsIn = 17002;  // "The report is in %s"

PrintRunContext g_context;

// The engine's own steps: the run made for the context's printer library and
// page state, its data prepared, the pages produced, the run freed again.
class EngineRunServices : public PrintRunServices {
 public:
  bool PrepareRunData(CKmDoc& doc) override {
    // The database the report was made on, whatever the connection went to since.
    if (doc.m_pModel != nullptr && doc.m_pRepIO != nullptr) {
      DataAccess* data = GetDataAccess(doc.m_pModel);
      const std::string& database = doc.m_pRepIO->m_stream.settings.databaseName;
      if (!database.empty() && data->Current() != nullptr && !data->SwitchDatabase(database.c_str())) return false;
    }
    TakeBuiltinDocumentState(doc);
    SetQuerySortKeys(doc);
    // The evaluation chains and total levels as the fields stand now.
    if (doc.m_pModel != nullptr) PropagateFieldDependencies(doc.m_pModel);
    CreateReportRun(&doc, g_context.driver, &g_context.page)->onlyRun = g_context.onlyRun;
    return ::PrepareRunData(&doc) == 0;
  }
  void CloseRunData(CKmDoc& doc) override { FreeReportRun(&doc); }
  void Run(CKmDoc& doc, int runMode) override {
    ReportRun* run = CreateReportRun(&doc, g_context.driver, &g_context.page);
    run->preview = g_context.preview ? 1 : 0;
    if (runMode == 2) {
      CKmExport exportSettings;
      if (doc.m_pRepIO != nullptr) exportSettings.LoadFrom(doc.m_pRepIO->m_stream.settings);
      const std::vector<SpecExportBlock> exports = DescribeExportOptions(exportSettings);
      // The printout shows the SELECT a run sends, its ORDER BY included.
      SetQuerySortKeys(doc);
      PrintReportSpecification(run, &exports);
    } else if (runMode == 1) {
      RunTestPattern(run);
    } else if (runMode == kRunModeReport) {
      // The page range the print dialog stored with the report.
      if (doc.m_pRepIO != nullptr) {
        const ReportSettings& s = doc.m_pRepIO->m_stream.settings;
        run->startPage = s.firstPage >= 1 && s.firstPage <= 0x7FFFFFFF ? static_cast<int32_t>(s.firstPage) : 1;
        run->endPage = s.lastPage >= 65535 || s.lastPage > 0x7FFFFFFF ? kDefaultEndPage : static_cast<int32_t>(s.lastPage);
      }
      RunReport(&doc);
      g_context.lastRunMessage = run->endMessage;
      // A run that could not end a page has not printed its report.
      if (run->pageEndFailed && doc.m_nRunState == 0) doc.m_nRunState = -2;
    }
  }
  std::string ReportTitle(CKmDoc& doc) override { return doc.GetTitle(); }
  bool CheckNewPageLineObjects(CKmDoc& doc, int showError) override {
    if (doc.m_pLayout == nullptr || doc.m_bandLines.lines == nullptr) return false;
    bool found = false;
    ForEachLayoutItem(*doc.m_pLayout, [&](ReportItemHead& h) {
      if ((doc.m_bandLines.lines[h.bandLine].flags & kBandLineNewPage) != 0) found = true;
    });
    if (!found) return false;
    const std::string text = OutputMessageText(612);
    if (showError == 1) ShowOutputError(text);
    else doc.ShowMessageDialog(doc.GetOwnerWindow(), text.c_str(), doc.GetAppCaption(), kMsgWarning);
    return true;
  }
  // The checks before a run: a join that must be edited, then a chart that
  // cannot run (a field it shows left the report) holds up the run with its
  // message; then the filter, functions and calculations.
  bool CheckChartsBeforeOutput(CKmDoc& doc) override {
    if (!CheckJoinFields(doc)) return false;
    RegisterChartFields(&doc);
    std::string title;
    const int code = ValidateAllCharts(&doc, &title);
    if (code != 0) {
      doc.ShowErrorText(FormatChartErrors(code, title).c_str(), nullptr);
      return false;
    }
    return ::CheckChartsBeforeOutput(doc);
  }
  bool UsesCopyFunction(CKmDoc& doc) override { return ::UsesCopyFunction(doc); }
};

EngineRunServices g_defaultServices;
PrintRunServices* g_services = nullptr;

// A printer to run on and fonts to print with, or the message why not.
bool PrinterAndFontsReady(const PrintRunContext& ctx) {
  if (ctx.printer.printerName.empty()) {
    ShowOutputError(OutputMessageText(635));
    return false;
  }
  if (ctx.page.fontFaces.empty()) {
    ShowOutputError(OutputMessageText(633));
    return false;
  }
  return true;
}

bool FileExists(const std::string& path) { return AccessPath(path.c_str(), 0) == 0; }

// Print to a file: an existing file is replaced only when the user agrees,
// and the file must be one the program can make.
bool PrepareOutputFile(CKmDoc& doc, const std::string& path) {
  // An unattended run was told to print: the file the report names is its
  // answer, so nobody is asked (and no question is written out).
  if (FileExists(path) && !IsUnattendedRun()) {
    char text[600];
    std::snprintf(text, sizeof text, LoadResString(181).c_str(), FileNamePart(path.c_str()));
    const std::string caption = LoadResString(194);
    if (doc.ShowMessageDialog(doc.GetOwnerWindow(), text, caption.c_str(), kMsgYesNo) != IDYES) return false;
  }
  const std::string native = NativePath(path);
  const bool existed = FileExists(path);
  std::FILE* f = std::fopen(OsFileName(native).c_str(), existed ? "r+b" : "wb");
  if (f == nullptr) {
    ShowOutputError(OutputMessageText(620, path));
    return false;
  }
  std::fclose(f);
  // Only a file made here for the test goes again; one the user agreed to
  // replace is replaced by the job itself.
  if (!existed) DeleteFileA(path.c_str());
  return true;
}

PrintRunSetup SetupFromDocument(CKmDoc& doc, PrintRunContext& ctx) {
  PrintRunSetup setup;
  // The page set-up's lengths are in the document's unit: metric margins are
  // turned into inches by the print job.
  ctx.printer.measureUnit = doc.m_measure;
  ctx.printer.pitch = doc.m_settings.rulPit;
  if (const PageSetupRec* ps = doc.m_pPageSetup) {
    setup.leftMargin = ps->LeftMargin;
    setup.landscape = ps->Landscape == 1;
    setup.copies = ps->Copies > 0 ? ps->Copies : 1;
    setup.copySwitch = ps->Collate;
    setup.destination = ps->OutputDestination;
    setup.paperSource = static_cast<SHORT>(ps->PaperSource > 0 ? ps->PaperSource : 1);
    setup.paperWidth = ps->PaperWidth;
    setup.paperLength = ps->PaperLength;
  }
  setup.runMode = doc.m_nRunMode;
  setup.usesCopyFunction = GetPrintRunServices().UsesCopyFunction(doc);
  setup.title = GetPrintRunServices().ReportTitle(doc);
  setup.reportName = doc.m_szReportName;
  // The PDF printer writes beside the report (a library member beside its library).
  setup.reportFolder = FolderPart(doc.GetPathName().empty() ? std::string(doc.m_szReportName) : doc.GetPathName());
  setup.printToFile = ctx.printToFile;
  // A viewer export prints its pages into its own file, named to the printer library too.
  if (!ctx.viewerExportFile.empty()) {
    setup.exportKind = kExportViewer;
    setup.exportOutputName = ctx.viewerExportFile;
  }
  setup.fontFaces = ctx.page.fontFaces;
  setup.screenPpiX = ctx.page.screenPpiX;
  setup.screenPpiY = ctx.page.screenPpiY;
  setup.iniFile = SettingsIniPath();
  return setup;
}

HWND PaletteWindowOf(const CKmDoc& doc) {
  CWnd* palette = doc.m_pInsertFieldPalette;
  return palette != nullptr && IsWindow(palette->m_hWnd) ? palette->m_hWnd : nullptr;
}

}  // namespace

void HoldPaletteForRun(CKmDoc& doc, bool hold) {
  doc.m_bRunHoldsPalette = hold ? TRUE : FALSE;
  if (HWND palette = PaletteWindowOf(doc)) {
    EnableWindow(palette, hold ? FALSE : TRUE);
    if (g_context.preview) ShowWindow(palette, hold ? SW_HIDE : SW_SHOWNOACTIVATE);
  }
}

namespace {

// The start of an output run: counters cleared and, for the report itself,
// the run's data prepared.
bool BeginOutputRun(CKmDoc& doc, PrintRunContext& ctx) {
  HoldPaletteForRun(doc, true);
  doc.m_nRunState = 0;
  ctx.pageStatus = 0;
  // The preview-window-colour switch: lines and boxes whose colour names a
  // system colour take the system's, as the layout shows them.
  ctx.page.useSystemColors = doc.m_settings.prevWinClr != 0 ? 1 : 0;
  if (doc.m_nRunMode != kRunModeReport) return true;
  const bool prepared = GetPrintRunServices().PrepareRunData(doc);
  CloseRunStatus(doc);
  // A run that cannot start gives the palette back (a preview does not end it).
  if (!prepared) HoldPaletteForRun(doc, false);
  return prepared;
}

void EndOutputRun(CKmDoc& doc, PrintRunContext& ctx) {
  HoldPaletteForRun(doc, false);
  // Records read during the pages may have shown the counters again; no
  // dialog outlives the run or keeps the frame disabled.
  CloseRunStatus(doc);
  FreeRunDevMode(&ctx.printer);
  GetPrintRunServices().CloseRunData(doc);
}

std::string OutputFileText(const std::string& file) {
  std::string text = LoadResString(kIdReportIsIn);
  const size_t at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, file);
}

// Where the printed report went: on the status line, or written out when
// the run is unattended.
void TellOutputFile(CKmDoc& doc, const std::string& file) {
  if (file.empty()) return;
  if (IsUnattendedRun()) {
    // The calling script reads the name as the system spells it.
    std::printf("%s\n", FileNameText(OutputFileText(file)).c_str());
    std::fflush(stdout);
    return;
  }
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->m_wndStatusBar.ShowMessage(OutputFileText(file).c_str());
}

void CloseDevice(PrintRunContext& ctx) {
  if (ctx.page.printerDC == nullptr) return;
  if (ctx.driver != nullptr && ctx.driver->HasEntry(11)) ctx.driver->CloseDevice(&ctx.page, ctx.pageStatus);
}

}  // namespace

// The ORDER BY of the run's query: the report's sort keys as the model's
// check of sort and group fields gives them. A report whose file held its
// sort slots only in the stream settings gives them to the model first.
bool CheckPrinterReady(CKmDoc& doc) {
  DocPrinter& printer = GetPrintRunContext().printer;
  if (!printer.printerName.empty() && PrinterExists(printer.printerName.c_str())) return false;
  GetDefaultPrinter(&printer, 1);
  std::snprintf(doc.m_szPrinterDevice, sizeof doc.m_szPrinterDevice, "%s", printer.printerName.c_str());
  std::snprintf(doc.m_szPrinterPort, sizeof doc.m_szPrinterPort, "%s", printer.portName.c_str());
  if (!printer.printerName.empty()) GetStartupHooks().EnumPrinterFonts(doc);
  return true;
}

void SetQuerySortKeys(CKmDoc& doc) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return;
  if (m->sortFields[0] == kNoField && doc.m_pRepIO != nullptr)
    std::copy(std::begin(doc.m_pRepIO->m_stream.settings.sortFields),
              std::end(doc.m_pRepIO->m_stream.settings.sortFields), std::begin(m->sortFields));
  GroupSetup setup = ModelGroupSetup(m);
  FieldDef* keys[kKeyLevels] = {};
  uint32_t kinds[kKeyLevels] = {};
  SelectInputs* in = GetSelectInputs(m);
  // The database folds case where the program does (the sort-order file's
  // switches), or its order and joins would disagree with the groups and
  // look-ups the program makes of the same values.
  in->sortCase = m->SortCaseCombined != 0;
  in->joinCase = m->CompareCaseCombined != 0;
  std::fill(std::begin(in->sortKeys), std::end(in->sortKeys), nullptr);
  // A conflict is the run's own check to report.
  if (CheckSortAndGroupFields(m, setup, keys, kinds) == 1) return;
  for (int i = 0; i < kMaxGroupLevels && keys[i] != nullptr; ++i) {
    in->sortKeys[i] = keys[i];
    in->sortAscending[i] = kinds[i] != 0 ? 1 : 0;
  }
}


PrintRunContext& GetPrintRunContext() { return g_context; }

namespace {
PrintDialogRunner g_printDialog;
}  // namespace

void SetPrintDialogRunner(PrintDialogRunner runner) { g_printDialog = std::move(runner); }

int PrintRunServices::ShowPrintDialog(CKmDoc& doc) {
  if (g_printDialog) return g_printDialog(doc);
  doc.m_nRunMode = g_context.printWhat;
  return 1;
}

void SetPrintRunServices(PrintRunServices* services) { g_services = services; }
PrintRunServices& GetPrintRunServices() { return g_services ? *g_services : g_defaultServices; }

unsigned SpoolerErrorMessage(LONG pageStatus, int runState) {
  // After a stop the user asked for, whatever the spooler says is not news.
  if (pageStatus >= 0 || (pageStatus & kSpoolerErrorBit) == 0 || runState == -3) return 0;
  if (pageStatus == -5) return 642;
  if (pageStatus == -4) return 639;
  if (pageStatus == -6) return 633;  // the printer's fonts: none to draw text with
  return 640;
}

int RunOutputWithRecovery(CKmDoc& doc, int ask) {
  PrintRunContext& ctx = g_context;
  PrintRunServices& services = GetPrintRunServices();
  ctx.lastRunPrinted = false;
  ctx.lastRunMessage = -1;
  if (!PrinterAndFontsReady(ctx)) return 0;
  int answer = 1;
  if (ask == 1) {
    answer = services.ShowPrintDialog(doc);
    if (answer == kPrintDialogPreview) return 1;
  }
  if (answer < 1 || services.CheckNewPageLineObjects(doc, 1)) return 0;
  if (doc.m_nRunMode == kRunModeReport && !services.CheckChartsBeforeOutput(doc)) return 0;
  if (doc.m_nRunMode == kRunModeReport && !CheckCalculationsCompile(doc)) return 0;

  const PageSetupRec* ps = doc.m_pPageSetup;
  const std::string& outputFile = ctx.viewerExportFile.empty() ? ctx.printToFile : ctx.viewerExportFile;
  if (ps != nullptr && ps->OutputDestination == kDestinationFile && !outputFile.empty() &&
      !PrepareOutputFile(doc, outputFile))
    return 0;

  ctx.preview = 0;
  ctx.printing = 1;
  doc.SetWaitCursor(1);
  int finished = 0;
  if (BeginOutputRun(doc, ctx)) {
    const PrintRunSetup setup = SetupFromDocument(doc, ctx);
    if (StartPrintJob(ctx.driver, &ctx.printer, setup, &ctx.page, 0, &ctx.passCount) && doc.m_nRunState == 0) {
      ctx.processId = GetCurrentProcessId();
      OpenPrintingDialog(doc, 0);
      services.Run(doc, doc.m_nRunMode);
      ClosePrintingDialog(doc);
      CloseDevice(ctx);
      // A run that stopped early throws its job away rather than print half a report.
      finished = FinishPrintDevice(&ctx.page, doc.m_nRunState != 0);
      // The file's end failed to be written (a full disk): said as a page that failed.
      if (finished < 0 && doc.m_nRunState == 0 && ctx.pageStatus >= 0) ctx.pageStatus = finished;
      const unsigned message = SpoolerErrorMessage(ctx.pageStatus, doc.m_nRunState);
      if (message != 0) ShowOutputError(OutputMessageText(message));
      if (doc.m_nRunState == kRunOutOfMemory) ShowOutputError(OutputMessageText(626));
      // A run that ended with "No records found" or "Starting page too large"
      // printed nothing of the report.
      ctx.lastRunPrinted = finished > 0 && doc.m_nRunState == 0 && message == 0 && ctx.lastRunMessage < 0;
    }
  }
  if (ctx.page.printerDC != nullptr) {
    CloseDevice(ctx);
    FinishPrintDevice(&ctx.page, true);
  }
  EndOutputRun(doc, ctx);
  doc.SetWaitCursor(0);
  if (doc.m_pView) {
    doc.m_pView->UpdateCaretAndStatus(FALSE);
    // The run drew the charts again with the report's values, and the view
    // shows a chart's newest picture; what the view painted meanwhile is stale.
    if (doc.m_pLayout != nullptr && doc.m_pLayout->charts.Count() > 0 && IsWindow(doc.m_pView->m_hWnd))
      InvalidateRect(doc.m_pView->m_hWnd, nullptr, TRUE);
  }
  doc.m_nRunMode = kRunModeReport;
  ctx.printing = 0;
  if (ctx.lastRunPrinted) TellOutputFile(doc, ctx.printer.outputFile);
  return 0;
}

void ResetPageOrigin(PageOutputState& page) {
  const LONG ppiX = page.screenPpiX > 0 ? page.screenPpiX : 96;
  const LONG ppiY = page.screenPpiY > 0 ? page.screenPpiY : 96;
  page.zoom[1].scrollX = -(ppiX / 6);
  page.zoom[1].scrollY = -(ppiY / 6);
  page.zoom[0].scrollX = -4;
  page.zoom[0].scrollY = -4;
}

int StartPrintOrPreview(CKmDoc& doc, int fresh) {
  PrintRunContext& ctx = g_context;
  PrintRunServices& services = GetPrintRunServices();
  if (!PrinterAndFontsReady(ctx)) return 0;
  if (fresh == 1) doc.m_nRunMode = kRunModeReport;
  doc.m_nRunState = 0;
  doc.SetWaitCursor(1);
  doc.SetStatusText("");
  ctx.page.previewActive = 0;
  ctx.page.previewDC = nullptr;
  ctx.previewStoreFailed = false;
  int result = 0;
  bool began = false;
  if (!services.CheckNewPageLineObjects(doc, 1) &&
      (doc.m_nRunMode != kRunModeReport || services.CheckChartsBeforeOutput(doc))) {
    PrintRunSetup setup = SetupFromDocument(doc, ctx);
    setup.zoomLevel = ctx.rememberedZoom;
    ctx.preview = 1;
    if (StartPrintJob(ctx.driver, &ctx.printer, setup, &ctx.page, 1, &ctx.passCount)) {
      ctx.passCount = 1;
      if (doc.m_nRunState == 0 && BeginOutputRun(doc, ctx)) {
        began = true;
        PageOutputState& s = ctx.page;
        s.zoomLevel = std::clamp<LONG>(ctx.rememberedZoom, 0, 2);
        if (doc.m_nRunMode == 2) {
          s.zoomLevel = 1;
          ctx.rememberedZoom = 1;
          ResetPageOrigin(s);
        }
        s.currentZoom = &s.zoom[s.zoomLevel == 2 ? 1 : 0];
        if (s.zoomLevel == 0) s.currentZoom = &s.zoom[2];
        if (CreatePreviewView(doc, ctx.driver, &s)) {
          s.previewActive = 1;
          s.runningToEnd = 0;
          s.firstPageIndex = 0;
          if (doc.m_nRunState == 0) services.Run(doc, doc.m_nRunMode);
          // The last page waits for the user inside the run; a report that
          // gave no page has nothing to show.
          result = ClosePreviewView(doc);
        }
      }
    }
  }
  if (ctx.page.printerDC != nullptr) {
    if (ctx.driver != nullptr && ctx.driver->HasEntry(11)) ctx.driver->CloseDevice(&ctx.page, 0);
    DeletePreviewDevice(ctx.page);
  }
  if (began) EndOutputRun(doc, ctx);
  else FreeRunDevMode(&ctx.printer);
  doc.SetWaitCursor(0);
  // A page the preview could not keep or draw ends the preview: say why.
  if (doc.m_nRunState == kRunOutOfMemory || ctx.previewStoreFailed) ShowOutputError(OutputMessageText(626));
  ctx.previewStoreFailed = false;
  if (doc.m_nRunMode == 2) ResetPageOrigin(ctx.page);
  ctx.preview = 0;
  ctx.page.previewFlag = 0;
  if (doc.m_pView) doc.m_pView->UpdateCaretAndStatus(FALSE);
  return result;
}

void PrintPreviewPage(CKmDoc& doc) {
  PrintRunContext& ctx = g_context;
  if (ctx.page.printerDC == nullptr || ctx.driver == nullptr || !ctx.driver->HasEntry(24)) return;
  const PrintRunSetup setup = SetupFromDocument(doc, ctx);
  const std::string name = setup.title.empty() ? LoadResString(120) : setup.title;
  if (StartPreviewPageDoc(ctx.page, name, DefaultPdfFileName(setup)) <= 0) return;
  ctx.driver->ReplayPage(&ctx.page, nullptr);
  EndPreviewPageDoc(ctx.page);
}

void PrintCommand(CKmDoc& doc) {
  PrintRunContext& ctx = g_context;
  doc.m_nRunMode = kRunModeReport;
  ctx.printing = 1;
  for (;;) {
    if (RunOutputWithRecovery(doc, 1) == 0) {
      ctx.printing = 0;
      return;
    }
    if (StartPrintOrPreview(doc, 0) != 0) break;
  }
  RunOutputWithRecovery(doc, 0);
  ctx.printing = 0;
}

void PrintButtonCommand(CKmDoc& doc) {
  doc.m_nRunMode = kRunModeReport;
  g_context.printing = 1;
  RunOutputWithRecovery(doc, 0);
  g_context.printing = 0;
}

void PreviewCommand(CKmDoc& doc) {
  PrintRunContext& ctx = g_context;
  ctx.printing = 1;
  if (StartPrintOrPreview(doc, 1) != 0) RunOutputWithRecovery(doc, 0);
  ctx.printing = 0;
}
