#include "platform/printer/line_layout.h"

#include "platform/printer/escape_stream.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace {

// Windows-1252 bytes 0x80-0x9F; the undefined ones stay as they are.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// OEM box drawing, bytes 176-223.
const char16_t kOemBox[48] = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580};

}  // namespace

const std::string& StreamFace(const PageOutputState* s, int fontNumber) {
  static const std::string kDefaultFace = "Arial";
  if (fontNumber >= 0 && static_cast<size_t>(fontNumber) < s->fontFaces.size() &&
      !s->fontFaces[fontNumber].empty())
    return s->fontFaces[fontNumber];
  return kDefaultFace;
}

QString ResolveFace(const std::string& face) {
  const char* f = face.c_str();
  if (!strcasecmp(f, "Arial") || !strcasecmp(f, "Helvetica") || !strcasecmp(f, "MS Sans Serif"))
    return QStringLiteral("Liberation Sans");
  if (!strcasecmp(f, "Times New Roman") || !strcasecmp(f, "Times") || !strcasecmp(f, "MS Serif"))
    return QStringLiteral("Liberation Serif");
  if (!strcasecmp(f, "Courier New") || !strcasecmp(f, "Courier"))
    return QStringLiteral("Liberation Mono");
  if (!strcasecmp(f, "Duridev-ER")) return QStringLiteral("DejaVu Sans Mono");
  return QString::fromLatin1(f);
}

QString DecodeStreamText(const BYTE* bytes, int count, bool lineDrawFace) {
  QString out;
  AppendStreamText(&out, bytes, count, lineDrawFace);
  return out;
}

namespace {

// The character of each stream byte, in the code page and in the line-draw
// face: one look-up a byte, on every line laid out.
struct StreamCharTables {
  char16_t plain[256], lineDraw[256];
  StreamCharTables() {
    for (int b = 0; b < 256; ++b) {
      char16_t c = static_cast<char16_t>(b);
      if (b >= 0x80 && b <= 0x9F) c = kCp1252High[b - 0x80];
      else if (b < 0x20) c = u' ';  // control bytes have no glyph; keep the column
      plain[b] = lineDraw[b] = c;
      if (b >= 176 && b <= 223) lineDraw[b] = kOemBox[b - 176];
      else if (b == 250) lineDraw[b] = 0x00B7;
    }
  }
};
const StreamCharTables kStreamChars;

}  // namespace

void AppendStreamText(QString* text, const BYTE* bytes, int count, bool lineDrawFace) {
  if (count <= 0) return;
  const qsizetype at = text->size();
  text->resize(at + count);
  PutStreamText(text->data() + at, bytes, count, lineDrawFace);
}

void PutStreamText(QChar* to, const BYTE* bytes, int count, bool lineDrawFace) {
  const char16_t* table = lineDrawFace ? kStreamChars.lineDraw : kStreamChars.plain;
  for (int i = 0; i < count; ++i) to[i] = QChar(table[bytes[i]]);
}

namespace {

// A face whose shaping of plain Latin text is more than one glyph per
// character at its own advance (ligatures, contextual forms) must keep being
// shaped; checked once per font on texts where faces do such things.
bool ShapesLatinText(const QFont& font) {
  QRawFont raw = QRawFont::fromFont(font);
  if (!raw.isValid()) return true;
  for (const QString& probe : {QStringLiteral("fi fl ff ffi ffl Th st ct Qu AV To Wa 1/2 -> <= ..."),
                               QStringLiteral("office waffle fjord Ta Te Yo LT VA")}) {
    QTextLayout layout(probe, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) return true;
    QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1) return true;
    QList<quint32> shaped = runs[0].glyphIndexes();
    QList<quint32> plain = raw.glyphIndexesForString(probe);
    if (shaped != plain) return true;
    QList<QPointF> pos = runs[0].positions();
    QList<QPointF> adv = raw.advancesForGlyphIndexes(plain, QRawFont::UseDesignMetrics);
    double x = pos.isEmpty() ? 0 : pos[0].x();
    for (qsizetype i = 0; i < pos.size(); ++i) {
      if (std::abs(pos[i].x() - x) > 1e-3) return true;
      x += adv[i].x();
    }
  }
  return false;
}

}  // namespace

