// The designer's editing in the program offscreen, on the sample report:
// cut and paste of a group of objects into another band, Clear then Undo,
// three band lines copied and pasted through the Paste dialog, pictures
// inserted through their file prompt and resized, and the instant report of
// /I. Each scenario saves, reads the file back and prints it (pdftotext,
// pdfimages), and leaves a picture of the view.
#include "app/app.h"
#include "app/document.h"
#include "core/composite.h"
#include "data/query_desc.h"
#include "dialogs/insert_field_dialog.h"
#include "platform/win/menu.h"
#include "designer/pictures.h"
#include "expr/functions_common.h"
#include "layout/item_tables.h"
#include "platform/image/image_library.h"
#include "platform/win/clipboard_formats.h"
#include "platform/win/clipboard_image.h"
#include "platform/win/dialog.h"
#include "platform/win/drop_target.h"
#include "platform/win/message_box.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/answer_box.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/window_sample.h"
#include "tests/support/screens.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;

// A dialog answered when it shows: the window layer's timer looks for it.
// A file dialog of that caption is answered by choosing the file given.
struct PendingAnswer {
  std::string caption;
  std::function<void(HWND)> act;
  std::string file;
};
std::vector<PendingAnswer>* g_answers = nullptr;

void LookForDialog(HWND, UINT, UINT_PTR, DWORD) {
  if (g_answers == nullptr || g_answers->empty()) return;
  if (!g_answers->front().file.empty()) {
    if (ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive(g_answers->front().caption)) {
      const std::string file = g_answers->front().file;
      g_answers->erase(g_answers->begin());
      fd.Choose(file);
    }
    return;
  }
  HWND d = answer_box::Take({g_answers->front().caption});
  if (d == nullptr) return;
  PendingAnswer a = g_answers->front();
  g_answers->erase(g_answers->begin());
  a.act(d);
}

void Press(HWND d, int id) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

class EditingScreensScenario : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_dir = window_sample::Make("/tmp/vt_editing", {"sqlite3", "pdftotext", "pdfimages"}); }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, poppler or the SQLite ODBC driver is missing";
    g_answers = &answers_;
    timer_ = SetTimer(nullptr, 0, 20, &LookForDialog);
  }
  void TearDown() override {
    KillTimer(nullptr, timer_);
    g_answers = nullptr;
    if (app_) app_->ExitInstance();
    app_.reset();
  }

  // The program started with these arguments, its frame at 1000 x 720.
  CMainFrame* Start(std::vector<std::string> args) {
    if (app_) app_->ExitInstance();
    app_ = std::make_unique<CKmApp>();
    args.insert(args.begin(), "vortelle");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (!app_->InitInstance(static_cast<int>(argv.size()), argv.data())) return nullptr;
    frame_ = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
    if (frame_ == nullptr) return nullptr;
    Pump([&] { return IsWindowVisible(frame_->m_hWnd) && frame_->m_pDoc && frame_->m_pDoc->m_bReportOpen; });
    ShowWindow(frame_->m_hWnd, SW_SHOWNORMAL);
    MoveWindow(frame_->m_hWnd, 0, 0, 1000, 720, TRUE);
    Pump([] { return true; });
    return frame_;
  }
  static bool Pump(const std::function<bool()>& done) { return window_sample::PumpUntil(done); }
  CKmDoc& Doc() { return *frame_->m_pDoc; }
  LayoutTables& Layout() { return *Doc().m_pLayout; }
  CKmView& View() { return frame_->m_wndLayoutView; }
  void Command(UINT id) { SendMessageA(frame_->m_hWnd, WM_COMMAND, id, 0); }
  void Answer(const std::string& caption, std::function<void(HWND)> act) { answers_.push_back({caption, std::move(act), ""}); }
  void AnswerFile(const std::string& caption, const std::string& file) { answers_.push_back({caption, nullptr, file}); }

  TextItem* Text(const char* s) {
    for (TextItem* x = Layout().textHead; x; x = x->nextText)
      if (!(x->head.flags & (kItemDeleted | kItemInClipboard)) && std::strcmp(x->text, s) == 0) return x;
    return nullptr;
  }
  FieldDef* Field(const char* name) {
    for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
      if (IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)) &&
          std::strcmp(f->name, name) == 0)
        return f;
    return nullptr;
  }
  // Saves under name, pictures the window, reads the file back in a fresh
  // start and prints it with /G; the printed text.
  std::string SaveReadBackPrint(const std::string& name, const std::function<void()>& checkReadBack) {
    const std::string path = s_dir + "/" + name + ".kmw";
    EXPECT_TRUE(Doc().OnSaveDocument(path.c_str()));
    EXPECT_TRUE(SaveWindowPicture(frame_->m_hWnd, ScreenPath("editing-" + name).c_str()));
    EXPECT_NE(Start({path}), nullptr) << "read back";
    if (frame_ != nullptr) checkReadBack();
    int status = -1;
    const std::string out = Capture("cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                        s_dir + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                        ProgramPath() + "' /G '" + path + "' 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << out;
    pdf_ = s_dir + "/" + name + ".pdf";
    return Capture("pdftotext -layout '" + pdf_ + "' - 2>/dev/null");
  }

  static std::string s_dir;
  std::unique_ptr<CKmApp> app_;
  CMainFrame* frame_ = nullptr;
  std::vector<PendingAnswer> answers_;
  UINT_PTR timer_ = 0;
  std::string pdf_;
};
std::string EditingScreensScenario::s_dir;

