// Shared set-up of the printer tests: the Qt application, a run on the PDF
// printer with the state a print job fills, and the PDF tools.
#pragma once

#include "platform/printer/page_driver.h"
#include "platform/printer/page_driver_qt.h"
#include "platform/printer/printer_info.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

QGuiApplication* TestApplication();

// A Letter page on the PDF printer, margins zero, 96 screen pixels per inch.
struct PdfRun {
  PageOutputState state;
  PrinterDevice* device = nullptr;
  PageDriver* driver = nullptr;

  explicit PdfRun(bool preview = false, SHORT paper = kDmPaperLetter);
  ~PdfRun();
  PdfRun(const PdfRun&) = delete;
  PdfRun& operator=(const PdfRun&) = delete;
};

std::string TempPath(const std::string& name);
std::string RunCommand(const std::string& cmd);
bool FileExists(const std::string& path);

// A stream line built from pieces for the tests.
struct LineBuilder {
  std::vector<BYTE> bytes;
  LineBuilder& Esc(BYTE code, WORD a1 = 0xFFFF, WORD a2 = 0xFFFF, WORD a3 = 0xFFFF);
  LineBuilder& Bare(BYTE code);
  LineBuilder& Text(const std::string& t);
  const BYTE* data() const { return bytes.data(); }
  int size() const { return static_cast<int>(bytes.size()); }
};
