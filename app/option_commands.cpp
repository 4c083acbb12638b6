#include "app/option_commands.h"

#include "app/default_settings_dialog.h"
#include "app/document.h"
#include "app/preferences_dialog.h"
#include "app/print_dialog.h"
#include "app/print_run.h"
#include "app/record_layout_dialog.h"

namespace {
constexpr UINT kCmdPageSetup = 30512;
constexpr UINT kCmdDataSourcePrefs = 32023;
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
    default:
      return FALSE;
  }
}

void InstallPrintDialog() { SetPrintDialogRunner([](CKmDoc& doc) { return ShowPrintDialog(doc); }); }
