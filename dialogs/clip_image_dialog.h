// The clipboard-image prompt ("DClipImg"): the file a picture pasted from
// the clipboard is saved in, asked for before its report is saved.
#pragma once

#include <functional>
#include <string>

class KmDocBase;

// Asks for a path and hands it to save, which writes the picture there and
// answers true, or shows why it could not and answers false (the dialog then
// stays open). False when cancelled.
bool RunClipImageDialog(KmDocBase& doc, const std::function<bool(const std::string& path)>& save);
