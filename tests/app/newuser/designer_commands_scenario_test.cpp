// The designer's last commands as a new user meets them on the sample
// report: a click below the last band line, a line's edge dragged in the
// band pane, F2 on a text, F9 with marked lines, Insert > Text File,
// Shift+F3, Alt+Ins and Alt+Del, and a picture's properties and copies.
// Each scenario saves, reads the report back and prints it.
#include "tests/app/newuser/new_user_fixture.h"

#include "app/recent_files.h"
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"
#include "platform/image/image_library.h"
#include "platform/win/clipboard_formats.h"
#include "platform/win/window_picture.h"
#include "tests/support/pdf_words.h"
#include "tests/support/screens.h"


#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace new_user {
namespace {

constexpr UINT kFilePrint = 30030;

void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Click(HWND window, int x, int y) {
  Mouse(window->widget.data(), QEvent::MouseButtonPress, QPoint(x, y));
  Mouse(window->widget.data(), QEvent::MouseButtonRelease, QPoint(x, y));
}

// Where the first word of that text starts across the first page, in points;
// -1 when it is not there.
double WordX(const std::string& pdf, const std::string& text) {
  for (const PdfWord& w : ReadPdfWords(pdf, 1, 1))
    if (w.text == text) return w.xMin;
  return -1;
}

// Each image of the PDF as pdfimages lists it: its pixels across and down,
// and its printed size in inches from those and its resolution.
struct PrintedImage {
  int width, height;
  double inchesAcross, inchesDown;
};
std::vector<PrintedImage> PrintedImages(const std::string& pdf) {
  std::vector<PrintedImage> out;
  std::istringstream lines(program_run::Capture("pdfimages -list '" + pdf + "' 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream cols(line);
    std::vector<std::string> c;
    for (std::string col; cols >> col;) c.push_back(col);
    if (c.size() < 14 || c[2] != "image") continue;
    const int w = std::stoi(c[3]), h = std::stoi(c[4]);
    const double xppi = std::stod(c[12]), yppi = std::stod(c[13]);
    if (xppi > 0 && yppi > 0) out.push_back({w, h, w / xppi, h / yppi});
  }
  return out;
}

class DesignerCommands : public NewUser {
 protected:
  CKmView& View() { return MainFrame().m_wndLayoutView; }
  HWND ViewWindow() { return View().m_hWnd; }
  LayoutTables& Layout() { return *Doc().m_pLayout; }
  const BandLineRec& LineRec(int i) { return Doc().m_bandLines.lines[i]; }
  // A click on the layout at x and just above band line i's bottom.
  void ClickLine(int i, int x) { Click(ViewWindow(), x - Layout().scrollX, LineRec(i).bottom - 3 - Layout().scrollY); }
  std::vector<PictureItem*> Pictures() {
    std::vector<PictureItem*> out;
    for (int i = 0; i < Layout().pictures.Count(); ++i)
      if (!(Layout().pictures.At(i)->head.flags & (kItemDeleted | kItemInClipboard))) out.push_back(Layout().pictures.At(i));
    return out;
  }
  TextItem* Text(const char* s) {
    for (TextItem* x = Layout().textHead; x; x = x->nextText)
      if (!(x->head.flags & (kItemDeleted | kItemInClipboard)) && x->text && std::strcmp(x->text, s) == 0) return x;
    return nullptr;
  }
  // The dialog of that caption when it shows, given to act once.
  std::function<bool()> OnDialog(const std::string& caption, std::function<void(HWND)> act) {
    return answer_box::Step({caption}, std::move(act));
  }
  // Ctrl+S, the report read back from the recent-file list, printed: the PDF's text.
  std::string SaveReopenPrint() {
    ui_test::Key(ViewWindow(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(Doc().IsModified());
    SendMessageA(Frame(), WM_COMMAND, kCmdRecentFileFirst, 0);
    EXPECT_TRUE(Doc().m_bReportOpen);
    EXPECT_TRUE(Run(kFilePrint, {}));
    pdf_ = Dir() + "/sales.pdf";
    return program_run::Capture("pdftotext -layout '" + pdf_ + "' -");
  }
  std::string pdf_;
};

TEST_F(DesignerCommands, ClickBelowTheLinesEdgeDragF2AndPropertiesOfMarkedLines) {
  ASSERT_NE(Start(), nullptr);
  const int last = Doc().m_bandLines.lastUsed;
  ASSERT_EQ(last, 6);

  // A click three lines below the last used one puts the caret there, and
  // Shift+F11 (Insert Band Line) makes the table reach it.
  ClickLine(last + 3, 100);
  EXPECT_EQ(View().CaretLine(), last + 3);
  ui_test::Key(ViewWindow(), Qt::Key_F11, Qt::ShiftModifier);
  EXPECT_EQ(Doc().m_bandLines.lastUsed, last + 3);
  EXPECT_EQ(LineRec(last + 3).kind, LineRec(last).kind) << "the new lines join the last band";

  // F2 on the "Date" heading opens the in-place editor on it; Esc leaves it as it was.
  ClickLine(1, 125);
  ui_test::Key(ViewWindow(), Qt::Key_F2);
  ASSERT_TRUE(View().EditorOpen()) << "F2 on a text edits it in place";
  EXPECT_EQ(View().TextEditor()->Text(), "Date");
  // The editor keeps its keys: Delete takes a letter, not the heading.
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Home);
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Delete);
  ASSERT_TRUE(View().EditorOpen());
  EXPECT_EQ(View().TextEditor()->Text(), "ate");
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Escape);
  EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));

  // Typing at the layout's last column starts no text; a column to the left it does.
  ClickLine(5, 0);
  for (int i = 0; i < 300; ++i) ui_test::Key(ViewWindow(), Qt::Key_Right);
  for (int i = 0; i < 5 && View().m_nCaretX / 10 > 253; ++i) ui_test::Key(ViewWindow(), Qt::Key_Left);
  ASSERT_EQ(View().m_nCaretX / 10, 253) << "column 253 of 254";
  ui_test::Key(ViewWindow(), Qt::Key_Z, Qt::NoModifier, "Z");
  EXPECT_FALSE(View().EditorOpen());
  ui_test::Key(ViewWindow(), Qt::Key_Left);
  ui_test::Key(ViewWindow(), Qt::Key_Z, Qt::NoModifier, "Z");
  ASSERT_TRUE(View().EditorOpen());
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Escape);
  EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  ui_test::Key(ViewWindow(), Qt::Key_Home);

  // The record line marked in the band pane: F9 opens the band-line dialog
  // (not the fields' properties), where it becomes a freeform line of 30 points.
  CBandView& pane = MainFrame().m_wndBandView;
  const int shift = pane.GetRulerOffset();
  Click(pane.m_hWnd, 10, LineRec(3).bottom - 6 + shift);
  ASSERT_EQ(View().MarkedLineCount(), 1);
  std::string shown, offered;
  EXPECT_TRUE(While([&] { ui_test::Key(ViewWindow(), Qt::Key_F9); },
                    {OnDialog("Band Line Properties", [&](HWND d) {
                      shown = "Band Line Properties";
                      ui_test::Click(GetDlgItem(d, 251));
                      offered = ui_test::Text(GetDlgItem(d, 254));
                      ui_test::Click(GetDlgItem(d, 253));
                      SetDlgItemTextA(d, 254, "30");
                      SendMessageA(d, WM_COMMAND, IDOK, 0);
                    })}));
  EXPECT_EQ(shown, "Band Line Properties");
  EXPECT_FALSE(offered.empty()) << "Freeform offers the line's present height, not an empty box";
  ASSERT_NE(LineRec(3).heightMode, 0) << "the record line is freeform now";
  const int before = LineRec(3).pixelHeight;

  // Its bottom edge dragged 24 pixels down in the band pane makes it that
  // much taller (whole line pitches while snapping is on).
  const int edgeY = LineRec(3).bottom - 2 - Layout().scrollY + shift;
  QWidget* w = pane.m_hWnd->widget.data();
  Mouse(w, QEvent::MouseButtonPress, QPoint(10, edgeY));
  EXPECT_EQ(View().Mode(), 0x200) << "the press took the edge, not the lines";
  Mouse(w, QEvent::MouseMove, QPoint(10, edgeY + 12));
  Mouse(w, QEvent::MouseMove, QPoint(10, edgeY + 24));
  Mouse(w, QEvent::MouseButtonRelease, QPoint(10, edgeY + 24));
  EXPECT_EQ(View().Mode(), 0);
  EXPECT_GE(LineRec(3).pixelHeight, before + 22);
  EXPECT_LT(LineRec(3).pixelHeight, before + 24 + Layout().DefaultLineHeight());
  const int height = LineRec(3).pixelHeight;

  const std::string text = SaveReopenPrint();
  EXPECT_EQ(LineRec(3).pixelHeight, height) << "the dragged height was saved";
  EXPECT_EQ(Doc().m_bandLines.lastUsed, last + 3);
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  std::filesystem::remove(pdf_);
}

