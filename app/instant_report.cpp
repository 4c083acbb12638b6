#include "app/instant_report.h"
#include "model/field_compile.h"

#include "app/document.h"
#include "app/open_report.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "engine/doc_upkeep.h"
#include "foundation/heap_strings.h"
#include "foundation/page_metrics.h"
#include "foundation/units.h"
#include "layout/band_line_layout.h"
#include "layout/field_width.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "model/field_dependencies.h"
#include "expr/document_format.h"
#include "expr/value_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kNoInstantMemory = 4628;  // "Insufficient memory for full instant report"
constexpr uint32_t kLeaveOutOfInstant = 4;  // of the third flag word
constexpr uint32_t kWidthFormatFlag = 0x2000;
constexpr uint32_t kPictureKinds = 0x30204;  // numbers, dates, times: their picture is their width
constexpr uint8_t kSumFunction = 1;
constexpr uint8_t kResetGrand = 255;
constexpr uint8_t kOnBand = 253;
constexpr BYTE kStyleUnderline = 4;
constexpr int kHeadingLine = 4, kRecordLine = 5;

class InstantBuilder {
 public:
  explicit InstantBuilder(CKmDoc& doc) : doc_(doc), t_(*doc.m_pLayout), m_(*doc.m_pModel) {
    TakeDocumentFormat(fmt_, doc);
  }

  bool Build() {
    SetLines({kBandTitle, kBandTitle, kBandTitle, kBandTitle, kBandPageHeader, kBandRecord, kBandSummary,
              kBandSummary, kBandPageFooter, kBandPageFooter});
    int pageLine = 9, recordsLine = 7;
    const int printedWidth = TextColumns("Printed: ");
    if (!AddText(1, 0, "Printed: ", 0, kAlignLeft)) return Fail();
    std::vector<FieldDef*> fields;
    for (FieldDef* f = m_.fieldList; f != nullptr; f = f->next)
      if (!(f->flags3word & kLeaveOutOfInstant) && !(f->flags & kFieldAlias)) fields.push_back(f);
    // The columns end at the layout's width, or sooner at the page's printable
    // width: a column past it would be cut in print. The fields left over stay
    // hidden fields of the report, ready for Insert Field.
    const int layoutColumns = static_cast<int>(PixelsToChars(t_.metrics, static_cast<unsigned>(LayoutWidthPixels(t_))));
    const int printable = CalcPrintableWidth(doc_);
    const int pageColumns = printable > 0 ? std::min(layoutColumns, printable) : layoutColumns;
    std::vector<FieldDef*> placed;
    int c = 0;
    for (FieldDef* f : fields) {
      int own = GetObjectWidth(fmt_, *f);
      // A new report's data field has only its declared width yet.
      if (own <= 0) own = static_cast<int>(std::min<uint32_t>(f->width ? f->width : f->displayWidth, kMaxFieldChars));
      own = PlacedFieldChars(fmt_, *f, own);
      f->head.width = static_cast<uint8_t>(std::clamp(own, 1, kMaxFieldChars));
      // A text, memo or logical field shows and prints as many characters as
      // its display width: it takes the column's width.
      if (!(f->flags & kPictureKinds)) f->displayWidth = f->head.width;
      f->head.fontStyle = 0;
      f->flags2 &= ~kField2WidthUnits;
      const int extra = c == 0 && GetObjectAlignment(&doc_, &f->head) != 0 ? 1 : 0;
      // The column holds the heading, the field's sample and the field's box
      // (one cell a character), so that nothing passes its end.
      auto columnWidth = [&] {
        return std::max({TextColumns(f->name), std::min(FieldColumns(*f), kMaxFieldChars), int(f->head.width)}) + extra;
      };
      int w = columnWidth();
      const bool numeric = DataType(*f) == kFieldNumeric;
      if (pageColumns <= c + w - 1 && c == 0 && !(f->flags & kPictureKinds)) {
        // A first text column wider than the page is narrowed to it.
        f->head.width = static_cast<uint8_t>(std::max(1, pageColumns - extra));
        f->displayWidth = f->head.width;
        w = columnWidth();
      }
      // Only a first column that still cannot fit the page takes the layout's width.
      if ((c > 0 ? pageColumns : layoutColumns) <= c + w - 1) break;
      const int column = numeric ? c + w : c;
      // The field's anchor follows its alignment: a right-aligned field ends
      // at the column, any other numeric field starts where it then ends there.
      const int alignment = GetObjectAlignment(&doc_, &f->head);
      const int fieldColumn = !numeric || alignment == 2 ? column : std::max(c, c + w - FieldColumns(*f));
      Show(*f, kRecordLine, fieldColumn);
      if (!AddText(kHeadingLine, column, f->name, kStyleUnderline, numeric ? kAlignRight : kAlignLeft)) return Fail();
      if (f->flags & kWidthFormatFlag) {
        const int unit = doc_.m_measure == 1 ? kMeasureHundredths : kMeasureTenthsMm;
        f->head.measuredWidth = static_cast<int32_t>(ConvertMeasure(f->head.width, unit, kMeasureChars, 10, 0));
        f->flags2 |= doc_.m_measure == 1 ? kField2WidthHundredths : kField2WidthTenthsMm;
      }
      placed.push_back(f);
      c += w + 2;
    }
    BuildLayoutItemOrder(t_);
    int sums = 0;
    for (FieldDef* f : placed) {
      if (DataType(*f) != kFieldNumeric || f->displayDecimals == 0 || (f->flags & kFieldCalculation)) continue;
      if (!AddGroupSum(*f, sums)) return Fail();
      ++sums;
    }
    if (sums > 0) {
      SetLines({kBandTitle, kBandTitle, kBandTitle, kBandTitle, kBandPageHeader, kBandRecord, kBandSummary,
                kBandSummary, kBandSummary, kBandSummary, kBandPageFooter, kBandPageFooter});
      pageLine = 11;
      recordsLine = 9;
      if (FieldDef* bad = PropagateFieldDependencies(&m_)) ReportEvaluationOrderError(&m_, bad);
    }
    if (!AddText(0, 0, TitleText().c_str(), 0, kAlignLeft)) return Fail();
    FieldDef* date = AddSpecial("Date_km", "DATE()", 0, 1, printedWidth, 0, "Today's date");
    if (date == nullptr) return Fail();
    if (!AddSpecial("Time_km", "TIME()", 5, 1, printedWidth + 3 + FieldColumns(*date), kItemFixedPosition,
                    "Current time"))
      return Fail();
    if (!AddLabelled("Page ", "Page_km", "PAGENO()", 4, pageLine, "Page number")) return Fail();
    if (!AddLabelled("Records printed: ", "Recno_km", "RECNO()", 3, recordsLine, "Report record number"))
      return Fail();
    BuildLayoutItemOrder(t_);
    RenumberBandLines(t_.Lines());
    if (doc_.m_pFonts != nullptr && !doc_.m_pFonts->table.empty())
      RecalcObjectExtents(t_, *doc_.m_pFonts, false, false, true);
    else
      RelayoutAfterFontChange(t_, false, kNoAnchor);
    BuildLayoutItemOrder(t_);
    doc_.UpdateViewsByHint(kHintBandPane, nullptr);
    doc_.UpdateViewsByHint(kHintLayoutAndHorizontalRuler, nullptr);
    if (doc_.m_settings.shHzRul) doc_.UpdateViewsByHint(kHintHorizontalRuler, nullptr);
    t_.currentItem = t_.orderHead;
    return true;
  }

