// A report a user draws on: a picture, a line, a box and two charts placed
// with the Insert menu's tools on the sample report (Format > Properties
// greyed while the selection mixes them), exported as HTML (each
// gets its image file and its image tag, read back by Python's html.parser
// and the files' own headers; the charts' files named by the hash of the
// page's file name and their count), then saved, reopened and printed; a
// picture lines up in the HTML with the text it lines up with on paper.
#include "tests/app/drawnreport/drawn_report_fixture.h"

#include "app/chart_commands.h"
#include "export/export_library.h"
#include "tests/support/pdf_words.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdExport = 30060, kCmdInsertLine = 30440, kCmdInsertBox = 30450;

TEST_F(DrawnReport, PictureLineBoxAndChartGoIntoTheHtmlExportAsImageFilesAndTags) {
  const std::string report = StartOnCopy("drawn");
  ASSERT_FALSE(report.empty());
  LayoutTables& layout = *doc->m_pLayout;

  // A picture at the title's right, a box round the page header, a line
  // under each customer and a pie of the customers' totals in the summary.
  const BandLineRec& title = LineOfKind(kBandTitle);
  InsertLogo(500, title.bottom - 2, 500, title.bottom - 2);
  ASSERT_EQ(layout.pictures.Count(), 1);
  const BandLineRec& header = LineOfKind(kBandPageHeader);
  Command(kCmdInsertBox);
  Drag(2, Top(header), 600, header.bottom - 1);
  const BandLineRec& footer = LineOfKind(kBandGroupFooter);
  Command(kCmdInsertLine);
  Drag(240, footer.bottom - 2, 600, footer.bottom - 2);
  ASSERT_EQ(layout.linesBoxes.Count(), 2);
  // Format > Properties has no dialog for a box with a line, nor for the
  // picture with a text; each alone has one.
  CKmView& view = frame->m_wndLayoutView;
  auto propertiesFor = [&](std::initializer_list<ReportItemHead*> items) {
    view.ClearSelection();
    for (ReportItemHead* h : items) view.SelectObject(*h, true);
    const bool enabled = frame->IsCommandEnabled(30504);
    view.ClearSelection();
    return enabled;
  };
  EXPECT_FALSE(propertiesFor({&layout.linesBoxes.At(0)->head, &layout.linesBoxes.At(1)->head}));
  EXPECT_FALSE(propertiesFor({&layout.pictures.At(0)->head, &layout.textHead->head}));
  EXPECT_TRUE(propertiesFor({&layout.linesBoxes.At(1)->head}));
  EXPECT_TRUE(propertiesFor({&layout.pictures.At(0)->head}));
  bool sheetSeen = false;
  AnswerCustomerPie("Shares", &sheetSeen);
  const BandLineRec& summary = LineOfKind(kBandSummary);
  Command(kCmdInsertChart);
  Drag(2, Top(summary) + 2, 290, Top(summary) + 146);
  ASSERT_TRUE(sheetSeen);
  ASSERT_EQ(layout.charts.Count(), 1);
  sheetSeen = false;
  Command(kCmdInsertChart);
  Drag(310, Top(summary) + 2, 598, Top(summary) + 146);
  ASSERT_TRUE(sheetSeen);
  ASSERT_EQ(layout.charts.Count(), 2);

  // File > Export as HTML: a page file and an image file for each picture,
  // line, box and chart drawn.
  const std::string html = dir_ + "/html/drawn.htm";
  fs::remove_all(dir_ + "/html");
  fs::create_directories(dir_ + "/html");
  ExportAs(answers, kExportHtml, html);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(html)) << (messages.empty() ? std::string() : messages[0]);
  // Each image tag: "picture" for a file named as the export's pictures
  // are, "chart<n>" for "Chart <hash> <n>.png" whose hash is the one of the
  // page's file name (each character upper-cased times a key by its place,
  // added to eight times the hash so far), "other" for anything else or a
  // link not percent-encoded; then the file's width and height read from
  // its own header (0 0 when it is missing or not a PNG). The page is read
  // in the encoding it declares.
  const std::string tags = Capture(
      "/usr/bin/python3 - '" + html + "' <<'PY'\n"
      "import html.parser, os, re, struct, sys, urllib.parse\n"
      "K = [0xABCDEFAB, 0xBCDEFABC, 0xCDEFABCD, 0xDEFABCDE]\n"
      "def hash_name(name):\n"
      "  h = 0\n"
      "  for i, c in enumerate(name.encode('cp1252')):\n"
      "    if 97 <= c <= 122: c -= 32\n"
      "    h = (h * 8 + c * K[i % 4]) & 0xFFFFFFFF\n"
      "  return h\n"
      "want = 'Chart %08x ' % hash_name(os.path.basename(sys.argv[1]))\n"
      "class P(html.parser.HTMLParser):\n"
      "  def handle_starttag(self, tag, attrs):\n"
      "    if tag != 'img': return\n"
      "    raw = dict(attrs)['src']\n"
      "    src = urllib.parse.unquote(raw)\n"
      "    path = os.path.join(os.path.dirname(sys.argv[1]), src)\n"
      "    w = h = 0\n"
      "    if os.path.exists(path):\n"
      "      b = open(path, 'rb').read(24)\n"
      "      if b[:8] == b'\\x89PNG\\r\\n\\x1a\\n': w, h = struct.unpack('>II', b[16:24])\n"
      "    chart = re.fullmatch(re.escape(want) + r'([0-9]+)\\.png', src)\n"
      "    if ' ' in raw: kind = 'other'\n"
      "    elif chart: kind = 'chart' + chart.group(1)\n"
      "    elif re.fullmatch(r'drawn_image[0-9]+\\.png', src): kind = 'picture'\n"
      "    else: kind = 'other'\n"
      "    print(kind, w, h)\n"
      "raw = open(sys.argv[1], 'rb').read()\n"
      "P().feed(raw.decode(re.search(rb'<meta charset=\"([^\"]+)\">', raw).group(1).decode()))\n"
      "PY\n2>&1");
  std::istringstream in(tags);
  int pictures = 0, flat = 0, missing = 0;
  std::vector<std::string> charts;
  for (std::string kind; in >> kind;) {
    int w = 0, h = 0;
    in >> w >> h;
    if (w == 0 || h == 0) ++missing;
    if (kind.rfind("chart", 0) == 0) {
      charts.push_back(kind);
      // Three inches by one and a half, at the screen's resolution.
      EXPECT_NEAR(w, 277, 14) << tags;
      EXPECT_GT(h, 100) << tags;
    } else if (kind == "picture") {
      ++pictures;
      if (h <= 3 && w > 300) ++flat;  // the line under a customer
    } else {
      ADD_FAILURE() << "an image named otherwise, or its link not encoded: " << tags;
    }
  }
  EXPECT_EQ(missing, 0) << tags;
  EXPECT_EQ(charts, (std::vector<std::string>{"chart1", "chart2"})) << tags;
  EXPECT_EQ(flat, 5) << tags;  // one under each of the five customers who ordered
  EXPECT_EQ(pictures, 5 + 2) << tags;  // and the logo and the page header's box

  // Saved, reopened and printed: they are all still there.
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(layout.pictures.Count(), 1);
  EXPECT_EQ(layout.linesBoxes.Count(), 2);
  EXPECT_EQ(layout.charts.Count(), 2);
  const std::string text = PrintedBy(kCmdPrint, "drawn");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(text.find("Shares"), std::string::npos) << text;
}

