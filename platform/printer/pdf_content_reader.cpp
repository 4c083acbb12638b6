#include "platform/printer/pdf_content_reader.h"

#include "platform/printer/appender.h"
#include "platform/printer/page_record.h"
#include "platform/win/codepage_text.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kFamilies[3] = {"Liberation Sans", "Liberation Serif", "Liberation Mono"};

QColor ColourOf(const double* v) {
  auto c = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
  return QColor(c(v[0]), c(v[1]), c(v[2]));
}

class Reader {
 public:
  Reader(const char* p, size_t n, PageRecord* page) : p_(p), end_(p + n), page_(page) {}

  bool Run() {
    while (Skip(), p_ < end_) {
      const char c = *p_;
      if (c == '(') {
        if (!String()) return false;
      } else if (c == '/') {
        const char* s = ++p_;
        while (p_ < end_ && !Space(*p_)) ++p_;
        name_.assign(s, p_);
      } else if (c == '[') {
        ++p_;
        dash_.clear();
        inArray_ = true;
      } else if (c == ']') {
        ++p_;
        inArray_ = false;
      } else if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
        char* after = nullptr;
        const double v = std::strtod(p_, &after);
        if (after == p_) return false;
        p_ = after;
        if (inArray_) dash_.push_back(v);
        else numbers_.push_back(v);
      } else {
        const char* s = p_;
        while (p_ < end_ && !Space(*p_) && *p_ != '(' && *p_ != '[' && *p_ != '/') ++p_;
        if (!Operator(std::string(s, p_))) return false;
        numbers_.clear();
      }
    }
    return true;
  }

 private:
  static bool Space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
  void Skip() {
    while (p_ < end_ && Space(*p_)) ++p_;
  }
  bool Has(size_t n) const { return numbers_.size() >= n; }
  const double* Last(size_t n) const { return numbers_.data() + numbers_.size() - n; }

  bool String() {
    text_.clear();
    for (++p_; p_ < end_ && *p_ != ')'; ++p_) {
      if (*p_ == '\\' && p_ + 1 < end_) ++p_;
      text_.push_back(*p_);
    }
    if (p_ >= end_) return false;
    ++p_;
    return true;
  }

  const QFont* Font(int standard, double size) {
    auto key = std::make_pair(standard, size);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return &it->second;
    QFont f(QString::fromLatin1(kFamilies[standard / 4]));
    if (size == std::floor(size)) f.setPixelSize(static_cast<int>(size));
    else f.setPointSizeF(size / 10.0);
    f.setBold(standard % 2 == 1);
    f.setItalic(standard % 4 >= 2);
    return &fonts_.emplace(key, f).first->second;
  }

  // The pen of the line: the standard style whose dashes the file holds
  // (in decipoints, where the pen counts in widths), else those dashes.
  QPen PenOf() const {
    QPen pen(QBrush(stroke_), width_, Qt::SolidLine, cap_);
    if (dash_.empty()) return pen;
    const double unit = width_ > 0 ? width_ : 1;
    for (Qt::PenStyle style : {Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine}) {
      QPen candidate(QBrush(stroke_), width_, style, cap_);
      const QVector<qreal> pattern = candidate.dashPattern();
      bool same = pattern.size() == static_cast<qsizetype>(dash_.size());
      for (qsizetype i = 0; same && i < pattern.size(); ++i)
        same = std::fabs(pattern[i] * unit - dash_[static_cast<size_t>(i)]) < 0.011;
      if (same) return candidate;
    }
    QVector<qreal> pattern;
    for (double d : dash_) pattern.push_back(d / unit);
    pen.setDashPattern(pattern);
    return pen;
  }

  bool Operator(const std::string& op) {
    if (op == "Tf") {
      if (!Has(1) || name_.size() < 2 || name_[0] != 'F') return false;
      const int standard = std::atoi(name_.c_str() + 1);
      if (standard < 0 || standard >= 12) return false;
      font_ = Font(standard, *Last(1));
    } else if (op == "rg" || op == "RG") {
      if (!Has(3)) return false;
      (op == "rg" ? fill_ : stroke_) = ColourOf(Last(3));
    } else if (op == "Tm") {
      if (!Has(2)) return false;
      at_ = QPointF(Last(2)[0], Last(2)[1]);
    } else if (op == "Td") {
      // A move in the writer's whole hundredths, upright inside the flipped
      // page; landing on hundredths again gives what Tm would have read.
      if (!Has(2)) return false;
      auto hundredths = [](double v) { return static_cast<double>(RoundHalfAway(v * 100.0)) / 100.0; };
      at_ = QPointF(hundredths(at_.x() + Last(2)[0]), hundredths(at_.y() - Last(2)[1]));
    } else if (op == "Tj") {
      if (!font_) return false;
      QString s;
      s.reserve(static_cast<qsizetype>(text_.size()));
      for (unsigned char c : text_) s.append(QChar(static_cast<char16_t>(AnsiToUnicode(c))));
      page_->Text(font_, *font_, fill_, at_, s);
    } else if (op == "w") {
      if (!Has(1)) return false;
      width_ = *Last(1);
    } else if (op == "J") {
      if (!Has(1)) return false;
      const int j = static_cast<int>(*Last(1));
      cap_ = j == 1 ? Qt::RoundCap : j == 2 ? Qt::SquareCap : Qt::FlatCap;
    } else if (op == "m") {
      if (!Has(2)) return false;
      from_ = QPointF(Last(2)[0], Last(2)[1]);
    } else if (op == "l") {
      if (!Has(2)) return false;
      to_ = QPointF(Last(2)[0], Last(2)[1]);
    } else if (op == "S") {
      page_->Line(PenOf(), from_, to_);
    } else if (op == "re") {
      if (!Has(4)) return false;
      rect_ = QRectF(Last(4)[0], Last(4)[1], Last(4)[2], Last(4)[3]);
    } else if (op == "f") {
      page_->Fill(rect_, QBrush(fill_));
    } else if (op == "d") {
      // The array read before it is the dash pattern; an empty one is solid.
    } else if (op != "cm" && op != "BT" && op != "ET") {
      return false;
    }
    return true;
  }

  const char* p_;
  const char* end_;
  PageRecord* page_;
  std::vector<double> numbers_, dash_;
  bool inArray_ = false;
  std::string name_, text_;
  std::map<std::pair<int, double>, QFont> fonts_;
  const QFont* font_ = nullptr;
  QColor fill_ = Qt::black, stroke_ = Qt::black;
  QPointF at_, from_, to_;
  QRectF rect_;
  double width_ = 1;
  Qt::PenCapStyle cap_ = Qt::FlatCap;
};

}  // namespace

bool ReadPdfPageContent(const char* content, size_t size, PageRecord* page) {
  return Reader(content, size, page).Run();
}
