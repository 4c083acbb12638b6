// Choosing a folder, and the Browse buttons beside the folder and file
// fields of the program's dialogs. Every chooser leaves its answer in the
// document's chosen path and returns TRUE on OK.
#pragma once

#include "platform/win/window.h"

#include <functional>
#include <string>

class CKmDoc;

// The folder chooser, started at (and selecting) the initial folder.
BOOL BrowseForFolder(CKmDoc& doc, HWND owner, const char* initialDir, UINT titleId, UINT helpContext);

// A Browse button: the field's text, else defaultText, else what fallback
// gives, is where the chooser starts; a file (wantFile, with the filter and
// the extension from the extension field, else defaultExt) or a folder is
// chosen and written into the field. Cancel leaves the field as it was.
// True when the field was changed.
struct BrowseRequest {
  int editId = 0;
  std::string defaultText;
  std::function<std::string()> fallback;
  bool wantFile = false;
  UINT filterId = 0;
  int extEditId = 0;
  std::string defaultExt;
  UINT titleId = 0;
};
bool BrowseIntoDirectoryEdit(CKmDoc& doc, HWND dialog, const BrowseRequest& r);

// A folder as a chooser gives it back to a field: no trailing separator
// unless it is a root, and a path naming a file cut back to its folder.
std::string FolderForField(std::string path);