TEST_F(EditingScreensScenario, CutAndPasteOfAGroupOfObjectsIntoAnotherBand) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  const std::string before = SaveReadBackPrint("unchanged", [] {});
  const int totals = Count(before, "Customer total");
  ASSERT_GT(totals, 1) << before;
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  // The group footer's caption and total, selected as the keys would.
  TextItem* caption = Text("Customer total");
  FieldDef* total = Field("CustomerTotal");
  ASSERT_TRUE(caption && total);
  View().SelectObject(caption->head, true);
  View().SelectObject(total->head, true);
  Command(30110);
  EXPECT_EQ(Text("Customer total"), nullptr);
  EXPECT_EQ(Field("CustomerTotal"), nullptr) << "a cut field is hidden";
  // Into the Summary band, at the first column.
  int summary = 0;
  while (summary < kBandLineCount && Layout().bandRecords[summary].kind != kBandSummary) ++summary;
  View().CaretToLine(summary);
  View().CaretHome();
  Command(30130);
  caption = Text("Customer total");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->head.bandLine, summary);
  ASSERT_NE(Field("CustomerTotal"), nullptr);
  const std::string after = SaveReadBackPrint("cut-paste", [&] {
    TextItem* x = Text("Customer total");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(Layout().bandRecords[x->head.bandLine].kind, kBandSummary);
    FieldDef* f = Field("CustomerTotal");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->head.bandLine, x->head.bandLine);
  });
  EXPECT_EQ(Count(after, "Customer total"), 1) << "printed once, in the summary:\n" << after;
  EXPECT_GT(after.find("Customer total"), after.find("Grand total") == std::string::npos ? 0 : after.find("Orders"));
}

