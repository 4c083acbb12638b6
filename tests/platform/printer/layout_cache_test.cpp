// Measuring with remembered advances and laying out with widths taken only
// where a position needs them must place text exactly as measuring every
// piece would; a recorded page must draw what direct painting draws.
#include "platform/printer/escape_stream.h"
#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"
#include "printer_fixture.h"

#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <string>

namespace {

PageOutputState TwoFaceState() {
  PageOutputState s;
  s.fontFaces = {"Arial", "Courier New"};
  s.printerResX = 720;
  s.screenPpiX = 72;  // one screen pixel is ten decipoints
  return s;
}

TEST(AdvanceCache, SameTextSameWidthAndFontChangesAreHonoured) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  DriverFontCache cache;
  const DriverFont& plain = cache.Get(&s, 0, 0, 100);
  const QString text = QStringLiteral("Wide words, WWW and iii");
  double first = cache.Advance(plain, text);
  double again = cache.Advance(plain, text);
  EXPECT_GT(first, 0);
  EXPECT_EQ(first, again);
  EXPECT_DOUBLE_EQ(first, plain.metrics.horizontalAdvance(text));

  // Size, weight and face each give a font of their own with its own widths.
  const DriverFont& big = cache.Get(&s, 0, 0, 200);
  EXPECT_NEAR(cache.Advance(big, text), 2 * first, first * 0.05);
  const DriverFont& bold = cache.Get(&s, 0, 1, 100);
  EXPECT_NE(&bold, &plain);
  EXPECT_GT(cache.Advance(bold, text), first);
  const DriverFont& mono = cache.Get(&s, 1, 0, 100);
  EXPECT_DOUBLE_EQ(cache.Advance(mono, u"iii"), cache.Advance(mono, u"WWW"));
  EXPECT_LT(cache.Advance(plain, u"iii"), cache.Advance(plain, u"WWW"));
  // The plain font's remembered width is still its own after the others.
  EXPECT_EQ(cache.Advance(plain, text), first);
}

TEST(AdvanceCache, StaysBoundedAndCorrectPastItsLimit) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  DriverFontCache cache;
  const DriverFont& f = cache.Get(&s, 0, 0, 100);
  double one = cache.Advance(f, u"1");
  for (int i = 0; i < DriverFontCache::kAdvanceCacheLimit + 50; ++i)
    cache.Advance(f, QString::number(i));
  EXPECT_LE(f.advances.size(), DriverFontCache::kAdvanceCacheLimit);
  EXPECT_EQ(cache.Advance(f, u"1"), one);
  EXPECT_DOUBLE_EQ(cache.Advance(f, u"123456"), f.metrics.horizontalAdvance("123456"));
}

TEST(LazyLayout, PositionsEqualThoseOfAFullyMeasuredLine) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  DriverFontCache cache;
  LineBuilder b;
  // Two fonts in one left run, text following it without a position, a
  // right-aligned run closed at x 400 and a centred run about x 300.
  b.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 10).Text("Name: ");
  b.Esc(kEscFont, 0, 1, 140).Text("Smith");
  b.Esc(kEscFont, 1, 0, 100).Text(" tail");
  b.Bare(kEscRightOpen).Text("99.50").Esc(kEscRightClose, 400);
  b.Bare(kEscCentreOpen).Text("mid").Esc(kEscCentreClose, 300);
  b.Text("after");
  LaidOutLine lazy = LayoutStreamLine(&s, &cache, b.data(), b.size());
  LaidOutLine full = LayoutStreamLine(&s, &cache, b.data(), b.size(), true);
  ASSERT_EQ(lazy.pieces.size(), 6u);
  ASSERT_EQ(full.pieces.size(), lazy.pieces.size());
  for (size_t i = 0; i < full.pieces.size(); ++i) {
    EXPECT_DOUBLE_EQ(lazy.pieces[i].x, full.pieces[i].x) << i;
    EXPECT_EQ(lazy.TextOf(lazy.pieces[i]), full.TextOf(full.pieces[i]));
    EXPECT_EQ(lazy.pieces[i].font, full.pieces[i].font);
    EXPECT_GE(full.pieces[i].width, 0);
  }
  const auto& p = full.pieces;
  EXPECT_DOUBLE_EQ(p[0].x, 100);
  EXPECT_DOUBLE_EQ(p[1].x, p[0].x + p[0].width);
  EXPECT_DOUBLE_EQ(p[2].x, p[1].x + p[1].width);
  EXPECT_NE(p[1].font, p[0].font);  // the bold size-14 font, not the first one
  EXPECT_NEAR(p[3].x + p[3].width, 4000, 1e-9);
  EXPECT_NEAR(p[4].x + p[4].width / 2, 3000, 1e-9);
  EXPECT_DOUBLE_EQ(p[5].x, p[4].x + p[4].width);
  EXPECT_DOUBLE_EQ(lazy.ascent, full.ascent);
  EXPECT_DOUBLE_EQ(lazy.descent, full.descent);
  // The last piece of the line was never needed for a position.
  EXPECT_LT(lazy.pieces[5].width, 0);
}

