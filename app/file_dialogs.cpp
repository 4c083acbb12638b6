#include "app/file_dialogs.h"

#include "app/document.h"
#include "app/file_checks.h"
#include "app/library_dialogs.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "files/report_file.h"
#include "foundation/heap_strings.h"
#include "foundation/library_manager.h"
#include "foundation/text_helpers.h"
#include "platform/win/commdlg.h"
#include "platform/win/caret.h"
#include "platform/win/dialog.h"
#include "platform/win/wsprintf.h"
#include "platform/win/fileio.h"
#include "platform/win/help.h"
#include "platform/win/message_box.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <strings.h>

namespace {

constexpr UINT kIdsLibraryExtQuestion = 7020;
constexpr UINT kIdsNone = 48;
constexpr UINT kIdsNotAvailable = 1119;
constexpr DWORD kFileBufferSize = 260;
constexpr UINT kSaveAsHelp = 1114;

std::string Extension(const char* name) {
  if (name == nullptr) return std::string();
  const char* dot = std::strrchr(name, '.');
  const char* slash = std::strrchr(name, '/');
  const char* back = std::strrchr(name, '\\');
  if (dot == nullptr || (slash != nullptr && slash > dot) || (back != nullptr && back > dot)) return std::string();
  return dot + 1;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The folder without a trailing separator, unless it is the root.
std::string TrimFolder(const char* dir) {
  std::string d = dir != nullptr ? dir : "";
  while (d.size() > 1 && IsPathSeparator(d.back())) d.pop_back();
  return d;
}

// What a caller adds to the common dialog: the help context of its Help
// button, and a template of controls with the procedure that runs them.
struct DialogAdditions {
  UINT helpContext = 0;
  const char* templateName = nullptr;
  DLGPROC hook = nullptr;
  LPARAM data = 0;
};

// One common dialog as every caller prepares it; the chosen path goes to the
// document's chosen path.
// What a file dialog points into lives here while it runs.
struct FileDialogBuffers {
  std::string filter;
  std::string folder;
  std::string title;
  std::unique_ptr<char[]> file;
};

BOOL PrepareFileDialog(OPENFILENAMEA& ofn, FileDialogBuffers& b, CKmDoc& doc, bool save, HWND owner,
                       const char* initialName, const char* initialDir, const std::string& filterText,
                       const char* defaultExt, const std::string& title, const DialogAdditions& more) {
  b.filter = FilterFromText(filterText);
  b.folder = TrimFolder(initialDir);
  b.title = title;
  b.file.reset(new (std::nothrow) char[kFileBufferSize]());
  if (!b.file) return FALSE;
  CopyBounded(b.file.get(), kFileBufferSize, initialName != nullptr ? initialName : "");
  ofn = OPENFILENAMEA();
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = b.filter.c_str();
  const std::string ext = Extension(initialName);
  ofn.nFilterIndex = FilterIndexInText(!ext.empty() ? ext.c_str() : defaultExt, filterText);
  ofn.lpstrFile = b.file.get();
  ofn.nMaxFile = kFileBufferSize;
  ofn.lpstrInitialDir = b.folder.empty() ? nullptr : b.folder.c_str();
  ofn.lpstrTitle = b.title.c_str();
  ofn.lpstrDefExt = defaultExt;
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_SHOWHELP | OFN_EXPLORER |
              (save ? OFN_NOTESTFILECREATE : OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST);
  ofn.lpstrHelpFile = doc.GetHelpFileName();
  ofn.dwHelpContext = more.helpContext;
  // The program's own controls come from its template, run by their procedure.
  if (more.templateName != nullptr && more.hook != nullptr) {
    ofn.Flags |= OFN_ENABLETEMPLATE | OFN_ENABLEHOOK;
    ofn.lpTemplateName = more.templateName;
    ofn.lpfnHook = more.hook;
    ofn.lCustData = more.data;
  }
  // A save removes the design view's caret while it asks.
  if (save && doc.m_bReportOpen) DestroyCaret();
  return TRUE;
}

BOOL RunCommonDialogText(CKmDoc& doc, bool save, HWND owner, const char* initialName, const char* initialDir,
                         const std::string& filterText, const char* defaultExt, const std::string& title,
                         const DialogAdditions& more = DialogAdditions()) {
  OPENFILENAMEA ofn;
  FileDialogBuffers buffers;
  if (!PrepareFileDialog(ofn, buffers, doc, save, owner, initialName, initialDir, filterText, defaultExt, title, more))
    return FALSE;
  const BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!ok) {
    if (doc.m_bReportOpen && doc.m_pView != nullptr) doc.m_pView->UpdateCaretAndStatus(0);
    return FALSE;
  }
  CopyBounded(doc.m_files.chosenPath, sizeof doc.m_files.chosenPath, buffers.file.get());
  return TRUE;
}

BOOL RunCommonDialog(CKmDoc& doc, bool save, HWND owner, const char* initialName, const char* initialDir,
                     UINT filterId, const char* defaultExt, UINT titleId,
                     const DialogAdditions& more = DialogAdditions()) {
  return RunCommonDialogText(doc, save, owner, initialName, initialDir, GetResString(filterId, 0), defaultExt,
                             GetResString(titleId, 0), more);
}

// The master-table Open dialog's check box: OK with it set ends the dialog
// without a file, for a report without a master table.
constexpr int kWithoutMasterBox = 200;
constexpr DWORD kWithoutMasterHelp = 1108;

struct MasterOpenChoice {
  CKmDoc* doc;
  BOOL withoutMaster = FALSE;
};

INT_PTR MasterOpenProc(HWND d, UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
      SetWindowLongPtrA(d, DWLP_USER, ofn->lCustData);
      auto* c = reinterpret_cast<MasterOpenChoice*>(ofn->lCustData);
      CheckDlgButton(d, kWithoutMasterBox, c->withoutMaster ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* c = reinterpret_cast<MasterOpenChoice*>(GetWindowLongPtrA(d, DWLP_USER));
      const auto* n = reinterpret_cast<const OFNOTIFYA*>(lParam);
      if (c != nullptr && n->hdr.code == CDN_INITDONE) CenterFileDialogOver(d, c->doc->GetOwnerWindow());
      if (c == nullptr || n->hdr.code != CDN_FILEOK) return FALSE;
      c->withoutMaster = IsDlgButtonChecked(d, kWithoutMasterBox) == BST_CHECKED ? TRUE : FALSE;
      if (c->withoutMaster) EndFileDialogWithoutFile(d);
      return FALSE;
    }
    case WM_HELP:
    case WM_CONTEXTMENU: {
      auto* c = reinterpret_cast<MasterOpenChoice*>(GetWindowLongPtrA(d, DWLP_USER));
      static const DWORD pairs[] = {kWithoutMasterBox, kWithoutMasterHelp, 0, 0};
      if (c != nullptr && *c->doc->GetHelpFileName() != 0)
        WinHelpA(d, c->doc->GetHelpFileName(), msg == WM_HELP ? HELP_WM_HELP : HELP_CONTEXTMENU,
                 reinterpret_cast<ULONG_PTR>(pairs));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// ---- The report Open dialog's Data Source box ----

constexpr int kSourceBox = 206;
constexpr int kSourceLabel = 207;
constexpr DWORD kSourceHelp = 1113;
// The box keeps names shorter than this; a longer stored name counts as none.
constexpr size_t kSourceNameLimit = 32;

struct ReportOpenState {
  CKmDoc* doc = nullptr;
  std::vector<std::string> known;  // the data sources of the database library
  std::string stored;              // the data source stored in the file under the cursor
  std::string chosen;              // the user's pick
};

ReportOpenState* OpenState(HWND d) { return reinterpret_cast<ReportOpenState*>(GetWindowLongPtrA(d, DWLP_USER)); }

std::string ComboText(HWND d, int id, LRESULT index) {
  char text[300] = {};
  const LRESULT length = index >= 0 ? SendDlgItemMessageA(d, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) : -1;
  if (length >= 0 && length < static_cast<LRESULT>(sizeof text))
    SendDlgItemMessageA(d, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return text;
}

// The box shows the data source stored in the file under the cursor,
// selected, or is disabled when that file names none.
void RefreshSourceBox(HWND d) {
  ReportOpenState& s = *OpenState(d);
  s.stored.clear();
  char path[kFileBufferSize] = {};
  const int needed = GetFileDialogFilePath(d, path, sizeof path);
  FileInfo info;
  if (needed > 1 && needed <= static_cast<int>(sizeof path) && GetFileInfoByPath(path, &info) && info.regular)
    s.stored = StoredDataSource(path);
  if (s.stored.size() >= kSourceNameLimit) s.stored.clear();
  int selected = -1;
  SendDlgItemMessageA(d, kSourceBox, CB_RESETCONTENT, 0, 0);
  for (const std::string& e : DataSourceBoxEntries(s.known, s.stored, &selected))
    SendDlgItemMessageA(d, kSourceBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
  SendDlgItemMessageA(d, kSourceBox, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  EnableWindow(GetDlgItem(d, kSourceBox), s.stored.empty() ? FALSE : TRUE);
}

// OK: a box entry other than the stored source (marked or not) is the pick.
void TakeSourcePick(HWND d) {
  ReportOpenState& s = *OpenState(d);
  s.chosen.clear();
  if (!IsWindowEnabled(GetDlgItem(d, kSourceBox))) return;
  const std::string picked = ComboText(d, kSourceBox, SendDlgItemMessageA(d, kSourceBox, CB_GETCURSEL, 0, 0));
  if (!picked.empty() && picked != s.stored && picked != s.stored + GetResString(kIdsNotAvailable, 0))
    s.chosen = picked;
}

INT_PTR ReportOpenProc(HWND d, UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
      SetWindowLongPtrA(d, DWLP_USER, ofn->lCustData);
      ReportOpenState& s = *OpenState(d);
      // Every data source the database library knows, in its order.
      CKmDoc& doc = *s.doc;
      if (doc.m_pModel != nullptr || doc.CreateReportTables()) {
        DataAccess* data = GetDataAccess(doc.m_pModel);
        if (data->InitDatabaseLibrary())
          while (const char* n = data->NextDataSourceName()) s.known.push_back(n);
      }
      for (const std::string& n : s.known)
        SendDlgItemMessageA(d, kSourceBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
      EnableWindow(GetDlgItem(d, kSourceBox), FALSE);
      return TRUE;
    }
    case WM_NOTIFY: {
      ReportOpenState* s = OpenState(d);
      const auto* n = reinterpret_cast<const OFNOTIFYA*>(lParam);
      if (s == nullptr) return FALSE;
      if (n->hdr.code == CDN_INITDONE) {
        CenterFileDialogOver(d, s->doc->GetOwnerWindow());
        RefreshSourceBox(d);
      } else if (n->hdr.code == CDN_SELCHANGE) {
        RefreshSourceBox(d);
      } else if (n->hdr.code == CDN_FILEOK) {
        TakeSourcePick(d);
      }
      return FALSE;
    }
    case WM_HELP:
    case WM_CONTEXTMENU: {
      ReportOpenState* s = OpenState(d);
      static const DWORD pairs[] = {kSourceBox, kSourceHelp, kSourceLabel, kSourceHelp, 0, 0};
      if (s != nullptr && *s->doc->GetHelpFileName() != 0)
        WinHelpA(d, s->doc->GetHelpFileName(), msg == WM_HELP ? HELP_WM_HELP : HELP_CONTEXTMENU,
                 reinterpret_cast<ULONG_PTR>(pairs));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

std::string LoadFilterString(UINT filterId) { return FilterFromText(GetResString(filterId, 0)); }

std::string FilterFromText(std::string text) {
  if (text.empty()) return std::string(2, '\0');
  const char sep = text.back();
  for (char& c : text)
    if (c == sep) c = '\0';
  text.push_back('\0');
  return text;
}

DWORD FilterIndexForExtension(const char* ext, UINT filterId) {
  return FilterIndexInText(ext, GetResString(filterId, 0));
}

DWORD FilterIndexInText(const char* ext, const std::string& text) {
  if (ext == nullptr || std::strlen(ext) != 3) return 1;
  const std::string wanted = "*." + Upper(ext);
  if (text.empty()) return 1;
  const char sep = text.back();
  DWORD group = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(sep, at);
    if (end == std::string::npos) break;
    const std::string label = text.substr(at, end - at);
    ++group;
    // The patterns in the label's parentheses.
    const size_t open = label.find('('), close = label.find(')');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      const std::string list = Upper(label.substr(open + 1, close - open - 1));
      for (size_t p = 0; p <= list.size();) {
        size_t e = list.find(';', p);
        if (e == std::string::npos) e = list.size();
        if (list.substr(p, e - p) == wanted) return group;
        p = e + 1;
      }
    }
    // Skip the pattern part of the pair.
    const size_t next = text.find(sep, end + 1);
    if (next == std::string::npos) break;
    at = next + 1;
  }
  return 1;
}

BOOL RunOpenFileDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                       const char* defaultExt, UINT titleId, UINT helpContext) {
  DialogAdditions more;
  more.helpContext = helpContext;
  return RunCommonDialog(doc, false, owner, initialName, initialDir, filterId, defaultExt, titleId, more);
}

BOOL RunMasterTableOpenDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir,
                              UINT filterId, const char* defaultExt, UINT titleId, UINT helpContext) {
  MasterOpenChoice choice{&doc};
  DialogAdditions more;
  more.helpContext = helpContext;
  more.templateName = "DMasterOpen";
  more.hook = MasterOpenProc;
  more.data = reinterpret_cast<LPARAM>(&choice);
  const BOOL ok = RunCommonDialog(doc, false, owner, initialName, initialDir, filterId, defaultExt, titleId, more);
  if (ok) doc.m_bCreateWithoutMaster = choice.withoutMaster;
  return ok;
}

BOOL OpenLibraryDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                       const char* defaultExt, UINT titleId) {
  std::string name = initialName != nullptr ? initialName : "";
  if (doc.m_bLibraryMode) {
    // A member's name as a file name: letters, digits, "." and "_".
    name.erase(0, name.find_first_not_of(' ') == std::string::npos ? name.size() : name.find_first_not_of(' '));
    for (char& c : name)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_') c = ' ';
  }
  for (;;) {
    DialogAdditions more;
    more.helpContext = kSaveAsHelp;
    if (!RunCommonDialog(doc, true, owner, name.c_str(), initialDir, filterId, defaultExt, titleId, more))
      return FALSE;
    const std::string chosen = doc.m_files.chosenPath;
    const std::string ext = Upper(Extension(chosen.c_str()));
    FileInfo info;
    if ((ext == "QB6" || ext == "QN6") && !GetFileInfoByPath(chosen, &info)) {
      if (MessageBoxA(owner, GetResString(kIdsLibraryExtQuestion, 0), doc.GetAppCaption(),
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        name = chosen;
        continue;
      }
    }
    return TRUE;
  }
}

BOOL RunReportOpenDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                         const char* defaultExt, UINT titleId, UINT helpContext, BOOL* noOverride) {
  if (noOverride != nullptr) *noOverride = TRUE;
  std::string source;
  if (doc.m_settings.readReportAlwaysUseSameDS) {
    if (!RunOpenFileDialog(doc, owner, initialName, initialDir, filterId, defaultExt, titleId, helpContext)) return FALSE;
    source = StoredDataSource(doc.m_files.chosenPath);
  } else {
    // The explorer-style dialog with the Data Source box under the file
    // dialog's own controls: this system's shell is always the new one.
    ReportOpenState state;
    state.doc = &doc;
    DialogAdditions more;
    more.helpContext = helpContext;
    more.templateName = "IDD_DSOVERRIDE";
    more.hook = ReportOpenProc;
    more.data = reinterpret_cast<LPARAM>(&state);
    if (!RunCommonDialog(doc, false, owner, initialName, initialDir, filterId, defaultExt, titleId, more))
      return FALSE;
    // No pick: the data source stored in the report chosen.
    source = !state.chosen.empty() ? state.chosen : StoredDataSource(doc.m_files.chosenPath);
  }
  // A library chooses its data source in its own dialog.
  if (!IsCompoundFile(doc.m_files.chosenPath)) return TRUE;
  if (source == GetResString(kIdsNone, 0)) source.clear();
  if (!SetReportDataSource(doc, source.c_str())) return FALSE;
  if (noOverride != nullptr) *noOverride = FALSE;
  return TRUE;
}

std::string StoredDataSource(const char* path) {
  std::string source;
  if (!ReadReportFileInfo(path, &source)) return std::string();
  return source;
}

std::vector<std::string> DataSourceBoxEntries(const std::vector<std::string>& known, const std::string& stored,
                                              int* selected) {
  std::vector<std::string> entries = known;
  *selected = -1;
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == stored) *selected = static_cast<int>(i);
  if (*selected < 0 && !stored.empty()) {
    entries.push_back(stored == GetResString(kIdsNone, 0) ? stored : stored + GetResString(kIdsNotAvailable, 0));
    *selected = static_cast<int>(entries.size() - 1);
  }
  return entries;
}

std::string GetDisplayFileName(const char* path) {
  if (path == nullptr || *path == 0) return std::string();
  const char* slash = std::strrchr(path, '/');
  const char* back = std::strrchr(path, '\\');
  const char* cut = slash > back ? slash : back;
  return cut != nullptr ? cut + 1 : path;
}

namespace {
// A folder setting with its separator; an empty one stands for the start-up folder.
std::string DirWithSlash(const char* dir) {
  char buf[MAX_PATH + 1];
  CopyDirWithSlash(dir, buf, sizeof buf);
  return buf;
}

}  // namespace

std::string FolderPart(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string GetLibDirSlash(const CKmDoc& doc) { return DirWithSlash(doc.m_settings.libDir); }

std::string GetDataDirSlash(const KmDocBase& doc) { return DirWithSlash(doc.m_settings.dataDir); }

std::string GetTemplateDirSlash(const CKmDoc& doc) { return DirWithSlash(doc.m_settings.templateDir); }

bool AskPictureFile(CKmDoc& doc, HWND owner, bool save, std::string* path) {
  constexpr UINT kPictureFilter = 209, kPictureTitle = 177;
  const char* folder = doc.m_files.pictureDir[0] ? doc.m_files.pictureDir : doc.m_settings.imgDir;
  const char* ext = doc.m_settings.imgExt[0] ? doc.m_settings.imgExt : nullptr;
  const BOOL chosen = save ? OpenLibraryDialog(doc, owner, path->c_str(), folder, kPictureFilter, ext, kPictureTitle)
                           : RunOpenFileDialog(doc, owner, nullptr, folder, kPictureFilter, ext, kPictureTitle, 0);
  if (!chosen) return false;
  *path = doc.m_files.chosenPath;
  const std::string dir = FolderPart(*path);
  CopyBounded(doc.m_files.pictureDir, sizeof doc.m_files.pictureDir, dir.c_str());
  return true;
}

BOOL RunOpenFileDialogText(CKmDoc& doc, HWND owner, const char* initialDir, const std::string& filterText,
                           const std::string& title) {
  return RunCommonDialogText(doc, false, owner, nullptr, initialDir, filterText, nullptr, title);
}

BOOL CKmDoc::RunOpenFileDialog(HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                               const char* defaultExt, UINT titleId, UINT helpContext) {
  return ::RunOpenFileDialog(*this, owner, initialName, initialDir, filterId, defaultExt, titleId, helpContext);
}

std::string CKmDoc::GetReportFolder() const {
  // The open report's master table when it is a file, else the master
  // chosen for a new report.
  std::string master = m_pModel != nullptr && m_pModel->tableSlots[0] != nullptr ? m_pModel->tableSlots[0]->path : "";
  if (master.empty()) master = m_files.masterTable;
  std::string folder = FolderPart(master);
  if (folder.empty() && m_settings.dataDir[0] != '\0') folder = GetDataDirSlash(*this);
  if (folder.empty()) folder = FolderPart(m_files.currentFile);
  return folder;
}
