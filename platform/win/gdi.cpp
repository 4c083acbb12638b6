// GDI over QPainter. Window DCs obtained outside painting record into a
// picture kept with the window and replayed whenever it repaints, since Qt
// paints widgets only from their paint events.
#include "platform/win/gdi.h"

#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>

enum class GdiKind { Pen, Brush, Font, Bitmap };

struct HGDIOBJ__ {
  GdiKind kind;
  bool stock;
  QPen pen;
  QBrush brush;
  LOGFONTA lf;
  QFont font;
  QImage image;
};

struct HICON__ {
  uintptr_t id;
  QPixmap pixmap;
};


enum class DcKind { Screen, WindowOverlay, Paint, Memory, Metafile };

struct HDC__ {
  DcKind kind;
  HWND hwnd = nullptr;
  QPainter* painter = nullptr;  // owned unless kind is Paint
  std::unique_ptr<QPicture> picture;
  HGDIOBJ font = nullptr;
  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ bitmap = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT pos{0, 0};
  RECT frame{0, 0, 0, 0};  // enhanced metafiles: the frame given at creation
  int rop2 = R2_COPYPEN;
  POINT brushOrg{0, 0};
  RECT clip{0, 0, 0, 0};  // a paint DC's clip box
  int saveCount = 0;
};

namespace {
int g_paintDepth = 0;

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Faces the program names, resolved to installed metric-compatible fonts.
QString ResolveFace(const char* face, BYTE pitchAndFamily) {
  struct M {
    const char* name;
    const char* to;
  } map[] = {{"Arial", "Liberation Sans"},          {"Helvetica", "Liberation Sans"},
             {"MS Sans Serif", "Liberation Sans"},  {"Microsoft Sans Serif", "Liberation Sans"},
             {"System", "Liberation Sans"},         {"Times New Roman", "Liberation Serif"},
             {"Times", "Liberation Serif"},         {"MS Serif", "Liberation Serif"},
             {"Courier New", "Liberation Mono"},    {"Courier", "Liberation Mono"}};
  if (face != nullptr && face[0] != '\0') {
    for (const M& m : map)
      if (strcasecmp(face, m.name) == 0) return QString::fromLatin1(m.to);
    return vt_ui::FromAnsi(face);
  }
  BYTE family = pitchAndFamily & 0xF0;
  if ((pitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN) return QStringLiteral("Liberation Mono");
  if (family == FF_ROMAN) return QStringLiteral("Liberation Serif");
  return QStringLiteral("Liberation Sans");
}

QFont MakeFont(const LOGFONTA& lf) {
  UiStartApplication();
  char face[LF_FACESIZE + 1];
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  face[LF_FACESIZE] = '\0';
  QString resolved = ResolveFace(face, lf.lfPitchAndFamily);
  BYTE family = lf.lfPitchAndFamily & 0xF0;
  QString fallback = ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN) ? QStringLiteral("DejaVu Sans Mono")
                     : family == FF_ROMAN ? QStringLiteral("DejaVu Serif")
                                          : QStringLiteral("DejaVu Sans");
  QFont f;
  f.setFamilies({resolved, fallback});
  f.setStyleHint(family == FF_ROMAN ? QFont::Serif : family == FF_MODERN ? QFont::TypeWriter : QFont::SansSerif);
  f.setHintingPreference(QFont::PreferFullHinting);
  int px = 0;
  if (lf.lfHeight < 0) {
    px = -lf.lfHeight;  // character height
  } else {
    int cell = lf.lfHeight == 0 ? 16 : lf.lfHeight;  // cell height includes the internal leading
    QFont probe = f;
    probe.setPixelSize(100);
    QFontMetricsF fm(probe);
    qreal total = fm.ascent() + fm.descent();
    px = total > 0 ? static_cast<int>(std::lround(cell * 100.0 / total)) : cell;
  }
  f.setPixelSize(std::max(1, px));
  int w = lf.lfWeight <= 0 ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 1, 1000);
  f.setWeight(static_cast<QFont::Weight>(w));
  f.setItalic(lf.lfItalic != 0);
  f.setUnderline(lf.lfUnderline != 0);
  f.setStrikeOut(lf.lfStrikeOut != 0);
  return f;
}

HGDIOBJ NewObject(GdiKind kind, bool stock) {
  auto* o = new HGDIOBJ__();
  o->kind = kind;
  o->stock = stock;
  std::memset(&o->lf, 0, sizeof(o->lf));
  return o;
}

HGDIOBJ StockFont(int height, int weight, const char* face, BYTE pitch) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfPitchAndFamily = pitch;
  std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  HGDIOBJ o = NewObject(GdiKind::Font, true);
  o->lf = lf;
  o->font = MakeFont(lf);
  return o;
}

