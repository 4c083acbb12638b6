// Inside the printer layer: fonts of the stream and the layout of one output
// line into positioned runs, shared by measuring (ordinal 8) and drawing (14).
#pragma once

#include "platform/printer/escape_stream.h"
#include "platform/printer/page_driver.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>
#include <QString>

#include <QHash>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

struct DriverFont {
  std::string face;  // the stream's face name it was made for
  QFont font;
  QFontMetricsF metrics{QFont()};
  double ascent = 0, descent = 0, leading = 0;  // decipoints
  // Advances of texts already measured: shaping a text costs far more than
  // looking it up, and report lines repeat (headers, labels, values).
  mutable QHash<QString, double> advances;
  // The face at this size for placing glyphs without shaping; invalid when
  // the font's text must be shaped (decorations, faces with ligatures).
  QRawFont raw;
  // Per-character design advances of `raw` for the code page's characters,
  // filled on first use (negative: not looked up yet, 0 with glyph 0: the
  // face lacks it). A text of such a font measures as the sum of these, the
  // same figure its glyphs are placed by, without shaping or hashing it.
  mutable std::vector<double> charAdvances;
  mutable std::vector<unsigned char> charMissing;
  // The same by stream byte, plain and in the line-draw face (256 each),
  // for a writer that measures the line's own bytes: negative where not
  // looked up yet or where the byte's character is measured the long way.
  mutable std::vector<double> byteAdvances;
};

// Fonts by (font number, style, size); sizes in tenths of a point are
// decipoints, so a font's pixel size is its size and every metric comes out
// in decipoints.
class DriverFontCache {
 public:
  DriverFontCache() = default;
  DriverFontCache(const DriverFontCache&) = delete;  // last_ points into fonts_
  DriverFontCache& operator=(const DriverFontCache&) = delete;
  const DriverFont& Get(const PageOutputState* s, int fontNumber, int style, int size);
  double Advance(const DriverFont& f, QStringView text);
  // The text as glyphs of the font's own face, placed by their advances with
  // the baseline at y 0. False when only shaping draws it right: a character
  // the face lacks, or a font that shapes (see DriverFont::raw).
  static bool SimpleGlyphs(const DriverFont& f, QStringView text, QGlyphRun* out);
  // The sum of the characters' advances when the font needs no shaping and
  // has every character; false otherwise.
  static bool SumOfCharAdvances(const DriverFont& f, QStringView text, double* width);
  // Advance of the characters of count stream bytes, without decoding them
  // when their characters all have advances of their own.
  double AdvanceOfBytes(const DriverFont& f, const BYTE* bytes, int count, bool lineDrawFace);

  // Texts remembered per font before its list starts again.
  static constexpr int kAdvanceCacheLimit = 8192;

 private:
  const DriverFont& Remember(const DriverFont& f, int fontNumber, int style, int size);
  std::map<std::tuple<int, int, int, std::string>, DriverFont> fonts_;
  // The font last asked for (map nodes stay where they are).
  const DriverFont* last_ = nullptr;
  int lastNumber_ = 0, lastStyle_ = 0, lastSize_ = 0;
};

// The installed face a stream face name is drawn with.
QString ResolveFace(const std::string& face);
// Bytes of the report's code page to text; the line-draw face uses the
// box-drawing glyphs of the old OEM page for its special bytes.
QString DecodeStreamText(const BYTE* bytes, int count, bool lineDrawFace);
// The same, added to the end of out.
void AppendStreamText(QString* out, const BYTE* bytes, int count, bool lineDrawFace);
// The same characters written at `to`, which has room for count.
void PutStreamText(QChar* to, const BYTE* bytes, int count, bool lineDrawFace);

// The font the line's escapes have set so far, from the line's start.
struct StreamFont {
  int number = 0, style = 0, size = 100;
  // Takes a font escape; false, and nothing changed, for any other token.
  bool Apply(const StreamToken& t) {
    if (t.kind != StreamToken::kEscape || t.code != kEscFont) return false;
    number = t.args[0];
    style = t.args[1];
    size = t.args[2];
    return true;
  }
};

// What a line's text takes above and below its baseline: the largest
// ascent, descent and leading of the fonts its text tokens are in. Every text
// token counts, as the layout makes a piece of each.
struct LineExtent {
  double ascent = 0, descent = 0, leading = 0;
  bool hasText = false;
  void Add(const DriverFont& f) {
    ascent = std::max(ascent, f.ascent);
    descent = std::max(descent, f.descent);
    leading = std::max(leading, f.leading);
    hasText = true;
  }
  // Above the baseline (the low word; with the leading when measuring) and
  // below it (the high word); 0 for a line without text.
  DWORD Height(int measuring) const;
};