// The HTML page places a picture where the printed page has it: a logo put
// at the title's left edge starts at the same left as the title's text, as
// both do on paper. Positions read back by Python's html.parser.
TEST_F(DrawnReport, TheHtmlPictureLinesUpWithTheTextItLinesUpWithInPrint) {
  const std::string report = StartOnCopy("aligned");
  ASSERT_FALSE(report.empty());
  const BandLineRec& title = LineOfKind(kBandTitle);
  ASSERT_NE(TextNamed("Orders by customer"), nullptr);
  const int left = TextNamed("Orders by customer")->head.left;
  InsertLogo(left, title.bottom - 2, left, title.bottom - 2);
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  ASSERT_EQ(doc->m_pLayout->pictures.At(0)->head.left, left);

  const std::string html = dir_ + "/html/aligned.htm";
  fs::remove_all(dir_ + "/html");
  fs::create_directories(dir_ + "/html");
  ExportAs(answers, kExportHtml, html);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(html)) << (messages.empty() ? std::string() : messages[0]);
  // "text <left>" for the title's span and "image <left>" for each picture, in points.
  const std::string found = Capture(
      "/usr/bin/python3 - '" + html + "' <<'PY'\n"
      "import html.parser, re, sys\n"
      "class P(html.parser.HTMLParser):\n"
      "  left = None\n"
      "  def handle_starttag(self, tag, attrs):\n"
      "    m = re.search(r'left:([0-9.]+)pt', dict(attrs).get('style', ''))\n"
      "    self.left = m.group(1) if m else None\n"
      "    if tag == 'img': print('image', self.left)\n"
      "  def handle_data(self, data):\n"
      "    if data.startswith('Orders by customer') and self.left: print('text', self.left)\n"
      "P().feed(open(sys.argv[1], encoding='utf-8').read())\n"
      "PY\n2>&1");
  std::istringstream in(found);
  std::vector<double> texts, images;
  for (std::string kind, value; in >> kind >> value;) (kind == "text" ? texts : images).push_back(std::atof(value.c_str()));
  ASSERT_EQ(texts.size(), 1u) << found;
  ASSERT_EQ(images.size(), 1u) << found;
  EXPECT_NEAR(images[0], texts[0], 0.15) << found;

  // Printed, the title starts where the HTML page has it: at the margin.
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(doc->m_pLayout->pictures.Count(), 1);
  const std::string text = PrintedBy(kCmdPrint, "aligned");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  const std::vector<PdfWord> words = ReadPdfWords(dir_ + "/aligned.pdf");
  const auto orders = std::find_if(words.begin(), words.end(), [](const PdfWord& w) { return w.text == "Orders"; });
  ASSERT_NE(orders, words.end());
  EXPECT_NEAR(texts[0], orders->xMin, 0.6) << "points from the paper's left";
}

}  // namespace
}  // namespace newuser_test