HGDIOBJ Stock(int index) {
  // Made once and owned here, so they are freed when the program ends.
  static std::map<int, std::unique_ptr<HGDIOBJ__>> cache;
  auto it = cache.find(index);
  if (it != cache.end()) return it->second.get();
  HGDIOBJ o = nullptr;
  switch (index) {
    case WHITE_BRUSH: case LTGRAY_BRUSH: case GRAY_BRUSH: case DKGRAY_BRUSH: case BLACK_BRUSH: {
      static const int grey[] = {255, 192, 128, 64, 0};
      o = NewObject(GdiKind::Brush, true);
      o->brush = QBrush(QColor(grey[index], grey[index], grey[index]));
      break;
    }
    case NULL_BRUSH:
      o = NewObject(GdiKind::Brush, true);
      o->brush = QBrush(Qt::NoBrush);
      break;
    case WHITE_PEN: case BLACK_PEN: case NULL_PEN:
      o = NewObject(GdiKind::Pen, true);
      o->pen = index == NULL_PEN ? QPen(Qt::NoPen) : QPen(index == WHITE_PEN ? Qt::white : Qt::black, 1);
      break;
    case OEM_FIXED_FONT: case ANSI_FIXED_FONT:
      o = StockFont(13, FW_NORMAL, "Courier New", FIXED_PITCH | FF_MODERN);
      break;
    case ANSI_VAR_FONT: case DEFAULT_GUI_FONT:
      o = StockFont(-11, FW_NORMAL, "MS Sans Serif", VARIABLE_PITCH | FF_SWISS);
      break;
    case SYSTEM_FONT:
      o = StockFont(16, FW_BOLD, "System", VARIABLE_PITCH | FF_SWISS);
      break;
    default:
      return nullptr;
  }
  cache[index].reset(o);
  return o;
}

QFont DcFont(HDC dc) { return vt_ui::FontOf(dc && dc->font ? dc->font : Stock(SYSTEM_FONT)); }

// The painter of a DC with its selected objects applied; null for DCs that only measure.
QPainter* Prepare(HDC dc) {
  if (dc == nullptr) return nullptr;
  if (dc->painter == nullptr) {
    switch (dc->kind) {
      case DcKind::WindowOverlay:
      case DcKind::Metafile:
      case DcKind::Screen:
        if (!dc->picture) dc->picture = std::make_unique<QPicture>();
        dc->painter = new QPainter(dc->picture.get());
        break;
      case DcKind::Memory:
        if (dc->bitmap == nullptr || dc->bitmap->image.isNull()) return nullptr;
        dc->painter = new QPainter(&dc->bitmap->image);
        break;
      case DcKind::Paint:
        return nullptr;
    }
  }
  QPainter* p = dc->painter;
  p->setPen(dc->pen ? dc->pen->pen : QPen(Qt::black));
  p->setBrush(dc->brush ? dc->brush->brush : QBrush(Qt::white));
  p->setBrushOrigin(dc->brushOrg.x, dc->brushOrg.y);
  p->setFont(DcFont(dc));
  if (p->paintEngine() && p->paintEngine()->type() == QPaintEngine::Raster)
    p->setCompositionMode(dc->rop2 == R2_NOTXORPEN ? QPainter::RasterOp_NotSourceXorDestination
                          : dc->rop2 == R2_NOT     ? QPainter::RasterOp_NotDestination
                                                   : QPainter::CompositionMode_SourceOver);
  return p;
}

void EndPainter(HDC dc) {
  if (dc->painter && dc->kind != DcKind::Paint) {
    dc->painter->end();
    delete dc->painter;
  }
  dc->painter = nullptr;
}

HDC NewDc(DcKind kind, HWND hwnd) {
  auto* dc = new HDC__();
  dc->kind = kind;
  dc->hwnd = hwnd;
  dc->font = Stock(SYSTEM_FONT);
  dc->pen = Stock(BLACK_PEN);
  dc->brush = Stock(WHITE_BRUSH);
  return dc;
}

// Text layout shared by DrawTextA and the static control.
struct Line {
  QString text;
  int width;
  int start;  // where the line begins in the text laid out
};

int TabWidth(const QFontMetrics& fm) { return 8 * std::max(1, fm.averageCharWidth()); }

int SegmentWidth(const QFontMetrics& fm, const QString& s, bool tabs) {
  if (!tabs || !s.contains(QLatin1Char('\t'))) return fm.horizontalAdvance(s);
  int x = 0, tw = TabWidth(fm);
  const QStringList parts = s.split(QLatin1Char('\t'));
  for (int i = 0; i < parts.size(); ++i) {
    x += fm.horizontalAdvance(parts[i]);
    if (i + 1 < parts.size()) x = (x / tw + 1) * tw;
  }
  return x;
}

void DrawSegment(QPainter* p, const QFontMetrics& fm, int x, int baseline, const QString& s, bool tabs) {
  if (!tabs || !s.contains(QLatin1Char('\t'))) {
    p->drawText(x, baseline, s);
    return;
  }
  int start = x, tw = TabWidth(fm);
  const QStringList parts = s.split(QLatin1Char('\t'));
  for (int i = 0; i < parts.size(); ++i) {
    p->drawText(x, baseline, parts[i]);
    x += fm.horizontalAdvance(parts[i]);
    if (i + 1 < parts.size()) x = start + ((x - start) / tw + 1) * tw;
  }
}

