#include "app/save_report.h"

#include "app/document.h"
#include "app/file_checks.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/library_dialogs.h"
#include "designer/paste_image.h"
#include "layout/layout_records.h"
#include "foundation/library_file.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "foundation/text_helpers.h"
#include "platform/win/fileio.h"
#include "platform/win/message_box.h"
#include "platform/win/resources.h"
#include "platform/win/wsprintf.h"

#include <string>

namespace {

SaveDialogs g_defaultDialogs;
SaveDialogs* g_dialogs = nullptr;

constexpr UINT kIdsFileFilter = 85;
constexpr UINT kIdsSaveCaption = 231;
constexpr UINT kIdsSaveAsTitle = 237;
constexpr UINT kIdsReplaceFile = 824;
constexpr UINT kIdsLibraryWithoutObjects = 825;
constexpr UINT kHelpLibraryQuestion = 1014;

// Turns the wait cursor off however the save ends.
class WaitCursor {
 public:
  explicit WaitCursor(CKmDoc& doc) : doc_(doc) { doc_.SetWaitCursor(1); }
  ~WaitCursor() { doc_.SetWaitCursor(0); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  CKmDoc& doc_;
};

int AskSave(CKmDoc& doc, const std::string& text) {
  return MessageBoxA(doc.GetOwnerWindow(), text.c_str(), GetResString(kIdsSaveCaption, 0),
                     MB_YESNOCANCEL | MB_ICONEXCLAMATION);
}

bool FileExists(const char* path) {
  FileInfo info;
  return path != nullptr && *path != 0 && GetFileInfoByPath(NativePath(path), &info);
}

// A failed open leaves its file's name with the file object; nothing is
// written over that file until another report is loaded.
bool OpenFailedAt(CKmDoc& doc, const char* path) {
  if (!doc.m_bReportOpen) return true;
  if (doc.m_pRepIO == nullptr || !doc.m_pRepIO->OpenFailed()) return false;
  return NativePath(doc.m_pRepIO->FailedPath()) == NativePath(path);
}

void ClearSavedFlag(CKmDoc& doc) {
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.saved = 0;
}

// Writes the report as member of library; TRUE on success (the writer has
// shown its own message otherwise).
BOOL WriteMember(CKmDoc& doc, const char* library, const char* member) {
  ReportFileIO* io = doc.FileIO();
  if (io == nullptr || member == nullptr || *member == 0) return FALSE;
  return io->SaveToLibrary(doc, library, member) == 1;
}

}  // namespace

SaveDialogs& GetSaveDialogs() { return g_dialogs ? *g_dialogs : g_defaultDialogs; }
void SetSaveDialogs(SaveDialogs* dialogs) { g_dialogs = dialogs; }
bool SaveDialogsSet() { return g_dialogs != nullptr; }

bool IsLibraryTarget(const char* path) {
  if (path == nullptr || *path == 0) return false;
  std::string existing = ResolveExistingPath(NativePath(path));
  FileInfo info;
  return !existing.empty() && GetFileInfoByPath(existing, &info) && info.regular && info.size > 0 &&
         !IsCompoundFile(existing.c_str());
}

bool CanWriteLibrary(CKmDoc& doc, const char* path) {
  LibraryFile* engine = doc.LibraryEngine();
  if (engine == nullptr || !IsLibraryTarget(path)) return false;
  WORD kind = 0;
  LibFileControlBlock* lib = engine->LibFileOpen(path, lib_of::ShareExclusive, lib_of::ReadWrite, &kind, 0);
  if (lib == nullptr) return false;
  engine->LibFileClose(lib);
  return true;
}

int AskSaveWithoutObjects(CKmDoc& doc) {
  if (doc.CountClientItems() <= 0) return IDYES;
  CMainFrame* frame = doc.m_pMainFrame;
  UINT context = frame ? frame->m_nHelpContext : 0;
  if (frame) frame->m_nHelpContext = kHelpLibraryQuestion;
  int answer = AskSave(doc, GetResString(kIdsLibraryWithoutObjects, 0));
  if (frame) frame->m_nHelpContext = context;
  return answer;
}

BOOL SaveReport(CKmDoc& doc, BOOL ask) {
  SaveDialogs& dialogs = GetSaveDialogs();
  const char* library = doc.m_files.currentFile;
  if (ask) {
    if (dialogs.ChooseSaveMember(doc, library) < 1) {
      dialogs.RefreshCaretAndStatus(doc);
      return FALSE;
    }
  }
  const char* member = ask ? doc.m_szReportName2 : doc.m_szReportName;
  WaitCursor wait(doc);
  if (!WriteMember(doc, library, member)) {
    dialogs.RefreshCaretAndStatus(doc);
    return FALSE;
  }
  if (ask) {
    CopyBounded(doc.m_szReportName, sizeof doc.m_szReportName, doc.m_szReportName2);
    doc.UpdateTitle(TRUE);
  }
  dialogs.AddRecentFile(doc, library);
  doc.SetModifiedFlag(FALSE);
  dialogs.RefreshCaretAndStatus(doc);
  return TRUE;
}

namespace {
bool SaveAs(CKmDoc& doc);

// File Save; true when the report was written.
bool Save(CKmDoc& doc) {
  if (!doc.CanSaveReport()) return false;
  SaveDialogs& dialogs = GetSaveDialogs();
  if (!SaveClipboardPictures(doc)) return false;
  const std::string path = doc.GetPathName();
  if (doc.m_szReportName[0] == 0 || path.empty()) return SaveAs(doc);
  if (!IsLibraryTarget(path.c_str())) {
    if (OpenFailedAt(doc, path.c_str())) return false;
    ClearSavedFlag(doc);
    WaitCursor wait(doc);
    if (!doc.OnSaveDocument(path.c_str())) return false;
    doc.SetModifiedFlag(FALSE);
    return true;
  }
  if (!CanWriteLibrary(doc, path.c_str())) return SaveAs(doc);
  if (AskSaveWithoutObjects(doc) != IDYES) return false;
  WaitCursor wait(doc);
  if (!WriteMember(doc, path.c_str(), doc.m_szReportName)) return false;
  dialogs.AddRecentFile(doc, path.c_str());
  doc.SetModifiedFlag(FALSE);
  return true;
}

// File Save As; true when the report was written.
bool SaveAs(CKmDoc& doc) {
  if (!doc.CanSaveReport()) return false;
  SaveDialogs& dialogs = GetSaveDialogs();
  if (!SaveClipboardPictures(doc)) return false;
  ClearSavedFlag(doc);
  for (;;) {
    doc.m_files.chosenPath[0] = 0;
    if (!dialogs.RunSaveAsDialog(doc, doc.GetTitle().c_str())) return false;
    std::string path = doc.m_files.chosenPath;
    if (path.empty()) return false;

    // A new name with a library's extension is made an empty library, which
    // goes again when nothing is saved into it.
    bool madeLibrary = false;
    if ((IsReportLibraryName(path.c_str()) || IsTemplateLibraryName(path.c_str())) && !FileExists(path.c_str())) {
      if (!CreateReportLibrary(doc, path.c_str())) return false;
      madeLibrary = true;
    }

    if (CanWriteLibrary(doc, path.c_str())) {
      int answer = AskSaveWithoutObjects(doc);
      if (answer != IDYES && madeLibrary) DeleteFileA(path.c_str());
      if (answer == IDNO) continue;
      if (answer != IDYES) return false;
      // The report stays the document's until the member is written.
      char previous[sizeof doc.m_files.currentFile];
      CopyBounded(previous, sizeof previous, doc.m_files.currentFile);
      CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, path.c_str());
      if (!SaveReport(doc, TRUE)) {
        CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, previous);
        if (madeLibrary) DeleteFileA(path.c_str());
        return false;
      }
      // Save writes into this member from now on.
      doc.ForgetCompoundFile();
      doc.m_bLibraryMode = TRUE;
      doc.SetPathName(path.c_str());
      doc.SetTitleAlways(doc.m_szReportName);
      doc.SetModifiedFlag(FALSE);
      return true;
    }