TEST_F(EditingScreensScenario, ClearThenUndoAndAClearThatStays) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  TextItem* product = Text("Product");
  TextItem* date = Text("Date");
  ASSERT_TRUE(product && date);
  View().SelectObject(product->head, true);
  Command(30140);
  EXPECT_EQ(Text("Product"), nullptr);
  char undo[64] = {};
  HMENU edit = GetSubMenu(GetMenu(frame_->m_hWnd), 1);
  frame_->UpdatePopup(edit);
  GetMenuStringA(edit, 30100, undo, sizeof undo, MF_BYCOMMAND);
  EXPECT_STREQ(undo, "&Undo Last Clear\bCtrl+Z");
  Command(30100);
  EXPECT_NE(Text("Product"), nullptr);
  View().ClearSelection();
  View().SelectObject(date->head, true);
  Command(30140);
  const std::string printed = SaveReadBackPrint("clear-undo", [&] {
    EXPECT_NE(Text("Product"), nullptr);
    EXPECT_EQ(Text("Date"), nullptr);
  });
  EXPECT_NE(printed.find("Product"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Date "), std::string::npos) << printed;
}

TEST_F(EditingScreensScenario, ThreeBandLinesCopiedAndPastedElsewhere) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  const int last = Layout().Lines().lastUsed;
  // The group header, record and group footer lines (2 to 4) marked in the band pane.
  for (int line = 2; line <= 4; ++line) frame_->m_wndBandView.MarkLine(line, true);
  frame_->m_wndBandView.SyncMarkedLines();
  Command(30120);
  // Pasted below the summary line through the Paste dialog.
  int summary = 0;
  while (summary < kBandLineCount && Layout().bandRecords[summary].kind != kBandSummary) ++summary;
  View().CaretToLine(summary);
  bool answered = false;
  Answer("Paste", [&](HWND d) {
    answered = true;
    CheckDlgButton(d, 210, BST_UNCHECKED);
    CheckDlgButton(d, 211, BST_CHECKED);
    Press(d, IDOK);
  });
  Command(30130);
  EXPECT_TRUE(answered);
  EXPECT_EQ(Layout().Lines().lastUsed, last + 3);
  for (int i = summary + 1; i <= summary + 3; ++i) EXPECT_EQ(Layout().bandRecords[i].kind, kBandSummary) << i;
  ASSERT_NE(Text("Grand total"), nullptr);
  EXPECT_EQ(Text("Grand total")->head.bandLine, summary) << "the lines went below it";
  const std::string printed = SaveReadBackPrint("copy-lines", [&] {
    EXPECT_EQ(Layout().Lines().lastUsed, last + 3);
    int captions = 0;
    for (TextItem* x = Layout().textHead; x; x = x->nextText) captions += std::strcmp(x->text, "Customer total") == 0;
    EXPECT_EQ(captions, 2);
  });
  const std::string once = Capture("pdftotext -layout '" + s_dir + "/unchanged.pdf' - 2>/dev/null");
  if (!once.empty()) EXPECT_EQ(Count(printed, "Customer total"), Count(once, "Customer total") + 1) << printed;
  else EXPECT_GE(Count(printed, "Customer total"), 2);
}

TEST_F(EditingScreensScenario, PicturesInsertedFromFilesResizedAndPrinted) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  // A PNG and a JPEG written by the image library.
  ImageLibrary lib;
  std::vector<uint8_t> px(120 * 60 * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = static_cast<uint8_t>(i % 251);
    px[i + 1] = 0x40;
    px[i + 2] = 0xC0;
    px[i + 3] = 0xFF;
  }
  void* image = lib.ImgCreateHandle(120, 60, px.data(), px.size());
  ASSERT_NE(image, nullptr);
  const std::string png = s_dir + "/logo.png", jpg = s_dir + "/photo.jpg";
  ASSERT_EQ(lib.ImgSaveBitmap(image, png.c_str()), 0);
  ASSERT_EQ(lib.ImgSaveBitmap(image, jpg.c_str()), 0);
  // Insert > Picture, then a click on the title line where each goes.
  const BandLineRec& title = Layout().Lines().lines[0];
  int x = 400;
  for (const std::string& file : {png, jpg}) {
    AnswerFile("Picture File", file);
    Command(30460);
    const LPARAM at = MAKELPARAM(x - Layout().scrollX, title.bottom - 2 - Layout().scrollY);
    SendMessageA(View().m_hWnd, WM_LBUTTONDOWN, 1, at);
    SendMessageA(View().m_hWnd, WM_LBUTTONUP, 0, at);
    x = 560;
  }
  ASSERT_EQ(Layout().pictures.Count(), 2);
  // Save As Picture writes the selected picture to the file its dialog names.
  const std::string saved = s_dir + "/saved-logo.bmp";
  View().ClearSelection();
  View().SelectObject(Layout().pictures.At(0)->head, true);
  AnswerFile("Picture File", saved);
  Command(32774);
  EXPECT_TRUE(fs::exists(saved) && fs::file_size(saved) > 0) << saved;
  EXPECT_STREQ(Doc().m_files.pictureDir, (s_dir + "/").c_str()) << "the folder is kept for the next picture";
  // The JPEG made larger, stretched (as its handles would).
  PictureItem& photo = *Layout().pictures.At(1);
  photo.scaling = kScaleStretch;
  FitPictureAspect(Layout(), photo, photo.head.left, photo.head.top, 160, 90);
  BuildPictureBitmap(Layout(), photo);
  EXPECT_EQ(photo.head.right - photo.head.left + 1, 160);
  // A damaged file is refused with its message and adds nothing.
  const std::string bad = s_dir + "/broken.png";
  std::ofstream(bad) << "\x89PNG\r\n\x1a\ngarbage";
  bool told = false;
  AnswerFile("Picture File", bad);
  Answer(Doc().m_szAppCaption, [&](HWND d) {
    told = true;
    Press(d, IDOK);
  });
  Command(30460);
  SendMessageA(View().m_hWnd, WM_LBUTTONDOWN, 1, MAKELPARAM(200, 10));
  SendMessageA(View().m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(200, 10));
  EXPECT_TRUE(told);
  EXPECT_EQ(Layout().pictures.Count(), 2);
  SaveReadBackPrint("pictures", [&] {
    ASSERT_EQ(Layout().pictures.Count(), 2);
    EXPECT_NE(std::string(Layout().pictures.At(0)->fileName).find("logo.png"), std::string::npos);
    EXPECT_NE(Layout().pictures.At(1)->image, nullptr);
  });
  const std::string images = Capture("pdfimages -list '" + pdf_ + "' 2>/dev/null");
  EXPECT_GE(Count(images, "\n") - 2, 2) << images;
}