// The text without its "&" marks ("&&" is a plain ampersand); marks gets
// the places of the letters they mark, which are drawn underlined.
QString StripPrefix(const QString& s, std::vector<int>* marks) {
  QString out;
  out.reserve(s.size());
  for (int i = 0; i < s.size(); ++i) {
    if (s[i] == QLatin1Char('&')) {
      if (i + 1 >= s.size()) continue;
      if (s[++i] != QLatin1Char('&')) marks->push_back(static_cast<int>(out.size()));
    }
    out.append(s[i]);
  }
  return out;
}

// Lines of a text whose breaks are already plain "\n" (none on a single line).
std::vector<Line> Layout(const QFontMetrics& fm, const QString& text, int width, UINT fmt) {
  bool tabs = (fmt & DT_EXPANDTABS) != 0;
  std::vector<Line> lines;
  const QStringList paragraphs = text.split(QLatin1Char('\n'));
  int paraStart = 0;
  for (const QString& para : paragraphs) {
    const int start = paraStart;
    paraStart += static_cast<int>(para.size()) + 1;
    if (!(fmt & DT_WORDBREAK) || (fmt & DT_SINGLELINE)) {
      lines.push_back({para, SegmentWidth(fm, para, tabs), start});
      continue;
    }
    // Greedy wrap at blanks; a word wider than the line stands alone and widens it.
    int pos = 0;
    const int n = para.size();
    if (n == 0) {
      lines.push_back({QString(), 0, start});
      continue;
    }
    while (pos < n) {
      int lineEnd = pos;  // end of the last word that fits
      int scan = pos;
      while (scan < n) {
        int wordEnd = scan;
        while (wordEnd < n && para[wordEnd] == QLatin1Char(' ')) ++wordEnd;
        while (wordEnd < n && para[wordEnd] != QLatin1Char(' ')) ++wordEnd;
        int w = SegmentWidth(fm, para.mid(pos, wordEnd - pos), tabs);
        if (w > width && lineEnd > pos) break;
        lineEnd = wordEnd;
        scan = wordEnd;
        if (w > width) break;
      }
      QString line = para.mid(pos, lineEnd - pos);
      while (line.endsWith(QLatin1Char(' '))) line.chop(1);
      lines.push_back({line, SegmentWidth(fm, line, tabs), start + pos});
      pos = lineEnd;
      while (pos < n && para[pos] == QLatin1Char(' ')) ++pos;
    }
  }
  return lines;
}
}  // namespace

namespace {
vt_ui::DrawnTextWatcher g_drawnTextWatcher = nullptr;
}  // namespace

