// A picture pasted from the clipboard is saved in a file the user names
// before its report is saved, since the report keeps only the file's name.
#pragma once

class CKmDoc;
struct PictureItem;

// The clipboard-image prompt until the picture is written or the prompt is
// cancelled; false when cancelled. The picture then names its file.
bool SavePictureFromClipboard(CKmDoc& doc, PictureItem& picture);