const DriverFont& DriverFontCache::Get(const PageOutputState* s, int fontNumber, int style, int size) {
  const std::string& face = StreamFace(s, fontNumber);
  if (size <= 0) size = 100;
  style &= 0x0F;
  // A line names its font once per item, mostly the one of the item before.
  if (last_ && lastNumber_ == fontNumber && lastStyle_ == style && lastSize_ == size && last_->face == face)
    return *last_;
  auto key = std::make_tuple(fontNumber, style, size, face);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return Remember(it->second, fontNumber, style, size);
  DriverFont f;
  f.face = face;
  f.font = QFont(ResolveFace(face));
  f.font.setPixelSize(size);
  f.font.setBold(style & 1);
  f.font.setItalic(style & 2);
  f.font.setUnderline(style & 4);
  f.font.setStrikeOut(style & 8);
  f.font.setHintingPreference(QFont::PreferNoHinting);
  f.font.setKerning(false);
  f.metrics = QFontMetricsF(f.font);
  f.ascent = f.metrics.ascent();
  f.descent = f.metrics.descent();
  f.leading = std::max(0.0, f.metrics.leading());
  if (!f.font.underline() && !f.font.strikeOut() && !ShapesLatinText(f.font)) f.raw = QRawFont::fromFont(f.font);
  return Remember(fonts_.emplace(key, f).first->second, fontNumber, style, size);
}

const DriverFont& DriverFontCache::Remember(const DriverFont& f, int fontNumber, int style, int size) {
  last_ = &f;
  lastNumber_ = fontNumber;
  lastStyle_ = style;
  lastSize_ = size;
  return f;
}

bool DriverFontCache::SimpleGlyphs(const DriverFont& f, QStringView text, QGlyphRun* out) {
  if (!f.raw.isValid() || text.isEmpty()) return false;
  QList<quint32> glyphs = f.raw.glyphIndexesForString(text.toString());
  if (glyphs.size() != text.size()) return false;
  for (quint32 g : glyphs)
    if (g == 0) return false;  // missing: shaping picks a fallback face
  QList<QPointF> advances = f.raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
  QList<QPointF> at(glyphs.size());
  double x = 0;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    at[i] = QPointF(x, 0);
    x += advances[i].x();
  }
  out->setRawFont(f.raw);
  out->setGlyphIndexes(glyphs);
  out->setPositions(at);
  return true;
}

namespace {

// Looks the character's advance up the first time it is asked for: false
// when the face lacks it (it is then kept as missing).
bool LookUpCharAdvance(const DriverFont& f, char16_t c, double* advance) {
  if (f.charMissing[c]) return false;
  QList<quint32> glyph = f.raw.glyphIndexesForString(QString(QChar(c)));
  if (glyph.size() != 1 || glyph[0] == 0) {
    f.charMissing[c] = 1;
    f.charAdvances[c] = -2;  // negative: the sum's loop stops here
    return false;
  }
  *advance = f.charAdvances[c] = f.raw.advancesForGlyphIndexes(glyph, QRawFont::UseDesignMetrics)[0].x();
  return true;
}

}  // namespace

bool DriverFontCache::SumOfCharAdvances(const DriverFont& f, QStringView text, double* width) {
  if (!f.raw.isValid()) return false;
  // Decoded stream text lies in Latin-1 plus the handful of characters the
  // code page and the line-draw face map above it; those go the long way.
  constexpr int kTable = 0x100;
  if (f.charAdvances.empty()) {
    f.charAdvances.assign(kTable, -1.0);
    f.charMissing.assign(kTable, 0);
  }
  const double* advances = f.charAdvances.data();
  double sum = 0;
  for (QChar qc : text) {
    const char16_t c = qc.unicode();
    if (c >= kTable) return false;
    double a = advances[c];
    // Not looked up yet, missing, or (were there such a face) negative.
    if (a < 0 && !LookUpCharAdvance(f, c, &a)) return false;
    sum += a;
  }
  *width = sum;
  return true;
}

double DriverFontCache::AdvanceOfBytes(const DriverFont& f, const BYTE* bytes, int count, bool lineDrawFace) {
  // A font that must be shaped has none: each text goes the long way.
  if (f.byteAdvances.empty()) f.byteAdvances.assign(512, f.raw.isValid() ? -1.0 : -2.0);
  double* table = f.byteAdvances.data() + (lineDrawFace ? 256 : 0);
  double sum = 0;
  int i = 0;
  for (; i < count; ++i) {
    double a = table[bytes[i]];
    if (a < 0) {
      // The byte's character alone, as SumOfCharAdvances adds it up.
      QChar c;
      PutStreamText(&c, bytes + i, 1, lineDrawFace);
      if (!SumOfCharAdvances(f, QStringView(&c, 1), &a)) break;
      table[bytes[i]] = a;
    }
    sum += a;
  }
  if (count > 0 && i == count) return sum;
  return Advance(f, DecodeStreamText(bytes, count, lineDrawFace));
}