namespace vt_ui {
void WatchDrawnTexts(DrawnTextWatcher watcher) { g_drawnTextWatcher = watcher; }

int PaintDepth() { return g_paintDepth; }
void EnterPaint() { ++g_paintDepth; }
void LeavePaint() { --g_paintDepth; }

HDC CreatePainterDC(QPainter* painter, HWND hwnd) {
  HDC dc = NewDc(DcKind::Paint, hwnd);
  dc->painter = painter;
  painter->save();
  if (hwnd && hwnd->font) dc->font = hwnd->font;
  if (hwnd) {
    dc->clip = hwnd->paintRect;
    if (dc->clip.right <= dc->clip.left || dc->clip.bottom <= dc->clip.top) GetClientRect(hwnd, &dc->clip);
  }
  return dc;
}

QPainter* PainterOfDc(HDC dc) { return dc != nullptr && dc->kind == DcKind::Paint ? dc->painter : nullptr; }

void ReplayOverlay(HWND hwnd, QPainter* painter) {
  for (auto& pic : hwnd->overlay) painter->drawPicture(0, 0, *pic);
}

QFont FontOf(HFONT font) {
  if (font == nullptr || font->kind != GdiKind::Font) return Stock(SYSTEM_FONT)->font;
  return font->font;
}

HFONT DefaultGuiFont() { return Stock(DEFAULT_GUI_FONT); }

int DrawTextImpl(const QFont& font, QPainter* painter, const char* text, int length, RECT* rect, UINT fmt) {
  if (rect == nullptr || text == nullptr) return 0;
  // Drawn texts of this kind are the interface's own (statics, the status
  // line, messages), which may name a file; report texts go through TextOut.
  QString t = FromProgramText(text, length);
  if (fmt & DT_SINGLELINE) t.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
  else t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  std::vector<int> marks;
  if (!(fmt & DT_NOPREFIX)) t = StripPrefix(t, &marks);
  QFontMetrics fm(font);
  int lineHeight = fm.ascent() + fm.descent() + ((fmt & DT_EXTERNALLEADING) ? std::max(0, fm.leading()) : 0);
  int width = rect->right - rect->left;
  std::vector<Line> lines = Layout(fm, t, width, fmt);
  int height = static_cast<int>(lines.size()) * lineHeight;
  if (fmt & DT_CALCRECT) {
    int maxw = 0;
    for (const Line& l : lines) maxw = std::max(maxw, l.width);
    rect->right = rect->left + maxw;
    rect->bottom = rect->top + height;
    return height;
  }
  if (painter == nullptr) return height;
  painter->save();
  painter->setFont(font);
  if (!(fmt & DT_NOCLIP)) painter->setClipRect(QRect(rect->left, rect->top, width, rect->bottom - rect->top));
  int y = rect->top;
  if (fmt & DT_SINGLELINE) {
    if (fmt & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (fmt & DT_BOTTOM) y = rect->bottom - lineHeight;
  }
  bool tabs = (fmt & DT_EXPANDTABS) != 0;
  if (g_drawnTextWatcher != nullptr && !(fmt & DT_NOCLIP) && !t.isEmpty()) {
    int widest = 0;
    for (const Line& l : lines) widest = std::max(widest, l.width);
    g_drawnTextWatcher(t, QRect(rect->left, rect->top, width, rect->bottom - rect->top),
                       QRect(rect->left, y, widest, height));
  }
  for (const Line& l : lines) {
    int x = rect->left;
    if (fmt & DT_CENTER) x = rect->left + (width - l.width) / 2;
    else if (fmt & DT_RIGHT) x = rect->right - l.width;
    DrawSegment(painter, fm, x, y + fm.ascent(), l.text, tabs);
    for (int m : marks) {
      if (m < l.start || m >= l.start + l.text.size()) continue;
      const int at = x + SegmentWidth(fm, l.text.left(m - l.start), tabs);
      painter->fillRect(at, y + fm.ascent() + fm.underlinePos(), fm.horizontalAdvance(l.text[m - l.start]),
                        std::max(1, fm.lineWidth()), painter->pen().color());
    }
    y += lineHeight;
  }
  painter->restore();
  return height;
}

void DrawIconAt(QPainter* painter, int x, int y, HICON icon) {
  if (painter && icon) painter->drawPixmap(x, y, icon->pixmap);
}
}  // namespace vt_ui

HDC GetDC(HWND hwnd) {
  UiStartApplication();
  if (hwnd == nullptr || hwnd == GetDesktopWindow()) return NewDc(DcKind::Screen, nullptr);
  if (!IsWindow(hwnd)) return nullptr;
  HDC dc = NewDc(DcKind::WindowOverlay, hwnd);
  if (hwnd->font) dc->font = hwnd->font;
  return dc;
}

int ReleaseDC(HWND, HDC dc) {
  if (dc == nullptr) return 0;
  if (dc->kind == DcKind::Paint) {
    if (dc->painter) {
      for (; dc->saveCount > 0; --dc->saveCount) dc->painter->restore();
      dc->painter->restore();
    }
    dc->painter = nullptr;
  }
  bool drew = dc->painter != nullptr;
  EndPainter(dc);
  if (dc->kind == DcKind::WindowOverlay && drew && IsWindow(dc->hwnd) && dc->picture) {
    auto& overlay = dc->hwnd->overlay;
    overlay.push_back(std::move(dc->picture));
    // A procedure that draws on itself at every paint must not grow this without end.
    constexpr size_t kMaxOverlay = 64;
    if (overlay.size() > kMaxOverlay) overlay.erase(overlay.begin(), overlay.end() - kMaxOverlay);
    if (dc->hwnd->widget && vt_ui::PaintDepth() == 0) dc->hwnd->widget->update();
  }
  delete dc;
  return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!IsWindow(hwnd)) return nullptr;
  HDC dc = hwnd->paintPainter ? vt_ui::CreatePainterDC(hwnd->paintPainter, hwnd) : GetDC(hwnd);
  if (ps) {
    std::memset(ps, 0, sizeof(*ps));
    ps->hdc = dc;
    if (dc == nullptr || GetClipBox(dc, &ps->rcPaint) == ERROR_REGION) GetClientRect(hwnd, &ps->rcPaint);
  }
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (ps == nullptr || ps->hdc == nullptr) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

HDC CreateCompatibleDC(HDC) {
  UiStartApplication();
  return NewDc(DcKind::Memory, nullptr);
}

BOOL DeleteDC(HDC dc) {
  if (dc == nullptr) return FALSE;
  EndPainter(dc);
  delete dc;
  return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
  HGDIOBJ o = NewObject(GdiKind::Bitmap, false);
  o->image = QImage(width, height, QImage::Format_RGB32);
  if (o->image.isNull()) {
    delete o;
    return nullptr;
  }
  o->image.fill(Qt::black);
  return o;
}

HBITMAP CreateBitmapFromPixels(int width, int height, const uint32_t* pixels, int stride) {
  if (pixels == nullptr || width <= 0 || height <= 0 || width > 32767 || height > 32767 || stride < width * 4)
    return nullptr;
  HGDIOBJ o = NewObject(GdiKind::Bitmap, false);
  o->image = QImage(reinterpret_cast<const uchar*>(pixels), width, height, stride, QImage::Format_RGB32).copy();
  if (o->image.isNull()) {
    delete o;
    return nullptr;
  }
  return o;
}

HDC CreateMetaFileA(LPCSTR) {
  UiStartApplication();
  HDC dc = NewDc(DcKind::Metafile, nullptr);
  dc->picture = std::make_unique<QPicture>();
  return dc;
}

HMETAFILE CloseMetaFile(HDC dc) {
  if (dc == nullptr || dc->kind != DcKind::Metafile) return nullptr;
  EndPainter(dc);
  auto* mf = new HMETAFILE__();
  if (dc->picture) mf->picture = *dc->picture;
  delete dc;
  return mf;
}

BOOL PlayMetaFile(HDC dc, HMETAFILE mf) {
  QPainter* p = Prepare(dc);
  if (p == nullptr || mf == nullptr) return FALSE;
  p->drawPicture(0, 0, mf->picture);
  return TRUE;
}

BOOL DeleteMetaFile(HMETAFILE mf) {
  delete mf;
  return mf != nullptr;
}

HDC CreateEnhMetaFileA(HDC, LPCSTR, const RECT* frame, LPCSTR) {
  HDC dc = CreateMetaFileA(nullptr);
  if (dc && frame) dc->frame = *frame;
  return dc;
}

HENHMETAFILE CloseEnhMetaFile(HDC dc) {
  if (dc == nullptr || dc->kind != DcKind::Metafile) return nullptr;
  const RECT f = dc->frame;
  HMETAFILE mf = CloseMetaFile(dc);
  if (mf == nullptr) return nullptr;
  QRectF frame(f.left, f.top, f.right - f.left, f.bottom - f.top);
  if (frame.isEmpty()) frame = mf->picture.boundingRect();
  HENHMETAFILE out = vt_ui::NewEnhMetaFile(mf->picture, frame);
  delete mf;
  return out;
}

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE mf, const RECT* r) {
  QPainter* p = Prepare(dc);
  if (p == nullptr || mf == nullptr || r == nullptr) return FALSE;
  return vt_ui::PlayEnhMetaFileOn(p, mf, QRectF(r->left, r->top, r->right - r->left, r->bottom - r->top)) ? TRUE
                                                                                                        : FALSE;
}

