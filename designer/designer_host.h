// What the design surface needs from the program around it: the frame's
// own mode bits, the status line, and the commands that belong to the
// document, the frame and the dialogs. Every entry has a harmless default.
#pragma once

#include "designer/designer_cursors.h"
#include "platform/win/win_types.h"

#include <string>

struct ReportItemHead;
class QueryDesc;

class DesignerHost {
 public:
  virtual ~DesignerHost() = default;
  // The frame's bits of the mode word: 0x0400/0x0800 a format-bar box has
  // the focus, 0x8000 and above a modal dialog.
  virtual WORD FrameMode() const { return 0; }
  virtual bool OutputRunning() const { return false; }
  // Status line.
  virtual void ShowPrompt(const ReportItemHead* /*object*/) {}
  virtual void ShowPosition() {}
  virtual void ShowMessage(const char* /*text*/) {}
  virtual void RefreshStatus() {}
  virtual void ShowReportName() {}
  // A command the view leaves to the document, the frame or a dialog:
  // TRUE when someone carried it out.
  virtual BOOL ForwardCommand(UINT /*id*/) { return FALSE; }
  // Its enable state there: -1 unknown, 0 off, 1 on.
  virtual int ForwardUpdate(UINT /*id*/) { return -1; }
  virtual void UpdateFormatBar() {}
  // The name of the group field of level 0-7, for band names; null when none.
  virtual const char* GroupFieldName(int /*level*/) { return nullptr; }
  virtual bool IsSqlReport() { return false; }
  // Whether the report can print now (a printer is ready and has fonts).
  virtual bool CanPrint() { return true; }
  // A picture file to read (save false) or to write; false when cancelled.
  virtual bool AskPictureFile(bool /*save*/, std::string* /*path*/) { return false; }
  // The message of a picture library code, naming the file.
  virtual void ReportImageError(int /*code*/, const char* /*fileName*/) {}
  // A new chart over the layout rectangle outlined with the chart tool, its
  // property sheet opened on it; false when none was added.
  virtual bool PlaceChart(const RECT& /*layoutRect*/) { return false; }
  // A file dropped on the view: whether it is a report file or a library
  // the program opens, and opening it (false when it was not opened).
  virtual bool IsDroppableFile(const char* /*path*/) { return false; }
  virtual bool OpenDroppedFile(const char* /*path*/) { return false; }
  // A new report from a handed-over query (File New, instant report).
  virtual bool NewReportFromQuery(const QueryDesc& /*query*/) { return false; }
  // The designer's cursors (the frame holds them).
  virtual const DesignerCursors& Cursors() {
    if (own_.handles[kCursorArrow] == nullptr) own_.Load();
    return own_;
  }
  // The Ruler Spacing dialog (vertical: the focus on the vertical spacing);
  // true when confirmed with changes stored in the document.
  virtual bool EditRulerSpacing(bool /*vertical*/) { return false; }

 private:
  DesignerCursors own_;
};
