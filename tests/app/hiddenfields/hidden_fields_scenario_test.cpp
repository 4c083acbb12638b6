// Fields that are not on the layout, in the program offscreen on the sample
// database: the instant report of a table wider than the page keeps to the
// page and leaves the other fields hidden (neither drawn, selectable nor
// printed) until Insert Field places one; a field cleared from a stored
// report stays hidden through save and read-back, byte for byte; and a
// logical column is as wide as the longer of the true and false texts. Each
// scenario saves, reads the file back and prints it (pdftotext).
#include "app/app.h"
#include "model/field_compile.h"
#include "app/document.h"
#include "core/composite.h"
#include "dialogs/insert_field_dialog.h"
#include "foundation/units.h"
#include "layout/layout_records.h"
#include "platform/ole/compound_file.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/program_run.h"
#include "tests/support/screens.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_run::Capture;

constexpr UINT kCmdInsertField = 30400, kCmdClear = 30140;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The report's streams, without what tells when it was saved: the document
// properties and the first record (the header with the save time).
std::string ReportStreams(const std::string& path) {
  vt_ole::Storage root;
  if (vt_ole::ReadStorageFile(path, root) != vt_ole::StorageError::kNone) return "<unreadable>";
  std::string out;
  for (const vt_ole::Stream& s : root.streams) {
    if (s.name.find("SummaryInformation") != std::string::npos) continue;
    size_t from = 0;
    if (s.name == "Contents" && s.data.size() >= 4) from = std::min<size_t>(s.data.size(), 4u + (s.data[2] | s.data[3] << 8u));
    out += s.name + ":" + std::string(s.data.begin() + static_cast<std::ptrdiff_t>(from), s.data.end()) + "\n";
  }
  return out;
}

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