HGDIOBJ GetStockObject(int index) {
  UiStartApplication();
  return Stock(index);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj) {
  if (dc == nullptr || obj == nullptr) return nullptr;
  HGDIOBJ old = nullptr;
  switch (obj->kind) {
    case GdiKind::Pen: old = dc->pen; dc->pen = obj; break;
    case GdiKind::Brush: old = dc->brush; dc->brush = obj; break;
    case GdiKind::Font: old = dc->font; dc->font = obj; break;
    case GdiKind::Bitmap:
      if (dc->kind != DcKind::Memory) return nullptr;
      EndPainter(dc);
      old = dc->bitmap;
      dc->bitmap = obj;
      break;
  }
  return old;
}

BOOL DeleteObject(HGDIOBJ obj) {
  if (obj == nullptr || obj->stock) return FALSE;
  delete obj;
  return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  HGDIOBJ o = NewObject(GdiKind::Pen, false);
  Qt::PenStyle s = style == PS_DASH ? Qt::DashLine : style == PS_DOT ? Qt::DotLine : style == PS_DASHDOT ? Qt::DashDotLine
                   : style == PS_DASHDOTDOT ? Qt::DashDotDotLine : style == PS_NULL ? Qt::NoPen : Qt::SolidLine;
  o->pen = QPen(ToQColor(color), std::max(1, width), s);
  return o;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  HGDIOBJ o = NewObject(GdiKind::Brush, false);
  o->brush = QBrush(ToQColor(color));
  return o;
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
  if (lf == nullptr) return nullptr;
  HGDIOBJ o = NewObject(GdiKind::Font, false);
  o->lf = *lf;
  o->lf.lfFaceName[LF_FACESIZE - 1] = '\0';
  o->font = MakeFont(o->lf);
  return o;
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR faceName) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic != 0);
  lf.lfUnderline = static_cast<BYTE>(underline != 0);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName) std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
  return CreateFontIndirectA(&lf);
}

int GetObjectA(HGDIOBJ obj, int size, LPVOID out) {
  if (obj == nullptr) return 0;
  if (obj->kind == GdiKind::Font) {
    if (out == nullptr) return sizeof(LOGFONTA);
    if (size < static_cast<int>(sizeof(LOGFONTA))) return 0;
    std::memcpy(out, &obj->lf, sizeof(LOGFONTA));
    return sizeof(LOGFONTA);
  }
  return 0;
}

