// Registered clipboard formats: data of a format another program names
// (a query handed over, for one) put on and read from the clipboard by
// name, as bytes. No toolkit type appears here.
#pragma once

#include "platform/win/win_types.h"

#include <cstddef>
#include <string>
#include <vector>

// The format's id for its name (the same name gives the same id); 0 for an
// empty name. Ids start at 0xC000.
UINT RegisterClipboardFormatA(const char* name);
// The name of a registered format, "" for an unknown id.
std::string ClipboardFormatName(UINT format);
// The toolkit's type name a registered format travels under, in clipboard
// and drag data alike.
std::string ClipboardFormatMimeType(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
// The format's bytes; false when the clipboard holds none.
bool ReadClipboardFormat(UINT format, std::vector<unsigned char>* out);
// Replaces the clipboard's content by these bytes of the format.
bool WriteClipboardFormat(UINT format, const void* data, size_t size);
// The clipboard's text (CF_TEXT) in the program's code page; false when it holds none.
bool ReadClipboardText(std::string* out);
bool WriteClipboardText(const std::string& text);