TEST_F(EditingScreensScenario, InstantReportOfTheCommandLine) {
  ASSERT_NE(Start({"/NVortelleSample", "/Iorder_lines"}), nullptr);
  ASSERT_TRUE(Doc().m_bReportOpen);
  EXPECT_EQ(Layout().bandRecords[0].kind, kBandTitle);
  EXPECT_EQ(Layout().bandRecords[4].kind, kBandPageHeader);
  EXPECT_EQ(Layout().bandRecords[5].kind, kBandRecord);
  ASSERT_NE(Text("Printed: "), nullptr);
  ASSERT_NE(Field("Page_km"), nullptr);
  ASSERT_NE(Field("Recno_km"), nullptr);
  int onRecord = 0;
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
    if ((f->head.flags & kItemKindField) && f->head.bandLine == 5) {
      ++onRecord;
      EXPECT_GT(f->head.right, f->head.left) << f->name;
    }
  EXPECT_GE(onRecord, 3);
  // And draw them: a text field shows one mark a column.
  ASSERT_NE(Field("company"), nullptr);
  EXPECT_EQ(Field("company")->displayWidth, Field("company")->head.width);
  const std::string printed = SaveReadBackPrint("instant", [&] { EXPECT_NE(Field("Date_km"), nullptr); });
  EXPECT_NE(printed.find("Printed:"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Records printed:"), std::string::npos) << printed;
  EXPECT_NE(printed.find("order_lines"), std::string::npos) << printed;
  EXPECT_NE(printed.find("company"), std::string::npos) << printed;
  // The text fields print their values, as the numbers do.
  EXPECT_NE(printed.find("Brightwater Ltd"), std::string::npos) << printed;
  EXPECT_NE(printed.find("United Kingdom"), std::string::npos) << printed;
}

}  // namespace

// ---- What reaches the layout from outside: drops, handed-over queries,
// fields dragged from the palette, Band Line Justify, clipboard pictures.

namespace {

std::vector<unsigned char> PackedQuery(const std::string& sql) {
  QueryDesc q;
  q.name = "Lines";
  q.dataSource = "VortelleSample";
  q.query = sql;
  q.connect = "DSN=VortelleSample";
  std::vector<unsigned char> bytes(static_cast<size_t>(q.GetPackedSize()));
  q.Pack(bytes.data(), bytes.size());
  return bytes;
}

UINT QueryFormat() { return RegisterClipboardFormatA("RudizoVoruroQuery"); }

TEST_F(EditingScreensScenario, QueryDescriptorPastedStartsANewReport) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  // A damaged descriptor is refused with its message; the report stays.
  std::vector<unsigned char> bad = PackedQuery("select * from order_lines");
  bad.resize(bad.size() / 2);
  ASSERT_TRUE(WriteClipboardFormat(QueryFormat(), bad.data(), bad.size()));
  EXPECT_TRUE(frame_->IsCommandEnabled(30130));
  bool told = false;
  Answer(Doc().m_szAppCaption, [&](HWND d) {
    told = true;
    Press(d, IDOK);
  });
  Command(30130);
  EXPECT_TRUE(told);
  EXPECT_NE(Text("Customer total"), nullptr) << "the open report is left alone";

  const std::vector<unsigned char> packed =
      PackedQuery("select company, product, quantity from order_lines where quantity > 5");
  ASSERT_TRUE(WriteClipboardFormat(QueryFormat(), packed.data(), packed.size()));
  Command(30130);
  ASSERT_TRUE(Doc().m_bReportOpen);
  EXPECT_EQ(Text("Customer total"), nullptr) << "a new report";
  ASSERT_NE(Field("company"), nullptr);
  ASSERT_NE(Field("product"), nullptr);
  EXPECT_EQ(Field("quantity"), nullptr) << "past the page's printable width: a hidden field";
  EXPECT_EQ(Doc().m_pModel->reportViewName, "Lines");
  ClearClipboard();
  const std::string printed = SaveReadBackPrint("query-paste", [&] { EXPECT_NE(Field("product"), nullptr); });
  EXPECT_NE(printed.find("Brightwater Ltd"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Wool socks"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Canvas tent"), std::string::npos) << "only the query's rows:\n" << printed;
}

TEST_F(EditingScreensScenario, ReportFileAndQueryDroppedOnTheView) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  HWND view = View().m_hWnd;
  // A text file is refused at once.
  const std::string notes = s_dir + "/notes.txt";
  std::ofstream(notes) << "not a report\n";
  DropData text;
  text.files = {notes};
  EXPECT_EQ(DragDataOntoWindow(view, text, POINT{40, 40}, MK_LBUTTON), DROPEFFECT_NONE);
  DropData two;
  two.files = {s_dir + "/sales.kmw", s_dir + "/sales.kmw"};
  EXPECT_EQ(DragDataOntoWindow(view, two, POINT{40, 40}, MK_LBUTTON), DROPEFFECT_NONE) << "one file at a time";

  // The report file dropped opens it again, after the unsaved changes were
  // offered for saving.
  Text("Product")->head.left += CharCellWidth(Layout().metrics, 2);
  Doc().SetModifiedFlag(TRUE);
  std::string asked;
  SetMessageBoxResponder([&](const MessageBoxRecord& r) {
    asked = r.text;
    return IDNO;
  });
  DropData report;
  report.files = {s_dir + "/sales.kmw"};
  EXPECT_EQ(DragDataOntoWindow(view, report, POINT{40, 40}, MK_LBUTTON), DROPEFFECT_COPY);
  SetMessageBoxResponder(nullptr);
  EXPECT_NE(asked.find("Save changes to report"), std::string::npos) << asked;
  ASSERT_NE(Text("Customer total"), nullptr) << "the dropped report is open";
  EXPECT_FALSE(Doc().IsModified());

  // A query dropped: a new report on its SELECT.
  DropData query;
  const std::vector<unsigned char> packed = PackedQuery("select company, amount from order_lines");
  query.SetFormat(QueryFormat(), packed.data(), packed.size());
  EXPECT_EQ(DragDataOntoWindow(view, query, POINT{40, 40}, MK_LBUTTON), DROPEFFECT_COPY);
  ASSERT_NE(Field("amount"), nullptr);
  EXPECT_EQ(Text("Customer total"), nullptr);
  const std::string printed = SaveReadBackPrint("dropped", [&] { EXPECT_NE(Field("amount"), nullptr); });
  EXPECT_NE(printed.find("Fennick Tools"), std::string::npos) << printed;
  EXPECT_NE(printed.find("1299.50"), std::string::npos) << "10 boots at 129.95, with its cents:\n" << printed;
}

