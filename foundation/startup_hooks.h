// The calls start-up and shut-down make into the layers above the
// foundation. The application installs its own over every one of them at
// start-up (CKmApp::InitInstance); the defaults serve the foundation's own
// tests, which run the sequence without those layers.
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
  virtual void LoadSortOrderFile(KmDocBase& /*doc*/) {}
  // A change of the measurement system with a report open, after the margins
  // and band lines are converted: fields sized to their text, objects
  // converted, the layout recomputed and redrawn.
  virtual void ConvertOpenReport(KmDocBase& /*doc*/, int /*oldSystem*/, int /*newSystem*/) {}

  // Shut-down, in the order they are called.
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
  virtual void FreeStatusBuffer(KmDocBase& /*doc*/) {}
  virtual void RemoveWorkFiles(KmDocBase& /*doc*/) {}
  virtual void FreeConnectOverrides(KmDocBase& /*doc*/) {}
};

// The hooks in force; the defaults until SetStartupHooks gives others (null
// restores the defaults).
StartupHooks& GetStartupHooks();
void SetStartupHooks(StartupHooks* hooks);
