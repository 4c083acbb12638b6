#include "engine/line_text.h"

#include "engine/doc_upkeep.h"
#include "engine/band_line_helpers.h"
#include "engine/field_text_lines.h"
#include "engine/memo_field_text.h"
#include "layout/field_width.h"
#include "layout/picture_chars.h"
#include "foundation/doc_base.h"
#include "engine/output_stream.h"
#include "engine/report_run.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/master_scan.h"
#include "model/memo_text.h"
#include "platform/printer/escape_stream.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace {

constexpr BYTE kBandLinePageBreak = 0x01;

BYTE StreamTextByte(BYTE c) { return c < 0x20 ? ' ' : c; }

// An escape as PutEscapeSequence (PutBareEscape without arguments) writes it.
inline __attribute__((always_inline)) size_t Escape(BYTE* p, BYTE code, WORD a1, WORD a2, WORD a3) {
  return static_cast<size_t>((a1 == kNoArg ? PutBareEscape(p, code) : PutEscapeSequence(p, code, a1, a2, a3)) - p);
}

// Bytes gathered in place while they are few, as most are, and beyond that
// in a buffer: one item's bytes before they go onto the line (or stay off
// it), and the line's own before they go to the caller's buffer.
class ItemBytes {
 public:
  // Bytes beyond the room in place go to spill; without one, to a buffer
  // lent by lender when they first need it.
  ItemBytes(std::vector<BYTE>* spill, BandOutputState* lender) : spill_(spill), lender_(lender) {}
  ItemBytes(const ItemBytes&) = delete;
  ItemBytes& operator=(const ItemBytes&) = delete;
  void clear() {
    n_ = 0;
    spilled_ = false;
  }
  size_t size() const { return spilled_ ? spill_->size() : n_; }
  const BYTE* data() const { return spilled_ ? spill_->data() : small_; }
  // Room for len more bytes at the end: where they go.
  BYTE* Extend(size_t len) {
    if (!spilled_ && len <= kSmall - n_) {
      BYTE* p = small_ + n_;
      n_ += len;
      return p;
    }
    return ExtendSpilled(len);
  }
  // Room for up to len more bytes at the end, of which Commit then takes
  // the first n: for writing what is no longer than len in place.
  BYTE* Reserve(size_t len) {
    if (!spilled_ && len <= kSmall - n_) return small_ + n_;
    reserved_ = len;
    return ExtendSpilled(len);
  }
  void Commit(size_t n) {
    if (spilled_) spill_->resize(spill_->size() - reserved_ + n);
    else n_ += n;
    reserved_ = 0;
  }
  void Append(const BYTE* bytes, size_t len) {
    if (len > 0) std::memcpy(Extend(len), bytes, len);
  }
  void Truncate(size_t len) {
    if (spilled_) spill_->resize(len);
    else n_ = len;
  }
  // The bytes into out, which is left holding them alone.
  void MoveTo(std::vector<BYTE>* out) const {
    if (!spilled_) out->assign(small_, small_ + n_);
    else if (spill_ != out) out->assign(spill_->begin(), spill_->end());
  }

 private:
  // Beyond the room in place: the spill buffer takes the bytes so far and on.
  __attribute__((noinline)) BYTE* ExtendSpilled(size_t len) {
    if (!spilled_) {
      if (spill_ == nullptr) {
        lent_.emplace(lender_);
        spill_ = &lent_->bytes();
      }
      spill_->assign(small_, small_ + n_);
      spilled_ = true;
    }
    const size_t at = spill_->size();
    spill_->resize(at + len);
    return spill_->data() + at;
  }

  static constexpr size_t kSmall = 1024;
  BYTE small_[kSmall];
  size_t n_ = 0;
  size_t reserved_ = 0;  // spilled: bytes Reserve added that Commit has not yet taken
  bool spilled_ = false;
  std::vector<BYTE>* spill_;
  BandOutputState* lender_;
  std::optional<LineBuffer> lent_;
};

inline __attribute__((always_inline)) void PutEsc(ItemBytes& out, BYTE code, WORD a1 = kNoArg, WORD a2 = kNoArg,
                                                   WORD a3 = kNoArg) {
  constexpr size_t kLongestEscape = 8;
  out.Commit(Escape(out.Reserve(kLongestEscape), code, a1, a2, a3));
}