// The layout a writer makes of a line's own bytes places the same pieces
// as that of its text, measures them alike to the last bit, and a font kept
// from the line before is used only for lines of the same state.
TEST(LazyLayout, PiecesOfTheBytesAreThoseOfTheText) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  s.fontFaces.push_back(s.lineDrawFace);
  DriverFontCache cache;
  std::vector<LineBuilder> lines(8);
  lines[0].Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 10).Text("Name: ").Esc(kEscFont, 0, 1, 140).Text("Smith");
  lines[0].Bare(kEscRightOpen).Text("99.50").Esc(kEscRightClose, 400).Bare(kEscCentreOpen).Text("mid");
  lines[0].Esc(kEscCentreClose, 300).Text("after");
  // Aligned runs opened after text and never closed start at the pen.
  lines[1].Esc(kEscPosition, 20).Text("left").Bare(kEscRightOpen).Text("open right");
  lines[2].Text("left").Bare(kEscCentreOpen).Esc(kEscFont, 1, 0, 90).Text("open centre");
  lines[3].Esc(kEscPosition, 96).Text("x").Esc(kEscCentreField, 192).Text("field").Bare(kEscCentreField).Text("on");
  lines[4].Esc(kEscColour, 200, 20, 0).Esc(kEscVerticalOffset, 40).Esc(kEscFont, 2, 0, 120).Text("\xC4\xC4\xB3\xFA");
  lines[4].Esc(kEscFont, 0, 0, 100).Bare(kEscRightOpen).Text("\x80\x93 \x01(a)\xE9").Esc(kEscRightClose, 500);
  // An underline is shaped: its widths go the long way.
  lines[5].Esc(kEscFont, 0, 4, 100).Text("under").Bare(kEscRightOpen).Text("lined \x80").Esc(kEscRightClose, 600);
  lines[6].Esc(kEscFont, 1, 0, 100).Text("cut").Esc(kEscFont, 0, 0, 500);
  lines[6].bytes.resize(lines[6].bytes.size() - 3);
  lines[7].Text("pre").Bare(0x55).Esc(kEscFont, 0, 1, 140).Text("unknown code").bytes.push_back(kEsc);
  LineFontMemo memo;
  PageOutputState other = s;
  other.fontFaces[0] = "Times New Roman";  // a font number of another face
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < lines.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "pass " << pass << " line " << i);
      const PageOutputState* state = pass == 1 && i % 2 ? &other : &s;
      const LineBuilder& b = lines[i];
      const LaidOutLine text = LayoutStreamLine(state, &cache, b.data(), b.size(), true);
      LaidOutLine bytes;
      LayoutStreamLineBytes(state, &cache, b.data(), b.size(), &bytes, &memo);
      ASSERT_EQ(bytes.pieces.size(), text.pieces.size());
      EXPECT_TRUE(bytes.text.isEmpty());
      for (size_t k = 0; k < text.pieces.size(); ++k) {
        const LaidOutPiece& t = text.pieces[k];
        const LaidOutPiece& p = bytes.pieces[k];
        EXPECT_EQ(p.x, t.x) << k;
        EXPECT_EQ(p.baseline, t.baseline) << k;
        EXPECT_EQ(p.font, t.font) << k;
        EXPECT_EQ(p.colour, t.colour) << k;
        EXPECT_EQ(p.lineDraw, t.lineDraw) << k;
        ASSERT_EQ(p.length, t.length) << k;
        ASSERT_LE(p.start + p.length, b.size());
        EXPECT_EQ(DecodeStreamText(b.data() + p.start, p.length, p.lineDraw), text.TextOf(t)) << k;
        EXPECT_EQ(cache.AdvanceOfBytes(*p.font, b.data() + p.start, p.length, p.lineDraw), t.width) << k;
      }
      EXPECT_EQ(bytes.ascent, text.ascent);
      EXPECT_EQ(bytes.descent, text.descent);
    }
  }
  // The other state's face is a font of its own.
  LaidOutLine a, b;
  LayoutStreamLineBytes(&s, &cache, lines[1].data(), lines[1].size(), &a, &memo);
  LayoutStreamLineBytes(&other, &cache, lines[1].data(), lines[1].size(), &b, &memo);
  ASSERT_FALSE(a.pieces.empty());
  EXPECT_NE(a.pieces[0].font, b.pieces[0].font);
  EXPECT_EQ(b.pieces[0].font->face, "Times New Roman");
}