// The text of a message the program shows.
std::string DialogText(HWND d) {
  char text[600] = {};
  GetWindowTextA(GetDlgItem(d, 200), text, sizeof text);
  return text;
}

TEST_F(EditingScreensScenario, TableReportOpenedAfterAReportStartedFromAQuery) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  const std::vector<unsigned char> packed = PackedQuery("select company, product, quantity from order_lines");
  ASSERT_TRUE(WriteClipboardFormat(QueryFormat(), packed.data(), packed.size()));
  Command(30130);
  ClearClipboard();
  // The query's columns as far as the page holds them; quantity, past its
  // printable width, stays a hidden field of the report.
  ASSERT_NE(Field("product"), nullptr);
  EXPECT_EQ(Field("quantity"), nullptr);
  ASSERT_EQ(Text("Customer total"), nullptr);
  // The table report, dropped on the same frame, finds its table's own
  // columns: not the query's.
  Doc().SetModifiedFlag(FALSE);
  std::string said;
  Answer(Doc().m_szAppCaption, [&](HWND d) {
    said = DialogText(d);
    Press(d, IDOK);
  });
  DropData report;
  report.files = {s_dir + "/sales.kmw"};
  EXPECT_EQ(DragDataOntoWindow(View().m_hWnd, report, POINT{40, 40}, MK_LBUTTON), DROPEFFECT_COPY);
  EXPECT_EQ(said, "") << "no field is missing";
  answers_.clear();
  ASSERT_NE(Text("Customer total"), nullptr);
  ASSERT_NE(Field("country"), nullptr);
  const std::string printed = SaveReadBackPrint("query-then-table", [&] { EXPECT_NE(Field("country"), nullptr); });
  EXPECT_NE(printed.find("Customer total"), std::string::npos) << printed;
  EXPECT_NE(printed.find("United Kingdom"), std::string::npos) << printed;
}

