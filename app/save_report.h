// Saving the one document's report: File Save, File Save As, saving into a
// library member, and the questions asked before a save goes ahead.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;
struct PictureItem;

// The dialogs and services saving runs that belong to other parts of the
// program. The defaults answer as a cancelled dialog would; the picture
// step lets the save go on.
class SaveDialogs {
 public:
  virtual ~SaveDialogs() = default;
  // The Save As file dialog, starting from initial: the chosen path into the
  // document's file settings (chosenPath); FALSE on cancel.
  virtual BOOL RunSaveAsDialog(CKmDoc& /*doc*/, const char* /*initial*/) { return FALSE; }
  // The library's Save As dialog: the member name into the document's second
  // report name; below 1 when nothing was chosen.
  virtual int ChooseSaveMember(CKmDoc& /*doc*/, const char* /*library*/) { return 0; }
  // The clipboard-image dialog: saves the picture as a file and puts its
  // name into the picture; FALSE when cancelled.
  virtual BOOL SaveClipboardPicture(CKmDoc& /*doc*/, PictureItem& /*picture*/) { return FALSE; }
  virtual void AddRecentFile(CKmDoc& /*doc*/, const char* /*path*/) {}
  // The design view's caret and status line after a library save.
  virtual void RefreshCaretAndStatus(CKmDoc& /*doc*/) {}
};

SaveDialogs& GetSaveDialogs();
// null restores the defaults.
void SetSaveDialogs(SaveDialogs* dialogs);
bool SaveDialogsSet();

// Offers every picture pasted from the clipboard that has no file yet to
// the clipboard-image dialog; FALSE when the user cancelled (no save then).
BOOL SaveClipboardPictures(CKmDoc& doc);
// File Save and File Save As.
void OnFileSave(CKmDoc& doc);
void OnFileSaveAs(CKmDoc& doc);
// The library dialogs' save: TRUE when the report was written.
BOOL SaveCurrentReport(CKmDoc& doc, BOOL saveAs);
// Writes the report into a member of the current library: with ask, the
// member chosen in the library's Save As dialog, else the current report name.
BOOL SaveReport(CKmDoc& doc, BOOL ask);

// File Properties: the file object's properties dialog.
void OnFileProperties(CKmDoc& doc);
// Runs the save command id (File Save, Save As, Properties); FALSE for any
// other command.
BOOL DispatchSaveCommand(CKmDoc& doc, UINT id);

// An existing, non-empty file that is not a report file (a library).
bool IsLibraryTarget(const char* path);
// Whether the library at path opens for writing (it is closed again).
bool CanWriteLibrary(CKmDoc& doc, const char* path);
// The question before a report with objects goes into a library; IDYES
// without asking when the report has none.
int AskSaveWithoutObjects(CKmDoc& doc);