// The height a line is measured by without laying it out is the laid-out
// line's, whatever its escapes and fonts.
TEST(LineHeightScan, EqualsTheHeightOfTheLaidOutLine) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  s.fontFaces.push_back(s.lineDrawFace);
  DriverFontCache cache;
  std::vector<LineBuilder> lines(12);
  lines[1].Esc(kEscPosition, 10).Esc(kEscFont, 1, 0, 300).Esc(kEscColour, 1, 2, 3);  // no text
  lines[2].Text("default font");
  lines[3].Esc(kEscFont, 0, 0, 100).Text("a").Esc(kEscFont, 1, 3, 240).Text("B").Esc(kEscFont, 0, 0, 600);
  lines[4].Esc(kEscFont, 0, 0, 80).Text("x").Esc(kEscFont, 0, 0, 400).Text(" ");  // one blank in a large font
  lines[5].Esc(kEscFont, 9, 1, 0).Text("no such face, no size");
  lines[6].Esc(kEscFont, 2, 0, 120).Text("\xC4\xC4\xB3").Esc(kEscFont, 0, 2, 90).Text("box");
  lines[7].Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 96).Esc(kEscCentreField, 192).Text("ctr").Bare(kEscCentreField);
  lines[7].Esc(kEscVerticalOffset, 200).Esc(kEscFont, 1, 0, 180).Bare(kEscRightOpen).Text("9").Esc(kEscRightClose, 500);
  lines[8].Esc(kEscFont, 0, 0, 100).Text("cut").Esc(kEscFont, 1, 0, 500);
  lines[8].bytes.resize(lines[8].bytes.size() - 3);  // the last font cut off inside its arguments
  lines[9].Esc(kEscFont, 1, 0, 100).Text("lone").bytes.push_back(kEsc);
  lines[10].Text("pre").Bare(0x55).Esc(kEscFont, 0, 1, 140).Text("unknown code");
  lines[11].Text("\x01\x7F\x81\x9D\xFA").Esc(kEscFont, 2, 0, 100).Text("\xFA");
  for (size_t i = 0; i < lines.size(); ++i) {
    const LineBuilder& b = lines[i];
    const LaidOutLine laid = LayoutStreamLine(&s, &cache, b.data(), b.size());
    for (int measuring : {0, 1})
      EXPECT_EQ(ScanLineHeight(&s, &cache, b.data(), b.size(), measuring), LaidOutLineHeight(laid, measuring))
          << "line " << i << " measuring " << measuring;
  }
  EXPECT_EQ(ScanLineHeight(&s, &cache, lines[1].data(), lines[1].size(), 1), 0u);
  const DWORD small = ScanLineHeight(&s, &cache, lines[2].data(), lines[2].size(), 0);
  const DWORD blank = ScanLineHeight(&s, &cache, lines[4].data(), lines[4].size(), 0);
  EXPECT_GT(LOWORD(blank), 3 * LOWORD(small));
}

TEST(StreamText, EveryByteDecodesToOneCharacter) {
  BYTE all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<BYTE>(i);
  QString text = DecodeStreamText(all, 256, false);
  ASSERT_EQ(text.size(), 256);
  EXPECT_EQ(text[0x09].unicode(), u' ');  // control bytes keep their column
  EXPECT_EQ(text[0x41].unicode(), u'A');
  EXPECT_EQ(text[0x80].unicode(), 0x20AC);
  EXPECT_EQ(text[0x81].unicode(), 0x0081);
  EXPECT_EQ(text[0x9F].unicode(), 0x0178);
  EXPECT_EQ(text[0xC4].unicode(), 0x00C4);
  EXPECT_EQ(text[0xFF].unicode(), 0x00FF);
  QString box = DecodeStreamText(all, 256, true);
  ASSERT_EQ(box.size(), 256);
  EXPECT_EQ(box[0xC4].unicode(), 0x2500);
  EXPECT_EQ(box[0xFA].unicode(), 0x00B7);
  EXPECT_EQ(box[0x80].unicode(), 0x20AC);
  EXPECT_TRUE(DecodeStreamText(all, 0, false).isEmpty());
  EXPECT_TRUE(DecodeStreamText(all, -5, false).isEmpty());
}

