// An embedded object in a report, in the program offscreen: the sample
// report's file given one object after its records (built from the list's
// byte layout, with an object storage naming its type), opened in the frame,
// selected, moved and resized with the mouse, cleared and brought back, cut
// and pasted,
// saved with the object's own bytes unchanged, read back, printed with /G
// and as a Report Specification, and pictured in the designer.
#include "app/app.h"
#include "app/document.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "engine/output_messages.h"
#include "files/report_io.h"
#include "foundation/byte_order.h"
#include "layout/item_tables.h"
#include "platform/ole/compound_file.h"
#include "platform/win/beep.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/program_run.h"
#include "tests/support/screens.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_run::Capture;
using program_run::ProgramPath;

const char kTypeName[] = "Sketchpad Picture";

// The object's own data, which no program here can read.
std::vector<uint8_t> ObjectData() {
  std::vector<uint8_t> d;
  for (int i = 0; i < 300; ++i) d.push_back(static_cast<uint8_t>(i * 7 + 3));
  return d;
}

// The object's record: on line, its top offset above the line's bottom.
std::vector<uint8_t> ObjectRecord(int line, int offset, int left, int width, int height) {
  std::vector<uint8_t> r(kOleItemRecordSize, 0);
  PutU32(r.data(), kOleItemMagic);
  PutU32(r.data() + 4, kOleItemVersion);
  uint8_t* h = r.data() + 8;
  h[0] = static_cast<uint8_t>(line);
  PutU32(h + 1, static_cast<uint32_t>(offset));
  PutU32(h + 7, 0x202);
  PutU32(h + 27, static_cast<uint32_t>(left));
  PutU32(h + 31, 0);
  PutU32(h + 35, static_cast<uint32_t>(left + width));
  PutU32(h + 39, static_cast<uint32_t>(height));
  PutU32(h + 43, static_cast<uint32_t>(height + 1));
  r[78] = 16;
  PutU32(r.data() + 80, static_cast<uint32_t>(width));             // 100 px an inch across
  PutU32(r.data() + 84, static_cast<uint32_t>(height * 100 / 96));  // 96 px an inch down
  for (int at : {88, 96}) {
    PutU32(r.data() + at, static_cast<uint32_t>(width));
    PutU32(r.data() + at + 4, static_cast<uint32_t>(height));
  }
  return r;
}

std::vector<uint8_t> CompObj(const std::string& type) {
  // The header, the type's length and the type with its null.
  std::vector<uint8_t> s(28 + 4 + type.size() + 1, 0);
  PutU32(s.data() + 28, static_cast<uint32_t>(type.size() + 1));
  std::copy(type.begin(), type.end(), s.begin() + 32);
  return s;
}

// The bytes after the records of the file's Contents stream.
std::vector<uint8_t> ObjectList(const std::string& path, vt_ole::Storage* root) {
  if (vt_ole::ReadStorageFile(path, *root) != vt_ole::StorageError::kNone) return {};
  const vt_ole::Stream* c = root->FindStream("Contents");
  if (c == nullptr) return {};
  const size_t records = RecordStreamLength(c->data.data(), c->data.size());
  return std::vector<uint8_t>(c->data.begin() + static_cast<std::ptrdiff_t>(records), c->data.end());
}

struct Word {
  std::string text;
  double xMin = 0, yMin = 0;
};
std::vector<Word> PdfWords(const std::string& pdf) {
  std::vector<Word> words;
  std::istringstream in(Capture("pdftotext -bbox '" + pdf + "' - 2>/dev/null"));
  std::string line;
  while (std::getline(in, line)) {
    const size_t at = line.find("<word xMin=\"");
    if (at == std::string::npos) continue;
    Word w;
    w.xMin = std::atof(line.c_str() + at + 12);
    const size_t y = line.find("yMin=\"");
    if (y != std::string::npos) w.yMin = std::atof(line.c_str() + y + 6);
    const size_t open = line.find('>', at), close = line.find("</word>");
    if (open != std::string::npos && close != std::string::npos) w.text = line.substr(open + 1, close - open - 1);
    words.push_back(w);
  }
  return words;
}
const Word* Find(const std::vector<Word>& words, const std::string& text) {
  for (const Word& w : words)
    if (w.text == text) return &w;
  return nullptr;
}

