// The chart object of a report's chart item: its settings (kind, titles,
// fonts, colours, axis range), its series (report fields by number, taken
// per record, per group level or once for the report) and the values it
// collects while a report runs.
//
// Stored form (the bytes after the chart record's head; little-endian):
//   u32 signature "VTCH" (0x48435456), u16 form version (1), u32 body length,
//   then the body:
//   u16 type, u16 sub-style, u32 pie options, u16 colour scheme,
//   u8 legend, u8 grid switch, u8 depth switch, u8 orientation (1 across),
//   u8 data labels, i8 first-series label property (-1: no value labels),
//   4 texts: title, X-axis, Y-axis, right Y-axis title,
//   u8 title background (colour code; 0 none),
//   5 texts: font faces (default, title, axis titles, labels, legend),
//   4 x u8 size indexes into 25, 50, 75, 100, 150, 200, 300 %,
//   u8 range mode (1 user-defined), f64 minimum, f64 maximum,
//   u8 anchor mode, u8 collect level (0-7 group, 8 record, 9 report),
//   u32 label field, u16 series count, per series: u32 field, text label.
//   A text is u16 length (at most 255) and its bytes (Windows-1252).
// Bytes of any other form (another signature or a later version) are kept
// as they came and written back unchanged; such a chart draws nothing.
#pragma once

#include "core/fields.h"
#include "layout/layout_records.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CKmComposite;

constexpr uint32_t kChartSignature = 0x48435456;  // "VTCH"
constexpr uint16_t kChartFormVersion = 1;
constexpr int kChartLevelRecord = 8;
constexpr int kChartLevelReport = 9;
constexpr int kChartFaces = 5;
constexpr int kChartSizes = 4;
constexpr int kChartSizeTable[7] = {25, 50, 75, 100, 150, 200, 300};
constexpr int kChartMaxSeries = 52;
constexpr size_t kChartMaxCategories = 10000;  // values kept per chart and run

// CheckSettings codes (texts 358 on).
constexpr int kChartNoSeries = 1;
constexpr int kChartSeriesFieldGone = 2;
constexpr int kChartLabelFieldGone = 3;
constexpr int kChartSeriesNotNumeric = 4;
constexpr int kChartBadType = 5;

struct ChartSeries {
  uint32_t field = kNoField;
  std::string label;  // empty: the field's name
};

struct ChartSettings {
  uint16_t type = 4;
  uint16_t subStyle = 1;
  uint32_t pieOptions = 0;
  uint16_t colourScheme = 4;
  uint8_t legend = 1;
  uint8_t gridLines = 0;
  uint8_t depth = 0;
  uint8_t orientation = 0;
  uint8_t dataLabels = 0;
  int8_t seriesLabelProperty = 0;
  std::string titles[4];  // chart, X axis, Y axis, right Y axis
  uint8_t titleBackground = 0;
  std::string faces[kChartFaces];
  uint8_t sizes[kChartSizes] = {3, 3, 3, 3};
  uint8_t rangeMode = 0;
  double rangeMin = 0;
  double rangeMax = 0;
  uint8_t anchorMode = 0;
  uint8_t level = kChartLevelRecord;
  uint32_t labelField = kNoField;
  std::vector<ChartSeries> series;
};

// What a running report gives the charts: numbers and texts of fields.
class ChartValueSource {
 public:
  virtual ~ChartValueSource() = default;
  // The field's number; false when it has no value now.
  virtual bool Number(uint32_t field, double* value) = 0;
  virtual std::string Text(uint32_t field) = 0;
};

// The value arrays of one drawing: values[c * seriesCount + s].
struct ChartArrays {
  int categoryCount = 0;
  int seriesCount = 0;
  std::vector<double> values;
  std::vector<std::string> categoryLabels;
  std::vector<std::string> seriesLabels;
};

class CKmChart : public ChartObject {
 public:
  explicit CKmChart(CKmComposite* model);
  CKmChart(const CKmChart& other);
  CKmChart& operator=(const CKmChart&) = delete;
  ~CKmChart() override;
  std::unique_ptr<ChartObject> Clone() const override;

  ChartSettings& Settings() { return settings_; }
  const ChartSettings& Settings() const { return settings_; }
  CKmComposite* Model() const { return model_; }

