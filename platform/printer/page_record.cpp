#include "platform/printer/page_record.h"

#include <algorithm>

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

void PageRecord::Line(const QPen& pen, const QPointF& from, const QPointF& to) {
  EndForeign();
  steps_.push_back({Kind::kLine, static_cast<int>(lines_.size())});
  lines_.push_back({pen, from, to});
}

void PageRecord::Fill(const QRectF& rect, const QBrush& brush) {
  EndForeign();
  steps_.push_back({Kind::kFill, static_cast<int>(fills_.size())});
  fills_.push_back({rect, brush});
}

void PageRecord::Image(const QRectF& target, const QImage& image, const QRectF& source) {
  EndForeign();
  steps_.push_back({Kind::kImage, static_cast<int>(images_.size())});
  images_.push_back({target, source, image.copy()});
}

void PageRecord::DropGlyphs() {
  for (TextStep& t : texts_) t.glyphs = -1;
  glyphs_.clear();
  glyphs_.shrink_to_fit();
}

size_t PageRecord::ApproxBytes() const {
  size_t n = sizeof(*this) + steps_.size() * sizeof(Step) + lines_.size() * sizeof(LineStep) +
             fills_.size() * sizeof(FillStep) + fonts_.size() * (sizeof(QFont) + 64);
  for (const TextStep& t : texts_)
    n += sizeof(TextStep) + static_cast<size_t>(t.length) * sizeof(QChar);
  for (const QGlyphRun& g : glyphs_)
    n += sizeof(QGlyphRun) + static_cast<size_t>(g.glyphIndexes().size()) * (sizeof(quint32) + sizeof(QPointF));
  for (const ImageStep& i : images_) n += sizeof(ImageStep) + static_cast<size_t>(i.image.sizeInBytes());
  for (const auto& f : foreign_) n += sizeof(QPicture) + f->size();
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
  steps_.push_back({Kind::kForeign, static_cast<int>(foreign_.size() - 1)});
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