double DriverFontCache::Advance(const DriverFont& f, QStringView view) {
  double sum;
  if (SumOfCharAdvances(f, view, &sum)) {
    return sum;
  }
  const QString text = view.toString();
  auto it = f.advances.constFind(text);
  if (it != f.advances.constEnd()) return it.value();
  double w = f.metrics.horizontalAdvance(text);
  if (f.advances.size() >= kAdvanceCacheLimit) f.advances.clear();
  f.advances.insert(text, w);
  return w;
}

namespace {

enum class RunMode { kLeft, kCentreField, kRight, kCentreRun };

// A copy of this costs less than making the colour for each line.
const QColor& BlackColour() {
  static const QColor kBlack(Qt::black);
  return kBlack;
}

struct Run {
  RunMode mode = RunMode::kLeft;
  double anchor = 0;  // left edge for left and centred fields
  double width = 0;   // box of a centred field
  double raise = 0;
  bool explicitStart = false;
  bool anchorAtPen = false;  // anchor not worked out yet: the pen's (see Anchor)
  // Its pieces are the line's from this one on; they are placed when the
  // run is flushed.
  size_t first = 0;
};

class Layouter {
 public:
  // line, when given, is the line's bytes, which the pieces then stand for
  // instead of a text.
  Layouter(const PageOutputState* s, DriverFontCache* cache, LaidOutLine* out, bool measure,
           const BYTE* line = nullptr, LineFontMemo* memo = nullptr)
      : s_(s), cache_(cache), out_(out), line_(line), memo_(memo), measure_(measure) {
    origin_ = PrinterOriginX(s);
    pen_ = origin_;
  }

  double X(WORD screenX) const {
    double ppi = s_->screenPpiX > 0 ? s_->screenPpiX : 96;
    return origin_ + screenX * 720.0 / ppi;
  }
  double W(WORD screenWidth) const {
    double ppi = s_->screenPpiX > 0 ? s_->screenPpiX : 96;
    return screenWidth * 720.0 / ppi;
  }

  [[gnu::always_inline]] void Text(const BYTE* bytes, int n) {
    if (!haveRun_) StartAtPen(RunMode::kLeft);
    // The state is the line's throughout: the same escape values are the
    // same font until they change.
    if (!current_) {
      if (memo_ && memo_->driverFont && memo_->state == s_ && memo_->font.number == font_.number &&
          memo_->font.style == font_.style && memo_->font.size == font_.size) {
        current_ = lineDrawOf_ = memo_->driverFont;
        lineDraw_ = memo_->lineDraw;
      } else {
        current_ = &cache_->Get(s_, font_.number, font_.style, font_.size);
        if (current_ != lineDrawOf_) {
          lineDrawOf_ = current_;
          lineDraw_ = IsLineDrawFont(s_, *current_);
        }
        if (memo_) *memo_ = {s_, font_, current_, lineDraw_};
      }
    }
    const DriverFont& f = *current_;
    const int length = std::max(n, 0);
    LaidOutPiece piece;
    if (line_) {
      piece.start = static_cast<int>(bytes - line_);
    } else {
      // The line's text was sized for all its bytes; it is cut to what was
      // written when the line is done.
      piece.start = used_;
      if (used_ + length > out_->text.size()) out_->text.resize(used_ + length);
      PutStreamText(out_->text.data() + used_, bytes, length, lineDraw_);
      used_ += length;
    }
    piece.length = length;
    piece.font = &f;
    piece.colour = colour_;
    piece.lineDraw = lineDraw_;
    piece.width = measure_ ? Measure(piece) : -1.0;
    out_->pieces.push_back(piece);
    out_->Add(f);
  }