COLORREF SetTextColor(HDC dc, COLORREF c) {
  if (!dc) return 0xFFFFFFFF;
  std::swap(dc->textColor, c);
  return c;
}
COLORREF SetBkColor(HDC dc, COLORREF c) {
  if (!dc) return 0xFFFFFFFF;
  std::swap(dc->bkColor, c);
  return c;
}
int SetBkMode(HDC dc, int mode) {
  if (!dc) return 0;
  std::swap(dc->bkMode, mode);
  return mode;
}
UINT SetTextAlign(HDC dc, UINT align) {
  if (!dc) return 0xFFFFFFFF;
  std::swap(dc->textAlign, align);
  return align;
}

int GetDeviceCaps(HDC dc, int index) {
  switch (index) {
    case LOGPIXELSX: case LOGPIXELSY: return kScreenDpi;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case HORZRES:
      if (dc && dc->bitmap) return dc->bitmap->image.width();
      return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
      if (dc && dc->bitmap) return dc->bitmap->image.height();
      return GetSystemMetrics(SM_CYSCREEN);
    default: return 0;
  }
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size) {
  if (dc == nullptr || size == nullptr || (text == nullptr && length > 0) || length < 0) return FALSE;
  QFontMetrics fm(DcFont(dc));
  size->cx = fm.horizontalAdvance(vt_ui::FromAnsi(text ? text : "", length));
  size->cy = fm.ascent() + fm.descent();
  return TRUE;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* tm) {
  if (dc == nullptr || tm == nullptr) return FALSE;
  QFont f = DcFont(dc);
  QFontMetrics fm(f);
  std::memset(tm, 0, sizeof(*tm));
  tm->tmAscent = fm.ascent();
  tm->tmDescent = fm.descent();
  tm->tmHeight = tm->tmAscent + tm->tmDescent;
  tm->tmInternalLeading = std::max(0, tm->tmHeight - f.pixelSize());
  tm->tmExternalLeading = std::max(0, fm.leading());
  tm->tmAveCharWidth = fm.averageCharWidth();
  tm->tmMaxCharWidth = fm.maxWidth();
  tm->tmWeight = f.weight();
  tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = kScreenDpi;
  tm->tmFirstChar = 32;
  tm->tmLastChar = 255;
  tm->tmDefaultChar = '?';
  tm->tmBreakChar = ' ';
  tm->tmItalic = f.italic() ? 1 : 0;
  tm->tmUnderlined = f.underline() ? 1 : 0;
  tm->tmStruckOut = f.strikeOut() ? 1 : 0;
  bool fixed = QFontInfo(f).fixedPitch();
  // Bit 0 set means variable pitch; bit 2 TrueType.
  tm->tmPitchAndFamily = static_cast<BYTE>((fixed ? 0 : 1) | 4 | (dc->font ? (dc->font->lf.lfPitchAndFamily & 0xF0) : FF_SWISS));
  tm->tmCharSet = ANSI_CHARSET;
  return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  QPainter* p = Prepare(dc);
  if (p == nullptr || text == nullptr || length < 0) return p != nullptr;
  QString s = vt_ui::FromAnsi(text, length);
  QFontMetrics fm(DcFont(dc));
  int w = fm.horizontalAdvance(s);
  UINT h = dc->textAlign & 6, v = dc->textAlign & 24;
  if (h == TA_CENTER) x -= w / 2;
  else if (h == TA_RIGHT) x -= w;
  int top = v == TA_BOTTOM ? y - (fm.ascent() + fm.descent()) : v == TA_BASELINE ? y - fm.ascent() : y;
  if (dc->bkMode == OPAQUE) p->fillRect(QRect(x, top, w, fm.ascent() + fm.descent()), ToQColor(dc->bkColor));
  p->setPen(ToQColor(dc->textColor));
  p->drawText(x, top + fm.ascent(), s);
  return TRUE;
}

int DrawTextA(HDC dc, LPCSTR text, int length, RECT* rect, UINT format) {
  if (dc == nullptr || text == nullptr || rect == nullptr) return 0;
  QPainter* p = (format & DT_CALCRECT) ? nullptr : Prepare(dc);
  if (p) p->setPen(ToQColor(dc->textColor));
  return vt_ui::DrawTextImpl(DcFont(dc), p, text, length, rect, format);
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  if (!dc) return FALSE;
  if (previous) *previous = dc->pos;
  dc->pos = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  QPainter* p = Prepare(dc);
  if (!dc) return FALSE;
  if (p) p->drawLine(dc->pos.x, dc->pos.y, x, y);
  dc->pos = POINT{x, y};
  return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  QPainter* p = Prepare(dc);
  if (!p) return dc != nullptr;
  p->drawRect(QRect(left, top, std::max(0, right - left - 1), std::max(0, bottom - top - 1)));
  return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  QPainter* p = Prepare(dc);
  if (!p) return dc != nullptr;
  p->drawEllipse(QRect(left, top, std::max(0, right - left - 1), std::max(0, bottom - top - 1)));
  return TRUE;
}

