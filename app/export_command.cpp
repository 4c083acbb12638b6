#include "app/export_command.h"

#include "app/document.h"
#include "app/print_run.h"
#include "app/run_status.h"
#include "dialogs/export_dialog.h"
#include "engine/output_messages.h"
#include "engine/run_report.h"
#include "export/export_run.h"
#include "files/report_io.h"
#include "foundation/message_dialog.h"
#include "foundation/text_helpers.h"
#include "layout/page_setup.h"
#include "platform/win/fileio.h"
#include "platform/win/resources.h"

#include <cstdio>

namespace {

constexpr unsigned kIdOverwrite = 181;
constexpr unsigned kIdExportCaption = 315;
constexpr int kFirstExportDestination = 253;  // 253, 254, 255: worksheet, xBase, text

// The settings' grey switches, in their order, by export format.
constexpr int kGrayFormats[kExportGrayCount] = {kExportText, kExportXbase,    kExportWorksheet, kExportRtf,
                                                kExportWordMerge, kExportDataFile, kExportHtml, kExportViewer};

class AppExportHost : public ExportRunHost {
 public:
  explicit AppExportHost(bool ask) : ask_(ask) {}

  bool PrepareRun(KmDocBase& base, PageDriver* driver, PageOutputState* page) override {
    CKmDoc& doc = static_cast<CKmDoc&>(base);
    PrintRunServices& services = GetPrintRunServices();
    if (services.CheckNewPageLineObjects(doc, 1) || !services.CheckChartsBeforeOutput(doc)) return false;
    CreateReportRun(&doc, driver, page);
    doc.m_nRunState = 0;
    doc.SetWaitCursor(1);
    GetPrintRunContext().printing = 1;
    const bool ok = services.PrepareRunData(doc);
    CloseRunStatus(doc);
    // The data is prepared for the printer's run: the export's device takes its place.
    if (ok) CreateReportRun(&doc, driver, page);
    return ok;
  }
  void CloseRun(KmDocBase& base) override {
    CKmDoc& doc = static_cast<CKmDoc&>(base);
    CloseRunStatus(doc);
    GetPrintRunServices().CloseRunData(doc);
    GetPrintRunContext().printing = 0;
    doc.SetWaitCursor(0);
  }
  PageOutputState PrinterState() override { return GetPrintRunContext().page; }
  bool PrintToFile(KmDocBase& base, const std::string& path) override {
    CKmDoc& doc = static_cast<CKmDoc&>(base);
    PrintRunContext& ctx = GetPrintRunContext();
    if (doc.m_pPageSetup == nullptr) return false;
    // The file is replaced as the run ends whole (the user agreed already,
    // or nobody is there to ask), as every output is.
    const int32_t savedDestination = doc.m_pPageSetup->OutputDestination;
    ctx.viewerExportFile = path;
    doc.m_pPageSetup->OutputDestination = kOutputToFile;
    RunOutputWithRecovery(doc, 0);
    ctx.viewerExportFile.clear();
    doc.m_pPageSetup->OutputDestination = savedDestination;
    return ctx.lastRunPrinted;
  }
  void OpenPrintingDialog(KmDocBase& base, int format, const std::string& path) override {
    ::OpenPrintingDialog(static_cast<CKmDoc&>(base), 1, format, path.c_str());
  }
  void ClosePrintingDialog(KmDocBase& base) override { ::ClosePrintingDialog(static_cast<CKmDoc&>(base)); }
  std::string ReportTitle(KmDocBase& base) override { return static_cast<CKmDoc&>(base).GetTitle(); }
  bool ConfirmOverwrite(KmDocBase& base, const std::string& path) override {
    if (!ask_) return true;
    CKmDoc& doc = static_cast<CKmDoc&>(base);
    char text[600];
    std::snprintf(text, sizeof text, LoadResString(kIdOverwrite).c_str(), FileNamePart(path.c_str()));
    const std::string caption = LoadResString(kIdExportCaption);
    return doc.ShowMessageDialog(doc.GetOwnerWindow(), text, caption.c_str(), kMsgYesNo) == IDYES;
  }

 private:
  bool ask_;
};

CKmExport SettingsOf(const CKmDoc& doc) {
  CKmExport e;
  if (doc.m_pRepIO != nullptr) e.LoadFrom(doc.m_pRepIO->m_stream.settings);
  for (int i = 0; i < kExportGrayCount; ++i) e.grayed[kGrayFormats[i]] = doc.m_settings.exportGray[i] != 0;
  return e;
}

}  // namespace

int OnFileExport(CKmDoc& doc) {
  if (!doc.m_bReportOpen) return 0;
  CKmExport e = SettingsOf(doc);
  ExportDialogParams params;
  params.doc = &doc;
  params.settings = &e;
  if (RunExportDialog(&params, doc.GetOwnerWindow()) != IDOK) return 0;
  if (doc.m_pRepIO != nullptr) {
    e.StoreTo(&doc.m_pRepIO->m_stream.settings);
    doc.SetModifiedFlag(TRUE);
  }
  AppExportHost host(true);
  return RunExport(e, doc, host);
}

bool ReportOutputIsExport(const CKmDoc& doc) {
  return doc.m_pPageSetup != nullptr && doc.m_pPageSetup->word12 >= kFirstExportDestination &&
         doc.m_pPageSetup->word12 <= 255;
}

int RunReportExport(CKmDoc& doc) {
  CKmExport e = SettingsOf(doc);
  // Without stored export settings the destination code names the kind and
  // the print-to-file name the file.
  const bool stored = doc.m_pRepIO != nullptr && !e.OutputPath().empty();
  if (!stored && doc.m_pPageSetup != nullptr) {
    e.format = static_cast<uint8_t>(255 - doc.m_pPageSetup->word12);
    if (doc.m_pRepIO != nullptr) e.SetOutputPath(doc.m_pRepIO->m_stream.settings.printFileName);
  }
  AppExportHost host(false);
  return RunExport(e, doc, host);
}