// Report data enters the stream with its control bytes made blanks; the
// doubled escape of formatted text counts as one character. Copied as it
// stands, then mended from its first control byte (the escape is one) on,
// if it has any: most values have none.
inline __attribute__((always_inline)) void PutData(ItemBytes& out, const char* text, size_t n) {
  const size_t at = out.size();
  BYTE* p = out.Extend(n);
  if (n == 0) return;
  std::memcpy(p, text, n);
  size_t i = ControlFreeLength(text, n);
  if (i == n) return;
  BYTE* to = p + i;
  for (; i < n; ++i) {
    BYTE c = p[i];
    if (c == kEsc && i + 1 < n && p[i + 1] == kEsc) ++i;
    *to++ = StreamTextByte(c);
  }
  out.Truncate(at + static_cast<size_t>(to - p));
}

enum class Align { kNone, kLeft, kCentre, kRight };

// The running state of one line's text while its items are written.
struct LineWriter {
  ItemBytes* out;
  // The printer library, which may rewrite a font's style.
  PageDriver* driver = nullptr;
  PageOutputState* page = nullptr;
  int font = -1, style = -1, size = -1;
  long colour = -1;
  Align open = Align::kNone;
  LONG runX = 0, runRight = 0;

  void Close() {
    if (open == Align::kRight) PutEsc(*out, kEscRightClose, static_cast<WORD>(runRight));
    if (open == Align::kCentre) PutEsc(*out, kEscCentreClose, static_cast<WORD>(runX + (runRight - runX) / 2));
    open = Align::kNone;
  }
  void ForgetFont() {
    font = style = size = -1;
    colour = -1;
  }
};

// A new font is written with its colour (the stream's font and colour
// writer); a colour alone when only the colour changed.
inline __attribute__((always_inline)) void PutFontAndColour(LineWriter& w, ItemBytes& piece, const ReportItemHead& h,
                                                             int defaultSize, bool styleZero) {
  const int style = styleZero ? 0 : (h.fontStyle & 0x0F);
  const int size = h.pointSize > 0 ? h.pointSize : defaultSize;
  const COLORREF c = ColorTableValue(h.colour);
  if (h.fontIndex != w.font || style != w.style || size != w.size) {
    constexpr size_t kFontAndColour = 16;
    piece.Commit(static_cast<size_t>(PutFontAndColorSequences(w.driver, w.page, h.fontIndex, static_cast<BYTE>(style),
                                                              static_cast<WORD>(size), c,
                                                              piece.Reserve(kFontAndColour))));
    w.font = h.fontIndex;
    w.style = style;
    w.size = size;
    w.colour = static_cast<long>(c);
    return;
  }
  if (static_cast<long>(c) != w.colour) {
    PutEsc(piece, kEscColour, static_cast<WORD>(c & 0xFF), static_cast<WORD>((c >> 8) & 0xFF),
           static_cast<WORD>((c >> 16) & 0xFF));
    w.colour = static_cast<long>(c);
  }
}

// Opens a run for an item of the alignment at x (right edge right), or
// extends the open one.
inline __attribute__((always_inline)) void StartOrExtendRun(LineWriter& w, ItemBytes& piece, Align a, bool newRun,
                                                             LONG x, LONG right) {
  if (!newRun && w.open != Align::kNone) {
    w.runRight = right;
    return;
  }
  if (!newRun) return;
  w.open = a == Align::kRight || a == Align::kCentre ? a : Align::kNone;
  w.runX = x;
  w.runRight = right;
  if (a == Align::kRight) PutEsc(piece, kEscRightOpen);
  else if (a == Align::kCentre) PutEsc(piece, kEscCentreOpen);
  else PutEsc(piece, kEscPosition, static_cast<WORD>(std::max<LONG>(0, x)));
}

// The item's horizontal alignment as the document keeps it for every kind.
Align ObjectAlign(ReportRun* run, const ReportItemHead& h) {
  switch (GetObjectAlignment(run->doc, &h)) {
    case 1: return Align::kCentre;
    case 2: return Align::kRight;
    default: return Align::kLeft;
  }
}

unsigned char PictureFillChar(ReportRun* run, int fontIndex) {
  return GetPictureFillChar(run->doc != nullptr ? run->doc->m_pFonts : nullptr, fontIndex, run->band->format.padChar);
}

