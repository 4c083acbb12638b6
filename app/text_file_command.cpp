#include "app/text_file_command.h"

#include "app/document.h"
#include "app/file_dialogs.h"
#include "designer/design_view.h"
#include "dialogs/text_file_dialog.h"

namespace {
constexpr UINT kCmdTextFile = 30430;
constexpr const char* kTextFileFilter = "Text File (*.TXT)|*.TXT|All Files (*.*)|*.*|";
constexpr const char* kTextFileTitle = "Text File";
}  // namespace

BOOL DispatchTextFileCommand(CKmDoc& doc, UINT id) {
  if (id != kCmdTextFile) return FALSE;
  if (!doc.m_bReportOpen || doc.m_pView == nullptr || doc.m_pView->EditorOpen()) return TRUE;
  const auto browse = [&doc]() -> std::string {
    const HWND owner = GetActiveWindow();
    if (!RunOpenFileDialogText(doc, owner, doc.GetReportFolder().c_str(), kTextFileFilter, kTextFileTitle)) return {};
    return doc.m_files.chosenPath;
  };
  std::vector<std::string> lines;
  if (RunTextFileDialog(doc, browse, &lines)) doc.m_pView->InsertTextLines(lines);
  return TRUE;
}
