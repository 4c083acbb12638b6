#include "platform/win/commdlg.h"

#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/help.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "platform/win/unattended.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>

#include <cstring>
#include <functional>
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

// The toolkit's file dialog with the program's additions: a template's
// controls under its own, whose procedure is asked before OK is taken.
class ProgramFileDialog : public QFileDialog {
 public:
  ProgramFileDialog(QWidget* parent, const QString& title, OPENFILENAMEA* ofn)
      : QFileDialog(parent, title), ofn_(ofn) {}
  HWND added = nullptr;
  bool endedWithoutFile = false;
  QString current;  // the last item the cursor was on
  // The file under the cursor: the typed name in the folder shown, else
  // the item the cursor is on.
  QString CurrentPath() const {
    const auto* edit = findChild<QLineEdit*>("fileNameEdit");
    const QString typed = edit != nullptr ? edit->text().trimmed() : QString();
    if (typed.isEmpty() || typed.startsWith('"')) return current;
    return QDir::isAbsolutePath(typed) ? QDir::cleanPath(typed) : directory().absoluteFilePath(typed);
  }
  // The template's procedure hears of every change of the file under the cursor.
  void ReportSelectionChanges() {
    connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
      current = path;
      if (IsWindow(added)) Notify(CDN_SELCHANGE);
    });
    if (auto* edit = findChild<QLineEdit*>("fileNameEdit"))
      connect(edit, &QLineEdit::textChanged, this, [this] {
        if (IsWindow(added)) Notify(CDN_SELCHANGE);
      });
  }
  void EndWithoutFile() {
    endedWithoutFile = true;
    QDialog::done(QDialog::Accepted);
  }
  void accept() override {
    if (IsWindow(added) && Notify(CDN_FILEOK) != 0) return;
    if (!endedWithoutFile) QFileDialog::accept();
  }
  LRESULT Notify(UINT code) {
    OFNOTIFYA n{};
    n.hdr.hwndFrom = added;
    n.hdr.code = code;
    n.lpOFN = ofn_;
    return SendMessageA(added, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
  }

 private:
  OPENFILENAMEA* ofn_;
};

HWND RootOf(HWND owner) { return IsWindow(owner) ? GetAncestor(owner, GA_ROOT) : nullptr; }

// A Help button in the dialog's button row, and F1, when a help file and
// context are given.
void AddHelp(QFileDialog& dialog, HWND owner, LPCSTR file, DWORD context, const std::function<void()>& extra) {
  if (file == nullptr || *file == '\0' || context == 0) return;
  const std::string helpFile = file;
  auto help = [owner, helpFile, context, extra] {
    if (extra) extra();
    WinHelpA(owner, helpFile.c_str(), HELP_CONTEXT, context);
  };
  if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
    QPushButton* button = box->addButton(vt_ui::FromAnsi("&Help"), QDialogButtonBox::HelpRole);
    button->setObjectName("vtHelp");
    QObject::connect(button, &QPushButton::clicked, &dialog, help);
  }
  auto* key = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
  QObject::connect(key, &QShortcut::activated, &dialog, help);
}

// The template's window made from its controls and placed as a row under the
// dialog's own; null when the template cannot be made.
HWND AddTemplate(ProgramFileDialog& dialog, OPENFILENAMEA* ofn) {
  HWND added = CreateDialogParamA(nullptr, ofn->lpTemplateName, ofn->hwndOwner, ofn->lpfnHook,
                                  reinterpret_cast<LPARAM>(ofn));
  if (added == nullptr || !added->widget) return nullptr;
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (grid == nullptr) {
    DestroyWindow(added);
    return nullptr;
  }
  QWidget* panel = added->widget.data();
  auto* holder = new QWidget(&dialog);
  holder->setObjectName("vtTemplate");
  holder->setFixedSize(panel->size());
  panel->setParent(holder, Qt::Widget);
  panel->move(0, 0);
  added->style |= WS_VISIBLE;
  panel->show();
  grid->addWidget(holder, grid->rowCount(), 0, 1, grid->columnCount());
  return added;
}

// Runs a prepared dialog with the owner's frame disabled; the toolkit's answer.
// The dialog is a window of its own (a child widget of the frame would be
// disabled with it), placed over the frame's middle; ready runs once it is
// placed, before it shows.
int RunModal(QDialog& dialog, HWND owner, const std::function<void()>& ready = nullptr) {
  HWND root = RootOf(owner);
  if (root != nullptr) vt_ui::CenterOverWindow(dialog, root);
  if (ready) ready();
  return vt_ui::ExecModalOver(dialog, root);
}

