#include "platform/printer/page_record.h"

#include "platform/printer/line_layout.h"

#include <QDataStream>

#include <algorithm>
#include <optional>

void PageRecord::Text(const void* fontKey, const QFont& font, const QColor& colour, const QPointF& at,
                      const QString& text, const QGlyphRun* glyphs) {
  Text(fontKey, font, colour, at, text, 0, static_cast<int>(text.size()), glyphs);
}

void PageRecord::Text(const void* fontKey, const QFont& font, const QColor& colour, const QPointF& at,
                      const QString& shared, int start, int length, const QGlyphRun* glyphs) {
  EndForeign();
  auto it = std::find(fontKeys_.begin(), fontKeys_.end(), fontKey);
  int f = static_cast<int>(it - fontKeys_.begin());
  if (it == fontKeys_.end()) {
    fontKeys_.push_back(fontKey);
    fonts_.push_back(font);
  }
  steps_.push_back({Kind::kText, static_cast<int>(texts_.size())});
  int g = -1;
  if (glyphs && !glyphs->isEmpty()) {
    g = static_cast<int>(glyphs_.size());
    glyphs_.push_back(*glyphs);
  }
  texts_.push_back({f, start, length, g, colour, at, shared});
}

void PageRecord::LaidOutText(const LaidOutLine& l, double y, bool placeGlyphs) {
  // One text step per piece, so that text extractors see whole words.
  // Made only when asked for: an empty glyph run costs allocations.
  std::optional<QGlyphRun> glyphs;
  if (placeGlyphs) glyphs.emplace();
  for (const LaidOutPiece& p : l.pieces) {
    const bool simple = placeGlyphs && DriverFontCache::SimpleGlyphs(*p.font, l.TextOf(p), &*glyphs);
    Text(p.font, p.font->font, p.colour, QPointF(p.x, y + p.baseline), l.text, p.start, p.length,
         simple ? &*glyphs : nullptr);
  }
}

void PageRecord::DeferredLine(const unsigned char* bytes, int count, double y,
                              const std::shared_ptr<const PageOutputState>& state, bool pdfWritable) {
  EndForeign();
  count = std::max(count, 0);
  if (states_.empty() || states_.back() != state) states_.push_back(state);
  steps_.push_back({Kind::kDeferred, static_cast<int>(deferred_.size())});
  deferred_.push_back({static_cast<int>(deferredBytes_.size()), count, y, static_cast<int>(states_.size()) - 1,
                       pdfWritable});
  if (count > 0) deferredBytes_.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
}

void PageRecord::ResolveLines(DriverFontCache* fonts, bool placeGlyphs) {
  if (deferred_.empty()) return;
  std::vector<Step> steps;
  steps.swap(steps_);
  steps_.reserve(steps.size() + deferred_.size() * 4);
  std::vector<LaidOutPiece> spare;
  for (const Step& step : steps) {
    if (step.kind != Kind::kDeferred) {
      steps_.push_back(step);
      continue;
    }
    const DeferredStep& d = deferred_[step.index];
    const auto* bytes = reinterpret_cast<const BYTE*>(deferredBytes_.data()) + d.offset;
    LaidOutLine l = LayoutStreamLine(states_[d.state].get(), fonts, bytes, d.count, false, &spare);
    LaidOutText(l, d.y, placeGlyphs);
    spare = std::move(l.pieces);
  }
  deferred_.clear();
  deferredBytes_.clear();
  states_.clear();
}

void PageRecord::AddGraphicStep(Kind kind, int index) {
  // After the page's graphics so far, before its first text.
  auto at = steps_.begin();
  while (at != steps_.end() && !IsTextStep(at->kind)) ++at;
  steps_.insert(at, Step{kind, index});
}

void PageRecord::Line(const QPen& pen, const QPointF& from, const QPointF& to) {
  EndForeign();
  AddGraphicStep(Kind::kLine, static_cast<int>(lines_.size()));
  lines_.push_back({pen, from, to});
}

void PageRecord::Fill(const QRectF& rect, const QBrush& brush) {
  EndForeign();
  AddGraphicStep(Kind::kFill, static_cast<int>(fills_.size()));
  fills_.push_back({rect, brush});
}