class OleItemScreensScenario : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_dir = window_sample::Make("/tmp/vt_oleitem", {"sqlite3", "pdftotext"}); }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, poppler or the SQLite ODBC driver is missing";
    // The print runs write their PDF into the working folder.
    ASSERT_EQ(::chdir(s_dir.c_str()), 0);
  }
  void TearDown() override {
    if (app_) app_->ExitInstance();
    app_.reset();
  }

  CMainFrame* Start(const std::string& report) {
    if (app_) app_->ExitInstance();
    app_ = std::make_unique<CKmApp>();
    frame_ = window_sample::StartFrame(*app_, {report});
    SetPrintDialogRunner(nullptr);
    SetOutputMessageSink([](const std::string&, const std::string&) {});
    return frame_;
  }
  static bool Pump(const std::function<bool()>& done) { return window_sample::PumpUntil(done); }
  CKmDoc& Doc() { return *frame_->m_pDoc; }
  LayoutTables& Layout() { return *Doc().m_pLayout; }
  CKmView& View() { return frame_->m_wndLayoutView; }
  CKmCntrItem* Object() { return Layout().oleItems.Count() == 1 ? Layout().oleItems.At(0) : nullptr; }
  void Command(UINT id) { SendMessageA(frame_->m_hWnd, WM_COMMAND, id, 0); }
  static LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
  void Drag(POINT a, POINT b) {
    HWND w = View().m_hWnd;
    SendMessageA(w, WM_LBUTTONDOWN, 1, At(a.x, a.y));
    SendMessageA(w, WM_MOUSEMOVE, 1, At((a.x + b.x) / 2, (a.y + b.y) / 2));
    SendMessageA(w, WM_MOUSEMOVE, 1, At(b.x, b.y));
    SendMessageA(w, WM_LBUTTONUP, 0, At(b.x, b.y));
  }
  POINT Centre(const ReportItemHead& h) {
    const RECT r = View().ViewRect(h);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  // Prints the report with /G in another process; the PDF's words.
  std::vector<Word> PrintWithG(const std::string& report) {
    int status = -1;
    const std::string out = Capture("cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                        s_dir + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                        ProgramPath() + "' /G '" + report + "' 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << out;
    return PdfWords(fs::path(report).replace_extension(".pdf").string());
  }
  // The sample report's file with one object, its top at its line's top; a
  // linked one when link is set.
  std::string MakeReportWithObject(int* line, bool link = false) {
    vt_ole::Storage root;
    EXPECT_EQ(vt_ole::ReadStorageFile(s_dir + "/sales.kmw", root), vt_ole::StorageError::kNone);
    if (Start(s_dir + "/sales.kmw") == nullptr) return "";
    *line = 0;
    while (*line < kBandLineCount && Layout().bandRecords[*line].kind != kBandSummary) ++*line;
    const int tall = Layout().bandRecords[*line].pixelHeight;
    vt_ole::Stream* c = root.FindStream("Contents");
    if (c == nullptr) return "";
    c->data.resize(RecordStreamLength(c->data.data(), c->data.size()));
    const std::vector<uint8_t> data = ObjectData();
    const std::vector<uint8_t> record = ObjectRecord(*line, tall - 1, 30, 200, 48);
    c->data.push_back(1);
    c->data.push_back(0);
    c->data.insert(c->data.end(), data.begin(), data.end());
    c->data.insert(c->data.end(), record.begin(), record.end());
    vt_ole::Storage& object = root.PutStorage("Embedding 1");
    object.PutStream("\001CompObj", CompObj(kTypeName));
    if (link) {
      std::vector<uint8_t> ole(20, 0);
      PutU32(ole.data(), 0x02000001);
      PutU32(ole.data() + 4, 1);  // the object is a link
      object.PutStream("\001Ole", ole);
    }
    const std::string path = s_dir + (link ? "/linked.kmw" : "/object.kmw");
    EXPECT_EQ(vt_ole::WriteStorageFile(path, root), vt_ole::StorageError::kNone);
    return path;
  }

  static std::string s_dir;
  std::unique_ptr<CKmApp> app_;
  CMainFrame* frame_ = nullptr;
};
std::string OleItemScreensScenario::s_dir;

TEST_F(OleItemScreensScenario, AnObjectIsMovedResizedClearedAndKeptByteForByte) {
  int line = 0;
  const std::string report = MakeReportWithObject(&line);
  ASSERT_FALSE(report.empty());
  const std::vector<Word> before = PrintWithG(report);
  const Word* placed = Find(before, "Sketchpad");
  ASSERT_NE(placed, nullptr) << "the placeholder names the object's type";
  ASSERT_NE(Start(report), nullptr);
  CKmCntrItem* object = Object();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->typeName, kTypeName);
  EXPECT_EQ(object->head.bandLine, line);
  EXPECT_EQ(object->head.top, Layout().bandRecords[line].bottom - Layout().bandRecords[line].pixelHeight + 1);
  EXPECT_EQ(object->head.left, 30);

  // The commands that need an object server stand in the menus, greyed.
  HMENU edit = GetSubMenu(GetMenu(frame_->m_hWnd), 1);
  frame_->UpdatePopup(edit);
  for (UINT id : {57639u, 57638u, 57857u, 57872u, 57858u, 57856u}) EXPECT_FALSE(frame_->IsCommandEnabled(id)) << id;
  for (UINT id : {57638u, 57857u, 57872u, 57858u})
    EXPECT_EQ(GetMenuState(edit, id, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED)) << id;

  // Selected by a click, then asked to open: the status line says why not.
  const POINT centre = Centre(object->head);
  SendMessageA(View().m_hWnd, WM_LBUTTONDOWN, 1, At(centre.x, centre.y));
  SendMessageA(View().m_hWnd, WM_LBUTTONUP, 0, At(centre.x, centre.y));
  EXPECT_EQ(View().CountSelected(kItemKindOle), 1);
  SendMessageA(View().m_hWnd, WM_LBUTTONDBLCLK, 1, At(centre.x, centre.y));
  SendMessageA(View().m_hWnd, WM_LBUTTONUP, 0, At(centre.x, centre.y));
  EXPECT_NE(std::string(frame_->m_wndStatusBar.GetText()).find("No program on this system"), std::string::npos)
      << frame_->m_wndStatusBar.GetText();
  EXPECT_FALSE(frame_->IsCommandEnabled(32774)) << "no picture of it to save";

  // Moved four cells right by the mouse.
  Drag(centre, POINT{centre.x + 41, centre.y});
  EXPECT_EQ(object->head.left, 70);
  EXPECT_EQ(object->head.bandLine, line);
  // Made wider by its corner handle: zoom keeps its shape.
  const RECT r = View().ViewRect(object->head);
  View().SelectObject(object->head, true);
  Drag(POINT{r.right + 1, r.bottom + 1}, POINT{r.right + 101, r.bottom + 40});
  const int width = object->head.right - object->head.left, height = object->head.bottom - object->head.top;
  EXPECT_GT(width, 200);
  EXPECT_NEAR(height * 200.0 / width, 48.0, 1.0) << width << " x " << height;
  EXPECT_EQ(object->shown[0], width);

  // Cleared and brought back by Undo.
  View().ClearSelection();
  View().SelectObject(object->head, true);
  Command(30140);
  EXPECT_EQ(Doc().CountClientItems(), 0);
  Command(30100);
  EXPECT_EQ(Doc().CountClientItems(), 1);
  View().ClearSelection();
  View().SelectObject(object->head, true);
  InvalidateRect(View().m_hWnd, nullptr, TRUE);
  Pump([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame_->m_hWnd, ScreenPath("ole-item-designer").c_str()));

  // Saved: the object's own bytes and its storage as they came, its record where it now stands.
  const std::string moved = s_dir + "/object-moved.kmw";
  ASSERT_TRUE(Doc().OnSaveDocument(moved.c_str()));
  vt_ole::Storage root;
  const std::vector<uint8_t> list = ObjectList(moved, &root);
  const std::vector<uint8_t> data = ObjectData();
  ASSERT_EQ(list.size(), 2 + data.size() + kOleItemRecordSize);
  EXPECT_EQ(GetU16(list.data()), 1);
  EXPECT_EQ(std::vector<uint8_t>(list.begin() + 2, list.begin() + 2 + static_cast<std::ptrdiff_t>(data.size())), data);
  const uint8_t* rec = list.data() + 2 + data.size();
  EXPECT_EQ(GetU32(rec), kOleItemMagic);
  EXPECT_EQ(static_cast<int32_t>(GetU32(rec + 8 + 27)), 70);
  EXPECT_EQ(static_cast<int32_t>(GetU32(rec + 8 + 35)) - 70, width);
  ASSERT_NE(root.FindStorage("Embedding 1"), nullptr);
  EXPECT_EQ(root.FindStorage("Embedding 1")->FindStream("\001CompObj")->data, CompObj(kTypeName));

  // Read back where it was left, and printed there.
  ASSERT_NE(Start(moved), nullptr);
  object = Object();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->head.left, 70);
  EXPECT_EQ(object->head.right - object->head.left, width);
  EXPECT_EQ(object->typeName, kTypeName);
  // The Report Specification lists it by its type.
  const std::string spec = s_dir + "/object-moved.pdf";
  fs::remove(spec);
  GetPrintRunContext().printWhat = 2;
  PostMessageA(frame_->m_hWnd, WM_COMMAND, 30030, 0);
  Pump([&] { return fs::exists(spec) && GetPrintRunContext().printing == 0; });
  GetPrintRunContext().printWhat = 0;
  const std::string specText = Capture("pdftotext -layout '" + spec + "' - 2>/dev/null");
  EXPECT_NE(specText.find("OLE OBJECT FIELDS"), std::string::npos) << specText;
  const size_t row = specText.find(kTypeName, specText.find("OLE OBJECT FIELDS"));
  ASSERT_NE(row, std::string::npos) << specText;
  EXPECT_NE(specText.find("Zoom", row), std::string::npos);
  frame_ = nullptr;
  app_->ExitInstance();
  app_.reset();

  const std::vector<Word> after = PrintWithG(moved);
  // The printed page, pictured beside the designer's.
  const std::string page = ScreenPath("ole-item-printed");
  Capture("pdftoppm -r 60 -f 1 -l 1 -singlefile -png '" + s_dir + "/object-moved.pdf' '" +
          page.substr(0, page.size() - 4) + "'");
  EXPECT_TRUE(fs::exists(page));
  const Word* shifted = Find(after, "Sketchpad");
  ASSERT_NE(shifted, nullptr);
  EXPECT_NEAR(shifted->xMin - placed->xMin, 4 * 7.2, 1.5) << "four cells of a tenth of an inch";
  EXPECT_NEAR(shifted->yMin, placed->yMin, 1.0);
}

