// Text Data File and Word Merge File: one line per exported line, fields
// separated by a comma, a tab or the user's separator and quoted where they
// hold a separator, a quote or a line break; or fixed-width (SDF) columns.
#include "export/row_library.h"

#include <algorithm>

namespace {

constexpr char kLineEnd[] = "\r\n";

class DelimitedLibrary : public RowExportLibrary {
 public:
  bool TakesText() const override { return true; }

 protected:
  bool WriteHeader(ExportJobRecord* job) override {
    fixed_ = job->fileType == kFileTypeFixed;
    separator_ = job->fileType == kFileTypeTab ? "\t"
                 : job->fileType == kFileTypeUserSeparator && !job->separator.empty() ? job->separator
                                                                                       : ",";
    const bool names = job->format == kExportWordMerge || (job->flags & kDelimitedNamesLine);
    if (!names) return true;
    std::vector<std::string> cells;
    for (const ExportColumn& c : columns_) cells.push_back(c.desc.name ? c.desc.name : "");
    return Line(cells);
  }

  bool WriteRow(ExportJobRecord*) override {
    std::vector<std::string> cells;
    for (size_t i = 0; i < columns_.size(); ++i)
      cells.push_back(row_[i].set && !row_[i].empty ? row_[i].text : std::string());
    return Line(cells);
  }

 private:
  bool Line(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (fixed_) {
        // Fixed width has no quoting: a line break would end the record.
        std::string v = cells[i];
        std::replace(v.begin(), v.end(), '\r', ' ');
        std::replace(v.begin(), v.end(), '\n', ' ');
        const size_t w = std::max<uint32_t>(columns_[i].desc.width, 1);
        v.resize(w, ' ');
        line += v;
      } else {
        if (i > 0) line += separator_;
        line += Quoted(cells[i]);
      }
    }
    line += kLineEnd;
    return out_.Write(line);
  }

  std::string Quoted(const std::string& v) const {
    const bool quote = v.find(separator_) != std::string::npos || v.find_first_of("\"\r\n") != std::string::npos ||
                       (!v.empty() && (v.front() == ' ' || v.back() == ' '));
    if (!quote) return v;
    std::string q = "\"";
    for (char c : v) {
      if (c == '"') q += '"';
      q += c;
    }
    return q + "\"";
  }

  bool fixed_ = false;
  std::string separator_ = ",";
};

}  // namespace

std::unique_ptr<ExportLibrary> CreateDelimitedLibrary() { return std::make_unique<DelimitedLibrary>(); }
