// The designer's own editing of the layout: Clear with one level of Undo,
// Cut, Copy and Paste of items and band lines through the designer's private
// clipboard (inside the document), and Undo of the last move or resize.
// Items are never freed while they may come back: a flag bit (held for undo,
// held in the clipboard) hides them until the holding ends.
#pragma once

#include "layout/layout_records.h"

class CKmView;

// Frees for good every item with any of the flag bits; data fields are only
// hidden, copies of fields (aliases) leave the report.
void ZapItems(CKmView& v, uint32_t mask);
// Ends the undo holding (the last Clear and the last move).
void ForgetUndoDelete(CKmView& v, bool refreshFormatBar);
// Ends the clipboard holding.
void ClearInternalClipboard(CKmView& v);
// Copies the selected items in vertical order; with deselectSources the
// copies stay selected, else the sources. Each copy gets the extra flag bits.
// Returns the number of copies.
int CopySelectedItems(CKmView& v, bool deselectSources, uint32_t extra);

// The commands; false (after a beep or a message) when nothing changed.
bool ClearSelectedItems(CKmView& v);
bool UndoClear(CKmView& v);
bool UndoLastMove(CKmView& v);
bool CutOrCopy(CKmView& v, bool cut);
bool PasteClipboard(CKmView& v);
// The format bar's button: Undo with nothing selected or marked and
// something held, else Clear.
bool ClearOrUndoClear(CKmView& v);

// What Edit > Undo and Edit > Paste offer.
bool CanUndoClear(const LayoutTables& t);
bool CanUndoMove(const CKmView& v);
bool ClipboardHoldsLines(const LayoutTables& t);
bool ClipboardHoldsItems(const LayoutTables& t);
