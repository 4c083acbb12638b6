// Edit > Paste Clipboard Image: the bitmap on the clipboard becomes a picture
// item at the caret, at its natural size.
#pragma once

#include "layout/layout_records.h"
#include "platform/win/clipboard_image.h"

constexpr UINT kPasteNoMemoryMessage = 676;  // "Insufficient memory to copy or paste additional objects"
constexpr UINT kFromClipboardName = 268;     // "(from clipboard)"
constexpr uint32_t kPastedPictureFlags = kItemKindPicture | kItemFixedPosition;

// What pasting needs beyond the layout tables.
class PasteImageHost {
 public:
  virtual ~PasteImageHost() = default;
  virtual void WaitCursor(bool /*on*/) {}
  // The image library's handle for the pixels; null when none can be made.
  virtual void* CreateImage(const ClipboardImage& /*image*/) { return nullptr; }
  virtual void ShowError(UINT /*stringId*/) {}
};

// The command is offered with a report open, no in-place entry open and a
// bitmap on the clipboard.
bool CanPasteClipboardImage(bool reportOpen, bool inPlaceEntryOpen);

// Places the clipboard's bitmap at the caret (x in layout pixels, the caret
// line's top). Null, after the message, when the clipboard holds no bitmap or
// no image can be made of it; null without one when the picture table is full.
PictureItem* PasteClipboardImage(LayoutTables& t, PasteImageHost& host, int caretX);
