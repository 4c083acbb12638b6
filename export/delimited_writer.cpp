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
    // The field names line is the format's own choice, as the Report
    // Specification prints it.
    const bool names = (job->flags & kDelimitedNamesLine) != 0;
    if (!names) return true;
    std::vector<std::string> cells;
    for (const ExportColumn& c : columns_) cells.push_back(c.desc.name ? c.desc.name : "");
    return Line(cells);
  }

  bool WriteRow(ExportJobRecord*) override {
    line_.clear();
    for (size_t i = 0; i < columns_.size(); ++i) {
      static const std::string kNone;
      Cell(i, row_[i].set && !row_[i].empty ? row_[i].text : kNone);
    }
    line_ += kLineEnd;
    return out_.Write(line_);
  }

 private:
  bool Line(const std::vector<std::string>& cells) {
    line_.clear();
    for (size_t i = 0; i < cells.size(); ++i) Cell(i, cells[i]);
    line_ += kLineEnd;
    return out_.Write(line_);
  }

  // Adds the cell of column i to the line.
  void Cell(size_t i, const std::string& v) {
    if (fixed_) {
      // Fixed width has no quoting: a line break would end the record.
      const size_t w = std::max<uint32_t>(columns_[i].desc.width, 1);
      const size_t at = line_.size();
      line_.append(v, 0, std::min(v.size(), w));
      line_.resize(at + w, ' ');
      std::replace(line_.begin() + static_cast<long>(at), line_.end(), '\r', ' ');
      std::replace(line_.begin() + static_cast<long>(at), line_.end(), '\n', ' ');
      return;
    }
    if (i > 0) line_ += separator_;
    const bool quote = v.find(separator_) != std::string::npos || v.find_first_of("\"\r\n") != std::string::npos ||
                       (!v.empty() && (v.front() == ' ' || v.back() == ' '));
    if (!quote) {
      line_ += v;
      return;
    }
    line_ += '"';
    for (char c : v) {
      if (c == '"') line_ += '"';
      line_ += c;
    }
    line_ += '"';
  }

  bool fixed_ = false;
  std::string separator_ = ",";
  std::string line_;  // the line being put together, its room kept for the next
};

}  // namespace

std::unique_ptr<ExportLibrary> CreateDelimitedLibrary() { return std::make_unique<DelimitedLibrary>(); }