// One line of a word-wrapped field's text from start (count characters,
// ended by a line feed when endedByBreak), built by the field line builder:
// the field's position (its centred or right-aligned field), its colour and
// each character in the look it prints in. A line that a line feed ends with
// nothing but blanks on it holds the fill character, so that it keeps its
// place. The bytes written; 0 when the line prints nothing.
size_t PutWrappedLine(ReportRun* run, ItemBytes& piece, const ItemOutput& it, int defaultSize, size_t start,
                      size_t count, bool endedByBreak, Align a, LONG x, LONG right) {
  const ReportItemHead& h = *it.head;
  WORD chars[kFieldCells] = {}, fonts[kFieldCells] = {}, sizes[kFieldCells] = {};
  size_t p = start;
  int n = 0;
  bool blank = true;
  for (; n < kFieldCells - 1 && static_cast<size_t>(n) < count; ++n) {
    int font = 0, size = 0;
    const WORD cell = NextFieldChar(it, h, defaultSize, &p, &font, &size);
    if (cell == 0) break;
    chars[n] = cell;
    fonts[n] = static_cast<WORD>(font);
    sizes[n] = static_cast<WORD>(size);
    blank = blank && (cell & 0xFF) == ' ';
  }
  if (blank && endedByBreak) {
    chars[0] = static_cast<WORD>(PictureFillChar(run, h.fontIndex) | ((h.fontStyle & kCellStyleBits) << 8));
    fonts[0] = static_cast<WORD>(h.fontIndex);
    sizes[0] = static_cast<WORD>(h.pointSize > 0 ? h.pointSize : defaultSize);
    chars[1] = 0;
  }
  FieldLinePlacement place;
  place.x = static_cast<WORD>(std::max<LONG>(0, x));
  place.width = static_cast<WORD>(std::max<LONG>(0, right - x));
  place.rightX = static_cast<WORD>(std::max<LONG>(0, right));
  place.alignment = a == Align::kCentre ? kFieldAlignCentre : a == Align::kRight ? kFieldAlignRight : kFieldAlignLeft;
  place.colour = ColorTableValue(h.colour);
  BYTE* out = piece.Reserve(kFieldTextLineMax);
  const int bytes = BuildTextLine(chars, fonts, sizes, place, out);
  // The fill character holds the empty line's place; on paper it is a blank.
  if (blank && endedByBreak && bytes > 0) {
    StreamReader reader(out, bytes);
    for (StreamToken t = reader.Next(); t.kind != StreamToken::kEnd; t = reader.Next())
      if (t.kind == StreamToken::kText) std::fill(out + t.offset, out + t.offset + t.length, BYTE{' '});
  }
  piece.Commit(static_cast<size_t>(std::max(bytes, 0)));
  return static_cast<size_t>(std::max(bytes, 0));
}

// What a field shows in the Test Pattern: its format's picture for numbers,
// dates and times (and for texts of a character width), else the picture
// fill character as far as its measured width goes.
std::string TestPatternText(ReportRun* run, FieldDef& f) {
  BandOutputState* s = run->band;
  char buf[kFillTextSize + 1] = {};
  FillTextDriver d;
  d.driver = run->driver;
  d.state = run->page;
  const bool measured = (f.flags3word & kFieldMeasuredWidth) != 0 && HasUnitWidth(f);
  const int n = CalcFieldFillText(s->format, f, measured, PictureFillChar(run, f.head.fontIndex), buf, d);
  return std::string(buf, static_cast<size_t>(std::clamp(n, 0, kFillTextSize)));
}


// The scan of the master table that gives a memo its value; a failed read
// is told (the run then stops).
int ScanFieldValue(ReportRun* run, FieldDef* f) {
  if (!MayReadByMasterScan(f)) return 0;
  CKmComposite* m = run->doc != nullptr ? run->doc->m_pModel : nullptr;
  if (m == nullptr || !ReadsByMasterScan(m, f)) return 0;
  const int code = ScanMasterTable(m, f, f->value, kMemoWindow, 0, &run->band->format);
  if (code != 0) m->ShowEngineError(code);
  return code;
}

// The whole text of a wrapped field's value.
bool WrappedFieldText(ReportRun* run, const FieldDef* f, const BYTE* value, ItemOutput* item) {
  item->wrapText.clear();
  item->wrapStyles.clear();
  item->wrapAttrs.clear();
  return WrappedFieldStyledText(run, f, value, item);
}

