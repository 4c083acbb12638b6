#include "app/file_commands.h"

#include "app/app.h"
#include "app/document.h"
#include "app/file_checks.h"
#include "app/file_dialogs.h"
#include "app/library_dialogs.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/recent_files.h"
#include "app/save_report.h"
#include "app/clip_image_save.h"
#include "app/start_dialog.h"
#include "foundation/heap_strings.h"
#include "foundation/settings.h"
#include "platform/win/profile.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "platform/mail/mail.h"
#include "platform/ole/compound_file.h"
#include "platform/win/dialog.h"
#include "platform/win/wsprintf.h"
#include "platform/win/fileio.h"
#include "platform/win/menu.h"
#include "platform/win/message_box.h"
#include "platform/win/tempdir.h"
#include "platform/win/unattended.h"

#include <string>

namespace {

constexpr UINT kCmdClose = 30000;
constexpr UINT kIdsOpenFilter = 228, kIdsOpenReport = 229, kIdsOpenTemplate = 1108, kIdsSaveFilter = 85,
               kIdsSaveAs = 237;
constexpr UINT kHelpFileName = 1055;
constexpr UINT kIdsSendFailed = 62420, kIdsNoMailer = 62421, kIdsSendWrite = 62422;

class AppOpenDialogs : public ReportOpenDialogs {
 public:
  BOOL RunReportOpenDialog(CKmDoc& doc, BOOL* noOverrideOut) override {
    const bool tmpl = doc.m_bTemplateMode != FALSE;
    const std::string folder = tmpl ? GetTemplateDirSlash(doc) : GetLibDirSlash(doc);
    return ::RunReportOpenDialog(doc, doc.GetOwnerWindow(), tmpl ? "" : doc.m_files.currentFile, folder.c_str(),
                                 kIdsOpenFilter, tmpl ? "QN6" : "KMW", tmpl ? kIdsOpenTemplate : kIdsOpenReport,
                                 kHelpFileName, noOverrideOut);
  }
  int ChooseLibraryMember(CKmDoc& doc, const char* library) override {
    return ::ChooseLibraryMember(doc, library);
  }
};

class AppSaveDialogs : public SaveDialogs {
 public:
  explicit AppSaveDialogs(CKmApp& app) : app_(app) {}
  BOOL RunSaveAsDialog(CKmDoc& doc, const char* initial) override {
    HWND owner = doc.m_pMainFrame != nullptr ? doc.m_pMainFrame->m_hWnd : doc.GetOwnerWindow();
    // The folder of the report (or library) open, where the user works;
    // a report never saved starts in the library folder.
    std::string folder = FolderPart(doc.m_files.currentFile);
    if (folder.empty()) folder = GetLibDirSlash(doc);
    return OpenLibraryDialog(doc, owner, initial, folder.c_str(), kIdsSaveFilter, "KMW", kIdsSaveAs);
  }
  int ChooseSaveMember(CKmDoc& doc, const char* library) override { return ::ChooseSaveMember(doc, library); }
  BOOL SaveClipboardPicture(CKmDoc& doc, PictureItem& picture) override {
    return SavePictureFromClipboard(doc, picture) ? TRUE : FALSE;
  }
  // An unattended run leaves the user's settings as they were.
  void AddRecentFile(CKmDoc& /*doc*/, const char* path) override {
    if (!IsUnattendedRun()) app_.AddToRecentFileList(path);
  }
  void RefreshCaretAndStatus(CKmDoc& doc) override {
    if (doc.m_pView != nullptr && doc.m_bReportOpen) doc.m_pView->UpdateCaretAndStatus(0);
  }

 private:
  CKmApp& app_;
};

class AppNewSteps : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc& doc) override { return ::RunStartDialog(doc, openAllowed); }
  BOOL openAllowed = FALSE;
};

