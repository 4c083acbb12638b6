#include "app/install_links.h"

#include "app/app.h"
#include "app/document.h"
#include "app/option_commands.h"
#include "app/run_hooks.h"
#include "core/engine_errors.h"
#include "data/compiler_data_hooks.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/table_fields.h"
#include "dialogs/dependency_warning.h"
#include "engine/doc_upkeep.h"
#include "engine/output_messages.h"
#include "files/report_io.h"
#include "foundation/message_dialog.h"
#include "foundation/startup_hooks.h"
#include "layout/band_line_layout.h"
#include "model/filter_spec.h"
#include "model/record_filter.h"
#include "platform/chart/graphics_server.h"
#include "platform/export/page_capture.h"
#include "platform/win/help.h"
#include "platform/win/resources.h"
#include "platform/win/unattended.h"

#include <string>

namespace {

bool Unattended() { return IsUnattendedRun(); }

void DbErrorToUser(const char* text) { ShowProgramError(text, nullptr); }

// The question's default button is Cancel, which is what nobody answers.
bool DbQuestionToUser(const char* text) {
  CKmDoc* doc = GetActiveKmDoc();
  if (Unattended() || doc == nullptr) {
    WriteUnattendedMessage(nullptr, text);
    return false;
  }
  return doc->ShowMessageDialog(doc->GetOwnerWindow(), text, doc->GetAppCaption(), kMsgOkCancel) == IDOK;
}

void OutputMessageToUser(const std::string& text, const std::string& caption) {
  ShowProgramError(text.c_str(), caption.c_str());
}

void PassMessageToUser(const char* text) { ShowProgramError(text, nullptr); }

// The data layer's word on a column or statement it cannot take: a warning
// (the user may go on) or an error.
void SqlMessageToUser(const char* text, bool warning) {
  CKmDoc* doc = GetActiveKmDoc();
  if (Unattended() || doc == nullptr) {
    WriteUnattendedMessage(nullptr, text);
    return;
  }
  doc->ShowMessageDialog(doc->GetOwnerWindow(), text, doc->GetAppCaption(), warning ? kMsgWarning : kMsgError);
}

int EngineErrorToUser(void* /*owner*/, const char* text) {
  ShowProgramError(text, nullptr);
  return 0;
}

constexpr unsigned kNoHelpViewer = 7112;

// Help asked for where nothing can show it: the user is told once.
void HelpUnavailableToUser(HWND owner) {
  CKmDoc* doc = GetActiveKmDoc();
  const std::string text = LoadResString(kNoHelpViewer);
  if (Unattended() || doc == nullptr) {
    WriteUnattendedMessage(nullptr, text.c_str());
    return;
  }
  // A message dialog's own Help button asks too: its caption and icon stay.
  const char* caption = doc->m_pszMsgCaption;
  const UINT icon = doc->m_uMsgIcon;
  const UINT focus = doc->m_uMsgFocusId;
  doc->ShowMessageDialog(owner, text.c_str(), doc->GetAppCaption(), kMsgInfo);
  doc->m_pszMsgCaption = caption;
  doc->m_uMsgIcon = icon;
  doc->m_uMsgFocusId = focus;
}

}  // namespace

void ShowProgramError(const char* text, const char* caption) {
  CKmDoc* doc = GetActiveKmDoc();
  if (Unattended() || doc == nullptr) {
    WriteUnattendedMessage(caption, text);
    return;
  }
  const std::string shown = caption != nullptr && *caption != '\0' ? caption : doc->GetAppCaption();
  doc->ShowMessageDialog(doc->GetOwnerWindow(), text, shown.c_str(), kMsgError);
}

void InstallModelLinks(CKmComposite* model) {
  // The filter is described in words from the start, not only once a pass ran.
  InstallFilterDescription(model);
  // Every compiled expression is checked by the data layer (SQLEXP: user SQL
  // reports refuse it, the server judges its column) and by the engine
  // (where QUERY may stand).
  InstallCompilerDataHooks(model);
  InstallExpressionChecks(model);
  // LIKE on a memo field reads the memo through the record pass.
  InstallLongTextMatch(model);
  // Calculations are written as SQL where the data source can compute them.
  InstallSqlTranslation(model);
  // A deleted field's references go with it; the run lists follow changes.
  InstallRunListHooks(model);
}

void InstallProgramLinks(CKmDoc& doc, BandLineDialogs* bandLines) {
  // The start-up and shut-down steps of the foundation.
  SetStartupHooks(&GetAppStartupHooks());
  // Messages of the data layer, the output and the engine reach the user.
  SetDbErrorSink(DbErrorToUser);
  SetDbQuestionSink(DbQuestionToUser);
  SetSqlMessageSink(SqlMessageToUser);
  SetOutputMessageSink(OutputMessageToUser);
  SetEngineErrorDisplay(EngineErrorToUser);
  // The record pass: summaries, the totals pre-pass, memo readers, the run
  // status box and the Cancel button; the run shell.
  InstallRunHooks(PassMessageToUser);
  // The report reader connects sources, opens and re-selects tables and asks
  // for pictures through the program.
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.hooks = &GetAppStreamHooks();
  // The model's questions about the fields a change breaks.
  InstallDependencyWarningDialog(&doc);
  // The designer's band-line commands ask through the document's dialogs.
  SetBandLineDialogs(bandLines);
  InstallPrintDialog();
  // An HTML export's charts become image files of their own.
  SetExportChartPictureHook(RenderPictureToBytes);
  // Help buttons, Help Topics and F1 reach a platform without a help viewer.
  SetHelpUnavailableNotice(HelpUnavailableToUser);
}

void RemoveProgramLinks() {
  SetStartupHooks(nullptr);
  SetDbErrorSink(nullptr);
  SetDbQuestionSink(nullptr);
  SetSqlMessageSink(nullptr);
  SetOutputMessageSink(nullptr);
  SetEngineErrorDisplay(nullptr);
  RemoveRunHooks();
  InstallDependencyWarningDialog(nullptr);
  SetBandLineDialogs(nullptr);
  SetExportChartPictureHook(nullptr);
  SetHelpUnavailableNotice(nullptr);
}