TEST_F(EditingScreensScenario, LogicalTextsOfTheDefaultSettingsAndTheRecordsPrinted) {
  // The settings file is the suite's: it is given back as it was.
  struct KeptFile {
    std::string path, text;
    explicit KeptFile(std::string p) : path(std::move(p)) {
      std::ifstream in(path);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ~KeptFile() { std::ofstream(path, std::ios::trunc) << text; }
  } kept(s_dir + "/kmw.ini");
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  bool set = false;
  Answer("Default Settings", [&](HWND d) {
    set = true;
    SetDlgItemTextA(d, 215, "Yes");
    SetDlgItemTextA(d, 216, "No");
    Press(d, IDOK);
  });
  Command(32018);
  EXPECT_TRUE(set);
  EXPECT_STREQ(Doc().m_settings.logT, "Yes");
  // Seven orders: each prints its paid mark in the new texts, and the
  // summary counts the seven.
  const std::vector<unsigned char> packed = PackedQuery("select order_id, paid from orders");
  ASSERT_TRUE(WriteClipboardFormat(QueryFormat(), packed.data(), packed.size()));
  Command(30130);
  ClearClipboard();
  ASSERT_NE(Field("paid"), nullptr);
  const std::string printed = SaveReadBackPrint("logical-texts", [&] { EXPECT_NE(Field("paid"), nullptr); });
  EXPECT_EQ(Count(printed, "Yes"), 4) << printed;
  EXPECT_EQ(Count(printed, "No"), 3) << printed;
  const size_t count = printed.find("Records printed:");
  ASSERT_NE(count, std::string::npos) << printed;
  const size_t digits = printed.find_first_not_of(' ', count + 16);
  EXPECT_EQ(printed.substr(digits, printed.find_first_of(" \n", digits) - digits), "7") << printed;
}

TEST_F(EditingScreensScenario, FieldDraggedFromThePaletteGoesWhereItIsDropped) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  Command(30400);
  ASSERT_TRUE(Doc().m_pInsertField && IsWindow(Doc().m_pInsertField->m_hWnd));
  HWND palette = Doc().m_pInsertField->m_hWnd;
  HWND list = GetDlgItem(palette, kInsertFieldList);
  ASSERT_NE(list, nullptr);
  // The palette clear of the view's area where the field goes.
  MoveWindow(palette, 700, 420, 240, 260, TRUE);
  // The first entry, under the press below.
  const int entry = 0;
  const FieldDef* dragged = reinterpret_cast<FieldDef*>(SendMessageA(list, LB_GETITEMDATA, 0, 0));
  ASSERT_NE(dragged, nullptr);
  const std::string draggedName = dragged->name;
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  // The summary's first line, 64 cells in (right of the grand total, where
  // nothing stands): where the pointer is let go.
  int summary = 0;
  while (summary < kBandLineCount && Layout().bandRecords[summary].kind != kBandSummary) ++summary;
  ASSERT_LT(summary, kBandLineCount);
  const int cell = CharCellWidth(Layout().metrics, 1);
  POINT target{64 * cell + cell / 3 - Layout().scrollX, Layout().bandRecords[summary].bottom - 2 - Layout().scrollY};
  ClientToScreen(View().m_hWnd, &target);
  POINT start{0, 0};
  ClientToScreen(list, &start);
  auto at = [&](POINT screen) {
    return MAKELPARAM(static_cast<WORD>(screen.x - start.x), static_cast<WORD>(screen.y - start.y));
  };
  // Press on the entry (as the list passes it on), a short move, then away and let go.
  SendMessageA(list, WM_LBUTTONDOWN, 1, MAKELPARAM(4, 4));
  SendMessageA(list, WM_MOUSEMOVE, 1, MAKELPARAM(6, 5));
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), entry) << "a short move is no drag";
  SendMessageA(list, WM_MOUSEMOVE, 1, at(target));
  SendMessageA(list, WM_LBUTTONUP, 0, at(target));
  FieldDef* placed = nullptr;
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
    if ((f->head.flags & kItemKindField) && f->head.bandLine == summary && !(f->head.flags & kItemDeleted)) placed = f;
  ASSERT_NE(placed, nullptr) << "the field was placed on the summary line";
  FieldDef* source = (placed->flags & kFieldAlias) ? Doc().m_pModel->GetFieldAt(placed->refField) : placed;
  EXPECT_EQ(source->name, draggedName);
  EXPECT_EQ(placed->head.left, 64 * cell);
  // A release over the list itself places nothing.
  const int before = static_cast<int>(Layout().textCount);
  SendMessageA(list, WM_LBUTTONDOWN, 1, MAKELPARAM(4, 4));
  SendMessageA(list, WM_MOUSEMOVE, 1, MAKELPARAM(4, 40));
  SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(4, 40));
  EXPECT_EQ(static_cast<int>(Layout().textCount), before);
  Doc().m_pInsertField->Close();
  const std::string printed = SaveReadBackPrint("palette-drag", [&] {
    int onSummary = 0;
    for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
      onSummary += (f->head.flags & kItemKindField) && f->head.bandLine == summary;
    EXPECT_GE(onSummary, 1);
  });
  // The last record's company printed once more, under the grand total.
  ASSERT_EQ(draggedName, "company");
  const size_t grand = printed.find("Grand total");
  ASSERT_NE(grand, std::string::npos) << printed;
  EXPECT_NE(printed.find("Fennick Tools", grand), std::string::npos) << printed;
}

