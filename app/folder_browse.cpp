#include "app/folder_browse.h"

#include "app/document.h"
#include "app/file_dialogs.h"
#include "foundation/heap_strings.h"
#include "platform/win/commdlg.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/wsprintf.h"

#include <memory>

namespace {

constexpr UINT kBrowseHelp = 1060;
constexpr DWORD kPathBufferSize = 261;

bool IsRoot(const std::string& p) {
  return p == "/" || p == "\\" || (p.size() == 2 && p[1] == ':') ||
         (p.size() == 3 && p[1] == ':' && IsPathSeparator(p[2]));
}

std::string ItemText(HWND dialog, int id, int limit) {
  std::unique_ptr<char[]> text(new char[static_cast<size_t>(limit) + 1]());
  GetDlgItemTextA(dialog, id, text.get(), limit + 1);
  return text.get();
}

}  // namespace

BOOL BrowseForFolder(CKmDoc& doc, HWND owner, const char* initialDir, UINT titleId, UINT helpContext) {
  std::unique_ptr<char[]> path(new char[kPathBufferSize]());
  const std::string title = GetResString(titleId, 0);
  BROWSEINFOA bi;
  bi.hwndOwner = owner;
  bi.lpszTitle = title.c_str();
  bi.lpszInitialDir = initialDir != nullptr && *initialDir != 0 ? initialDir : nullptr;
  bi.pszPath = path.get();
  bi.nMaxPath = kPathBufferSize;
  bi.lpstrHelpFile = doc.GetHelpFileName();
  bi.dwHelpContext = helpContext;
  if (!BrowseForFolderA(&bi)) {
    if (doc.m_bReportOpen && doc.m_pView != nullptr) doc.m_pView->UpdateCaretAndStatus(0);
    return FALSE;
  }
  CopyBounded(doc.m_files.chosenPath, sizeof doc.m_files.chosenPath, path.get());
  return TRUE;
}

std::string FolderForField(std::string path) {
  if (!IsRoot(path) && !path.empty() && IsPathSeparator(path.back())) path.pop_back();
  FileInfo info;
  if (!IsRoot(path) && GetFileInfoByPath(NativePath(path), &info) && info.regular) {
    const size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos) path = cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
  }
  return path;
}

bool BrowseIntoDirectoryEdit(CKmDoc& doc, HWND dialog, const BrowseRequest& r) {
  std::string start = ItemText(dialog, r.editId, 260);
  if (start.empty()) start = !r.defaultText.empty() ? r.defaultText : r.fallback ? r.fallback() : std::string();
  std::string folder = start, name;
  if (r.wantFile) {
    const size_t cut = start.find_last_of("/\\");
    if (cut != std::string::npos) {
      folder = start.substr(0, cut == 0 ? 1 : cut);
      name = start.substr(cut + 1);
    } else if (!IsDirectoryPath(start.c_str())) {
      folder.clear();
      name = start;
    }
  }
  if (!IsRoot(folder) && !folder.empty() && IsPathSeparator(folder.back())) folder.pop_back();
  std::string ext = r.extEditId != 0 ? ItemText(dialog, r.extEditId, 3) : r.defaultExt;
  BOOL ok;
  if (r.wantFile)
    ok = RunOpenFileDialog(doc, dialog, name.c_str(), folder.c_str(), r.filterId, ext.empty() ? nullptr : ext.c_str(),
                           r.titleId, kBrowseHelp);
  else
    ok = BrowseForFolder(doc, dialog, folder.c_str(), r.titleId, kBrowseHelp);
  if (!ok) return false;
  std::string chosen = doc.m_files.chosenPath;
  if (!r.wantFile) chosen = FolderForField(chosen);
  SetDlgItemTextA(dialog, r.editId, chosen.c_str());
  return true;
}