TEST_F(OleItemScreensScenario, ACutObjectIsPastedBackAndAClearedOneIsLeftOut) {
  int line = 0;
  const std::string report = MakeReportWithObject(&line);
  ASSERT_FALSE(report.empty());
  ASSERT_NE(Start(report), nullptr);
  ASSERT_NE(Object(), nullptr);
  // Cut, then pasted at the caret on the line above: moved, not lost.
  View().SelectObject(Object()->head, true);
  Command(30110);
  EXPECT_EQ(Doc().CountClientItems(), 0);
  View().CaretToLine(line - 1);
  View().CaretHome();
  Command(30130);
  ASSERT_EQ(Doc().CountClientItems(), 1);
  EXPECT_EQ(Object()->head.bandLine, line - 1);
  const std::string pasted = s_dir + "/object-pasted.kmw";
  ASSERT_TRUE(Doc().OnSaveDocument(pasted.c_str()));
  vt_ole::Storage root;
  const std::vector<uint8_t> list = ObjectList(pasted, &root);
  const std::vector<uint8_t> data = ObjectData();
  ASSERT_EQ(list.size(), 2 + data.size() + kOleItemRecordSize);
  EXPECT_EQ(std::vector<uint8_t>(list.begin() + 2, list.begin() + 2 + static_cast<std::ptrdiff_t>(data.size())), data);
  EXPECT_EQ(list[2 + data.size() + 8], line - 1) << "its record names its new line";
  // Cleared and saved: the list is empty.
  View().ClearSelection();
  View().SelectObject(Object()->head, true);
  Command(30140);
  const std::string cleared = s_dir + "/object-cleared.kmw";
  ASSERT_TRUE(Doc().OnSaveDocument(cleared.c_str()));
  EXPECT_EQ(ObjectList(cleared, &root), (std::vector<uint8_t>{0, 0}));
  ASSERT_NE(Start(cleared), nullptr);
  EXPECT_EQ(Layout().oleItems.Count(), 0);
  const std::vector<Word> printed = PrintWithG(cleared);
  EXPECT_EQ(Find(printed, "Sketchpad"), nullptr);
  EXPECT_NE(Find(printed, "Grand"), nullptr);
}


