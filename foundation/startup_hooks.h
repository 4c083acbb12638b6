// The calls start-up and shut-down make into the rest of the program. Each
// has a default that does nothing (or the least that is safe), so the
// sequence runs before every part is in place; the application installs its
// own hooks over them.
#pragma once

#include <string>

class KmDocBase;

class StartupHooks {
 public:
  virtual ~StartupHooks() = default;

  // Messages: a warning dialog (style 0) and an error dialog.
  virtual void Warning(KmDocBase& doc, const char* text);
  virtual void Error(KmDocBase& doc, const char* text);

  // The program's folder, with its trailing separator.
  virtual std::string ProgramDirectory();
  // The expression compiler's work area; false when it cannot be had.
  // The compiler lives with the model, so without the application's hooks
  // there is nothing to prepare or free.
  virtual bool InitCompiler(KmDocBase& /*doc*/, unsigned /*workArea*/, unsigned /*longestString*/) { return true; }
  virtual void FreeCompiler(KmDocBase& /*doc*/) {}
  // The number of file handles the system gives for the number asked.
  virtual unsigned SetHandleCount(unsigned wanted);

  // Start-up.
  virtual void AttachStatusBuffer(KmDocBase& /*doc*/) {}
  virtual void ResetPageOrigin(KmDocBase& /*doc*/) {}
  virtual void GetDefaultPrinter(KmDocBase& doc);
  // Colour display and pixels per inch of the screen.
  virtual void MeasureScreen(KmDocBase& doc);
  virtual void EnumPrinterFonts(KmDocBase& /*doc*/) {}
  // Returns whether a font was made (and must be deleted at exit).
  virtual bool CreateUiFont(KmDocBase& /*doc*/, int /*height*/, int /*weight*/) { return false; }
  virtual void LoadSortOrderFile(KmDocBase& /*doc*/) {}
  // A change of the measurement system with a report open, after the margins
  // and band lines are converted: fields sized to their text, objects
  // converted, the layout recomputed and redrawn.
  virtual void ConvertOpenReport(KmDocBase& /*doc*/, int /*oldSystem*/, int /*newSystem*/) {}

  // Shut-down, in the order they are called.
  virtual void DestroyInsertFieldPalette(KmDocBase& /*doc*/) {}
  virtual void QuitHelp(KmDocBase& /*doc*/) {}
  virtual void ReleaseObjectFonts(KmDocBase& /*doc*/) {}
  virtual void ClearModel(KmDocBase& /*doc*/) {}
  virtual void DeleteAllUdfs(KmDocBase& /*doc*/) {}
  virtual void FreeTextItems(KmDocBase& /*doc*/) {}
  virtual void FreePrinterFonts(KmDocBase& /*doc*/) {}
  virtual void FreePicturesAndItems(KmDocBase& /*doc*/) {}
  virtual void FreeLinesAndBoxes(KmDocBase& /*doc*/) {}
  virtual void ReleaseCharts(KmDocBase& /*doc*/) {}
  virtual void ClearExportFormats(KmDocBase& /*doc*/) {}
  virtual void LibFreeBuffers(KmDocBase& /*doc*/) {}
  virtual void FreeStatusBuffer(KmDocBase& /*doc*/) {}
  virtual void RemoveWorkFiles(KmDocBase& /*doc*/) {}
  virtual void FreeConnectOverrides(KmDocBase& /*doc*/) {}
  virtual void FreeSqlFunctionTexts(KmDocBase& /*doc*/) {}
};

// The hooks in force; the defaults until SetStartupHooks gives others (null
// restores the defaults).
StartupHooks& GetStartupHooks();
void SetStartupHooks(StartupHooks* hooks);