TEST_F(DesignerCommands, TextFileClipboardTextAndSpaceInsertedAndDeleted) {
  ASSERT_NE(Start(), nullptr);
  const std::string file = Dir() + "/notes.txt";
  std::ofstream(file) << "Alpha line one\r\n\tTabbed two\n\nGamma three\n";

  // Insert > Text File at the caret under the summary: one text per line.
  ClickLine(7, 20);
  ASSERT_EQ(View().CaretLine(), 7);
  EXPECT_TRUE(Run(30430, {OnDialog("Text File", [&](HWND d) {
                    SetDlgItemTextA(d, 200, file.c_str());
                    SendMessageA(d, WM_COMMAND, IDOK, 0);
                  })}));
  ASSERT_NE(Text("Alpha line one"), nullptr);
  ASSERT_NE(Text("        Tabbed two"), nullptr) << "a tab is blanks to the next eighth column";
  ASSERT_NE(Text("Gamma three"), nullptr);
  EXPECT_EQ(Text("Alpha line one")->head.bandLine, 7);
  EXPECT_EQ(Text("Gamma three")->head.bandLine, 10) << "the blank line kept its place";
  EXPECT_EQ(LineRec(10).kind, LineRec(7).kind);

  // Shift+F3 on an empty spot types the clipboard's text there; typed after
  // a letter it goes on in the open editor.
  ASSERT_TRUE(WriteClipboardText("Pasted words"));
  ClickLine(0, 500);
  ui_test::Key(ViewWindow(), Qt::Key_F3, Qt::ShiftModifier);
  ASSERT_TRUE(View().EditorOpen());
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
  EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  EXPECT_NE(Text("Pasted words"), nullptr);
  ClickLine(9, 20);
  ui_test::Key(ViewWindow(), Qt::Key_Q, Qt::NoModifier, "Q");
  ASSERT_TRUE(View().EditorOpen());
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(View().TextEditor()->Text(), "QPasted words");
  ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
  EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  EXPECT_NE(Text("QPasted words"), nullptr);

  // Alt+Ins twice and Alt+Del once at the page header's left edge: the
  // headings right of the caret end one cell (a tenth of an inch) further
  // right, on the layout and on paper.
  EXPECT_TRUE(Run(kFilePrint, {}));
  const double printedOrder = WordX(Dir() + "/sales.pdf", "Order");
  ASSERT_GT(printedOrder, 0);
  ClickLine(1, 0);
  const int order = Text("Order")->head.left, amount = Text("Amount")->head.left;
  ui_test::Key(ViewWindow(), Qt::Key_Insert, Qt::AltModifier);
  ui_test::Key(ViewWindow(), Qt::Key_Insert, Qt::AltModifier);
  EXPECT_EQ(Text("Order")->head.left, order + 20);
  ui_test::Key(ViewWindow(), Qt::Key_Delete, Qt::AltModifier);
  EXPECT_EQ(Text("Order")->head.left, order + 10);
  EXPECT_EQ(Text("Amount")->head.left, amount + 10);

  const std::string text = SaveReopenPrint();
  ASSERT_NE(Text("Order"), nullptr);
  EXPECT_EQ(Text("Order")->head.left, order + 10);
  for (const char* s : {"Alpha line one", "Tabbed two", "Gamma three", "Pasted words", "QPasted words"})
    EXPECT_NE(text.find(s), std::string::npos) << s << " in\n" << text;
  EXPECT_NEAR(WordX(pdf_, "Order") - printedOrder, 7.2, 1.0) << "the heading printed a tenth of an inch further right";
  std::filesystem::remove(pdf_);
}