void PageRecord::Image(const QRectF& target, const QImage& image, const QRectF& source) {
  EndForeign();
  AddGraphicStep(Kind::kImage, static_cast<int>(images_.size()));
  images_.push_back({target, source, image.copy()});
}

void PageRecord::DropGlyphs() {
  for (TextStep& t : texts_) t.glyphs = -1;
  glyphs_.clear();
  glyphs_.shrink_to_fit();
  // The lists grew by doubling while the page was made: up to half of
  // what a kept page holds would be room never used.
  steps_.shrink_to_fit();
  texts_.shrink_to_fit();
  lines_.shrink_to_fit();
  fills_.shrink_to_fit();
  images_.shrink_to_fit();
  fonts_.shrink_to_fit();
  fontKeys_.shrink_to_fit();
  deferred_.shrink_to_fit();
  deferredBytes_.shrink_to_fit();
}

size_t PageRecord::ApproxBytes() const {
  size_t n = sizeof(*this) + steps_.capacity() * sizeof(Step) + lines_.capacity() * sizeof(LineStep) +
             fills_.capacity() * sizeof(FillStep) + fonts_.capacity() * (sizeof(QFont) + 64);
  // A line's steps share its text: the text is counted once, whole, with
  // its allocation's header.
  const QChar* counted = nullptr;
  n += texts_.capacity() * sizeof(TextStep);
  for (const TextStep& t : texts_) {
    if (t.text.constData() == counted) continue;
    counted = t.text.constData();
    n += static_cast<size_t>(t.text.capacity()) * sizeof(QChar) + 32;
  }
  for (const QGlyphRun& g : glyphs_)
    n += sizeof(QGlyphRun) + static_cast<size_t>(g.glyphIndexes().size()) * (sizeof(quint32) + sizeof(QPointF));
  for (const ImageStep& i : images_) n += sizeof(ImageStep) + static_cast<size_t>(i.image.sizeInBytes());
  for (const auto& f : foreign_) n += sizeof(QPicture) + f->size();
  n += deferred_.capacity() * sizeof(DeferredStep) + deferredBytes_.capacity();
  // A state is shared by the pages of a stretch of the run: each page that
  // holds it counts it, which errs on the side of the bound.
  for (const auto& st : states_) {
    n += sizeof(PageOutputState) + st->lineDrawFace.capacity();
    for (const std::string& face : st->fontFaces) n += sizeof(std::string) + face.capacity();
  }
  return n;
}

QPainter* PageRecord::BeginForeign() {
  EndForeign();
  foreign_.push_back(std::make_unique<QPicture>());
  if (!foreignPainter_.begin(foreign_.back().get())) {
    foreign_.pop_back();
    return nullptr;
  }
  foreignPainter_.setRenderHint(QPainter::Antialiasing, true);
  foreignPainter_.setRenderHint(QPainter::TextAntialiasing, true);
  AddGraphicStep(Kind::kForeign, static_cast<int>(foreign_.size() - 1));
  return &foreignPainter_;
}

void PageRecord::EndForeign() {
  if (foreignPainter_.isActive()) foreignPainter_.end();
}