TEST_F(EditingScreensScenario, BandLineJustifyPutsTheMarkedLineAgainstTheMargin) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  TextItem* product = Text("Product");
  ASSERT_NE(product, nullptr);
  const int line = product->head.bandLine;
  frame_->m_wndBandView.MarkLine(line, true);
  frame_->m_wndBandView.SyncMarkedLines();
  ASSERT_TRUE(frame_->IsCommandEnabled(30510));
  bool answered = false;
  Answer("Band Line Justify", [&](HWND d) {
    answered = true;
    SaveWindowPicture(d, ScreenPath("dialog-band-line-justify").c_str());
    CheckDlgButton(d, 213, BST_UNCHECKED);
    CheckDlgButton(d, 212, BST_CHECKED);
    Press(d, IDOK);
  });
  Command(30510);
  EXPECT_TRUE(answered);
  int rightmost = 0;
  for (TextItem* x = Layout().textHead; x; x = x->nextText)
    if (x->head.bandLine == line) rightmost = std::max<int>(rightmost, x->head.right);
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
    if ((f->head.flags & kItemKindField) && f->head.bandLine == line) rightmost = std::max<int>(rightmost, f->head.right);
  // Right: the row ends at the right margin.
  const int margin = CharCellWidth(Layout().metrics, Doc().m_pageMetrics.printableWidth);
  ASSERT_GT(margin, 0);
  EXPECT_EQ(rightmost, std::min(margin, View().LayoutWidth()) - 1);
  const int left = Text("Product")->head.left;
  EXPECT_TRUE(Doc().IsModified());
  const std::string printed = SaveReadBackPrint("justify", [&] {
    ASSERT_NE(Text("Product"), nullptr);
    EXPECT_EQ(Text("Product")->head.left, left);
  });
  EXPECT_NE(printed.find("Product"), std::string::npos) << printed;
}

