// The words of a PDF as pdftotext -bbox finds them, each with its page
// (from 0) and its box in points from the page's top left.
#pragma once

#include <string>
#include <vector>

struct PdfWord {
  int page;
  double xMin, yMin, xMax, yMax;
  std::string text;
};

// The words of pages first to last (0: from the first, to the last).
std::vector<PdfWord> ReadPdfWords(const std::string& pdf, int first = 0, int last = 0);