BOOL Run(OPENFILENAMEA* ofn, bool save) {
  if (ofn == nullptr || ofn->lpstrFile == nullptr || ofn->nMaxFile == 0 || IsUnattendedRun()) return FALSE;
  UiStartApplication();
  ProgramFileDialog dialog(nullptr, vt_ui::FromAnsi(ofn->lpstrTitle ? ofn->lpstrTitle : ""), ofn);
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
  if ((ofn->Flags & OFN_ENABLETEMPLATE) && ofn->lpTemplateName != nullptr && ofn->lpfnHook != nullptr)
    dialog.added = AddTemplate(dialog, ofn);
  if (ofn->Flags & OFN_SHOWHELP)
    AddHelp(dialog, ofn->hwndOwner, ofn->lpstrHelpFile, ofn->dwHelpContext, [&dialog] {
      if (IsWindow(dialog.added)) dialog.Notify(CDN_HELP);
    });
  const int result = RunModal(dialog, ofn->hwndOwner, [&dialog] {
    if (!IsWindow(dialog.added)) return;
    dialog.Notify(CDN_INITDONE);
    dialog.ReportSelectionChanges();
  });
  if (IsWindow(dialog.added)) DestroyWindow(dialog.added);
  if (result != QDialog::Accepted) return FALSE;
  if (dialog.endedWithoutFile) {
    ofn->lpstrFile[0] = '\0';
    return TRUE;
  }
  if (dialog.selectedFiles().isEmpty()) return FALSE;

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


namespace {
ProgramFileDialog* DialogOfTemplate(HWND templateWindow) {
  if (!IsWindow(templateWindow) || !templateWindow->widget) return nullptr;
  auto* dialog = dynamic_cast<ProgramFileDialog*>(templateWindow->widget->window());
  return dialog != nullptr && dialog->added == templateWindow ? dialog : nullptr;
}
}  // namespace

BOOL EndFileDialogWithoutFile(HWND templateWindow) {
  ProgramFileDialog* dialog = DialogOfTemplate(templateWindow);
  if (dialog == nullptr) return FALSE;
  dialog->EndWithoutFile();
  return TRUE;
}

int GetFileDialogFilePath(HWND templateWindow, LPSTR buffer, int size) {
  ProgramFileDialog* dialog = DialogOfTemplate(templateWindow);
  if (dialog == nullptr) return -1;
  const QString path = dialog->CurrentPath();
  const std::string name = path.isEmpty() ? std::string() : ProgramFileName(path.toUtf8().toStdString());
  const int needed = static_cast<int>(name.size()) + 1;
  if (buffer != nullptr && size >= needed) std::memcpy(buffer, name.c_str(), name.size() + 1);
  return needed;
}

BOOL CenterFileDialogOver(HWND templateWindow, HWND over) {
  ProgramFileDialog* dialog = DialogOfTemplate(templateWindow);
  if (dialog == nullptr) return FALSE;
  vt_ui::CenterOverWindow(*dialog, over);
  return TRUE;
}

BOOL BrowseForFolderA(BROWSEINFOA* bi) {
  if (bi == nullptr || bi->pszPath == nullptr || bi->nMaxPath == 0 || IsUnattendedRun()) return FALSE;
  UiStartApplication();
  QFileDialog dialog(nullptr, vt_ui::FromAnsi(bi->lpszTitle ? bi->lpszTitle : ""));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (bi->lpszInitialDir != nullptr && *bi->lpszInitialDir != '\0') {
    // The starting folder is shown and selected.
    const QString start = FromProgramName(NativePath(bi->lpszInitialDir).c_str());
    dialog.setDirectory(start);
    dialog.selectFile(start);
  }
  AddHelp(dialog, bi->hwndOwner, bi->lpstrHelpFile, bi->dwHelpContext, nullptr);
  if (RunModal(dialog, bi->hwndOwner) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;
  const std::string chosen = ProgramFileName(dialog.selectedFiles().first().toUtf8().toStdString());
  if (chosen.empty() || chosen.size() + 1 > bi->nMaxPath) return FALSE;
  std::memcpy(bi->pszPath, chosen.c_str(), chosen.size() + 1);
  return TRUE;
}