// The band's items on later lines under a wrapped field whose text ended in
// this output line (at band line `line`) go below it, unless a page-break line lies
// between (they belong to the next page) or they are already on their way.
void MoveItemsBelowStretchedField(ReportRun* run, int entry, int line, int band, int* heldCount) {
  BandOutputState* s = run->band;
  const ItemOutput& field = s->items[entry];
  const BandLineRec* L = s->layout->Lines().lines;
  int lastBandLine = field.line;
  while (lastBandLine + 1 < kBandLineCount && L[lastBandLine + 1].kind == band) ++lastBandLine;
  if (field.line >= lastBandLine) return;
  const ReportItemHead& fh = *field.head;
  for (size_t o = 0; o < s->items.size(); ++o) {
    ItemOutput& it = s->items[o];
    if (it.line <= field.line || it.line > lastBandLine || L[it.line].kind != band) continue;
    if (it.state & (kItemMoved | kItemContinuing | kItemDone | kItemOutput)) continue;
    const ReportItemHead& h = *it.head;
    if (h.right < fh.left || h.left >= fh.right) continue;
    if (AnyPageBreakLineBetween(*s->layout, field.line, it.line)) continue;
    // An item its own line reaches later than the text's end keeps its place.
    if (it.line > line) continue;
    // Lines between the field and the item stay between them.
    it.state |= kItemMoved;
    it.movedTo = s->outputStep + 1 + CountPrintedLines(*s->layout, it.line, field.line + 1);
    it.holdCount = 0;
    if (!(it.state & kItemHeld)) {
      it.state |= kItemHeld;
      ++*heldCount;
    }
  }
}

}  // namespace

bool ValueBufferText(ReportRun* run, const FieldDef* f, const BYTE* value, std::string* text) {
  text->clear();
  if (value == nullptr) return true;
  // A duplicate shows its field's value, as long as that field's.
  if (run != nullptr && run->doc != nullptr && run->doc->m_pModel != nullptr) f = run->doc->m_pModel->AliasedField(f);
  size_t limit;
  if (f->flags & kFieldMemo)
    limit = kMemoWindow;
  else
    limit = std::max(f->displayWidth, f->width) + 1;
  const char* v = reinterpret_cast<const char*>(value);
  text->assign(v, strnlen(v, limit));
  return true;
}

bool IsStretchingField(const ReportItemHead& h) {
  const FieldDef* f = FieldOfItem(&h);
  return f != nullptr && (f->formatCode & 0xF0) == 0x40;
}

int32_t StretchedFieldHeight(ReportRun* run, FieldDef* f, int band) {
  BandOutputState* s = run->band;
  if (s == nullptr || run->driver == nullptr || !run->driver->HasEntry(2)) return 0;
  const BYTE* value = GetFieldValueForBand(run, f, band);
  if (FieldValueStatus(run, f, value) != 0) return 0;
  const ReportItemHead& h = f->head;
  ItemOutput it;
  it.head = &f->head;
  if (!WrappedFieldText(run, f, value, &it)) {
    RunStateOf(run) = -2;
    return 0;
  }
  const unsigned char pad = s->format.padChar;
  for (char& c : it.wrapText)
    if (static_cast<unsigned char>(c) == pad) c = ' ';
  it.wrapText.resize(TrimmedLength(it.wrapText.c_str(), pad));
  if (it.wrapStyles.size() > it.wrapText.size()) it.wrapStyles.resize(it.wrapText.size());
  if (it.wrapAttrs.size() > it.wrapText.size()) it.wrapAttrs.resize(it.wrapText.size());
  const int defaultSize = s->layout != nullptr && s->layout->defaultPointSize > 0 ? s->layout->defaultPointSize : 100;
  const int width = h.width > 0 ? h.width : std::max<int>(1, static_cast<int>(f->displayWidth));
  const int lineHeight = run->driver->FontLineHeight(run->page, h.fontIndex, h.fontStyle,
                                                     h.pointSize > 0 ? h.pointSize : defaultSize, 0);
  // Each output line of the text takes the field's line height; a text
  // longer than any page stops counting there.
  int32_t height = 0;
  int lines = 0;
  do {
    const size_t before = it.wrapPos;
    LayoutFieldLine(run, it, *f, defaultSize, width);
    ++lines;
    height += lineHeight;
    if (it.wrapPos == before) break;
  } while (it.wrapPos < it.wrapText.size() && lines < kMaxStretchLines);
  return height;
}

