// The band-line dialogs over the document's dialog runner: Create Band Lines
// ("DLCreate"), Paste of lines ("DPaste") and Band Line Properties
// ("DLEdit").
#pragma once

#include "layout/band_line_layout.h"

#include <string>

class KmDocBase;

class DocBandLineDialogs : public BandLineDialogs {
 public:
  explicit DocBandLineDialogs(KmDocBase& doc) : doc_(doc) {}
  bool RunCreateLines(const LayoutTables& t, CreateLinesRequest* r) override;
  bool RunLineProperties(const LayoutTables& t, LinePropertiesRequest* r) override;
  bool RunPasteLines(const LayoutTables& t, CreateLinesRequest* r) override;
  bool IsPageOrGroupBand(BYTE band) override;
  void ErrorBeep() override;

 private:
  KmDocBase& doc_;
};