// F9 on a selected object opens its Object Properties (size and scaling);
// a new size and mode are kept through save, reopen and print. Format >
// Properties is greyed while the selection mixes kinds that share no dialog.
TEST_F(OleItemScreensScenario, F9OnAnObjectOpensItsPropertiesAndMixedSelectionsHaveNone) {
  int line = 0;
  const std::string report = MakeReportWithObject(&line);
  ASSERT_FALSE(report.empty());
  ASSERT_NE(Start(report), nullptr);
  CKmCntrItem* object = Object();
  ASSERT_NE(object, nullptr);
  constexpr UINT kProperties = 30504;
  auto placed = [&](const char* name) -> ReportItemHead& {
    for (FieldDef* f = Doc().m_pModel->fieldList; f != nullptr; f = f->next)
      if (std::string(f->name) == name) return f->head;
    ADD_FAILURE() << name;
    return object->head;
  };
  ReportItemHead& company = placed("company");
  ReportItemHead& country = placed("country");
  ReportItemHead& amount = placed("amount");
  ReportItemHead& text = Layout().textHead->head;
  struct Mix {
    std::vector<ReportItemHead*> items;
    bool enabled;
  } mixes[] = {{{&company, &text}, false},          {{&company, &amount}, false}, {{&object->head, &text}, false},
               {{&company, &country}, true},        {{&text, &Layout().textHead->nextText->head}, true},
               {{&object->head}, true}};
  for (const Mix& mix : mixes) {
    View().ClearSelection();
    for (ReportItemHead* h : mix.items) View().SelectObject(*h, true);
    EXPECT_EQ(frame_->IsCommandEnabled(kProperties), mix.enabled) << mix.items.size();
  }

  // The one object selected, F9: its size shown in inches, what it is,
  // the spins stepping the size, letters refused, a width of nothing
  // refused in the words of a field width, Stretch chosen and the width
  // typed anew.
  View().ClearSelection();
  View().SelectObject(object->head, true);
  std::string shownType, shownKind, shownWidth, stepped, afterLetter, refused;
  long beeps = 0;
  ui_test::WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    if (d == nullptr) return;
    char text[64] = {};
    GetWindowTextA(d, text, sizeof text);
    EXPECT_STREQ(text, "Object Properties");
    shownType = ui_test::Text(GetDlgItem(d, 1012));
    shownKind = ui_test::Text(GetDlgItem(d, 1011));
    shownWidth = ui_test::Text(GetDlgItem(d, 1001));
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("object-properties").c_str()));
    // Two steps up on the width's spin, one down on the height's.
    SendDlgItemMessageA(d, 1003, WM_KEYDOWN, VK_UP, 0);
    SendDlgItemMessageA(d, 1003, WM_KEYDOWN, VK_UP, 0);
    SendDlgItemMessageA(d, 1004, WM_KEYDOWN, VK_DOWN, 0);
    stepped = ui_test::Text(GetDlgItem(d, 1001)) + " x " + ui_test::Text(GetDlgItem(d, 1002));
    // A letter typed into a size is refused with a beep.
    beeps = BeepCount();
    SendDlgItemMessageA(d, 1001, WM_CHAR, 'x', 0);
    afterLetter = ui_test::Text(GetDlgItem(d, 1001));
    beeps = BeepCount() - beeps;
    SetDlgItemTextA(d, 1001, "0.00");
    ui_test::WhenRunning([&] {
      HWND m = ui_test::ActiveDialog();
      if (m == nullptr || m == d) return;
      refused = ui_test::Text(GetDlgItem(m, 200));
      SendMessageA(m, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(d, WM_COMMAND, IDOK, 0);
    SendDlgItemMessageA(d, 1010, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(d, 1008, BM_SETCHECK, BST_UNCHECKED, 0);
    SetDlgItemTextA(d, 1001, "3.00");
    SendMessageA(d, WM_COMMAND, IDOK, 0);
  });
  Command(kProperties);
  EXPECT_EQ(shownType, kTypeName);
  EXPECT_EQ(shownKind, "Embedded");
  EXPECT_EQ(shownWidth, "2.00") << "two hundred pixels at a hundred an inch";
  EXPECT_EQ(stepped, "2.20 x 0.40");
  EXPECT_EQ(afterLetter, "2.20");
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(refused, "Invalid field width value");
  EXPECT_EQ(object->scaling, 2);
  EXPECT_EQ(object->head.right - object->head.left, 300);
  EXPECT_EQ(object->head.bottom - object->head.top, 38) << "0.40 in at 96 pixels an inch down";
  EXPECT_TRUE(Doc().IsModified());

  // Saved, read back and printed: the new size stays.
  const std::string sized = s_dir + "/object-sized.kmw";
  ASSERT_TRUE(Doc().OnSaveDocument(sized.c_str()));
  ASSERT_NE(Start(sized), nullptr);
  object = Object();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->scaling, 2);
  EXPECT_EQ(object->head.right - object->head.left, 300);
  frame_ = nullptr;
  app_->ExitInstance();
  app_.reset();
  EXPECT_NE(Find(PrintWithG(sized), "Sketchpad"), nullptr);
}