QImage Blank() {
  QImage img(300, 200, QImage::Format_ARGB32);
  img.fill(Qt::white);
  return img;
}

TEST(PageRecordPlay, DrawsWhatDirectPaintingDraws) {
  TestApplication();
  QFont small(QStringLiteral("Liberation Sans"));
  small.setPixelSize(14);
  QFont large(QStringLiteral("Liberation Serif"));
  large.setPixelSize(30);
  large.setBold(true);
  QPen dashed(Qt::blue, 2, Qt::DashLine);

  PageRecord page;
  page.Fill(QRectF(10, 10, 100, 40), QColor(200, 230, 200));
  page.Text(&small, small, Qt::black, QPointF(20, 40), QStringLiteral("first"));
  page.Text(&large, large, Qt::red, QPointF(20, 100), QStringLiteral("Second"));
  page.Line(dashed, QPointF(0, 120), QPointF(290, 120));
  page.Text(&small, small, Qt::black, QPointF(20, 160), QStringLiteral("third"));
  page.Fill(QRectF(150, 130, 60, 60), QBrush(Qt::darkGreen, Qt::CrossPattern));
  EXPECT_EQ(page.StepCount(), 6u);

  QImage played = Blank();
  {
    QPainter p(&played);
    page.Play(&p);
  }
  QImage direct = Blank();
  {
    QPainter p(&direct);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(QRectF(10, 10, 100, 40), QColor(200, 230, 200));
    p.setFont(small);
    p.setPen(Qt::black);
    p.drawText(QPointF(20, 40), QStringLiteral("first"));
    p.setFont(large);
    p.setPen(Qt::red);
    p.drawText(QPointF(20, 100), QStringLiteral("Second"));
    p.setPen(dashed);
    p.drawLine(QPointF(0, 120), QPointF(290, 120));
    p.setFont(small);
    p.setPen(Qt::black);
    p.drawText(QPointF(20, 160), QStringLiteral("third"));
    p.fillRect(QRectF(150, 130, 60, 60), QBrush(Qt::darkGreen, Qt::CrossPattern));
  }
  EXPECT_TRUE(played == direct);
  // The text after the line is black again, not the line's blue.
  bool blue = false;
  for (int y = 140; y < 170; ++y)
    for (int x = 15; x < 80; ++x) blue |= played.pixelColor(x, y).blue() > 150 && played.pixelColor(x, y).red() < 100;
  EXPECT_FALSE(blue);
}

TEST(PageRecordPlay, ForeignDrawingsAndImagesKeepTheirPlace) {
  TestApplication();
  PageRecord page;
  QImage red(4, 4, QImage::Format_ARGB32);
  red.fill(Qt::red);
  {
    // The caller's pixels go away: the page keeps its own copy.
    QImage temp = red.copy();
    page.Image(QRectF(10, 10, 40, 40), temp, QRectF(0, 0, 4, 4));
    temp.fill(Qt::blue);
  }
  QPainter* foreign = page.BeginForeign();
  ASSERT_NE(foreign, nullptr);
  foreign->fillRect(QRectF(100, 100, 50, 50), Qt::green);
  page.EndForeign();
  EXPECT_EQ(page.StepCount(), 2u);

  QImage played = Blank();
  {
    QPainter p(&played);
    page.Play(&p);
  }
  EXPECT_EQ(played.pixelColor(30, 30), QColor(Qt::red));
  EXPECT_EQ(played.pixelColor(125, 125), QColor(Qt::green));
  EXPECT_EQ(played.pixelColor(5, 5), QColor(Qt::white));
  EXPECT_EQ(played.pixelColor(160, 160), QColor(Qt::white));
}

