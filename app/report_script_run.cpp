// The document's side of report scripts: the reader builds the report's
// model and layout, the document then settles it as a new report and does
// what the script's Menu asks.
#include "app/chart_commands.h"
#include "app/document.h"

#include "app/open_report.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "data/open_tables.h"
#include "engine/report_script.h"
#include "app/label_stocks.h"
#include "layout/fonts.h"
#include "layout/page_setup.h"
#include "layout/layout_records.h"
#include "model/field_dependencies.h"
#include "platform/win/unattended.h"

namespace {

// The name a text file's table goes by: its file name without the folder
// and without anything from the first ".", at most 8 characters.
std::string TextTableNameFor(const char* path) {
  std::string name = path;
  const size_t slash = name.find_last_of("/\\:");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  if (name.size() > 8) name.resize(8);
  return name.empty() ? std::string("KMTABLE") : name;
}

class DocumentScriptHost : public ScriptHost {
 public:
  explicit DocumentScriptHost(CKmDoc& doc) : doc_(doc) {}
  // The stock keeps the arrangement's order in force; an unknown key stops
  // the script at its line.
  bool ApplyLabelStock(const char* key) override {
    const bool down = doc_.m_pPageSetup != nullptr && GetPageSetupWord(*doc_.m_pPageSetup, kPsDownOrder) != 0;
    return ::ApplyLabelStock(doc_, key, down) == 1;
  }
  // The text file becomes the report's text table: its sections (or the
  // whole text) are long-text fields the script then places by name. A
  // report has one text file; a second one, or a file whose sections are
  // followed by other text, stops the script at its line.
  bool DefineTextFileMaster(const char* path) override {
    CKmComposite* m = doc_.m_pModel;
    if (m == nullptr || TextTablePath(m)[0] != 0) return false;
    return OpenTextTable(m, path, TextTableNameFor(path).c_str()) == 0;
  }
  void SetPreviewZoom(int level) override { GetPrintRunContext().rememberedZoom = level; }

 private:
  CKmDoc& doc_;
};

}  // namespace

BOOL CKmDoc::RunReportScript() {
  if (!CreateReportTables() || m_bandLines.lines == nullptr || m_pModel == nullptr || m_pLayout == nullptr)
    return FALSE;
  DocumentScriptHost host(*this);
  ScriptReader reader(*this, host);
  host.SetPreviewZoom(1);
  ClearBandLineTable(m_bandLines);
  if (!reader.Run(m_files.startFile)) return FALSE;
  // The paper the script named is the printer's paper too.
  if (reader.PaperCode() != 0) GetPrintRunContext().printer.paperCode = static_cast<SHORT>(reader.PaperCode());

  if (FieldDef* unordered = PropagateFieldDependencies(m_pModel))
    ReportEvaluationOrderError(m_pModel, unordered);
  UpdateViewsByHint(107, nullptr);
  UpdateViewsByHint(108, nullptr);
  m_bReportOpen = TRUE;
  m_nChartWord = OnNewReportCharts();
  BuildLayoutItemOrder(*m_pLayout);
  if (m_pFonts != nullptr) RecalcObjectExtents(*m_pLayout, *m_pFonts, false, true, true);
  BuildLayoutItemOrder(*m_pLayout);
  RenumberBandLines(m_bandLines);
  StartNewReport();
  SetModifiedFlag(TRUE);

  // An unattended run prints by its own switch; nobody would see a preview.
  const int actions = reader.Actions();
  if (actions != 0 && !IsUnattendedRun() && m_pMainFrame != nullptr && m_pMainFrame->m_hWnd != nullptr &&
      m_pView != nullptr) {
    if (actions & kScriptPreview) PostMessageA(m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFilePreview, 0);
    if (actions & kScriptPrint) PostMessageA(m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFilePrintNow, 0);
  }
  return TRUE;
}