// A linked object says so in its Object Properties, whose sizes read and
// show the document's decimal character; a size that no longer fits beside
// the object or below it on the layout moves the object back inside, whole.
// Saved, read back and printed.
TEST_F(OleItemScreensScenario, ObjectPropertiesNameALinkUseTheDecimalCommaAndKeepTheObjectInside) {
  std::ofstream(s_dir + "/win.ini") << "[intl]\nsDecimal=,\nsThousand=.\n";
  int line = 0;
  const std::string report = MakeReportWithObject(&line, true);
  ASSERT_FALSE(report.empty());
  ASSERT_NE(Start(report), nullptr);
  fs::remove(s_dir + "/win.ini");
  ASSERT_EQ(Doc().m_cDecimal, ',');
  CKmCntrItem* object = Object();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->objectType, kOleTypeLink);
  // Moved near the layout's right edge first, then made wider than the room left there.
  const int layoutWidth = View().LayoutWidth();
  object->head.left = layoutWidth - 250;
  object->head.right = layoutWidth - 50;
  View().ClearSelection();
  View().SelectObject(object->head, true);
  std::string shownKind, shownWidth;
  ui_test::WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    if (d == nullptr) return;
    shownKind = ui_test::Text(GetDlgItem(d, 1011));
    shownWidth = ui_test::Text(GetDlgItem(d, 1001));
    SendDlgItemMessageA(d, 1003, WM_KEYDOWN, VK_UP, 0);  // the spin writes with the comma too
    SendDlgItemMessageA(d, 1010, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(d, 1008, BM_SETCHECK, BST_UNCHECKED, 0);
    SetDlgItemTextA(d, 1001, "4,50");
    SetDlgItemTextA(d, 1002, "1,25");
    SendMessageA(d, WM_COMMAND, IDOK, 0);
  });
  Command(30504);
  EXPECT_EQ(shownKind, "Link");
  EXPECT_EQ(shownWidth, "2,00");
  EXPECT_EQ(object->head.right - object->head.left, 450);
  EXPECT_EQ(object->head.bottom - object->head.top, 120);
  EXPECT_LE(object->head.right, layoutWidth) << "back inside the layout's width";
  EXPECT_EQ(object->head.right, layoutWidth);
  EXPECT_GE(object->head.left, 0);
  EXPECT_GE(Layout().Lines().lastUsed, BandAtY(Layout().Lines(), object->head.bottom)) << "lines down to it";

  const std::string saved = s_dir + "/linked-sized.kmw";
  ASSERT_TRUE(Doc().OnSaveDocument(saved.c_str()));
  ASSERT_NE(Start(saved), nullptr);
  object = Object();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->objectType, kOleTypeLink);
  EXPECT_EQ(object->head.right - object->head.left, 450);
  EXPECT_EQ(object->head.right, layoutWidth);
  frame_ = nullptr;
  app_->ExitInstance();
  app_.reset();
  // At the layout's far right it lies beyond the paper; the report prints.
  const std::vector<Word> printed = PrintWithG(saved);
  EXPECT_EQ(Find(printed, "Sketchpad"), nullptr);
  EXPECT_NE(Find(printed, "Grand"), nullptr);
}

}  // namespace
