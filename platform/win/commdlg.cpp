#include "platform/win/commdlg.h"

#include "platform/win/fileio.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "platform/win/unattended.h"

#include <QFileDialog>
#include <QStringList>

#include <cstring>
#include <string>
#include <vector>

namespace {

QString FromProgramName(const char* name) {
  return name == nullptr ? QString() : QString::fromUtf8(OsFileName(name).c_str());
}

// "Report Files (*.KMW;*.QB6)" with its patterns as the toolkit reads them.
// Names on this system keep their case, so each pattern matches either case.
QStringList NameFilters(LPCSTR filter) {
  QStringList out;
  if (filter == nullptr) return out;
  for (const char* p = filter; *p != '\0';) {
    const std::string label = p;
    p += label.size() + 1;
    if (*p == '\0') break;
    const std::string patterns = p;
    p += patterns.size() + 1;
    QStringList both;
    for (const QString& one : QString::fromLatin1(patterns.c_str()).split(';', Qt::SkipEmptyParts)) {
      both << one.toUpper();
      if (one.toLower() != one.toUpper()) both << one.toLower();
    }
    std::string shown = label;
    const size_t paren = shown.find(" (");
    if (paren != std::string::npos) shown.resize(paren);
    out << vt_ui::FromAnsi(shown) + " (" + both.join(' ') + ")";
  }
  return out;
}

BOOL Run(OPENFILENAMEA* ofn, bool save) {
  if (ofn == nullptr || ofn->lpstrFile == nullptr || ofn->nMaxFile == 0 || IsUnattendedRun()) return FALSE;
  UiStartApplication();
  QWidget* parent = nullptr;
  if (IsWindow(ofn->hwndOwner)) {
    HWND root = GetAncestor(ofn->hwndOwner, GA_ROOT);
    if (root != nullptr) parent = root->widget.data();
  }
  QFileDialog dialog(parent, vt_ui::FromAnsi(ofn->lpstrTitle ? ofn->lpstrTitle : ""));
  // The toolkit's own widget, the same on every desktop and in the offscreen tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The program asks its own questions about replacing a file.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !(ofn->Flags & OFN_FILEMUSTEXIST) ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(ofn->lpstrFilter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = ofn->nFilterIndex >= 1 && static_cast<int>(ofn->nFilterIndex) <= filters.size()
                          ? static_cast<int>(ofn->nFilterIndex) - 1 : 0;
    dialog.selectNameFilter(filters[index]);
  }
  if (ofn->lpstrDefExt != nullptr && *ofn->lpstrDefExt != '\0') dialog.setDefaultSuffix(QString::fromLatin1(ofn->lpstrDefExt));
  if (ofn->lpstrInitialDir != nullptr && *ofn->lpstrInitialDir != '\0')
    dialog.setDirectory(FromProgramName(NativePath(ofn->lpstrInitialDir).c_str()));
  if (ofn->lpstrFile[0] != '\0') dialog.selectFile(FromProgramName(NativePath(ofn->lpstrFile).c_str()));

  HWND root = ofn->hwndOwner ? GetAncestor(ofn->hwndOwner, GA_ROOT) : nullptr;
  const bool reenable = root && IsWindowEnabled(root);
  if (reenable) EnableWindow(root, FALSE);
  const int saved = vt_ui::SwapManualPumpDepth(0);
  const int result = dialog.exec();
  vt_ui::SwapManualPumpDepth(saved);
  if (reenable && IsWindow(root)) EnableWindow(root, TRUE);
  if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;

  const std::string chosen = ProgramFileName(dialog.selectedFiles().first().toUtf8().toStdString());
  if (chosen.size() + 1 > ofn->nMaxFile) return FALSE;
  std::memcpy(ofn->lpstrFile, chosen.c_str(), chosen.size() + 1);
  const int picked = filters.indexOf(dialog.selectedNameFilter());
  if (picked >= 0) ofn->nFilterIndex = static_cast<DWORD>(picked + 1);
  return TRUE;
}

}  // namespace

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) { return Run(ofn, false); }
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn) { return Run(ofn, true); }