void PageRecord::Play(QPainter* painter) const {
  const_cast<PageRecord*>(this)->EndForeign();
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, true);
  painter->setRenderHint(QPainter::TextAntialiasing, true);
  painter->setBrush(Qt::NoBrush);
  // Text state is set only where it changes: a page is mostly lines of one
  // or two fonts in one colour.
  int font = -1;
  QColor colour;
  bool textPen = false;
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Kind::kText: {
        const TextStep& t = texts_[step.index];
        if (t.font != font) {
          painter->setFont(fonts_[t.font]);
          font = t.font;
        }
        if (!textPen || t.colour != colour) {
          painter->setPen(t.colour);
          colour = t.colour;
          textPen = true;
        }
        if (t.glyphs < 0)
          painter->drawText(t.at, t.start == 0 && t.length == t.text.size() ? t.text : t.View().toString());
        else
          painter->drawGlyphRun(t.at, glyphs_[t.glyphs]);
        break;
      }
      case Kind::kLine: {
        const LineStep& l = lines_[step.index];
        painter->setPen(l.pen);
        textPen = false;
        painter->drawLine(l.from, l.to);
        break;
      }
      case Kind::kFill: {
        const FillStep& f = fills_[step.index];
        painter->fillRect(f.rect, f.brush);
        break;
      }
      case Kind::kImage: {
        const ImageStep& i = images_[step.index];
        painter->drawImage(i.target, i.image, i.source);
        break;
      }
      case Kind::kDeferred:
        break;  // resolved before a page is played (see DeferredLine)
      case Kind::kForeign: {
        const QPicture& pic = *foreign_[step.index];
        painter->save();
        // A picture plays scaled by the target's resolution over its own;
        // the transform already maps decipoints, so that factor comes out.
        QPaintDevice* target = painter->device();
        if (target && target->logicalDpiX() > 0 && target->logicalDpiY() > 0)
          painter->scale(double(pic.logicalDpiX()) / target->logicalDpiX(),
                         double(pic.logicalDpiY()) / target->logicalDpiY());
        painter->drawPicture(0, 0, pic);
        painter->restore();
        font = -1;
        textPen = false;
        break;
      }
    }
  }
  painter->restore();
}

namespace {

constexpr quint32 kSavedPageMark = 0x56545047;  // a saved page starts with it

}  // namespace

QByteArray PageRecord::Save() const {
  const_cast<PageRecord*>(this)->EndForeign();
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_0);
  out << kSavedPageMark << quint32(fonts_.size());
  for (const QFont& f : fonts_) out << f;
  out << quint32(texts_.size());
  for (const TextStep& t : texts_) out << qint32(t.font) << t.colour << t.at << t.View().toString();
  out << quint32(lines_.size());
  for (const LineStep& l : lines_) out << l.pen << l.from << l.to;
  out << quint32(fills_.size());
  for (const FillStep& f : fills_) out << f.rect << f.brush;
  out << quint32(images_.size());
  for (const ImageStep& i : images_) out << i.target << i.source << i.image;
  out << quint32(foreign_.size());
  for (const auto& f : foreign_) out << *f;
  out << quint32(states_.size());
  for (const auto& st : states_) {
    out << qint32(st->printerResX) << qint32(st->physicalOffsetX) << qint32(st->leftMargin)
        << qint32(st->screenPpiX) << QByteArray::fromStdString(st->lineDrawFace) << quint32(st->fontFaces.size());
    for (const std::string& face : st->fontFaces) out << QByteArray::fromStdString(face);
  }
  out << quint32(deferred_.size());
  for (const DeferredStep& d : deferred_)
    out << qint32(d.offset) << qint32(d.count) << d.y << qint32(d.state) << d.pdfWritable;
  out << QByteArray::fromRawData(deferredBytes_.data(), static_cast<qsizetype>(deferredBytes_.size()));
  out << quint32(steps_.size());
  for (const Step& s : steps_) out << quint8(s.kind) << qint32(s.index);
  return bytes;
}