TEST(SimpleGlyphs, MatchShapingOrAreRefused) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  DriverFontCache cache;
  for (int face = 0; face < 2; ++face) {
    const DriverFont& f = cache.Get(&s, face, 0, 100);
    const QString text = QStringLiteral("Order 1042: 12 x \u00C9clair \u20AC3.50, total");
    QGlyphRun run;
    ASSERT_TRUE(DriverFontCache::SimpleGlyphs(f, text, &run)) << face;
    QTextLayout layout(text, f.font);
    layout.beginLayout();
    ASSERT_TRUE(layout.createLine().isValid());
    layout.endLayout();
    QList<QGlyphRun> shaped = layout.glyphRuns();
    ASSERT_EQ(shaped.size(), 1);
    EXPECT_EQ(run.glyphIndexes(), shaped[0].glyphIndexes());
    ASSERT_EQ(run.positions().size(), shaped[0].positions().size());
    for (qsizetype i = 0; i < run.positions().size(); ++i)
      EXPECT_NEAR(run.positions()[i].x(), shaped[0].positions()[i].x() - shaped[0].positions()[0].x(), 1e-3);
    EXPECT_NEAR(run.positions().back().x() + run.rawFont().advancesForGlyphIndexes({run.glyphIndexes().back()},
                                                                                   QRawFont::UseDesignMetrics)[0].x(),
                cache.Advance(f, text), 1e-3);
    // A character the face lacks is left to shaping, which finds a fallback.
    EXPECT_FALSE(DriverFontCache::SimpleGlyphs(f, QStringLiteral("x\u4E2D"), &run));
    EXPECT_FALSE(DriverFontCache::SimpleGlyphs(f, QString(), &run));
  }
  // Underlined and struck-out text keeps its lines: those fonts are shaped.
  QGlyphRun run;
  EXPECT_FALSE(DriverFontCache::SimpleGlyphs(cache.Get(&s, 0, 4, 100), QStringLiteral("under"), &run));
  EXPECT_FALSE(DriverFontCache::SimpleGlyphs(cache.Get(&s, 0, 8, 100), QStringLiteral("struck"), &run));
}

TEST(PageRecordPlay, GlyphsDrawLikeTheShapedText) {
  TestApplication();
  PageOutputState s = TwoFaceState();
  DriverFontCache cache;
  const DriverFont& f = cache.Get(&s, 0, 1, 240);
  const QString text = QStringLiteral("Total \u20AC 1,234.50");
  QGlyphRun run;
  ASSERT_TRUE(DriverFontCache::SimpleGlyphs(f, text, &run));
  PageRecord shaped, placed;
  shaped.Text(&f, f.font, Qt::darkBlue, QPointF(12, 60), text);
  placed.Text(&f, f.font, Qt::darkBlue, QPointF(12, 60), text, &run);
  QImage a = Blank(), b = Blank();
  {
    QPainter p(&a);
    shaped.Play(&p);
  }
  {
    QPainter p(&b);
    placed.Play(&p);
  }
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == Blank());
}

// A footer line close to the paper's bottom edge is text of the page like
// any other: a text extractor finds it, on every page.
TEST(PdfPages, TextNearThePaperBottomIsExtractedOnEveryPage) {
  std::string pdf = TempPath("bottom.pdf");
  PdfRun run;
  ASSERT_GT(StartPrinterDoc(run.device, "Bottom", pdf.c_str()), 0);
  for (int page = 1; page <= 2; ++page) {
    ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
    LineBuilder top, bottom;
    top.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 0).Text("TOP-" + std::to_string(page));
    bottom.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 0).Text("BOTTOM-" + std::to_string(page));
    ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, 120, 1), 1);
    ASSERT_EQ(run.driver->OutputLine(&run.state, top.data(), top.size()), 1);
    ASSERT_EQ(run.driver->MoveDown(&run.state, 7800 - 480, 1), 1);
    ASSERT_EQ(run.driver->OutputLine(&run.state, bottom.data(), bottom.size()), 1);
    ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  }
  run.driver->CloseDevice(&run.state, 1);
  ASSERT_GT(EndPrinterDoc(run.device), 0);
  std::string text = RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  for (const char* word : {"TOP-1", "BOTTOM-1", "TOP-2", "BOTTOM-2"})
    EXPECT_NE(text.find(word), std::string::npos) << word << " in:\n" << text;
  EXPECT_LT(text.find("BOTTOM-1"), text.find("TOP-2"));
}

}  // namespace