  // Inlined into the loop over the line's tokens, so that a token need not
  // be put in memory to be read here.
  [[gnu::always_inline]] void Escape(const StreamToken& t) {
    if (t.code == kEscFont) {
      const StreamFont before = font_;
      if (font_.Apply(t) &&
          (font_.number != before.number || font_.style != before.style || font_.size != before.size))
        current_ = nullptr;
      return;
    }
    switch (t.code) {
      case kEscPosition:
        Flush();
        Start(RunMode::kLeft, X(t.args[0]), true);
        break;
      case kEscColour:
        colour_ = QColor(std::min<int>(t.args[0], 255), std::min<int>(t.args[1], 255),
                         std::min<int>(t.args[2], 255));
        break;
      case kEscCentreField:
        if (t.argCount == 1) {
          // Opens a centred field in the box that starts at the last position.
          if (!haveRun_ || !RunEmpty()) {
            double at = haveRun_ && RunEmpty() ? Anchor() : Pen();
            Flush();
            Start(RunMode::kLeft, at, true);
          }
          run_.mode = RunMode::kCentreField;
          run_.width = W(t.args[0]);
        } else {
          Flush();
        }
        break;
      case kEscRightOpen:
        Flush();
        StartAtPen(RunMode::kRight);
        break;
      case kEscCentreOpen:
        Flush();
        StartAtPen(RunMode::kCentreRun);
        break;
      case kEscCentreClose:
        if (haveRun_) {
          run_.mode = RunMode::kCentreRun;
          run_.anchor = X(t.args[0]);
          run_.anchorAtPen = false;
          Flush(true);
        }
        break;
      case kEscRightClose:
        if (haveRun_) {
          run_.mode = RunMode::kRight;
          run_.anchor = X(t.args[0]);
          run_.anchorAtPen = false;
          Flush(true);
        }
        break;
      case kEscVerticalOffset:
        // Decipoints by which the next item sits above the baseline: the run
        // just opened when it has no text yet, else the next run to open.
        if (haveRun_ && RunEmpty()) {
          run_.raise = static_cast<SHORT>(t.args[0]);
        } else {
          raise_ = static_cast<SHORT>(t.args[0]);
        }
        break;
      default:
        break;
    }
  }

  void Finish() {
    Flush();
    if (!line_) out_->text.truncate(used_);
  }

 private:
  double Measure(const LaidOutPiece& p) {
    if (line_) return cache_->AdvanceOfBytes(*p.font, line_ + p.start, p.length, p.lineDraw);
    return cache_->Advance(*p.font, out_->TextOf(p));
  }

  double WidthOf(LaidOutPiece& p) {
    if (p.width < 0) p.width = Measure(p);
    return p.width;
  }

  bool RunEmpty() const { return run_.first == out_->pieces.size(); }

  // Where the next run starts: after the last piece placed, which is
  // measured only now that a position depends on it.
  double Pen() {
    if (penPiece_ >= 0) {
      LaidOutPiece& last = out_->pieces[penPiece_];
      if (last.width < 0) last.width = Measure(last);
      pen_ = last.x + last.width;
      penPiece_ = -1;
    }
    return pen_;
  }

  // A run that starts at the pen: where that is is worked out only when
  // its anchor is read, as an aligned run that is closed has an anchor of
  // its own (the pen may need a piece measured).
  void StartAtPen(RunMode mode) {
    Start(mode, 0, false);
    run_.anchorAtPen = true;
  }

  double Anchor() {
    if (run_.anchorAtPen) {
      run_.anchor = Pen();
      run_.anchorAtPen = false;
    }
    return run_.anchor;
  }

  void Start(RunMode mode, double anchor, bool explicitStart) {
    run_.first = out_->pieces.size();
    run_.width = 0;
    run_.mode = mode;
    run_.anchor = anchor;
    run_.anchorAtPen = false;
    run_.raise = raise_;
    raise_ = 0;
    run_.explicitStart = explicitStart;
    haveRun_ = true;
  }

  // Places a finished run. An aligned run left open at the line's end has no
  // reference point and is drawn from where it began.
  void Flush(bool closing = false) {
    if (!haveRun_) return;
    haveRun_ = false;
    Anchor();  // before the pen moves on
    double total = 0;
    // A left run needs the widths of all but its last piece.
    const size_t end = out_->pieces.size();
    if (run_.mode != RunMode::kLeft)
      for (size_t i = run_.first; i < end; ++i) total += WidthOf(out_->pieces[i]);
    double x = run_.anchor;
    switch (run_.mode) {
      case RunMode::kLeft: break;
      case RunMode::kCentreField: x = run_.anchor + (run_.width - total) / 2; break;
      case RunMode::kRight: x = closing ? run_.anchor - total : run_.anchor; break;
      case RunMode::kCentreRun: x = closing ? run_.anchor - total / 2 : run_.anchor; break;
    }
    penPiece_ = -1;
    for (size_t i = run_.first; i < end; ++i) {
      LaidOutPiece& p = out_->pieces[i];
      p.x = x;
      p.baseline = -run_.raise;
      if (i + 1 < end) x += WidthOf(p);
    }
    if (run_.first == end) {
      pen_ = x;
    } else {
      penPiece_ = static_cast<int>(end) - 1;
    }
  }

