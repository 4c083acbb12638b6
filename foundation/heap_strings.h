// The program's allocator and its resource-string loader, used from every subsystem.
#pragma once

#include "platform/win/win_types.h"

class CExplicitLibraryManager;

// Every block starts zero-filled; the flags word is accepted for the callers'
// sake and has no effect.
void* HeapAllocZero(DWORD flags, DWORD size);
// The grown part is zero-filled; on failure null is returned and the old block stays.
void* HeapReAllocZero(void* block, DWORD size);
BOOL HeapFreeBlock(void* block);
DWORD HeapBlockSize(const void* block);

// Loads a string into one of two static 256-byte buffers (slot 0 or 1; any
// other slot is treated as 0). The text is valid until the next load into the
// same slot. An id with no string gives an empty text.
char* GetResString(UINT id, int slot);

// The slot buffer itself, for the path getters that share slot 1.
char* ResStringSlot(int slot);

// The full paths of the help file kmw.hlp and the printer-font information
// file kmwfif.ini (from the application's library manager; the bare name
// without one), copied into the slot-1 buffer and cut to 255 characters.
char* GetHelpFileName(const CExplicitLibraryManager* manager);
char* GetFontInfoIniName();

void AppendChar(char* text, char c);
// How many times the first character repeats at the start of text (at least 1).
int CountRepeatRun(const char* text);