// The face a font number of the stream names.
const std::string& StreamFace(const PageOutputState* s, int fontNumber);

// Calls visit(font, fontNumber, bytes, count) for each text token of the
// line with the font it is in, reading the escapes as the layout reads them.
template <class Visit>
void ForEachLineText(const PageOutputState* s, DriverFontCache* cache, const BYTE* line, int count, Visit visit) {
  StreamFont font;
  StreamReader reader(line, count);
  // A line names its font before every item, mostly the one it is in.
  const DriverFont* current = nullptr;
  for (StreamToken t = reader.Next(); t.kind != StreamToken::kEnd; t = reader.Next()) {
    if (t.kind == StreamToken::kText) {
      if (!current) current = &cache->Get(s, font.number, font.style, font.size);
      visit(*current, font.number, line + t.offset, t.length);
    } else {
      const StreamFont before = font;
      if (font.Apply(t) && (font.number != before.number || font.style != before.style || font.size != before.size))
        current = nullptr;
    }
  }
}

// The height LaidOutLineHeight gives the line, without laying it out; also
// shows each text token to also, as ForEachLineText does.
struct IgnoreText {
  void operator()(const DriverFont&, int, const BYTE*, int) const {}
};
template <class Also = IgnoreText>
DWORD ScanLineHeight(const PageOutputState* s, DriverFontCache* cache, const BYTE* line, int count, int measuring,
                     Also also = {}) {
  LineExtent e;
  ForEachLineText(s, cache, line, count, [&](const DriverFont& f, int fontNumber, const BYTE* bytes, int n) {
    e.Add(f);
    also(f, fontNumber, bytes, n);
  });
  return e.Height(measuring);
}

// Where the printer's x 0 lies on the paper, in decipoints from its left
// edge: the physical offset and the left margin. Lines, pictures and
// shapes are all placed from it.
double PrinterOriginX(const PageOutputState* s);

// Whether text of the font is drawn with the line-draw face's characters.
bool IsLineDrawFont(const PageOutputState* s, const DriverFont& f);

// A copy of what the layout reads of the state (origin, resolutions, faces),
// for laying lines out later on another thread; last itself when it holds
// the same for the line. facesKept: the caller has found last's faces of
// the fonts the line is in to be the state's (the other faces are not
// compared: there may be many, and the line does not read them).
std::shared_ptr<const PageOutputState> LayoutStateOf(const PageOutputState& s,
                                                     std::shared_ptr<const PageOutputState> last, bool facesKept);

struct LaidOutPiece {
  double x = 0, baseline = 0;  // decipoints; baseline relative to the line's
  int start = 0, length = 0;   // its characters in the line's text
  const DriverFont* font = nullptr;
  QColor colour;
  double width = -1;  // decipoints; negative when the layout did not need it
  bool lineDraw = false;  // its font draws the line-draw face's characters
};

struct LaidOutLine : LineExtent {  // the extent of the fonts that drew text
  // Every piece's characters, one after the other: one text for the line
  // rather than one per piece, which the page keeps as it is.
  QString text;
  std::vector<LaidOutPiece> pieces;
  QStringView TextOf(const LaidOutPiece& p) const { return QStringView(text).mid(p.start, p.length); }
};

// The height of a laid-out line above its baseline (the low word; with the
// fonts' leading when measuring) and below it (the high word); 0 for a line
// without text.
DWORD LaidOutLineHeight(const LaidOutLine& l, int measuring);

// Lays out a line; x positions are decipoints from the paper's left edge.
// Texts are measured only where a position depends on them; measure asks
// for every piece's width as well. reuse, when given, lends the room of an
// earlier line's pieces (it is left empty).
LaidOutLine LayoutStreamLine(const PageOutputState* s, DriverFontCache* cache, const BYTE* line,
                             int count, bool measure = false, std::vector<LaidOutPiece>* reuse = nullptr);
// The font a line's text was last in, handed from line to line of lines
// whose states stay as they are while they are laid out (those of one
// page): a line names its font before every item, mostly the last line's.
struct LineFontMemo {
  const PageOutputState* state = nullptr;
  StreamFont font;
  const DriverFont* driverFont = nullptr;
  bool lineDraw = false;
};

// The same pieces for a writer that takes the line's own bytes, into out
// (its room reused): no text is made, and each piece's start and length are
// its bytes in line. memo, when given, is read and kept up to date.
void LayoutStreamLineBytes(const PageOutputState* s, DriverFontCache* cache, const BYTE* line, int count,
                           LaidOutLine* out, LineFontMemo* memo = nullptr);
