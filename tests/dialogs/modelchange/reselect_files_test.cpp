#include "model/reselect_tables.h"

#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder {
  std::vector<std::string> statuses, errors, titles, filters, dirs;
  std::string answer;      // empty: the dialog is cancelled
  std::string table;       // the table list's answer
  int tableLists = 0;
  int waits = 0;
};
Recorder* R(void* c) { return static_cast<Recorder*>(c); }
void Status(void* c, const char* t) { R(c)->statuses.push_back(t); }
void ShowError(void* c, const char* t) { R(c)->errors.push_back(t); }
bool OpenFile(void* c, const char* title, const char* filter, const char* dir, std::string* chosen) {
  R(c)->titles.push_back(title);
  R(c)->filters.push_back(filter);
  R(c)->dirs.push_back(dir);
  *chosen = R(c)->answer;
  return !chosen->empty();
}
bool TableList(void* c, bool, std::string* chosen) {
  ++R(c)->tableLists;
  *chosen = R(c)->table;
  return !chosen->empty();
}
void Wait(void* c, bool) { ++R(c)->waits; }

class ReselectFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    s.doc = &doc;
    s.context = &rec;
    s.status = Status;
    s.showError = ShowError;
    s.openFile = OpenFile;
    s.tableList = TableList;
    s.waitCursor = Wait;
  }
  CKmDoc doc;
  Recorder rec;
  ReselectServices s;
};

}  // namespace

TEST_F(ReselectFilesTest, TableListOrOpenFileByTheSourceKind) {
  ReselectRequest r;
  r.displayName = "ORDERS";
  r.message = "Cannot find it";
  r.sourceKind = kSourceOther;
  rec.table = "ORDERS2";
  ReselectChoice c;
  ASSERT_EQ(ReselectTable(s, r, &c), 0);
  EXPECT_FALSE(c.isPath);
  EXPECT_EQ(c.name, "ORDERS2");
  EXPECT_EQ(rec.tableLists, 1);
  EXPECT_EQ(rec.statuses, std::vector<std::string>{"ORDERS"});
  EXPECT_EQ(rec.errors, std::vector<std::string>{"Cannot find it"});
  EXPECT_TRUE(doc.IsModified());

  // dBASE with the common dialog allowed: the Open file dialog in the database directory.
  doc.SetModifiedFlag(FALSE);
  r.sourceKind = kSourceDbase;
  r.master = false;
  r.message.clear();
  r.databaseDir = "C:\\DATA";
  rec.answer = "C:\\DATA\\CUST.DBF";
  ASSERT_EQ(ReselectTable(s, r, &c), 0);
  EXPECT_TRUE(c.isPath);
  EXPECT_EQ(c.name, "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(rec.titles.back(), "Related Table");
  EXPECT_EQ(rec.filters.back(), "dBASE (*.DBF)|*.DBF|");
  EXPECT_EQ(rec.dirs.back(), "C:\\DATA");
  EXPECT_EQ(rec.tableLists, 1);

  // Without the common dialog the table list runs even for dBASE; declining is a refusal.
  doc.SetModifiedFlag(FALSE);
  r.useCommonDlg = false;
  rec.table.clear();
  EXPECT_EQ(ReselectTable(s, r, &c), 1);
  EXPECT_EQ(rec.tableLists, 2);
  EXPECT_FALSE(doc.IsModified());

  r.useCommonDlg = true;
  r.master = true;
  r.sourceKind = kSourceParadox;
  r.databaseDir.clear();
  r.defaultDir = "D:\\REPORTS";
  rec.answer.clear();
  EXPECT_EQ(ReselectTable(s, r, &c), 1);
  EXPECT_EQ(rec.titles.back(), "Master  Table");
  EXPECT_EQ(rec.dirs.back(), "D:\\REPORTS");
}

TEST_F(ReselectFilesTest, TextFileIsAskedForInTheDataDirectory) {
  std::string path = "C:\\OLD\\PRICES.TXT";
  rec.answer = "/data/PRICES.TXT";
  ASSERT_EQ(AskForTextFile(s, &path, 0, "C:\\DATA\\"), 0);
  EXPECT_EQ(path, "/data/PRICES.TXT");
  ASSERT_EQ(rec.errors.size(), 1u);
  EXPECT_NE(rec.errors[0].find(": PRICES.TXT"), std::string::npos) << rec.errors[0];
  EXPECT_EQ(rec.dirs.back(), "C:\\DATA");
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(ReselectFilesTest, PictureFileOkAsksIgnoreKeepsThePath) {
  std::string path = "C:\\PICS\\LOGO.BMP";
  std::string shown;
  rec.answer = "/pics/logo.bmp";
  ui_test::WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    shown = ui_test::Text(GetDlgItem(d, 200));
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  EXPECT_NE(AskForPictureFile(s, &path), 0);
  EXPECT_EQ(path, "/pics/logo.bmp");
  EXPECT_NE(shown.find("Cannot open picture file"), std::string::npos);
  EXPECT_NE(shown.find("LOGO.BMP"), std::string::npos);
  EXPECT_EQ(rec.titles.back(), "Picture File");
  EXPECT_EQ(rec.filters.back().rfind("All Picture Files (", 0), 0u);

  path = "C:\\PICS\\LOGO.BMP";
  ui_test::WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(GetDlgItem(d, IDCANCEL), nullptr);
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, IDCANCEL)), "&Ignore");
    ui_test::Click(GetDlgItem(d, IDCANCEL));
  });
  EXPECT_EQ(AskForPictureFile(s, &path), 0);
  EXPECT_EQ(path, "C:\\PICS\\LOGO.BMP");
  EXPECT_EQ(rec.titles.size(), 1u);
}

TEST(ReselectPaths, PathsChosenHereUseSlashes) {
  EXPECT_EQ(GetFileNamePart("/pics/logo.bmp"), "logo.bmp");
  EXPECT_EQ(JoinDirAndFile("C:\\X\\A.DBF", "/data"), "/data/A.DBF");
  EXPECT_EQ(JoinDirAndFile("/old/A.DBF", "/data/"), "/data/A.DBF");
  EXPECT_EQ(JoinDirAndFile("C:\\X\\A.DBF", "C:\\DATA"), "C:\\DATA\\A.DBF");
  TablePathContext ctx;
  ctx.masterPath = "/data/orders.dbf";
  EXPECT_EQ(ResolveMasterPath("/data/cust.dbf", ctx), "cust.dbf");
}