std::string NextWrappedLine(const std::string& text, size_t* pos, int width) {
  if (width < 1) width = 1;
  size_t p = *pos;
  const size_t n = text.size();
  if (p >= n) return std::string();
  const size_t w = static_cast<size_t>(width);
  size_t nl = text.find(kMemoLineEnd, p);
  if (nl != std::string::npos && nl - p <= w) {
    *pos = nl + 1;
    return text.substr(p, nl - p);
  }
  size_t end = std::min(n, nl == std::string::npos ? n : nl);
  if (end - p <= w) {
    *pos = end;
    return text.substr(p, end - p);
  }
  size_t cut = p + w;  // first character that does not fit
  size_t next = cut;
  if (text[cut] == ' ') {
    next = cut + 1;
  } else {
    for (size_t j = cut - 1; j > p; --j) {
      if (text[j] == ' ') {
        cut = j;
        next = j + 1;
        break;
      }
      if (text[j] == '-' && text[j - 1] != ' ' && text[j - 1] != '(') {
        cut = j + 1;
        next = j + 1;
        break;
      }
    }
  }
  // Blanks where a line was wrapped do not start the next one.
  while (next < n && text[next] == ' ') ++next;
  *pos = next;
  std::string line = text.substr(p, cut - p);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

uint32_t HashChartName(const char* s) {
  static const uint32_t kMul[4] = {0xABCDEFABu, 0xBCDEFABCu, 0xCDEFABCDu, 0xDEFABCDEu};
  uint32_t h = 0;
  for (size_t i = 0; s && s[i]; ++i) {
    uint32_t c = static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(s[i])));
    h = h * 8u + c * kMul[i % 4];
  }
  return h;
}

bool AnyPageBreakLineBetween(const LayoutTables& t, int first, int last) {
  const BandLineTable& table = t.Lines();
  for (int l = std::max(0, first); l < last && l < kBandLineTableRecords; ++l)
    if (table.lines[l].flags & kBandLinePageBreak) return true;
  return false;
}

int CountPrintedLines(const LayoutTables& t, int from, int to) {
  const BandLineTable& table = t.Lines();
  int n = 0;
  for (int l = std::max(0, to); l < from && l < kBandLineTableRecords; ++l)
    if (table.lines[l].flags & 0x02) ++n;
  return n;
}

bool IsItemHeld(ReportRun* run, int entry, int band, int* heldCount) {
  BandOutputState* s = run->band;
  ItemOutput& it = s->items[entry];
  const ReportItemHead& h = *it.head;
  const BandLineRec* L = s->layout->Lines().lines;
  const bool lineBox = IsLineOrBox(h);
  // An item a stretched field moved down waits for the line after its text.
  if ((it.state & kItemMoved) && s->outputStep < it.movedTo) {
    if (!(it.state & kItemHeld)) {
      it.state |= kItemHeld;
      ++*heldCount;
    }
    return true;
  }
  if (!it.mayBeHeld) {
    if (it.holdCount == 0) return false;
    --it.holdCount;
    return true;
  }
  // Only items of its band on its own line or above can hold it back.
  size_t begin = 0, end = 0;
  ItemsAboveInBand(*s, it, band, &begin, &end);
  for (size_t o = begin; o < end; ++o) {
    if (static_cast<int>(o) == entry) continue;
    const ItemOutput& other = s->items[o];
    if (!(other.state & (kItemContinuing | kItemOutput | kItemHeld))) continue;
    if (L[other.line].kind != band) continue;
    const ReportItemHead& oh = *other.head;
    if (oh.right < h.left || oh.left >= h.right) continue;
    bool above = other.line < it.line;
    if (!above && other.line == it.line) {
      above = oh.top < h.top && (other.state & (kItemContinuing | kItemHeld)) && !lineBox && !IsLineOrBox(oh);
    }
    if (!above) continue;
    if (it.state & kItemMoved) {
      it.holdCount = 0;  // its place is the line after the text that moved it
      if (!(it.state & kItemHeld)) {
        it.state |= kItemHeld;
        ++*heldCount;
      }
      return true;
    }
    int hold = CountPrintedLines(*s->layout, it.line, other.line) - 1;
    it.holdCount = static_cast<BYTE>(std::max(0, std::min(hold, 255)));
    if (!(it.state & kItemHeld)) {
      it.state |= kItemHeld;
      ++*heldCount;
    }
    return true;
  }
  if (it.holdCount > 0) {
    --it.holdCount;
    return true;
  }
  return false;
}

namespace {

// NextLineItem, inline in the walk of a line's items.
inline __attribute__((always_inline)) int NextItemOfLine(ReportRun* run, int start, int line, int band,
                                                         int* heldCount) {
  BandOutputState* s = run->band;
  const BandLineRec* L = s->layout->Lines().lines;
  for (int e = std::max(0, start); e < static_cast<int>(s->items.size()); ++e) {
    ItemOutput& it = s->items[e];
    if (it.line > line) return -1;
    if (L[it.line].kind != band) continue;
    if (it.state & kItemContinuing) return e;
    if (it.state & (kItemDone | kItemOutput)) continue;
    // Nothing can hold it back and nothing does: IsItemHeld's first answer.
    if (!it.mayBeHeld && it.holdCount == 0 && !(it.state & kItemMoved)) return e;
    if (!IsItemHeld(run, e, band, heldCount)) return e;
  }
  return -1;
}

}  // namespace

