#include "app/option_commands.h"

#include "app/default_settings_dialog.h"
#include "app/document.h"
#include "app/frame_bars.h"
#include "app/preferences_dialog.h"
#include "app/print_dialog.h"
#include "app/print_run.h"
#include "app/record_layout_dialog.h"
#include "designer/design_view.h"
#include "platform/win/dialog.h"

namespace {
constexpr UINT kCmdPageSetup = 30512;
constexpr UINT kCmdDataSourcePrefs = 32023;
constexpr UINT kCmdToolbars = 30202;
constexpr UINT kCmdRulerSpacing = 30206;
}  // namespace

BOOL DispatchOptionCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kCmdPageSetup:
      if (doc.m_bReportOpen) OnFilePageSetup(doc);
      return TRUE;
    case kCmdRecordLayout:
      if (doc.m_bReportOpen) EditRecordLayout(doc);
      return TRUE;
    case kCmdPreferences:
      EditPreferences(doc);
      return TRUE;
    case kCmdDataSourcePrefs:
      EditDataSourcePreferences(doc);
      return TRUE;
    case kCmdDefaultSettings:
      EditDefaultSettings(doc);
      return TRUE;
    case kCmdFileSettings:
      RunFileSettingsDialog(doc);
      return TRUE;
    case kCmdToolbars:
      if (doc.m_pBars != nullptr) RunToolbarsDialog(doc, *doc.m_pBars);
      return TRUE;
    case kCmdRulerSpacing:
      // The same road as a double-click on the horizontal ruler.
      if (doc.m_bReportOpen && doc.m_pView != nullptr) doc.m_pView->OnRulerSpacing(false);
      return TRUE;
    default:
      // The format bar's buttons, boxes and keys, and Format > Snap To Grid.
      if (id >= kFontBox && id <= kSnapButton) return doc.m_pBars != nullptr && doc.m_pBars->HandleCommand(id, BN_CLICKED);
      if (id == kSizeBoxEnter || id == kSizeBoxEscape) return doc.m_pBars != nullptr && doc.m_pBars->HandleCommand(id, 0);
      return FALSE;
  }
}

void InstallPrintDialog() { SetPrintDialogRunner([](CKmDoc& doc) { return ShowPrintDialog(doc); }); }
