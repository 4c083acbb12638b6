// A printer library that draws nothing, for tests of the callers: every
// entry answers success, and entries can be taken away.
#pragma once

#include "platform/printer/page_driver.h"

#include <set>
#include <vector>

class StubPageDriver : public PageDriver {
 public:
  int version = kPageDriverApiVersion;
  int fileMajor = 0;
  std::set<int> missing;
  WORD forcedStyle = 0xFFFF;  // ordinal 1 rewrites the style to this when set
  int openResult = 1;
  int openCalls = 0, closeCalls = 0;
  LONG lastCloseStatus = 0;
  int spaceLeft = 0;
  int moveResult = 1;
  int lastRender = -1;
  std::vector<int> moves;

  int ApiVersion() const override { return version; }
  int FileVersionMajor() const override { return fileMajor; }
  bool HasEntry(int ordinal) const override { return missing.count(ordinal) == 0; }
  void SetImageFuncs(const PageDriverImageFuncs&) override {}
  void AdjustFontStyle(PageOutputState*, int, WORD* style) override {
    if (forcedStyle != 0xFFFF) *style = forcedStyle;
  }
  int FontLineHeight(PageOutputState*, int, int, int size, int) override { return size; }
  int CharWidth(PageOutputState*, int, int, int, int) override { return 100; }
  int SetFontSize(PageOutputState*, WORD) override { return 1; }
  int AdvanceBeforeLine(PageOutputState*, int, int) override { return 1; }
  int AdvanceAfterLine(PageOutputState*, int, int) override { return 1; }
  LONG EndPage(PageOutputState*, int) override { return 1; }
  DWORD MeasureLine(PageOutputState*, const BYTE*, int, int) override { return 0; }
  int OpenDevice(PageOutputState*, const BYTE*, const char*, LPARAM, LPARAM) override {
    ++openCalls;
    return openResult;
  }
  int SpaceLeft(PageOutputState*, int) override { return spaceLeft; }
  void CloseDevice(PageOutputState*, LONG status) override {
    ++closeCalls;
    lastCloseStatus = status;
  }
  int BeginPage(PageOutputState*, int, int) override { return 1; }
  int MoveDown(PageOutputState*, int distance, int render) override {
    moves.push_back(distance);
    lastRender = render;
    return moveResult;
  }
  int OutputLine(PageOutputState*, const BYTE*, int) override { return 1; }
  void PreviewPageFinished(PageOutputState*) override {}
  int RealizePalette(PageOutputState*) override { return 1; }
  int EndBand(PageOutputState*, int, int) override { return 1; }
  int DrawBox(PageOutputState*, const LineBoxRecord*) override { return 1; }
  int DrawPicture(PageOutputState*, const PictureRecord*) override { return 1; }
  void PreviewResized(PageOutputState*) override {}
  WORD CurrentY(PageOutputState*) override { return 0; }
  int DrawLine(PageOutputState*, const LineBoxRecord*) override { return 1; }
  int ReplayPage(PageOutputState*, const PageRect*) override { return 1; }
  int StorePage(PageOutputState*, void*, LONG) override { return 1; }
  int DrawOleItem(PageOutputState*, const OleItemRecord*) override { return 1; }
  int DrawChart(PageOutputState*, const ChartRecord*) override { return 1; }
};
