#include "charts/chart.h"

#include "core/composite.h"
#include "foundation/byte_order.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kHeadSize = 10;  // signature, version, body length
constexpr size_t kMaxText = 255;

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    uint8_t b[2];
    PutU16(b, v);
    out_.insert(out_.end(), b, b + 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void F64(double v) {
    uint8_t b[8];
    PutF64(b, v);
    out_.insert(out_.end(), b, b + 8);
  }
  void Text(const std::string& s) {
    const size_t n = std::min(s.size(), kMaxText);
    U16(static_cast<uint16_t>(n));
    out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  }

 private:
  std::vector<uint8_t>& out_;
};

// Reads inside [p, end) only; a read past the end marks the reader failed.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return p_ == end_; }
  uint8_t U8() { return Take(1) ? p_[-1] : 0; }
  uint16_t U16() { return Take(2) ? GetU16(p_ - 2) : 0; }
  uint32_t U32() { return Take(4) ? GetU32(p_ - 4) : 0; }
  double F64() { return Take(8) ? GetF64(p_ - 8) : 0.0; }
  std::string Text() {
    const uint16_t n = U16();
    if (n > kMaxText || !Take(n)) {
      ok_ = false;
      return std::string();
    }
    return std::string(reinterpret_cast<const char*>(p_ - n), n);
  }

 private:
  bool Take(size_t n) {
    if (!ok_ || static_cast<size_t>(end_ - p_) < n) {
      ok_ = false;
      return false;
    }
    p_ += n;
    return true;
  }
  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

}  // namespace

CKmChart::CKmChart(CKmComposite* model) : model_(model) {
  for (auto& f : settings_.faces) f = "Arial";
}

// A copy takes the settings (and kept bytes), not the values of a run.
CKmChart::CKmChart(const CKmChart& o)
    : ChartObject(), imageFileName(), model_(o.model_), settings_(o.settings_), foreign_(o.foreign_),
      damaged_(o.damaged_), keptBytes_(o.keptBytes_) {}

CKmChart::~CKmChart() = default;

std::unique_ptr<ChartObject> CKmChart::Clone() const { return std::make_unique<CKmChart>(*this); }

