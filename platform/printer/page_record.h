// Inside the printer layer: one page as a list of drawing steps in
// decipoints of the paper, kept for the device and for the preview. Playing
// a step is a direct painter call: nothing is serialised, and no painter
// state is changed that the step before left as it is needed.
#pragma once

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPicture>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class DriverFontCache;
struct LaidOutLine;
struct PageOutputState;

class PageRecord {
 public:
  // fontKey tells fonts apart cheaply (the caller's cached font); the font
  // itself is copied once per page.
  // glyphs, when given, is the text already turned into glyphs with the
  // baseline at y 0: drawn as it is, nothing is shaped again.
  void Text(const void* fontKey, const QFont& font, const QColor& colour, const QPointF& at,
            const QString& text, const QGlyphRun* glyphs = nullptr);
  // Characters [start, start + length) of a text shared with its maker (a
  // laid-out line's), kept without copying them.
  void Text(const void* fontKey, const QFont& font, const QColor& colour, const QPointF& at,
            const QString& shared, int start, int length, const QGlyphRun* glyphs = nullptr);
  // The Text steps of a laid-out line whose baseline is at y; plain text of
  // a plain face as glyphs placed here when placeGlyphs.
  void LaidOutText(const LaidOutLine& line, double y, bool placeGlyphs);
  // A line of the output stream whose Text steps are made later, by
  // ResolveLines, in this place among the steps: its bytes, its baseline and
  // what the layout reads of the run's state. pdfWritable: the PDF file
  // writer takes its text (see PdfFileCanWrite). A page bound straight for a
  // PDF file has such lines, and a preview's pages, which are laid out only
  // when shown (a copy of the kept page is resolved); anything else that
  // reads a page sees its lines resolved first.
  void DeferredLine(const unsigned char* bytes, int count, double y,
                    const std::shared_ptr<const PageOutputState>& state, bool pdfWritable);
  bool HasDeferredLines() const { return !deferred_.empty(); }
  bool HasText() const { return !texts_.empty() || !deferred_.empty(); }
  // Lays the deferred lines out with fonts of the cache into the Text steps
  // LaidOutText makes, each in its place; the page's fonts are then the
  // cache's and belong to the thread that owns it.
  void ResolveLines(DriverFontCache* fonts, bool placeGlyphs = false);
  void Line(const QPen& pen, const QPointF& from, const QPointF& to);
  void Fill(const QRectF& rect, const QBrush& brush);
  // The image is copied: the caller's pixels may go away after the call.
  void Image(const QRectF& target, const QImage& image, const QRectF& source);
  // A painter for a drawing of another layer (chart, embedded object),
  // recorded as a picture of its own; valid until the next call on the page.
  QPainter* BeginForeign();
  void EndForeign();

  // Draws the page on a painter whose transform maps decipoints of the paper.
  void Play(QPainter* painter) const;
  size_t StepCount() const { return steps_.size(); }
  // Forgets the placed glyphs (the text is shaped again when played) and
  // the lists' spare room. For pages kept long where memory counts more than
  // the time of playing them.
  void DropGlyphs();
  // What the page holds in memory, roughly: the steps, their texts, images
  // and pictures.
  size_t ApproxBytes() const;
  // The page as bytes, for a store that keeps pages out of memory or a copy;
  // placed glyphs are left out (the text is shaped again when played),
  // deferred lines are kept as they are.
  QByteArray Save() const;
  // A page of Save's bytes; false, and the page left empty, when they are
  // not one whole page.
  bool Load(const QByteArray& bytes);
  // Empties the page; its fonts are released by the calling thread.
  void Clear();

 private:
  friend class PdfPageWriter;  // writes the steps straight into a PDF file

  enum class Kind : unsigned char { kText, kLine, kFill, kImage, kForeign, kDeferred };
  struct Step {
    Kind kind;
    int index;  // into the list of its kind
  };
  // Graphics (lines, fills, images, drawings) go before every text of the
  // page, each kind in the order made, so that a filled box never hides the
  // text it frames: the page paints as the layout view does.
  void AddGraphicStep(Kind kind, int index);
  static bool IsTextStep(Kind kind) { return kind == Kind::kText || kind == Kind::kDeferred; }
  struct TextStep {
    int font;    // into fonts_
    int start, length;  // the step's characters in text
    int glyphs;  // into glyphs_, or -1: an empty glyph run costs an allocation
    QColor colour;
    QPointF at;
    QString text;  // shared with the other steps of its line
    QStringView View() const { return QStringView(text).mid(start, length); }
  };
  struct LineStep {
    QPen pen;
    QPointF from, to;
  };
  struct FillStep {
    QRectF rect;
    QBrush brush;
  };
  struct ImageStep {
    QRectF target, source;
    QImage image;
  };

  struct DeferredStep {
    int offset, count;  // its bytes in deferredBytes_
    double y;
    int state;          // into states_
    bool pdfWritable;
  };

  std::vector<Step> steps_;  // the graphics first, then the texts
  std::vector<TextStep> texts_;
  std::vector<QGlyphRun> glyphs_;
  std::vector<LineStep> lines_;
  std::vector<FillStep> fills_;
  std::vector<ImageStep> images_;
  std::vector<std::unique_ptr<QPicture>> foreign_;
  std::vector<QFont> fonts_;  // distinct fonts of the page, in order of use
  std::vector<const void*> fontKeys_;
  std::vector<DeferredStep> deferred_;
  std::string deferredBytes_;
  std::vector<std::shared_ptr<const PageOutputState>> states_;
  QPainter foreignPainter_;
};
