// The calls start-up and shut-down make into the rest of the program. Each
// has a default that does nothing (or the least that is safe), so the
// sequence runs before every part is in place; the application installs its
// own hooks over them.
#pragma once

#include <string>

class CKmDoc;

class StartupHooks {
 public:
  virtual ~StartupHooks() = default;

  // Messages: a warning dialog (style 0) and an error dialog.
  virtual void Warning(CKmDoc& doc, const char* text);
  virtual void Error(CKmDoc& doc, const char* text);

  // The program's folder, with its trailing separator.
  virtual std::string ProgramDirectory();
  // The expression compiler's work area; false when it cannot be had.
  virtual bool InitCompiler(CKmDoc& doc, unsigned workArea, unsigned longestString);
  virtual void FreeCompiler(CKmDoc& doc);
  // The number of file handles the system gives for the number asked.
  virtual unsigned SetHandleCount(unsigned wanted);

  // Start-up.
  virtual void AttachStatusBuffer(CKmDoc& /*doc*/) {}
  virtual void ResetPageOrigin(CKmDoc& /*doc*/) {}
  virtual void GetDefaultPrinter(CKmDoc& doc);
  // Colour display and pixels per inch of the screen.
  virtual void MeasureScreen(CKmDoc& doc);
  virtual void EnumPrinterFonts(CKmDoc& /*doc*/) {}
  // Returns whether a font was made (and must be deleted at exit).
  virtual bool CreateUiFont(CKmDoc& /*doc*/, int /*height*/, int /*weight*/) { return false; }
  virtual void LoadSortOrderFile(CKmDoc& /*doc*/) {}
  // A change of the measurement system with a report open, after the margins
  // and band lines are converted: fields sized to their text, objects
  // converted, the layout recomputed and redrawn.
  virtual void ConvertOpenReport(CKmDoc& /*doc*/, int /*oldSystem*/, int /*newSystem*/) {}

  // Shut-down, in the order they are called.
  virtual void DestroyInsertFieldPalette(CKmDoc& /*doc*/) {}
  virtual void QuitHelp(CKmDoc& /*doc*/) {}
  virtual void ReleaseObjectFonts(CKmDoc& /*doc*/) {}
  virtual void ClearModel(CKmDoc& /*doc*/) {}
  virtual void DeleteAllUdfs(CKmDoc& /*doc*/) {}
  virtual void FreeTextItems(CKmDoc& /*doc*/) {}
  virtual void FreePrinterFonts(CKmDoc& /*doc*/) {}
  virtual void FreePicturesAndItems(CKmDoc& /*doc*/) {}
  virtual void FreeLinesAndBoxes(CKmDoc& /*doc*/) {}
  virtual void ReleaseCharts(CKmDoc& /*doc*/) {}
  virtual void ClearExportFormats(CKmDoc& /*doc*/) {}
  virtual void LibFreeBuffers(CKmDoc& /*doc*/) {}
  virtual void FreeStatusBuffer(CKmDoc& /*doc*/) {}
  virtual void RemoveWorkFiles(CKmDoc& /*doc*/) {}
  virtual void FreeConnectOverrides(CKmDoc& /*doc*/) {}
  virtual void FreeSqlFunctionTexts(CKmDoc& /*doc*/) {}
};

// The hooks in force; the defaults until SetStartupHooks gives others (null
// restores the defaults).
StartupHooks& GetStartupHooks();
void SetStartupHooks(StartupHooks* hooks);