  // ---- Stored form.
  // Takes the stored bytes; false when they are not of our form (or are
  // damaged), and then they are kept to be written back as they came.
  bool Load(const uint8_t* data, size_t length);
  void Serialize(std::vector<uint8_t>& out) const;
  bool IsForeign() const { return foreign_; }
  bool IsDamaged() const { return damaged_; }

  // ---- Accessors of the program.
  int GetOption1() const { return settings_.type; }
  int GetOption2() const { return settings_.subStyle; }
  int CountSeries() const { return static_cast<int>(settings_.series.size()); }
  bool GetSeriesInfo(int index, ChartSeries* out) const;
  std::string GetTitles() const { return settings_.titles[0]; }
  int GetAnchorMode() const { return settings_.anchorMode; }
  bool HasSeriesFor(uint32_t field) const;
  // The face of a slot (0 default, 1 title, 2 axis, 3 labels, 4 legend).
  const std::string& GetFontFace(int slot) const { return settings_.faces[slot]; }
  int GetFontSize(int slot) const;  // percent
  bool IsPie() const { return settings_.type == 1 || settings_.type == 2; }
  bool IsAxisChart() const;
  // The HTML export's image file of this chart (empty: none).
  std::string imageFileName;

  // ---- Fields of the report.
  // 0, or a code 1-11 when the chart cannot run as set.
  int CheckSettings() const;
  // A field of the report went away: references to it are marked gone
  // (CheckSettings then refuses the chart), later numbers move down. False
  // when the chart used the field.
  bool FieldDeleted(uint32_t field);
  void RenumberFieldRefs(uint32_t oldField, uint32_t newField);
  // Read from a file, the chart names fields by their stored numbers; map
  // gives each one's place in the field list, kNoField for one that was not
  // read (then marked gone, so the chart must be edited).
  template <class Map>
  void MapStoredFieldRefs(Map map) {
    if (foreign_ || damaged_) return;
    for (auto& s : settings_.series) MapStoredRef(s.field, map(s.field));
    MapStoredRef(settings_.labelField, map(settings_.labelField));
  }
  // The fields the chart reads (series and label).
  std::vector<uint32_t> UsedFields() const;

  // ---- Collecting while the report runs.
  void ResetSeries();
  // The closed categories go (a group's chart once drawn); the record still
  // open belongs to the next group and stays.
  void ClearDrawnValues() { rows_.clear(); }
  // A field's value joins the open category of the series that use it.
  void CollectBandValue(uint32_t field, double value);
  // The feed of one level: level 8 comes first for each record, then the
  // levels that broke; atEnd after the last record.
  void FeedLevel(int level, bool atEnd, ChartValueSource& source);
  // The closed categories; false when there is nothing to draw.
  bool BuildChartArrays(ChartArrays* out) const;
  size_t CategoryCount() const { return rows_.size(); }

 private:
  void MapStoredRef(uint32_t& ref, uint32_t mapped) const;
  void OpenRow(const std::string& label);
  void CloseRow();
  std::string SeriesLabel(size_t s) const;

  CKmComposite* model_;
  ChartSettings settings_;
  bool foreign_ = false;
  bool damaged_ = false;
  std::vector<uint8_t> keptBytes_;
  // Run state.
  struct Row {
    std::string label;
    std::vector<double> values;
  };
  std::vector<Row> rows_;
  Row open_;
  bool rowOpen_ = false;
  std::string lastLabel_, currentLabel_;
  uint32_t recordsSeen_ = 0;
};

// The chart object of a chart entry, or null.
CKmChart* ChartOf(const ChartTableEntry& entry);
class KmDocBase;
// A new chart on the document's report with the program's defaults: faces
// from the chart font settings, colour scheme from the chart palette
// setting (0: scheme 4).
std::unique_ptr<CKmChart> NewDefaultChart(KmDocBase* doc);
// The first chart that cannot run: its code (1-11) and title; 0 when every
// chart of the report can run. Held and deleted items are not looked at.
int ValidateAllCharts(KmDocBase* doc, std::string* title);
// "Chart must be edited: <code text>\nChart title is: <title>".
std::string FormatChartErrors(int code, const std::string& title);