class HiddenFieldsScreensScenario : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = window_sample::Make("/tmp/vt_hiddenfields", {"sqlite3", "pdftotext"});
    if (s_dir.empty()) return;
    // The true and false texts of the suite: longer than one character.
    const std::string ini = s_dir + "/kmw.ini";
    std::string text = ReadAll(ini);
    const size_t at = text.find("[Defaults]\n");
    if (at != std::string::npos) text.insert(at + 11, "LogT=Yes\nLogF=No\n");
    std::ofstream(ini, std::ios::trunc) << text;
  }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, poppler or the SQLite ODBC driver is missing";
  }
  void TearDown() override {
    if (app_) app_->ExitInstance();
    app_.reset();
  }

  CMainFrame* Start(std::vector<std::string> args) {
    if (app_) app_->ExitInstance();
    app_ = std::make_unique<CKmApp>();
    frame_ = window_sample::StartFrame(*app_, std::move(args));
    return frame_;
  }
  CKmDoc& Doc() { return *frame_->m_pDoc; }
  LayoutTables& Layout() { return *Doc().m_pLayout; }
  CKmView& View() { return frame_->m_wndLayoutView; }
  void Command(UINT id) { SendMessageA(frame_->m_hWnd, WM_COMMAND, id, 0); }

  // The report's field of that name that is not a copy.
  FieldDef* Named(const char* name) {
    for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
      if (!(f->flags & kFieldAlias) && std::strcmp(f->name, name) == 0) return f;
    return nullptr;
  }
  // The items the designer draws, selects and prints.
  std::vector<ReportItemHead*> LayoutItems() {
    std::vector<ReportItemHead*> items;
    ForEachLayoutItem(Layout(), [&](ReportItemHead& h) { items.push_back(&h); });
    return items;
  }
  bool OnLayout(const FieldDef* f) {
    for (ReportItemHead* h : LayoutItems())
      if (h == &f->head) return true;
    return false;
  }
  // Every field of the report's tables that is not on the layout is hidden,
  // and no field is drawn where hidden ones would pile up (line 0, column 0).
  void ExpectHiddenFieldsOffTheLayout() {
    for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next) {
      if (IsPlacedField(f)) continue;
      EXPECT_FALSE(OnLayout(f)) << f->name;
    }
    for (ReportItemHead* h : LayoutItems())
      if (h->flags & kItemKindField) {
        EXPECT_FALSE(h->bandLine == 0 && h->column == 0) << reinterpret_cast<FieldDef*>(h)->name;
      }
  }
  // Insert Field with the caret at the start of the line: the palette's entry.
  void InsertFromPalette(const char* name, int line, int column) {
    Command(kCmdInsertField);
    ASSERT_TRUE(Doc().m_pInsertField && IsWindow(Doc().m_pInsertField->m_hWnd));
    HWND palette = Doc().m_pInsertField->m_hWnd;
    HWND list = GetDlgItem(palette, kInsertFieldList);
    const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    int entry = -1;
    for (int i = 0; i < n && entry < 0; ++i) {
      auto* f = reinterpret_cast<FieldDef*>(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
      if (f != nullptr && std::strcmp(f->name, name) == 0) entry = i;
    }
    ASSERT_GE(entry, 0) << name << " is offered";
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    View().CaretToLine(line);
    View().CaretHome();
    View().m_nCaretX = CharCellWidth(Layout().metrics, column);
    SendMessageA(palette, WM_COMMAND, MAKEWPARAM(kInsertFieldButton, BN_CLICKED), 0);
    Doc().m_pInsertField->Close();
  }
  std::string Save(const std::string& name) {
    const std::string path = s_dir + "/" + name + ".kmw";
    EXPECT_TRUE(Doc().OnSaveDocument(path.c_str()));
    return path;
  }
  // Prints the report with /G; the printed text.
  std::string Print(const std::string& path) {
    int status = -1;
    const std::string out = Capture("cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                        s_dir + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                        program_run::ProgramPath() + "' /G '" + path + "' 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << out;
    const std::string pdf = path.substr(0, path.size() - 4) + ".pdf";
    return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  }

  static std::string s_dir;
  std::unique_ptr<CKmApp> app_;
  CMainFrame* frame_ = nullptr;
};
std::string HiddenFieldsScreensScenario::s_dir;

TEST_F(HiddenFieldsScreensScenario, WideInstantReportKeepsToThePageAndHidesTheRest) {
  ASSERT_NE(Start({"/NVortelleSample", "/Icustomers"}), nullptr);
  ASSERT_TRUE(Doc().m_bReportOpen);
  const int printable = Doc().m_pageMetrics.printableWidth;
  ASSERT_GT(printable, 20);
  const int pageRight = CharCellWidth(Layout().metrics, printable);
  std::vector<std::string> shown, hidden;
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next) {
    if (f->table != 0 || (f->flags & (kFieldAlias | kFieldCalculation)) || IsTotal(f)) continue;
    if (IsPlacedField(f)) {
      shown.push_back(f->name);
      EXPECT_EQ(f->head.bandLine, 5) << f->name;
      EXPECT_LE(f->head.right, pageRight) << f->name << " ends inside the printable width";
    } else {
      hidden.push_back(f->name);
      EXPECT_TRUE(IsHiddenField(f)) << f->name;
    }
  }
  ASSERT_GE(shown.size(), 2u);
  ASSERT_FALSE(hidden.empty()) << "the seven columns are wider than the page";
  EXPECT_EQ(std::string(Doc().m_pModel->fieldList->name), "cust_id") << "the leading fields are shown";
  for (ReportItemHead* h : LayoutItems()) EXPECT_LE(h->right, pageRight);
  ExpectHiddenFieldsOffTheLayout();
  // Nothing to select where hidden fields would lie.
  const int titleY = Layout().bandRecords[0].bottom - 2 - Layout().scrollY;
  const ReportItemHead* hit = View().HitTestObject(1 - Layout().scrollX, titleY);
  EXPECT_TRUE(hit == nullptr || !(hit->flags & kItemKindField));
  EXPECT_TRUE(SaveWindowPicture(frame_->m_hWnd, ScreenPath("hidden-fields-instant").c_str()));

  // A hidden field placed from the palette comes back itself, on its line.
  FieldDef* city = Named("city");
  ASSERT_NE(city, nullptr);
  ASSERT_TRUE(IsHiddenField(city));
  InsertFromPalette("city", 2, 0);
  EXPECT_TRUE(IsPlacedField(city));
  EXPECT_TRUE(OnLayout(city));
  EXPECT_EQ(city->head.bandLine, 2);
  EXPECT_TRUE(SaveWindowPicture(frame_->m_hWnd, ScreenPath("hidden-fields-placed").c_str()));

  const std::string path = Save("instant-wide");
  ASSERT_NE(Start({path}), nullptr);
  ASSERT_NE(Named("city"), nullptr);
  EXPECT_TRUE(IsPlacedField(Named("city")));
  for (const std::string& name : hidden)
    if (name != "city") {
      EXPECT_TRUE(IsHiddenField(Named(name.c_str()))) << name;
    }
  ExpectHiddenFieldsOffTheLayout();
  const std::string printed = Print(path);
  for (const std::string& name : shown) EXPECT_NE(printed.find(name), std::string::npos) << name << "\n" << printed;
  for (const std::string& name : hidden)
    if (name != "city") {
      EXPECT_EQ(printed.find(name), std::string::npos) << name << "\n" << printed;
    }
  EXPECT_NE(printed.find("Fennick Tools"), std::string::npos) << printed;
  // The title line holds the first customer's city once.
  EXPECT_EQ(Count(printed, "Bergen"), 1) << printed;
  EXPECT_EQ(printed.find("Hamburg"), std::string::npos) << printed;
}