int NextLineItem(ReportRun* run, int start, int line, int band, int* heldCount) {
  return NextItemOfLine(run, start, line, band, heldCount);
}

int OutputBandObjects(ReportRun* run, std::vector<BYTE>* lineText, bool measureOnly, int line, int band,
                      int* heldCount, int* continuingCount, bool repeatLine, LONG* height) {
  (void)repeatLine;
  BandOutputState* s = run->band;
  lineText->clear();
  *height = 0;
  if (s == nullptr || s->layout == nullptr) return kLineEmpty;
  if (!s->built) BuildBandItemIndex(s);
  const BandLineTable& table = s->layout->Lines();
  const BandLineRec* L = table.lines;
  const int runMode = RunModeOf(run);
  const bool inBand = line >= 0 && line < kBandLineCount && L[line].kind == band;
  const BandLineRec* own = inBand ? &L[line] : nullptr;
  const LONG explicitHeight = own ? ExplicitLineHeight(s, *own) : 0;
  const bool explicitLine = explicitHeight > 0;
  const LONG colOff = BandColumnOffset(run, band);
  // A records-across row draws its graphics itself when it is sent.
  const bool drawing = !measureOnly && LinesVisible(run) && !IsAcrossBand(run, band);
  const unsigned char pad = s->format.padChar;
  const int defaultSize = s->layout->defaultPointSize > 0 ? s->layout->defaultPointSize : 100;

  const int first = band >= 0 && band < static_cast<int>(s->firstLineOfBand.size())
                        ? s->firstLineOfBand[static_cast<size_t>(band)]
                        : -1;
  if (first < 0) return kLineEmpty;

  LineWriter w;
  w.driver = run->driver;
  w.page = run->page;
  // The line is gathered on the stack and handed over whole at its end.
  ItemBytes lineBytes(lineText, s);
  w.out = &lineBytes;
  // A wrapped field's bytes, gathered apart: its lines close their runs on
  // the line as they go, ahead of its bytes.
  ItemBytes wrappedBytes(nullptr, s);
  bool anyItem = false, anyText = false;
  bool prevWrapped = false;
  int prevDepth = -1;
  bool lastFieldEmpty = false;
  bool lineBoxHere = false, graphicNotDrawn = false;
  const DeviceXScale toDeviceX(s->units);
  // Items keep their output edges from one record to the next; a change of
  // scale (new units) works them out again.
  if (!s->itemXScale || !(*s->itemXScale == toDeviceX)) {
    s->itemXScale = toDeviceX;
    ++s->itemXScaleUse;
  }

  for (int e = NextItemOfLine(run, s->firstItemOfLine[first], line, band, heldCount); e >= 0;
       e = NextItemOfLine(run, e + 1, line, band, heldCount)) {
    ItemOutput& it = s->items[e];
    const ReportItemHead& h = *it.head;
    anyItem = true;
    const BandLineRec& itemLine = L[it.line];

    if (IsGraphicItem(h)) {
      const bool lineBox = IsLineOrBox(h);
      if (lineBox) lineBoxHere = true;
      if (drawing) {
        if (h.flags & kItemKindPicture) ++s->waitingPictures;
        else if (h.flags & kItemKindChart) ++s->waitingCharts;
        else if (h.flags & kItemKindOle) ++s->waitingOleItems;
        else if (lineBox && it.openY == 0 && !(it.state & kItemWaiting) && !it.reopen) ++s->openLinesBoxes;
        it.state |= kItemWaiting;
        if (h.flags & (kItemKindChart | kItemKindOle)) *height = std::max(*height, explicitHeight);
        else if ((h.flags & kItemKindPicture) && explicitLine) *height = std::max(*height, explicitHeight);
      } else {
        if (!lineBox && !((h.flags & (kItemKindPicture | kItemKindOle)) && explicitLine)) graphicNotDrawn = true;
        if ((h.flags & (kItemKindPicture | kItemKindOle)) && explicitLine) *height = std::max(*height, explicitHeight);
      }
      it.state |= kItemOutput;
      if (it.state & kItemHeld) {
        it.state &= static_cast<BYTE>(~kItemHeld);
        --*heldCount;
      }
      continue;
    }

    FieldDef* f = FieldOfItem(it.head);
    const bool isField = f != nullptr;
    const bool wrapped = IsStretchingField(h);
    if (it.xScaleUse != s->itemXScaleUse || it.xFromLeft != h.left || it.xFromRight != h.right) {
      it.deviceLeft = toDeviceX(static_cast<DWORD>(std::max(0, h.left)));
      it.deviceRight = ObjectToDeviceX(toDeviceX, static_cast<DWORD>(std::max(0, h.right)), 0);
      it.xFromLeft = h.left;
      it.xFromRight = h.right;
      it.xScaleUse = s->itemXScaleUse;
    }
    const LONG x = it.deviceLeft + colOff;
    const LONG right = it.deviceRight + colOff;
    const int depth = h.descent;
    const bool continuesRun = !(h.flags & kItemFixedPosition) && lineBytes.size() != 0 && runMode != 1 &&
                              !prevWrapped && (!explicitLine || depth == prevDepth) && !wrapped;
    if (!continuesRun) w.Close();
    const bool newRun = !continuesRun;
    // Raise of the item above the bottom of a line of explicit height.
    LONG raise = 0;
    if (explicitLine && it.line == line) raise = LayoutToDecipoints(s, itemLine.bottom - h.bottom);

    // Every other item's bytes go straight onto the line, from `at` on, and
    // come off again when the item stays out or the line would be too long.
    if (wrapped) wrappedBytes.clear();
    ItemBytes& piece = wrapped ? wrappedBytes : lineBytes;
    const size_t at = lineBytes.size();
    bool wroteText = false;
    bool fieldEmpty = false;
    bool skipPiece = false;

    if (!isField || runMode == 1) {
      if (raise > 0) PutEsc(piece, kEscVerticalOffset, static_cast<WORD>(raise));
      Align a = ObjectAlign(run, h);
      std::string text;
      if (isField) {
        text = TestPatternText(run, *f);
      } else {
        const TextItem* t = TextOfItem(it.head);
        if (t != nullptr && t->text) text = t->text;
        // A lone pad character after an empty field of the same run stays out.
        if (continuesRun && lastFieldEmpty && text.size() == 1 && static_cast<unsigned char>(text[0]) == pad)
          skipPiece = true;
      }
      StartOrExtendRun(w, piece, a, newRun, x, right);
      PutFontAndColour(w, piece, h, defaultSize, false);
      PutData(piece, text.data(), text.size());
      if (isField || (h.fontStyle & 0x0C)) wroteText = !text.empty();
      else wroteText = TrimmedLength(text.c_str(), pad) > 0;
    } else {
      const BYTE* value = GetFieldValueForBand(run, f, band);
      const int status = FieldValueStatus(run, f, value);
      // Only a group field may be left out or marked (Print Once); laid out
      // as at the top of a page, a row's first record leaves none out.
      const bool suppressed = it.groupLevel > 0 && !s->layingOutRowTop && IsGroupFieldSuppressed(run, &it) != 0;
      const bool rowBand = !measureOnly && IsAcrossBand(run, band);
      if (suppressed && rowBand && s->rowRecords == 0) s->rowFirstLeftOut = true;
      // A memo takes its value from the master table's current record first.
      if (status == 0 && !(it.state & kItemContinuing) && value == f->value && ScanFieldValue(run, f) != 0) {
        RunStateOf(run) = -2;
        return -1;
      }
      if (!suppressed && wrapped && status == 0) {
        if (!(it.state & kItemContinuing)) {
          if (!WrappedFieldText(run, f, value, &it)) {
            RunStateOf(run) = -2;
            return -1;
          }
          std::string& full = it.wrapText;
          for (char& c : full)
            if (static_cast<unsigned char>(c) == pad) c = ' ';
          full.resize(TrimmedLength(full.c_str(), pad));
          if (it.wrapStyles.size() > full.size()) it.wrapStyles.resize(full.size());
          if (it.wrapAttrs.size() > full.size()) it.wrapAttrs.resize(full.size());
          it.wrapPos = 0;
          it.wrapLines = 0;
          it.state |= kItemContinuing;
          ++*continuingCount;
        } else {
          ++it.wrapLines;
        }
        char buf[400] = {};
        int n = FormatFieldValue(s->format, f, buf, value, 0, kOutputReport, nullptr);
        Align a = Align::kLeft;
        if (n > 1 && buf[0] == kEsc) a = buf[1] == kEscRightOpen ? Align::kRight : buf[1] == kEscCentreOpen ? Align::kCentre : Align::kLeft;
        const int width = h.width > 0 ? h.width : std::max<int>(1, static_cast<int>(f->displayWidth));
        const LONG itemHeight = h.bottom - h.top + 1;
        for (int sub = 0;; ++sub) {
          const size_t lineStart = it.wrapPos;
          std::string part = LayoutFieldLine(run, it, *f, defaultSize, width);
          LONG r = raise;
          if (explicitLine) r = LayoutToDecipoints(s, itemLine.bottom - (h.bottom + sub * itemHeight));
          if (r > 0) PutEsc(piece, kEscVerticalOffset, static_cast<WORD>(r));
          const bool endedByBreak =
              it.wrapPos > lineStart && it.wrapText[it.wrapPos - 1] == kMemoLineEnd &&
              lineStart + part.size() == it.wrapPos - 1;
          if (PutWrappedLine(run, piece, it, defaultSize, lineStart, part.size(), endedByBreak, a, x, right) > 0)
            wroteText = true;
          const bool more = it.wrapPos < it.wrapText.size();
          if (!more) break;
          // In a line of explicit height the next wrapped line goes into the
          // same output line while it still fits above the line's bottom.
          if (!explicitLine) break;
          if (h.bottom + (sub + 1) * itemHeight > itemLine.bottom) {
            it.wrapPos = it.wrapText.size();  // the rest does not print
            break;
          }
          ++it.wrapLines;
        }
        w.ForgetFont();
        if (it.wrapPos >= it.wrapText.size()) {
          it.state &= static_cast<BYTE>(~kItemContinuing);
          --*continuingCount;
          if (!measureOnly) MoveItemsBelowStretchedField(run, e, line, band, heldCount);
        }
      } else {
        char buf[400];  // read only as far as the formatted length
        int n = suppressed ? 0 : FormatFieldValue(s->format, f, buf, value, 0, kOutputReport, nullptr);
        Align a = Align::kLeft;
        int prefix = 0;
        if (n > 1 && buf[0] == kEsc) {
          a = buf[1] == kEscRightOpen ? Align::kRight : buf[1] == kEscCentreOpen ? Align::kCentre : Align::kLeft;
          prefix = kFormatPrefixSize + (buf[1] == kEscPosition ? 4 : 2);
        }
        int textLength = std::max(0, std::min(n - prefix, static_cast<int>(sizeof buf) - prefix));
        // A text that may grow past the field is cut where the field ends.
        if (textLength > 0 && FieldTextUnfitted(f, kOutputReport))
          textLength = FittedTextLength(run, *f, defaultSize, buf + prefix, textLength);
        if (raise > 0) PutEsc(piece, kEscVerticalOffset, static_cast<WORD>(raise));
        if (textLength > 0) {
          StartOrExtendRun(w, piece, a, newRun, x, right);
          PutFontAndColour(w, piece, h, defaultSize, false);
          PutData(piece, buf + prefix, static_cast<size_t>(textLength));
          wroteText = true;
        } else {
          fieldEmpty = true;
          // An empty field still fixes the position and font for what follows.
          if (newRun) {
            StartOrExtendRun(w, piece, Align::kLeft, true, x, right);
            PutFontAndColour(w, piece, h, defaultSize, true);
          }
        }
      }
      if (!measureOnly && !suppressed && it.groupLevel > 0) {
        if (s->layingOutRowTop) {
          s->rowTopMarks.push_back(e);
        } else {
          MarkGroupField(run, &it);
          if (rowBand) s->rowMarks.push_back(e);
        }
      }
    }

    if (!wrapped) {
      if (skipPiece || static_cast<int>(lineBytes.size()) > kMaxLineText) lineBytes.Truncate(at);
    } else if (!skipPiece && static_cast<int>(lineBytes.size() + piece.size()) <= kMaxLineText) {
      lineBytes.Append(piece.data(), piece.size());
    }
    if (wroteText && !skipPiece) anyText = true;
    *height = std::max(*height, explicitHeight);
    if (isField) lastFieldEmpty = fieldEmpty;
    if (!(it.state & kItemContinuing)) it.state |= kItemOutput;
    if (it.state & kItemHeld) {
      it.state &= static_cast<BYTE>(~kItemHeld);
      --*heldCount;
    }
    prevWrapped = wrapped;
    prevDepth = depth;
  }
  // An aligned run still open at the line's end is closed there.
  w.Close();
  lineBytes.MoveTo(lineText);
  if (static_cast<int>(lineText->size()) > kMaxLineText) lineText->resize(kMaxLineText);

  if (!anyItem) return kLineEmpty;
  int result = anyText ? kLineText : kLineNothing;
  if ((lineBoxHere || graphicNotDrawn) && !anyText && *height == 0) {
    result = kLineText;
    *height = explicitHeight;
  } else if (s->waitingPictures + s->waitingCharts + s->waitingOleItems > 0) {
    result = kLineText;
    if (*height == 0) *height = explicitHeight;
  }
  return result;
}