  const PageOutputState* s_;
  DriverFontCache* cache_;
  LaidOutLine* out_;
  const BYTE* line_;
  LineFontMemo* memo_;
  bool measure_ = false;
  int used_ = 0;  // characters of the line's text written
  const DriverFont* lineDrawOf_ = nullptr;
  bool lineDraw_ = false;
  int penPiece_ = -1;  // the piece whose end is the pen, not yet measured
  double origin_ = 0, pen_ = 0, raise_ = 0;
  StreamFont font_;
  const DriverFont* current_ = nullptr;  // font_'s, once a text asks for it
  QColor colour_ = BlackColour();
  bool haveRun_ = false;
  Run run_;
};

// The line's tokens, read as ForEachLineText reads them, in one loop with
// the layout's handling of each.
[[gnu::always_inline]] inline void LayTokens(Layouter& lay, const BYTE* line, int count) {
  StreamReader reader(line, count);
  for (StreamToken t = reader.Next(); t.kind != StreamToken::kEnd; t = reader.Next()) {
    if (t.kind == StreamToken::kText) {
      lay.Text(line + t.offset, t.length);
    } else {
      lay.Escape(t);
    }
  }
  lay.Finish();
}

}  // namespace

LaidOutLine LayoutStreamLine(const PageOutputState* s, DriverFontCache* cache, const BYTE* line,
                             int count, bool measure, std::vector<LaidOutPiece>* reuse) {
  LaidOutLine out;
  if (reuse) {
    out.pieces.swap(*reuse);
    out.pieces.clear();
  }
  if (out.pieces.capacity() < 8) out.pieces.reserve(8);
  // A byte of text is one character at most.
  out.text.resize(std::max(count, 0));
  Layouter lay(s, cache, &out, measure);
  LayTokens(lay, line, count);
  return out;
}

void LayoutStreamLineBytes(const PageOutputState* s, DriverFontCache* cache, const BYTE* line, int count,
                           LaidOutLine* out, LineFontMemo* memo) {
  out->pieces.clear();
  out->text.clear();
  static_cast<LineExtent&>(*out) = LineExtent();
  Layouter lay(s, cache, out, false, line, memo);
  LayTokens(lay, line, count);
}

DWORD LineExtent::Height(int measuring) const {
  if (!hasText) return 0;
  int h = static_cast<int>(std::ceil(ascent + (measuring ? leading : 0) - 1e-6));
  int d = static_cast<int>(std::ceil(descent - 1e-6));
  return MAKELONG(static_cast<WORD>(std::clamp(h, 0, 0xFFFF)), static_cast<WORD>(std::clamp(d, 0, 0xFFFF)));
}

DWORD LaidOutLineHeight(const LaidOutLine& l, int measuring) { return l.pieces.empty() ? 0 : l.Height(measuring); }

double PrinterOriginX(const PageOutputState* s) {
  const double resX = s->printerResX > 0 ? s->printerResX : 720;
  return (s->physicalOffsetX + s->leftMargin) * 720.0 / resX;
}

bool IsLineDrawFont(const PageOutputState* s, const DriverFont& f) {
  return !s->lineDrawFace.empty() && f.face == s->lineDrawFace;
}

std::shared_ptr<const PageOutputState> LayoutStateOf(const PageOutputState& s,
                                                     std::shared_ptr<const PageOutputState> last, bool facesKept) {
  // Every field Layouter, StreamFace and IsLineDrawFont read.
  if (last && facesKept && last->printerResX == s.printerResX && last->physicalOffsetX == s.physicalOffsetX &&
      last->leftMargin == s.leftMargin && last->screenPpiX == s.screenPpiX && last->lineDrawFace == s.lineDrawFace)
    return last;
  auto copy = std::make_shared<PageOutputState>();
  copy->printerResX = s.printerResX;
  copy->physicalOffsetX = s.physicalOffsetX;
  copy->leftMargin = s.leftMargin;
  copy->screenPpiX = s.screenPpiX;
  copy->fontFaces = s.fontFaces;
  copy->lineDrawFace = s.lineDrawFace;
  return copy;
}