bool PageRecord::Load(const QByteArray& bytes) {
  Clear();
  QDataStream in(bytes);
  in.setVersion(QDataStream::Qt_6_0);
  quint32 mark = 0, n = 0;
  in >> mark;
  bool ok = mark == kSavedPageMark;
  // Every count is read and used one element at a time: a count larger than
  // the bytes hold ends in a failed stream, never in a large allocation.
  auto each = [&](auto read) {
    n = 0;
    in >> n;
    for (quint32 i = 0; ok && i < n; ++i) {
      read();
      ok = ok && in.status() == QDataStream::Ok;
    }
    ok = ok && in.status() == QDataStream::Ok;
  };
  if (ok) each([&] { fonts_.emplace_back(); in >> fonts_.back(); });
  if (ok) each([&] {
    TextStep t{};
    qint32 font = -1;
    in >> font >> t.colour >> t.at >> t.text;
    t.font = font;
    t.start = 0;
    t.length = static_cast<int>(t.text.size());
    t.glyphs = -1;
    ok = font >= 0 && static_cast<size_t>(font) < fonts_.size();
    texts_.push_back(std::move(t));
  });
  if (ok) each([&] { lines_.emplace_back(); in >> lines_.back().pen >> lines_.back().from >> lines_.back().to; });
  if (ok) each([&] { fills_.emplace_back(); in >> fills_.back().rect >> fills_.back().brush; });
  if (ok) each([&] {
    images_.emplace_back();
    in >> images_.back().target >> images_.back().source >> images_.back().image;
  });
  if (ok) each([&] { foreign_.push_back(std::make_unique<QPicture>()); in >> *foreign_.back(); });
  if (ok) each([&] {
    auto st = std::make_shared<PageOutputState>();
    qint32 resX = 0, offsetX = 0, margin = 0, ppiX = 0;
    QByteArray drawFace;
    in >> resX >> offsetX >> margin >> ppiX >> drawFace;
    st->printerResX = resX;
    st->physicalOffsetX = offsetX;
    st->leftMargin = margin;
    st->screenPpiX = ppiX;
    st->lineDrawFace = drawFace.toStdString();
    quint32 faces = 0;
    in >> faces;
    for (quint32 i = 0; i < faces && in.status() == QDataStream::Ok; ++i) {
      QByteArray face;
      in >> face;
      st->fontFaces.push_back(face.toStdString());
    }
    states_.push_back(std::move(st));
  });
  if (ok) each([&] {
    DeferredStep d{};
    qint32 offset = -1, count = -1, state = -1;
    in >> offset >> count >> d.y >> state >> d.pdfWritable;
    d.offset = offset;
    d.count = count;
    d.state = state;
    ok = state >= 0 && static_cast<size_t>(state) < states_.size() && offset >= 0 && count >= 0;
    deferred_.push_back(d);
  });
  if (ok) {
    QByteArray lineBytes;
    in >> lineBytes;
    ok = in.status() == QDataStream::Ok;
    deferredBytes_.assign(lineBytes.constData(), static_cast<size_t>(lineBytes.size()));
    // Each line's bytes lie within the bytes read, summed without overflow.
    for (const DeferredStep& d : deferred_)
      ok = ok && static_cast<qint64>(d.offset) + d.count <= static_cast<qint64>(deferredBytes_.size());
  }
  if (ok) each([&] {
    quint8 kind = 0;
    qint32 index = -1;
    in >> kind >> index;
    size_t count = 0;
    switch (static_cast<Kind>(kind)) {
      case Kind::kText: count = texts_.size(); break;
      case Kind::kLine: count = lines_.size(); break;
      case Kind::kFill: count = fills_.size(); break;
      case Kind::kImage: count = images_.size(); break;
      case Kind::kForeign: count = foreign_.size(); break;
      case Kind::kDeferred: count = deferred_.size(); break;
      default: ok = false; break;
    }
    ok = ok && index >= 0 && static_cast<size_t>(index) < count;
    steps_.push_back({static_cast<Kind>(kind), index});
  });
  ok = ok && in.atEnd();
  if (!ok) {
    Clear();
    return false;
  }
  // Kept pages hold their graphics first; a page that does not is put in that order.
  std::stable_partition(steps_.begin(), steps_.end(), [](const Step& st) { return !IsTextStep(st.kind); });
  // Keys only tell fonts apart while a page is recorded; a loaded page gets
  // distinct ones that no font of a cache can have (its deferred lines are
  // resolved with a cache's fonts, whose keys are their addresses).
  for (size_t i = 0; i < fonts_.size(); ++i) fontKeys_.push_back(reinterpret_cast<const void*>(i + 1));
  return true;
}

void PageRecord::Clear() {
  EndForeign();
  steps_.clear();
  texts_.clear();
  glyphs_.clear();
  lines_.clear();
  fills_.clear();
  images_.clear();
  foreign_.clear();
  fonts_.clear();
  fontKeys_.clear();
  deferred_.clear();
  deferredBytes_.clear();
  states_.clear();
}