    if (IsLibraryTarget(path.c_str())) {
      // Neither a report file nor a library that opens for writing: never replaced.
      if (madeLibrary) DeleteFileA(path.c_str());
      ShowDocMessage(doc, FormatDocString(kIdsReplaceFile, FileNamePart(path.c_str())), MB_ICONEXCLAMATION);
      return false;
    }
    if (FileExists(path.c_str())) {
      int answer = AskSave(doc, FormatDocString(kIdsReplaceFile, FileNamePart(path.c_str())));
      if (answer == IDNO) continue;
      if (answer != IDYES) return false;
    }
    if (OpenFailedAt(doc, path.c_str())) return false;
    BOOL saved;
    {
      WaitCursor wait(doc);
      saved = doc.OnSaveDocument(path.c_str());
    }
    if (!saved) return false;
    CopyBounded(doc.m_szReportName, sizeof doc.m_szReportName, path.c_str());
    CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, path.c_str());
    doc.m_bLibraryMode = FALSE;
    doc.SetPathName(path.c_str());
    dialogs.AddRecentFile(doc, path.c_str());
    doc.SetModifiedFlag(FALSE);
    doc.UpdateTitle(TRUE);
    return true;
  }
}

}  // namespace

void OnFileSave(CKmDoc& doc) { Save(doc); }
void OnFileSaveAs(CKmDoc& doc) { SaveAs(doc); }


BOOL SaveCurrentReport(CKmDoc& doc, BOOL saveAs) {
  const std::string path = doc.GetPathName();
  if (doc.m_szReportName[0] == 0 || path.empty()) return SaveAs(doc);
  if (!IsLibraryTarget(path.c_str()) || !CanWriteLibrary(doc, path.c_str())) return saveAs ? SaveAs(doc) : Save(doc);
  return SaveReport(doc, saveAs);
}

BOOL SaveClipboardPictures(CKmDoc& doc) {
  if (doc.m_pLayout == nullptr) return TRUE;
  ItemTable<PictureItem>& pictures = doc.m_pLayout->pictures;
  for (int i = 0; i < pictures.Count(); ++i) {
    PictureItem* p = pictures.At(i);
    // A pasted picture carries the clipboard's name until it is saved in a file.
    if (p == nullptr || !p->fromClipboard ||
        (p->fileName[0] != 0 && LoadResString(kFromClipboardName) != p->fileName))
      continue;
    if ((p->head.flags & (kItemDeleted | kItemInClipboard)) != 0) continue;
    if (!GetSaveDialogs().SaveClipboardPicture(doc, *p)) return FALSE;
  }
  return TRUE;
}

void OnFileProperties(CKmDoc& doc) {
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->RunPropertiesDialog();
  GetSaveDialogs().RefreshCaretAndStatus(doc);
}

BOOL DispatchSaveCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kCmdFileSave:
      OnFileSave(doc);
      return TRUE;
    case kCmdFileSaveAs:
      OnFileSaveAs(doc);
      return TRUE;
    case kCmdFileProperties:
      OnFileProperties(doc);
      return TRUE;
    default:
      return FALSE;
  }
}
