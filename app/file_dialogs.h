// The program's way of asking for a file: one preparation of the common file
// dialog shared by every caller, the Open and Save As variants, and the
// report Open dialog that also chooses the report's data source. Every
// dialog leaves its answer in the document's chosen path and returns TRUE on OK.
#pragma once

#include "platform/win/window.h"

#include <string>
#include <vector>

class CKmDoc;
class KmDocBase;

// The string's filter with every "|" turned into a null (a list of pairs).
std::string LoadFilterString(UINT filterId);
// The 1-based group of the filter whose pattern list names the three-letter
// extension (case ignored); 1 when none does.
DWORD FilterIndexForExtension(const char* ext, UINT filterId);

// The same from the filter's text ("label|patterns|...", the last character
// the separator).
std::string FilterFromText(std::string text);
DWORD FilterIndexInText(const char* ext, const std::string& text);

// The plain Open dialog (hide read-only, the file must exist).
BOOL RunOpenFileDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                       const char* defaultExt, UINT titleId, UINT helpContext);
// The Open dialog for a master table file, with the check box "Create
// report without master table": OK with it set chooses no file (an empty
// chosen path); the box's state becomes the document's choice of that name.
BOOL RunMasterTableOpenDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir,
                              UINT filterId, const char* defaultExt, UINT titleId, UINT helpContext);
// The plain Open dialog with its filter and title as texts (the re-select
// of a table file while a report is read).
BOOL RunOpenFileDialogText(CKmDoc& doc, HWND owner, const char* initialDir, const std::string& filterText,
                           const std::string& title);
// Save As for reports and libraries; a new name with a library extension is
// asked about first (string 7020).
BOOL OpenLibraryDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                       const char* defaultExt, UINT titleId);
// Insert > Picture's Open dialog and Save As Picture's, in the folder a
// picture was last chosen in (else the image folder of the settings); the
// chosen file in path, its folder remembered.
bool AskPictureFile(CKmDoc& doc, HWND owner, bool save, std::string* path);

// File Open's dialog: a report file or library, and the data source the
// report is read over (the one stored in it unless another is picked).
// noOverride (when given) tells whether no data source was applied.
BOOL RunReportOpenDialog(CKmDoc& doc, HWND owner, const char* initialName, const char* initialDir, UINT filterId,
                         const char* defaultExt, UINT titleId, UINT helpContext, BOOL* noOverride);

// The folder part of a path with its separator; empty for a bare name.
std::string FolderPart(const std::string& path);
// The display name of a path (its file-name part); the text is kept in the
// caller's string.
std::string GetDisplayFileName(const char* path);
// The library and data folders with their separators (the start-up folder
// when none is set).
std::string GetLibDirSlash(const CKmDoc& doc);
std::string GetDataDirSlash(const KmDocBase& doc);
// The template folder with its separator, else the start-up folder.
std::string GetTemplateDirSlash(const CKmDoc& doc);

// The data-source box of the report Open dialog: what each report file holds.
// The stored data source of a report file (" (None)" for an empty record);
// empty when the file is not a report file or names none.
std::string StoredDataSource(const char* path);
// The box's entries for a stored source: the known names, plus the stored
// one followed by "  (Not available)" when it is not among them (" (None)"
// stays as it is); selected is the index to select, -1 for none.
std::vector<std::string> DataSourceBoxEntries(const std::vector<std::string>& known, const std::string& stored,
                                              int* selected);