struct Installed {
  explicit Installed(CKmApp& app) : save(app), recent(app.RecentFiles()) {}
  AppOpenDialogs open;
  AppSaveDialogs save;
  AppNewSteps steps;
  CKmRecentFileList& recent;
  bool ownOpen = false, ownSave = false, ownSteps = false;
};

Installed* g_installed = nullptr;

bool IsRecentCommand(UINT id) { return id >= kCmdRecentFileFirst && id < kCmdRecentFileFirst + kRecentFileCount; }

// The report as a report file at path, without changing the document.
bool WriteReportCopy(CKmDoc& doc, const std::string& path) {
  vt_ole::Storage root = doc.m_pRootStorage != nullptr ? *doc.m_pRootStorage : vt_ole::Storage{};
  const BOOL modified = doc.IsModified();
  const bool ok = doc.Serialize(root, true) == 0 && vt_ole::WriteStorageFile(path, root) == vt_ole::StorageError::kNone;
  doc.SetModifiedFlag(modified);
  return ok;
}

struct SendAddress {
  std::string to, subject;
};

INT_PTR SendDlgProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* a = reinterpret_cast<SendAddress*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      a = reinterpret_cast<SendAddress*>(lParam);
      SetDlgItemTextA(d, 201, a->subject.c_str());
      if (GetActiveKmDoc() != nullptr) GetActiveKmDoc()->CenterDialogOnOwner(d);
      SetFocus(GetDlgItem(d, 200));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char text[300] = {};
        GetDlgItemTextA(d, 200, text, sizeof text);
        a->to = text;
        GetDlgItemTextA(d, 201, text, sizeof text);
        a->subject = text;
        // Without an address sendmail has nobody to send to.
        if (a->to.find_first_not_of(' ') == std::string::npos) {
          SetFocus(GetDlgItem(d, 200));
          return TRUE;
        }
        EndDialog(d, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(d, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallFileCommands(CKmApp& app) {
  RemoveFileCommands();
  g_installed = new Installed(app);
  g_installed->recent.ReadList();
  if (!ReportOpenDialogsSet()) {
    SetReportOpenDialogs(&g_installed->open);
    g_installed->ownOpen = true;
  }
  if (!SaveDialogsSet()) {
    SetSaveDialogs(&g_installed->save);
    g_installed->ownSave = true;
  }
  if (!NewReportStepsSet()) {
    SetNewReportSteps(&g_installed->steps);
    g_installed->ownSteps = true;
  }
}

void OfferStartChoice(CKmDoc& doc) {
  if (g_installed != nullptr) g_installed->steps.openAllowed = TRUE;
  doc.DoFileNew(nullptr, 1, TRUE, FALSE);
  if (g_installed != nullptr) g_installed->steps.openAllowed = FALSE;
}

int FileCommandState(const CKmDoc* doc, UINT id, BOOL inPlaceEdit) {
  if (IsRecentCommand(id))
    return inPlaceEdit || g_installed == nullptr || g_installed->recent[static_cast<int>(id - kCmdRecentFileFirst)].empty()
               ? 0
               : 1;
  if (id == kCmdClose) return doc != nullptr && doc->m_bReportOpen && !inPlaceEdit ? 1 : 0;
  return -1;
}

void RemoveFileCommands() {
  if (g_installed == nullptr) return;
  if (g_installed->ownOpen && &GetReportOpenDialogs() == &g_installed->open) SetReportOpenDialogs(nullptr);
  if (g_installed->ownSave && &GetSaveDialogs() == &g_installed->save) SetSaveDialogs(nullptr);
  if (g_installed->ownSteps && &GetNewReportSteps() == &g_installed->steps) SetNewReportSteps(nullptr);
  delete g_installed;
  g_installed = nullptr;
}

int FileNewPreference() {
  const int mode = static_cast<int>(GetPrivateProfileIntA("Preferences", "FileNew", 0, SettingsIniPath().c_str()));
  return mode >= 0 && mode <= kStartTemplate ? mode : 0;
}

void OnFileClose(CKmDoc& doc) {
  if (!doc.m_bReportOpen) return;
  if (!GetReportOpenDialogs().SaveModified(doc)) return;
  doc.ClearReport(TRUE);
}

BOOL OpenRecentFile(CKmDoc& doc, int index) {
  if (g_installed == nullptr || index < 0 || index >= kRecentFileCount) return FALSE;
  const std::string path = g_installed->recent[index];
  if (path.empty() || !GetReportOpenDialogs().SaveModified(doc)) return FALSE;
  FileInfo info;
  if (!GetFileInfoByPath(path, &info)) {
    // A file that has gone leaves the list, as the framework does.
    ShowDocMessage(doc, FormatDocString(61712, path.c_str()), MB_ICONEXCLAMATION);
    g_installed->recent.Remove(index);
    return FALSE;
  }
  CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, path.c_str());
  // No dialog chose a data source: the report's own is connected while it is read.
  if (ReportFileIO* io = doc.FileIO()) io->SetConnectWhileReading(TRUE);
  if (!doc.ReadReport(path.c_str())) {
    if (!doc.m_bReportOpen) doc.m_nBandPaneWidth = 0;
    return FALSE;
  }
  doc.UpdateViewsByHint(0, nullptr);
  return TRUE;
}

void OnFileSendMail(CKmDoc& doc) {
  if (!doc.m_bReportOpen) return;
  std::string name = GetDisplayFileName(doc.GetPathName().c_str());
  if (name.empty() || !IsCompoundFile(doc.GetPathName().c_str())) {
    name = doc.m_szReportName[0] != 0 && doc.m_bLibraryMode ? doc.m_szReportName : GetResString(120, 0);
    name += ".KMW";
  }
  const std::string folder = PrivateTempDirectory();
  const std::string file = folder + name;
  // The mailed report is always written fresh from the document.
  if (folder.empty() || !WriteReportCopy(doc, file)) {
    ShowDocMessage(doc, GetResString(kIdsSendWrite, 0), MB_ICONEXCLAMATION);
    DeleteFileA(file.c_str());
    return;
  }
  vt_mail::MailMessage m;
  m.subject = name;
  m.attachmentPath = file;
  m.attachmentName = name;
  std::string error;
  vt_mail::MailResult r = vt_mail::MailResult::kNoMailer;
  if (vt_mail::DesktopMailerAvailable()) {
    r = vt_mail::SendMail(m, &error);
  } else if (vt_mail::SendmailAvailable()) {
    SendAddress a{std::string(), name};
    if (DialogBoxParamA(nullptr, "DSENDMAIL", doc.GetOwnerWindow(), SendDlgProc, reinterpret_cast<LPARAM>(&a)) != IDOK) {
      DeleteFileA(file.c_str());
      return;
    }
    m.to = a.to;
    m.subject = a.subject;
    r = vt_mail::SendMail(m, &error);
  }
  // The desktop's mail program may read the file after it returns: it stays
  // in the program's private folder, which goes when the program ends.
  if (r == vt_mail::MailResult::kNoMailer) ShowDocMessage(doc, GetResString(kIdsNoMailer, 0), MB_ICONEXCLAMATION);
  else if (r == vt_mail::MailResult::kFailed) ShowDocMessage(doc, FormatDocString(kIdsSendFailed, error.c_str()), MB_ICONEXCLAMATION);
}

BOOL DispatchFileListCommand(CKmDoc& doc, UINT id) {
  if (id == kCmdClose) {
    OnFileClose(doc);
    return TRUE;
  }
  if (id == kCmdFileSendMail) {
    OnFileSendMail(doc);
    return TRUE;
  }
  if (IsRecentCommand(id)) {
    OpenRecentFile(doc, static_cast<int>(id - kCmdRecentFileFirst));
    return TRUE;
  }
  return FALSE;
}
