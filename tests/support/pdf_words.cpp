#include "tests/support/pdf_words.h"

#include "tests/support/program_run.h"

#include <cstdio>
#include <sstream>

std::vector<PdfWord> ReadPdfWords(const std::string& pdf, int first, int last) {
  std::string range;
  if (first > 0) range += " -f " + std::to_string(first);
  if (last > 0) range += " -l " + std::to_string(last);
  std::istringstream in(program_run::Capture("pdftotext -bbox" + range + " '" + pdf + "' - 2>/dev/null"));
  std::vector<PdfWord> out;
  int page = -1;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("<page ") != std::string::npos) ++page;
    // <word xMin="…" yMin="…" xMax="…" yMax="…">text</word>
    const size_t at = line.find("<word ");
    PdfWord w{page, 0, 0, 0, 0, ""};
    int textAt = 0;
    if (at == std::string::npos ||
        std::sscanf(line.c_str() + at, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">%n", &w.xMin, &w.yMin,
                    &w.xMax, &w.yMax, &textAt) != 4 ||
        textAt == 0)
      continue;
    const size_t from = at + static_cast<size_t>(textAt);
    const size_t end = line.find("</word>", from);
    if (end == std::string::npos) continue;
    w.text = line.substr(from, end - from);
    out.push_back(w);
  }
  return out;
}