TEST_F(EditingScreensScenario, ClipboardImagePastedIsSavedThroughItsPrompt) {
  const std::string report = s_dir + "/clip.kmw";
  fs::copy_file(s_dir + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_NE(Start({report}), nullptr);
  ClipboardImage image;
  image.width = 90;
  image.height = 40;
  image.bgra.assign(90 * 40 * 4, 0);
  for (size_t i = 0; i < image.bgra.size(); i += 4) {
    image.bgra[i] = 0x20;
    image.bgra[i + 1] = static_cast<uint8_t>(i % 200);
    image.bgra[i + 2] = 0xE0;
    image.bgra[i + 3] = 0xFF;
  }
  ASSERT_TRUE(SetClipboardImage(image));
  View().CaretToLine(0);
  View().m_nCaretX = 480;
  Command(30170);
  ASSERT_EQ(Layout().pictures.Count(), 1);
  EXPECT_TRUE(Layout().pictures.At(0)->fromClipboard);

  // File Save asks where the picture goes; Cancel ends the save.
  const auto written = fs::last_write_time(report);
  Answer("Save", [](HWND d) { Press(d, IDCANCEL); });
  Command(30010);
  EXPECT_TRUE(Doc().IsModified()) << "a cancelled prompt saves nothing";
  EXPECT_EQ(fs::last_write_time(report), written);

  // A file the image layer cannot write keeps the prompt open; a PNG is written.
  const std::string png = s_dir + "/pasted.png";
  bool refused = false;
  Answer("Save", [&](HWND d) {
    SaveWindowPicture(d, ScreenPath("dialog-clipboard-image").c_str());
    SetDlgItemTextA(d, 200, (s_dir + "/pasted.nosuchform").c_str());
    // This step's timer waits for it to end: another one answers the message it brings.
    const UINT_PTR inner = SetTimer(nullptr, 0, 20, &LookForDialog);
    Press(d, IDOK);
    KillTimer(nullptr, inner);
    refused = IsWindow(d) && IsWindowVisible(d);
    SetDlgItemTextA(d, 200, png.c_str());
    Press(d, IDOK);
  });
  Answer(Doc().m_szAppCaption, [](HWND d) { Press(d, IDOK); });
  Command(30010);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(Doc().IsModified());
  ASSERT_TRUE(fs::exists(png));
  EXPECT_EQ(std::string(Layout().pictures.At(0)->fileName), png);
  ClearClipboard();
  const std::string printed = SaveReadBackPrint("clipboard-image", [&] {
    ASSERT_EQ(Layout().pictures.Count(), 1);
    EXPECT_EQ(std::string(Layout().pictures.At(0)->fileName), png);
    EXPECT_NE(Layout().pictures.At(0)->image, nullptr) << "read back from its file";
  });
  const std::string images = Capture("pdfimages -list '" + pdf_ + "' 2>/dev/null");
  EXPECT_GE(Count(images, "\n") - 2, 1) << images;
  EXPECT_NE(images.find("90    40"), std::string::npos) << images;
}

}  // namespace