 private:
  bool Fail() {
    doc_.ShowErrorId(kNoInstantMemory, nullptr);
    return false;
  }

  static uint32_t DataType(const FieldDef& f) { return f.flags & kFieldKindMask; }

  void SetLines(std::initializer_list<BYTE> kinds) {
    BandLineTable& bl = t_.Lines();
    ClearBandLineTable(bl);
    int i = 0;
    for (BYTE k : kinds) {
      bl.lines[i].kind = k;
      bl.lines[i].objectId = -1;
      ++i;
    }
    bl.lastUsed = i - 1;
  }

  // Columns of a text measured in the regular default font, blanks as "a".
  int TextColumns(const char* text) {
    std::string s = text != nullptr ? text : "";
    std::replace(s.begin(), s.end(), ' ', 'a');
    HFONT font = doc_.m_pFonts ? doc_.m_pFonts->regularDefault : nullptr;
    // Before the default fonts exist a character counts one column.
    if (font == nullptr) return static_cast<int>(s.size());
    const int px = MeasureTextWidth(t_, font, s.c_str(), static_cast<int>(s.size()));
    return static_cast<int>(PixelsToChars(t_.metrics, static_cast<unsigned>(px + CharCellWidth(t_.metrics, 1) / 2)));
  }
  int FieldColumns(FieldDef& f) {
    char sample[kFillTextSize + 1] = {};
    const int n = CalcFieldFillText(fmt_, f, false, 'a', sample);
    sample[std::clamp(n, 0, kFillTextSize)] = 0;
    const bool fonts = doc_.m_pFonts != nullptr && doc_.m_pFonts->regularDefault != nullptr;
    return fonts ? TextColumns(sample) : std::max<int>(TextColumns(sample), f.head.width);
  }

