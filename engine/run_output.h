// What a report run needs of the layers above the engine, in two parts:
// - RunOutput, where the bands of one run go, chosen per run: print and
//   preview lay them out through the printer library (the engine's own
//   PageOutput), an export hands them to its writer;
// - RunShell, the program around every run (the application installs it
//   once at start-up): the "Printing" and run status dialogs that show the
//   run's progress, and the preview that shows its pages.
#pragma once

#include <cstdint>
#include <string>

class KmDocBase;

class RunOutput {
 public:
  virtual ~RunOutput() = default;
  // The output job at the first record: 1 running, 0 failed (its message
  // shown). Print and preview jobs are open before the run.
  virtual int StartJob(KmDocBase* doc);
  // Lays out a band (fitLimit 0 draws it; otherwise it is measured against
  // that many decipoints); the run state (0 to go on).
  virtual int OutputBand(KmDocBase* doc, int band, int fitLimit);
  // The message a run that produced nothing ends with (RunMessage).
  virtual void ShowMessage(KmDocBase* doc, int message, uint32_t value);
  // Rows the export wrote so far ("Records Exported:"); false for a run that
  // lays out pages.
  virtual bool ExportedCount(uint32_t* count) const;
};

// Print and preview: the bands laid out on pages by band output.
RunOutput& PageOutput();

class RunShell {
 public:
  virtual ~RunShell() = default;
  // The "Printing" dialog: records output (every tenth unless sync), the
  // page counter once it reached the starting page, the copy (pass from 0),
  // and an export's written rows in place of the page.
  virtual void PostRecordCount(KmDocBase& doc, int sync) = 0;
  virtual void PostPageNumber(KmDocBase& doc) = 0;
  virtual void PostCopyNumber(KmDocBase& doc, int pass) = 0;
  virtual void PostExportCount(KmDocBase& doc, uint32_t count, int sync) = 0;
  // The preview takes the page just ended and waits for the user there.
  virtual void PreviewPageDone(KmDocBase& doc, int lastPage) = 0;
  // The printer library's answer for the page just sent (negative: the job
  // failed), which the print command reports when the run is over.
  virtual void PageEnded(KmDocBase& doc, int32_t pageStatus) = 0;
  // A record counter of the run status dialog: label is a string id (all
  // ones hides the counters) with its text.
  virtual void ShowCounter(KmDocBase& doc, uint32_t label, const char* text) = 0;
  // Why the run could not do what a setting asks (it printed what it could).
  virtual void ShowRunNote(KmDocBase& doc, const std::string& text) = 0;
};

// The application's shell (null takes it away again).
void InstallRunShell(RunShell* shell);
// Null until the application installed its shell.
RunShell* InstalledRunShell();
// The installed shell, or one that shows nothing (a run with nobody around
// it, as in a test of the engine alone).
RunShell& TheRunShell();