TEST_F(HiddenFieldsScreensScenario, ClearedFieldStaysHiddenThroughSaveAndReadBack) {
  ASSERT_NE(Start({s_dir + "/sales.kmw"}), nullptr);
  FieldDef* country = Named("country");
  ASSERT_NE(country, nullptr);
  ASSERT_TRUE(IsPlacedField(country));
  const int line = country->head.bandLine;
  View().ClearSelection();
  View().SelectObject(country->head, true);
  Command(kCmdClear);
  EXPECT_TRUE(IsHiddenField(country));
  EXPECT_FALSE(OnLayout(country));
  const std::string first = Save("cleared");
  ASSERT_NE(Start({first}), nullptr);
  country = Named("country");
  ASSERT_NE(country, nullptr);
  EXPECT_TRUE(IsHiddenField(country));
  EXPECT_FALSE(OnLayout(country));
  ExpectHiddenFieldsOffTheLayout();
  const std::string second = Save("cleared-again");
  const std::string firstStreams = ReportStreams(first);
  EXPECT_GT(firstStreams.size(), 100u);
  const std::string secondStreams = ReportStreams(second);
  size_t at = 0;
  while (at < firstStreams.size() && at < secondStreams.size() && firstStreams[at] == secondStreams[at]) ++at;
  EXPECT_TRUE(firstStreams == secondStreams)
      << "a hidden field is written as it was read; first difference at " << at << " near \""
      << firstStreams.substr(at < 40 ? 0 : at - 40, 60) << "\"";
  const std::string printed = Print(second);
  EXPECT_EQ(printed.find("United Kingdom"), std::string::npos) << printed;
  EXPECT_NE(printed.find("5962.15"), std::string::npos) << printed;

  // Placed again through the palette: the field itself, printed again.
  InsertFromPalette("country", line, 60);
  EXPECT_TRUE(IsPlacedField(country));
  EXPECT_FALSE(country->flags & kFieldAlias);
  const std::string again = Print(Save("placed-again"));
  EXPECT_NE(again.find("United Kingdom"), std::string::npos) << again;
  EXPECT_NE(again.find("5962.15"), std::string::npos) << again;
}

TEST_F(HiddenFieldsScreensScenario, LogicalColumnTakesTheTrueAndFalseTexts) {
  ASSERT_NE(Start({"/NVortelleSample", "/Iorders"}), nullptr);
  EXPECT_EQ(Doc().m_settings.logicalWidth, 3);
  FieldDef* paid = Named("paid");
  ASSERT_NE(paid, nullptr);
  ASSERT_TRUE(FieldKind(paid) == kFieldLogical);
  ASSERT_TRUE(IsPlacedField(paid));
  EXPECT_GE(paid->head.width, 3);
  EXPECT_GE(paid->head.right - paid->head.left + 1, CharCellWidth(Layout().metrics, 3) - 1);
  // A calculated logical field is described by the same width, and placed at it.
  FieldDef* late = CompileField(Doc().m_pModel, "Late", "order_id > 1003", false, nullptr);
  ASSERT_NE(late, nullptr);
  EXPECT_EQ(late->displayWidth, 3u);
  late->totalFlags |= kTotalHidden;  // new, as the calculation dialog leaves it: in the palette
  int summary = 0;
  while (summary < kBandLineCount && Layout().bandRecords[summary].kind != kBandSummary) ++summary;
  InsertFromPalette("Late", summary, 40);
  EXPECT_TRUE(IsPlacedField(late));
  EXPECT_EQ(late->head.width, 3);
  EXPECT_TRUE(SaveWindowPicture(frame_->m_hWnd, ScreenPath("hidden-fields-logical").c_str()));
  const std::string path = Save("logical");
  ASSERT_NE(Start({path}), nullptr);
  ASSERT_NE(Named("paid"), nullptr);
  EXPECT_GE(Named("paid")->head.width, 3);
  const std::string printed = Print(path);
  // Seven orders, four paid, and the summary's Late of the last order.
  EXPECT_EQ(Count(printed, "Yes"), 5) << printed;
  EXPECT_EQ(Count(printed, " No\n"), 3) << printed;
}

}  // namespace