  // Placed by columns; the extents follow from the fonts when they are there.
  void Place(ReportItemHead& h, int line, int column) {
    h.bandLine = static_cast<uint8_t>(line);
    h.column = column;
    h.left = CharCellWidth(t_.metrics, column);
    h.right = h.left + CharCellWidth(t_.metrics, std::max<int>(1, h.width)) - 1;
    // A text line's height until the fonts measure the item.
    if (h.height <= 0) {
      h.height = t_.DefaultLineHeight();
      h.descent = h.height / 4;
    }
    h.flags |= kItemFixedPosition;
  }
  void Show(FieldDef& f, int line, int column) {
    Place(f.head, line, column);
    // A right-aligned field's column is where it ends, as a right-aligned
    // text's is: it reaches back from there by its width.
    if (GetObjectAlignment(&doc_, &f.head) == 2) {
      const int width = CharCellWidth(t_.metrics, std::max<int>(1, f.head.width));
      f.head.left = std::max(0, CharCellWidth(t_.metrics, column) - width);
      f.head.right = f.head.left + width - 1;
    }
    MarkFieldPlaced(&f);
    f.flags |= kFieldItem | kFieldNeeded;
  }

  bool AddText(int line, int column, const char* text, BYTE style, BYTE alignment) {
    const size_t n = std::min<size_t>(std::strlen(text), kMaxFieldChars);
    TextItem* x = NewTextItem(&doc_, static_cast<uint32_t>(n + 1));
    if (x == nullptr) return false;
    std::memcpy(x->text, text, n);
    x->head.width = static_cast<uint8_t>(n);
    x->head.fontStyle = style;
    x->alignment = alignment;
    Place(x->head, line, column);
    return true;
  }

  bool AddGroupSum(FieldDef& source, int n) {
    FieldDef* f = m_.AddField(kFieldNumeric | kFieldItem);
    if (f == nullptr) return false;
    std::snprintf(f->name, sizeof f->name, "%s%d", "GrSum", n + 1);
    f->totalFlags = kTotalIsTotal;
    f->totalFunction = kSumFunction;
    f->refField = m_.GetFieldIndex(&source);
    f->table = source.table;
    f->totalReset = kResetGrand;
    f->totalLevel = kOnBand;
    f->formatCode = source.formatCode;
    f->displayDecimals = source.displayDecimals;
    int width = source.head.width;
    if (width + source.displayDecimals < 20) ++width;
    f->displayWidth = static_cast<uint32_t>(width);
    f->head.width = static_cast<uint8_t>(std::min(width, kMaxFieldChars));
    Show(*f, 7, source.head.column);
    const std::string dashes(static_cast<size_t>(f->head.width), '-');
    return AddText(6, source.head.column, dashes.c_str(), 0, kAlignRight);
  }

  FieldDef* AddSpecial(const char* name, const char* expression, int width, int line, int column, uint32_t flags,
                       const char* comment) {
    FieldDef* f = CompileField(&m_, name, expression, false, nullptr);
    if (f == nullptr) return nullptr;
    if (width > 0) f->head.width = static_cast<uint8_t>(width);
    else f->head.width = static_cast<uint8_t>(std::clamp(GetObjectWidth(fmt_, *f), 1, kMaxFieldChars));
    f->head.fontStyle = 0;
    f->head.colour = 0;
    Show(*f, line, column);
    f->head.flags |= flags;
    if (f->text == nullptr) {
      const size_t n = std::strlen(comment);
      f->text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(n + 1)));
      if (f->text != nullptr) std::memcpy(f->text, comment, n);
    }
    return f;
  }

  bool AddLabelled(const char* label, const char* name, const char* expression, int width, int line,
                   const char* comment) {
    if (!AddText(line, 0, label, 0, kAlignLeft)) return false;
    FieldDef* f = AddSpecial(name, expression, width, line, 0, 0, comment);
    if (f == nullptr) return false;
    Show(*f, line, TextColumns(label) + FieldColumns(*f));
    return true;
  }

  // The first table's name, without its owner when the data source has owners.
  std::string TitleText() {
    const TableSlot* slot = m_.tableSlots[0];
    std::string name = slot != nullptr ? slot->path : "";
    DataAccess* data = GetDataAccess(&m_);
    const size_t dot = name.rfind('.');
    if (data != nullptr && data->SupportsOwnerNames() && dot != std::string::npos) name = name.substr(dot + 1);
    return name;
  }

  CKmDoc& doc_;
  LayoutTables& t_;
  CKmComposite& m_;
  FormatSettings fmt_;
};

}  // namespace

bool BuildInstantReport(CKmDoc& doc) {
  if (doc.m_pLayout == nullptr || doc.m_pModel == nullptr || doc.m_bandLines.lines == nullptr) return false;
  return InstantBuilder(doc).Build();
}

BOOL NewReportSteps::BuildInstantReport(CKmDoc& doc) { return ::BuildInstantReport(doc) ? TRUE : FALSE; }