void CKmChart::Serialize(std::vector<uint8_t>& out) const {
  if (foreign_ || damaged_) {
    out.insert(out.end(), keptBytes_.begin(), keptBytes_.end());
    return;
  }
  std::vector<uint8_t> body;
  Writer w(body);
  const ChartSettings& s = settings_;
  w.U16(s.type);
  w.U16(s.subStyle);
  w.U32(s.pieOptions);
  w.U16(s.colourScheme);
  w.U8(s.legend);
  w.U8(s.gridLines);
  w.U8(s.depth);
  w.U8(s.orientation);
  w.U8(s.dataLabels);
  w.U8(static_cast<uint8_t>(s.seriesLabelProperty));
  for (const auto& t : s.titles) w.Text(t);
  w.U8(s.titleBackground);
  for (const auto& f : s.faces) w.Text(f);
  for (uint8_t z : s.sizes) w.U8(z);
  w.U8(s.rangeMode);
  w.F64(s.rangeMin);
  w.F64(s.rangeMax);
  w.U8(s.anchorMode);
  w.U8(s.level);
  w.U32(s.labelField);
  const size_t n = std::min<size_t>(s.series.size(), kChartMaxSeries);
  w.U16(static_cast<uint16_t>(n));
  for (size_t i = 0; i < n; ++i) {
    w.U32(s.series[i].field);
    w.Text(s.series[i].label);
  }
  Writer head(out);
  head.U32(kChartSignature);
  head.U16(kChartFormVersion);
  head.U32(static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

bool CKmChart::Load(const uint8_t* data, size_t length) {
  keptBytes_.assign(data, data + length);
  foreign_ = damaged_ = false;
  if (length < kHeadSize || GetU32(data) != kChartSignature || GetU16(data + 4) != kChartFormVersion) {
    foreign_ = true;
    return false;
  }
  const uint32_t bodyLength = GetU32(data + 6);
  Reader r(data + kHeadSize, length - kHeadSize);
  ChartSettings s;
  s.type = r.U16();
  s.subStyle = r.U16();
  s.pieOptions = r.U32();
  s.colourScheme = r.U16();
  s.legend = r.U8();
  s.gridLines = r.U8();
  s.depth = r.U8();
  s.orientation = r.U8();
  s.dataLabels = r.U8();
  s.seriesLabelProperty = static_cast<int8_t>(r.U8());
  for (auto& t : s.titles) t = r.Text();
  s.titleBackground = r.U8();
  for (auto& f : s.faces) f = r.Text();
  for (uint8_t& z : s.sizes) z = std::min<uint8_t>(r.U8(), 6);
  s.rangeMode = r.U8();
  s.rangeMin = r.F64();
  s.rangeMax = r.F64();
  s.anchorMode = r.U8();
  s.level = r.U8();
  s.labelField = r.U32();
  const uint16_t n = r.U16();
  if (n > kChartMaxSeries) {
    damaged_ = true;
    return false;
  }
  for (uint16_t i = 0; i < n && r.Ok(); ++i) {
    ChartSeries x;
    x.field = r.U32();
    x.label = r.Text();
    s.series.push_back(std::move(x));
  }
  if (!r.Ok() || !r.AtEnd() || bodyLength != length - kHeadSize || s.level > kChartLevelReport ||
      !std::isfinite(s.rangeMin) || !std::isfinite(s.rangeMax)) {
    damaged_ = true;
    return false;
  }
  settings_ = std::move(s);
  keptBytes_.clear();
  return true;
}

bool CKmChart::GetSeriesInfo(int index, ChartSeries* out) const {
  if (index < 0 || index >= CountSeries() || out == nullptr) return false;
  *out = settings_.series[static_cast<size_t>(index)];
  return true;
}

bool CKmChart::HasSeriesFor(uint32_t field) const {
  if (field == kNoField) return false;
  if (settings_.labelField == field) return true;
  for (const auto& s : settings_.series)
    if (s.field == field) return true;
  return false;
}

int CKmChart::GetFontSize(int slot) const {
  if (slot < 0 || slot >= kChartSizes) return 100;
  return kChartSizeTable[std::min<uint8_t>(settings_.sizes[slot], 6)];
}

bool CKmChart::IsAxisChart() const {
  const int t = settings_.type;
  return t == 3 || t == 4 || t == 6 || t == 8 || t == 13 || t == 14;
}

int CKmChart::CheckSettings() const {
  if (foreign_ || damaged_) return 0;  // drawn as nothing, never holds up a run
  if (settings_.series.empty()) return kChartNoSeries;
  const int t = settings_.type;
  if (!(IsPie() || IsAxisChart())) return kChartBadType;
  for (const auto& s : settings_.series) {
    const FieldDef* f = (model_ && s.field != kNoField) ? model_->GetFieldAt(s.field) : nullptr;
    if (f == nullptr) return kChartSeriesFieldGone;
    if (!(FieldKind(f) & (kFieldNumeric | kFieldLogical))) return kChartSeriesNotNumeric;
  }
  (void)t;
  if (settings_.labelField != kNoField && (model_ == nullptr || model_->GetFieldAt(settings_.labelField) == nullptr))
    return kChartLabelFieldGone;
  return 0;
}

// Gone fields keep a mark that matches no field, so the chart is refused
// until it is edited rather than reading some other field.
constexpr uint32_t kFieldGone = 0xFFFFFFFEu;

bool CKmChart::FieldDeleted(uint32_t field) {
  bool used = false;
  auto follow = [&](uint32_t& ref) {
    if (ref == kNoField || ref == kFieldGone) return;
    if (ref == field) ref = kFieldGone, used = true;
    else if (ref > field) --ref;
  };
  for (auto& s : settings_.series) follow(s.field);
  follow(settings_.labelField);
  return !used;
}

void CKmChart::MapStoredRef(uint32_t& ref, uint32_t mapped) const {
  if (ref == kNoField || ref == kFieldGone) return;
  ref = mapped == kNoField ? kFieldGone : mapped;
}

void CKmChart::RenumberFieldRefs(uint32_t oldField, uint32_t newField) {
  for (auto& s : settings_.series)
    if (s.field == oldField) s.field = newField;
  if (settings_.labelField == oldField) settings_.labelField = newField;
}

std::vector<uint32_t> CKmChart::UsedFields() const {
  std::vector<uint32_t> out;
  if (foreign_ || damaged_) return out;
  for (const auto& s : settings_.series)
    if (s.field != kNoField && s.field != kFieldGone) out.push_back(s.field);
  if (settings_.labelField != kNoField && settings_.labelField != kFieldGone) out.push_back(settings_.labelField);
  return out;
}

void CKmChart::ResetSeries() {
  rows_.clear();
  open_ = Row();
  rowOpen_ = false;
  lastLabel_.clear();
  currentLabel_.clear();
  recordsSeen_ = 0;
}

void CKmChart::OpenRow(const std::string& label) {
  open_ = Row();
  open_.label = label;
  open_.values.assign(settings_.series.size(), 0.0);
  rowOpen_ = true;
}

void CKmChart::CloseRow() {
  if (!rowOpen_) return;
  rowOpen_ = false;
  if (rows_.size() < kChartMaxCategories) rows_.push_back(std::move(open_));
  open_ = Row();
}

void CKmChart::CollectBandValue(uint32_t field, double value) {
  if (!rowOpen_ || !std::isfinite(value)) return;
  for (size_t s = 0; s < settings_.series.size(); ++s)
    if (settings_.series[s].field == field) open_.values[s] = value;
}

void CKmChart::FeedLevel(int level, bool atEnd, ChartValueSource& source) {
  if (foreign_ || damaged_ || settings_.series.empty()) return;
  const int mine = settings_.level;
  auto fill = [&] {
    for (const auto& s : settings_.series) {
      double v = 0;
      if (source.Number(s.field, &v)) CollectBandValue(s.field, v);
    }
  };
  if (level == kChartLevelRecord) {
    // A record's row stays open until the next record comes: footers drawn
    // before it take only the records of their own group.
    if (atEnd) {
      if (mine == kChartLevelRecord) CloseRow();
      if (mine == kChartLevelReport) {
        OpenRow(settings_.titles[0]);
        fill();
        CloseRow();
      }
      return;
    }
    ++recordsSeen_;
    lastLabel_ = currentLabel_;
    currentLabel_ = settings_.labelField != kNoField ? source.Text(settings_.labelField) : std::string();
    if (mine == kChartLevelRecord) {
      CloseRow();
      OpenRow(settings_.labelField != kNoField ? currentLabel_ : std::to_string(recordsSeen_));
      fill();
    }
    return;
  }
  if (level != mine) return;
  // A group's values arrive with the first record of the next group (whose
  // label is already current) or after the last record.
  if (!atEnd && recordsSeen_ < 2) return;
  const std::string label = atEnd ? currentLabel_ : lastLabel_;
  OpenRow(settings_.labelField != kNoField ? label : std::to_string(rows_.size() + 1));
  fill();
  CloseRow();
}

std::string CKmChart::SeriesLabel(size_t s) const {
  const ChartSeries& x = settings_.series[s];
  if (!x.label.empty()) return x.label;
  const FieldDef* f = model_ ? model_->GetFieldAt(x.field) : nullptr;
  return f ? std::string(f->name) : std::string();
}

bool CKmChart::BuildChartArrays(ChartArrays* out) const {
  if (out == nullptr || foreign_ || damaged_ || rows_.empty() || settings_.series.empty()) return false;
  ChartArrays a;
  a.categoryCount = static_cast<int>(rows_.size());
  a.seriesCount = static_cast<int>(settings_.series.size());
  a.values.reserve(rows_.size() * settings_.series.size());
  for (const Row& r : rows_) {
    a.categoryLabels.push_back(r.label);
    for (size_t s = 0; s < settings_.series.size(); ++s) a.values.push_back(s < r.values.size() ? r.values[s] : 0.0);
  }
  for (size_t s = 0; s < settings_.series.size(); ++s) a.seriesLabels.push_back(SeriesLabel(s));
  *out = std::move(a);
  return true;
}

CKmChart* ChartOf(const ChartTableEntry& entry) { return dynamic_cast<CKmChart*>(entry.chart.get()); }

std::unique_ptr<CKmChart> NewDefaultChart(KmDocBase* doc) {
  auto c = std::make_unique<CKmChart>(doc ? doc->m_pModel : nullptr);
  if (doc != nullptr) {
    const DocSettings& s = doc->m_settings;
    for (int i = 0; i < kChartFaces; ++i)
      if (s.chartFont[i][0]) c->Settings().faces[i] = s.chartFont[i];
    if (s.chartPalette > 0 && s.chartPalette <= 10) c->Settings().colourScheme = static_cast<uint16_t>(s.chartPalette);
    for (int i = 0; i < kChartSizes; ++i)
      for (int k = 0; k < 7; ++k)
        if (s.chartFontSize[i] == kChartSizeTable[k]) c->Settings().sizes[i] = static_cast<uint8_t>(k);
  }
  return c;
}

namespace {
constexpr UINT kIdChartMustBeEdited = 356;
constexpr UINT kIdChartTitleIs = 357;
constexpr UINT kIdFirstChartReason = 358;
constexpr int kLastChartReason = 11;
}  // namespace

int ValidateAllCharts(KmDocBase* doc, std::string* title) {
  LayoutTables* t = doc != nullptr ? doc->m_pLayout : nullptr;
  if (t == nullptr) return 0;
  for (int i = 0; i < t->charts.Count(); ++i) {
    ChartTableEntry* e = t->charts.At(i);
    CKmChart* c = ChartOf(*e);
    if (c == nullptr || (e->head.flags & (kItemDeleted | kItemInClipboard))) continue;
    if (const int code = c->CheckSettings()) {
      if (title) *title = c->GetTitles();
      return code;
    }
  }
  return 0;
}

std::string FormatChartErrors(int code, const std::string& title) {
  const std::string reason =
      code >= 1 && code <= kLastChartReason ? GetResString(kIdFirstChartReason + code - 1, 0) : std::string();
  std::string text = GetResString(kIdChartMustBeEdited, 0);
  text += " " + reason + "\n" + GetResString(kIdChartTitleIs, 0) + " " + title;
  return text;
}