int FillRect(HDC dc, const RECT* r, HBRUSH brush) {
  QPainter* p = Prepare(dc);
  if (!p || !r || !brush) return 0;
  const QRect q(r->left, r->top, r->right - r->left, r->bottom - r->top);
  const Qt::BrushStyle style = brush->brush.style();
  if (style >= Qt::HorPattern && style <= Qt::DiagCrossPattern && dc->bkMode == OPAQUE)
    p->fillRect(q, ToQColor(dc->bkColor));
  p->fillRect(q, brush->brush);
  return 1;
}

int FrameRect(HDC dc, const RECT* r, HBRUSH brush) {
  QPainter* p = Prepare(dc);
  if (!p || !r || !brush) return 0;
  QRect q(r->left, r->top, r->right - r->left, r->bottom - r->top);
  p->fillRect(QRect(q.left(), q.top(), q.width(), 1), brush->brush);
  p->fillRect(QRect(q.left(), q.bottom(), q.width(), 1), brush->brush);
  p->fillRect(QRect(q.left(), q.top(), 1, q.height()), brush->brush);
  p->fillRect(QRect(q.right(), q.top(), 1, q.height()), brush->brush);
  return 1;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD) {
  if (dest == nullptr || src == nullptr || src->bitmap == nullptr) return FALSE;
  EndPainter(src);  // the image must not be painted on while it is read
  QPainter* p = Prepare(dest);
  if (p == nullptr) return FALSE;
  p->drawImage(QPoint(x, y), src->bitmap->image, QRect(srcX, srcY, width, height));
  return TRUE;
}

int GetSystemMetrics(int index) {
  QScreen* s = UiApplicationRunning() ? QGuiApplication::primaryScreen() : nullptr;
  QRect g = s ? s->geometry() : QRect(0, 0, 800, 600);
  QRect a = s ? s->availableGeometry() : g;
  switch (index) {
    case SM_CXSCREEN: case SM_CXFULLSCREEN: return g.width();
    case SM_CYSCREEN: return g.height();
    case SM_CYFULLSCREEN: return a.height() - 19;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: case SM_CYMENU: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXFIXEDFRAME: case SM_CYFIXEDFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXMAXIMIZED: return a.width() + 8;
    case SM_CYMAXIMIZED: return a.height() + 8;
    default: return 0;
  }
}

DWORD GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: case COLOR_BTNHIGHLIGHT: case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: case COLOR_WINDOWFRAME: case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: case COLOR_SCROLLBAR: return RGB(192, 192, 192);
    case COLOR_BTNSHADOW: case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT: case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_BACKGROUND: return RGB(0, 128, 128);
    default: return RGB(192, 192, 192);
  }
}

HBRUSH GetSysColorBrush(int index) {
  // Shared like stock objects, and freed when the program ends.
  static std::map<int, std::unique_ptr<HGDIOBJ__>> brushes;
  std::unique_ptr<HGDIOBJ__>& b = brushes[index];
  if (b == nullptr) {
    b.reset(NewObject(GdiKind::Brush, true));
    b->brush = QBrush(ToQColor(GetSysColor(index)));
  }
  return b.get();
}

namespace {
QPixmap SystemIconPixmap(uintptr_t id) {
  QStyle::StandardPixmap sp = id == IDI_HAND ? QStyle::SP_MessageBoxCritical
                              : id == IDI_QUESTION ? QStyle::SP_MessageBoxQuestion
                              : id == IDI_EXCLAMATION ? QStyle::SP_MessageBoxWarning
                                                      : QStyle::SP_MessageBoxInformation;
  QPixmap pm;
  if (QApplication::style()) pm = QApplication::style()->standardIcon(sp).pixmap(32, 32);
  if (pm.isNull() || pm.width() != 32) {
    // Drawn by hand when the style has none: a coloured disc with its sign.
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QColor c = id == IDI_HAND ? QColor(200, 0, 0) : id == IDI_EXCLAMATION ? QColor(230, 180, 0) : QColor(0, 0, 200);
    p.setBrush(c);
    p.setPen(Qt::black);
    p.drawEllipse(1, 1, 29, 29);
    p.setPen(Qt::white);
    QFont f = vt_ui::FontOf(GetStockObject(SYSTEM_FONT));
    f.setPixelSize(20);
    p.setFont(f);
    const char* sign = id == IDI_HAND ? "X" : id == IDI_QUESTION ? "?" : id == IDI_EXCLAMATION ? "!" : "i";
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromLatin1(sign));
    p.end();
    pm = QPixmap::fromImage(img);
  }
  return pm;
}
}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || !IS_INTRESOURCE(name)) return nullptr;
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id < IDI_APPLICATION || id > IDI_ASTERISK) return nullptr;
  UiStartApplication();
  // Shared system icons, freed when the program ends.
  static std::map<uintptr_t, std::unique_ptr<HICON__>> icons;
  std::unique_ptr<HICON__>& icon = icons[id];
  if (icon == nullptr) {
    icon.reset(new HICON__());
    icon->id = id;
    icon->pixmap = SystemIconPixmap(id);
  }
  return icon.get();
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
  QPainter* p = Prepare(dc);
  if (p == nullptr || icon == nullptr) return FALSE;
  vt_ui::DrawIconAt(p, x, y, icon);
  return TRUE;
}