TEST_F(DesignerCommands, ScreensPicturePropertiesCopiesAndTheTextFileDialog) {
  ASSERT_NE(Start(), nullptr);
  // The Text File dialog as it first shows, then cancelled.
  EXPECT_TRUE(Run(30430, {OnDialog("Text File", [&](HWND d) {
                    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("dialog-text-file").c_str()));
                    SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
                  })}));
  // A picture of 120 x 60 pixels placed on the title line from its file.
  ImageLibrary lib;
  std::vector<uint8_t> px(120 * 60 * 4, 0x80);
  void* image = lib.ImgCreateHandle(120, 60, px.data(), px.size());
  ASSERT_NE(image, nullptr);
  const std::string png = Dir() + "/logo.png";
  ASSERT_EQ(lib.ImgSaveBitmap(image, png.c_str()), 0);
  const int titleY = LineRec(0).bottom - 2;
  // Insert > Picture arms the tool; a click where it goes asks for the file.
  SendMessageA(Frame(), WM_COMMAND, 30460, 0);
  EXPECT_TRUE(While([&] { Click(ViewWindow(), 600, titleY); },
                    {[&] { return ui_test::AnswerFileDialog([&](const std::string&, std::string* f) {
                        *f = png;
                        return true;
                      }); }}));
  ASSERT_EQ(Layout().pictures.Count(), 1);
  PictureItem& p = *Layout().pictures.At(0);

  // F9 on it: the Picture Properties dialog, where crop at half an inch by a
  // quarter shows the image's top left corner at its own scale.
  View().ClearSelection();
  Click(ViewWindow(), p.head.left + 5 - Layout().scrollX, p.head.top + 5 - Layout().scrollY);
  ASSERT_EQ(View().CountSelected(kItemKindPicture), 1);
  std::string name;
  EXPECT_TRUE(While([&] { ui_test::Key(ViewWindow(), Qt::Key_F9); },
                    {OnDialog("Picture Properties", [&](HWND d) {
                      EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("dialog-picture-properties").c_str()));
                      name = ui_test::Text(GetDlgItem(d, 1012));
                      ui_test::Click(GetDlgItem(d, 1009));
                      SetDlgItemTextA(d, 1001, "0.50");
                      SetDlgItemTextA(d, 1002, "0.25");
                      SendMessageA(d, WM_COMMAND, IDOK, 0);
                    })}));
  EXPECT_EQ(name, png);
  EXPECT_EQ(p.scaling, kScaleCrop);
  EXPECT_EQ(p.head.right - p.head.left + 1, 50);
  EXPECT_EQ(p.head.bottom - p.head.top + 1, 24);
  EXPECT_EQ(p.source[2], 50);
  EXPECT_EQ(p.source[3], 24);
  EXPECT_EQ(p.shownWidth, 50);
  EXPECT_NE(std::string(MainFrame().m_wndStatusBar.GetText()).find("0.50W x 0.25H"), std::string::npos)
      << "the status line gives the new size: " << MainFrame().m_wndStatusBar.GetText();

  // Copied and pasted: the copy has its own screen bitmap, so it draws.
  ui_test::Key(ViewWindow(), Qt::Key_C, Qt::ControlModifier);
  ClickLine(7, 20);
  ui_test::Key(ViewWindow(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(Pictures().size(), 2u);
  EXPECT_NE(Pictures()[1]->screenBitmap, NoScreenBitmap());
  EXPECT_NE(Pictures()[1]->image, Pictures()[0]->image);
  const size_t held = Layout().pictures.Count();

  // The file gone, a copy says so and adds nothing.
  std::filesystem::copy_file(png, png + ".kept");
  std::filesystem::remove(png);
  View().ClearSelection();
  View().SelectObject(Layout().pictures.At(0)->head, true);
  std::string said;
  EXPECT_TRUE(While([&] { ui_test::Key(ViewWindow(), Qt::Key_C, Qt::ControlModifier); },
                    {[&] {
                      HWND d = ui_test::ActiveDialog();
                      if (d == nullptr || !ui_test::TakeAnswerMark(d)) return false;
                      for (HWND c : {GetDlgItem(d, 0xFFFF), GetDlgItem(d, 100)})
                        if (c) said += ui_test::Text(c);
                      said += ui_test::Text(d);
                      SendMessageA(d, WM_COMMAND, IDOK, 0);
                      return true;
                    }}));
  EXPECT_FALSE(said.empty()) << "the copy told the user";
  EXPECT_EQ(static_cast<size_t>(Layout().pictures.Count()), held - 1) << "the old copy left the clipboard, no new one";
  std::filesystem::rename(png + ".kept", png);

  const std::string text = SaveReopenPrint();
  ASSERT_EQ(Pictures().size(), 2u);
  EXPECT_EQ(Layout().pictures.At(0)->shownWidth, 50) << "half an inch";
  EXPECT_EQ(Layout().pictures.At(0)->shownHeight, 25) << "a quarter";
  EXPECT_EQ(Layout().pictures.At(0)->source[2], 50) << "the crop read back inside the image";
  // Each picture read back draws once the view shows it: its screen bitmap
  // fills its rectangle.
  InvalidateRect(ViewWindow(), nullptr, TRUE);
  EXPECT_TRUE(Pump([&] {
    for (PictureItem* read : Pictures())
      if (read->screenBitmap == NoScreenBitmap()) return false;
    return true;
  }));
  for (PictureItem* read : Pictures()) {
    ASSERT_NE(read->screenBitmap, NoScreenBitmap());
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, read->screenBitmap);
    const int w = read->head.right - read->head.left + 1, h = read->head.bottom - read->head.top + 1;
    EXPECT_NE(GetPixel(mem, w - 1, h - 1), CLR_INVALID) << "a bitmap of " << w << " x " << h;
    EXPECT_EQ(GetPixel(mem, w, h), CLR_INVALID);
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  // Both pictures print cropped, the image's top left corner of 50 by 24
  // pixels, at about half an inch by a quarter (the printed width goes by the
  // print's horizontal units).
  const std::vector<PrintedImage> images = PrintedImages(pdf_);
  ASSERT_EQ(images.size(), 2u);
  for (const PrintedImage& i : images) {
    EXPECT_EQ(i.width, 50);
    EXPECT_EQ(i.height, 24);
    EXPECT_NEAR(i.inchesAcross, 0.50, 0.05);
    EXPECT_NEAR(i.inchesDown, 0.25, 0.02);
  }
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  std::filesystem::remove(pdf_);
}

}  // namespace
}  // namespace new_user
