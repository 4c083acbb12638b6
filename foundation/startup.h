// Start-up checks, the settings sequence and shut-down of the document, and
// the two registry steps of the application's start.
#pragma once

#include "platform/win/gdi.h"

#include "platform/win/win_types.h"

#include <cstddef>
#include <string>

class KmDocBase;

// Block sizes made at start-up, zero-filled.
constexpr DWORD kPageSetupBytes = 112;
constexpr DWORD kSmallPageBytes = 16;
constexpr DWORD kDocPathsBytes = 4436;
constexpr DWORD kDirBlockBytes = 3654;
constexpr DWORD kPageDriverBytes = 570;
constexpr DWORD kExportFileBytes = 64;  // stands for the export's file object

// The document paths block: the last library and a file waiting to be deleted.
constexpr size_t kDocPathsLibrary = 0;
constexpr size_t kDocPathsPending = 261;

// Entries of the program-wide directory block, 261 bytes each.
enum DirBlockEntry {
  kDirProgram = 0,
  kDirStartup = 1,
  kDirWork = 2,
  kDirDictTable = 3,
  kDirDictIndex = 4,
};
constexpr size_t kDirEntryBytes = 261;
// The entry's text, or null before start-up made the block.
char* DirBlockEntryText(int entry);

// Program-wide screen values measured at start-up.
struct ScreenInfo {
  bool colorDisplay = true;
  WORD dpiX = 96;
  WORD dpiY = 96;
  // The window's colours and the brush the layout paints its background with
  // (made at start-up, deleted at exit).
  DWORD windowColour = 0xFFFFFF;
  DWORD windowTextColour = 0;
  HBRUSH windowBrush = nullptr;
};
extern ScreenInfo g_screen;

// 1 when the program can run, 0 after reporting why not (blocks freed).
int StartupChecks(KmDocBase& doc);
// The start-up sequence: checks, screen, settings, printer, sort order.
int InitSettings(KmDocBase& doc);
void SaveSettingsOnExit(KmDocBase& doc);
// The interface font of that height and weight; the stock variable font when
// it cannot be made.
HFONT CreateUiFont(int height, int weight);
// Takes the Insert Field palette down when it is open: its list holds the
// fields of the report that is going.
void DestroyInsertFieldPalette(KmDocBase& doc);
void RegisterAppPath();
// Fills owner and organisation from the office suite's key; missing values
// leave them as they were.
void ReadRegisteredUser(std::string* owner, std::string* organisation);

// Deletes the pending file of the document paths block and clears the name.
void FlushPendingFileName(KmDocBase& doc);