HBRUSH CreateHatchBrush(int style, COLORREF color) {
  static const Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                          Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  HGDIOBJ o = NewObject(GdiKind::Brush, false);
  o->brush = QBrush(ToQColor(color), style >= 0 && style <= HS_DIAGCROSS ? kHatch[style] : Qt::SolidPattern);
  return o;
}

BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous) {
  if (dc == nullptr) return FALSE;
  if (previous) *previous = dc->brushOrg;
  dc->brushOrg = POINT{x, y};
  return TRUE;
}

int SetROP2(HDC dc, int mode) {
  if (dc == nullptr) return 0;
  std::swap(dc->rop2, mode);
  return mode;
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  QPainter* p = Prepare(dc);
  if (p == nullptr) return FALSE;
  QRect r(x, y, width, height);
  if (rop == DSTINVERT) {
    p->save();
    if (p->paintEngine() && p->paintEngine()->type() == QPaintEngine::Raster)
      p->setCompositionMode(QPainter::RasterOp_NotDestination);
    p->fillRect(r, Qt::black);
    p->restore();
    return TRUE;
  }
  p->fillRect(r, dc->brush ? dc->brush->brush : QBrush(Qt::white));
  return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  QPainter* p = Prepare(dc);
  if (p == nullptr) return 0xFFFFFFFF;
  p->fillRect(QRect(x, y, 1, 1), ToQColor(color));
  return color;
}

COLORREF GetNearestColor(HDC, COLORREF color) { return color & 0xFFFFFF; }

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length, const int*) {
  QPainter* p = Prepare(dc);
  if (p == nullptr) return dc != nullptr;
  const bool clipped = rect != nullptr && (options & ETO_CLIPPED);
  if (clipped) {
    p->save();
    p->setClipRect(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top), Qt::IntersectClip);
  }
  if (rect != nullptr && (options & ETO_OPAQUE))
    p->fillRect(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top), ToQColor(dc->bkColor));
  // The rectangle's background replaces the text's own.
  int mode = dc->bkMode;
  if (options & ETO_OPAQUE) dc->bkMode = TRANSPARENT;
  if (text != nullptr && length > 0) TextOutA(dc, x, y, text, static_cast<int>(length));
  dc->bkMode = mode;
  if (clipped) p->restore();
  return TRUE;
}

int GetClipBox(HDC dc, RECT* rect) {
  if (dc == nullptr || rect == nullptr) return ERROR_REGION;
  if (dc->kind == DcKind::Paint) {
    *rect = dc->clip;
  } else if (dc->kind == DcKind::Memory && dc->bitmap) {
    *rect = RECT{0, 0, dc->bitmap->image.width(), dc->bitmap->image.height()};
  } else if (dc->hwnd && IsWindow(dc->hwnd)) {
    GetClientRect(dc->hwnd, rect);
  } else {
    return ERROR_REGION;
  }
  return rect->right > rect->left && rect->bottom > rect->top ? SIMPLEREGION : NULLREGION;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  QPainter* p = Prepare(dc);
  if (p == nullptr) return ERROR_REGION;
  p->setClipRect(QRect(left, top, right - left, bottom - top), Qt::IntersectClip);
  dc->clip.left = std::max<LONG>(dc->clip.left, left);
  dc->clip.top = std::max<LONG>(dc->clip.top, top);
  dc->clip.right = std::min<LONG>(dc->clip.right, right);
  dc->clip.bottom = std::min<LONG>(dc->clip.bottom, bottom);
  return SIMPLEREGION;
}

int SaveDC(HDC dc) {
  QPainter* p = Prepare(dc);
  if (p == nullptr) return 0;
  p->save();
  return ++dc->saveCount;
}

BOOL RestoreDC(HDC dc, int saved) {
  if (dc == nullptr || dc->painter == nullptr || saved <= 0 || saved > dc->saveCount) return FALSE;
  for (; dc->saveCount >= saved; --dc->saveCount) dc->painter->restore();
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  if (dc == nullptr || dc->kind != DcKind::Memory || dc->bitmap == nullptr) return CLR_INVALID;
  EndPainter(dc);  // what was drawn is in the image once the painter ends
  const QImage& img = dc->bitmap->image;
  if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return CLR_INVALID;
  const QRgb c = img.pixel(x, y);
  return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)), static_cast<BYTE>(qBlue(c)));
}
