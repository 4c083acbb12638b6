// Records across as a user meets them: File > New after a sorted report of
// two records across starts with no sort and one record across (an Instant
// report, whose three joins then add without an error, and a user-SQL
// report); the text and RTF exports of a two-across report hold the records
// of a row side by side, as the print does; and the groups of a two-across
// report follow one another on the page while they fit. Each ends saved,
// read back and printed or exported, the files read by pdftotext, pdfinfo,
// unrtf (its HTML through Python's parser) and as plain text.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/order_dialogs.h"
#include "dialogs/sql_dialogs.h"
#include "export/export_library.h"
#include "files/report_io.h"
#include "layout/page_setup.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdNew = 32000, kCmdNewUserSql = 32002, kCmdSave = 30010, kCmdSaveAs = 30020, kCmdPrint = 30030,
               kCmdExport = 30060, kCmdRecordLayout = 30514, kCmdJoins = 30610, kCmdSort = 30620,
               kCmdShowSql = 30650;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The first line holding the text, or "".
std::string LineWith(const std::string& text, const std::string& what) {
  for (const std::string& line : Lines(text))
    if (line.find(what) != std::string::npos) return line;
  return std::string();
}

// Whether the line holds the number as a word of its own followed by one or
// more blanks and a date's first digit: a number and a date set apart.
bool NumberThenDate(const std::string& line, int number) {
  const std::string n = std::to_string(number);
  for (size_t at = line.find(n); at != std::string::npos; at = line.find(n, at + 1)) {
    if (at > 0 && line[at - 1] != ' ') continue;
    size_t after = at + n.size();
    if (after >= line.size() || line[after] != ' ') continue;
    while (after < line.size() && line[after] == ' ') ++after;
    if (after < line.size() && std::isdigit(static_cast<unsigned char>(line[after]))) return true;
  }
  return false;
}

// The entry of a list or combo box whose text, past its two-character type
// mark, is the name (or the name and its table in parentheses); the
// notification follows as a click sends it.
void Pick(HWND dialog, int control, const std::string& name, bool combo) {
  const std::vector<std::string> items = ListItems(dialog, control, combo);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].size() > 2 && (items[i].compare(2, std::string::npos, name) == 0 ||
                                items[i].compare(2, name.size() + 2, name + " (") == 0)) {
      SendDlgItemMessageA(dialog, control, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, i, 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, combo ? WORD{CBN_SELCHANGE} : WORD{LBN_SELCHANGE}),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
      return;
    }
  ADD_FAILURE() << name << " is not offered: " << ::testing::PrintToString(items);
}

class RecordsAcross : public NewUserTest {
 protected:
  // Format > Record Layout: two records a row, filled across, each this wide.
  void TwoAcross(const char* width) {
    answers.On("Record Layout", [width](HWND d) {
      SetDlgItemTextA(d, 203, "2");
      SetDlgItemTextA(d, 205, width);
      CheckDlgButton(d, 221, BST_CHECKED);
      CheckDlgButton(d, 222, BST_UNCHECKED);
      Press(d, IDOK);
    });
    Command(kCmdRecordLayout);
    ASSERT_EQ(doc->m_pPageSetup->ExtraColumns, 1);
    ASSERT_EQ(doc->m_pPageSetup->DownOrder, 0);
  }
  // Database > Show SQL: the SELECT a run would execute.
  std::string ShownSql() {
    std::string shown;
    answers.On("Show SQL", [&](HWND d) {
      shown = ui_test::Text(GetDlgItem(d, kSqlGenerated));
      Press(d, IDOK);
    });
    Command(kCmdShowSql);
    EXPECT_FALSE(shown.empty());
    return shown;
  }
  // Nothing of the report before: no sort or group (in the model nor in the
  // copy the report keeps), one record a row of no set width, no label stock.
  void ExpectNothingCarriedOver(const char* what) {
    const PageSetupRec& ps = *doc->m_pPageSetup;
    EXPECT_EQ(ps.ExtraColumns, 0) << what;
    EXPECT_EQ(ps.RecordWidth, 0) << what;
    EXPECT_EQ(ps.DownOrder, 0) << what;
    const ReportSettings& st = doc->m_pRepIO->m_stream.settings;
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(doc->m_pModel->sortFields[i], kNoField) << what << " sort " << i;
      EXPECT_EQ(st.sortFields[i], kNoField) << what << " kept sort " << i;
      EXPECT_EQ(st.sortWords[i], 0) << what << " kept sort " << i;
      EXPECT_EQ(doc->m_pModel->groupFields[i], kNoField) << what << " group " << i;
    }
    EXPECT_TRUE(st.labelStock.empty()) << what;
    EXPECT_EQ(Lower(ShownSql()).find("order by"), std::string::npos) << what;
  }
  // Database > Joins: one more join from the field of the report to the
  // field of the table.
  void AddJoin(const std::string& from, const std::string& table, const std::string& to) {
    answers.On("New Join", [this, from, table, to](HWND d) {
      answers.On("Related Table", [table](HWND l) {
        SelectListed(l, 200, table);
        Press(l, IDOK);
      });
      Press(d, 203);
      Pick(d, 201, from, true);
      Pick(d, 205, to, true);
      Press(d, IDOK);
    });
    const bool first = doc->m_pModel->tableSlots[1] == nullptr;
    answers.On("Joins", [first](HWND d) {
      // The first join is asked for before the list shows.
      if (!first) Press(d, 202);
      Press(d, IDCANCEL);
    });
    Command(kCmdJoins);
  }
  // The report saved under its name in the folder, closed and opened again.
  void SaveAndReopen(const std::string& name) {
    const std::string path = dir_ + "/" + name;
    answers.File("Save As", path);
    Command(kCmdSaveAs);
    ASSERT_TRUE(fs::exists(path));
    Reopen(path);
  }
  // The text of an RTF file as unrtf reads it, a line a paragraph or line
  // break (its HTML read by Python's parser: its text output ends a line at
  // each tab).
  std::string RtfText(const std::string& rtf) {
    const std::string script = dir_ + "/rtf_text.py";
    std::ofstream(script) << "import sys, html.parser\n"
                             "class P(html.parser.HTMLParser):\n"
                             "    out = []\n"
                             "    def handle_starttag(self, tag, attrs):\n"
                             "        if tag in ('br', 'p'): self.out.append('\\n')\n"
                             "    def handle_data(self, d):\n"
                             "        self.out.append(d.replace('\\n', ''))\n"
                             "p = P()\n"
                             "p.feed(sys.stdin.read())\n"
                             "print(''.join(p.out).replace('\\xa0', ' '))\n";
    return Capture("unrtf --html '" + rtf + "' 2>/dev/null | /usr/bin/python3 '" + script + "'");
  }
  // The file the export of this format writes, as its bytes.
  std::string Exported(int format, const std::string& name) {
    const std::string path = dir_ + "/" + name;
    fs::remove(path);
    ExportAs(answers, format, path);
    Command(kCmdExport);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    EXPECT_TRUE(fs::exists(path)) << name << (messages.empty() ? std::string() : ": " + messages.back());
    return s.str();
  }
  // The table the two-across reports read: groups of eight numbered rows.
  void MakeRows(int groups) {
    std::ostringstream sql;
    sql << "DROP TABLE IF EXISTS across_rows; CREATE TABLE across_rows (grp varchar(10), ord integer, "
           "day date, name varchar(12));";
    for (int g = 1; g <= groups; ++g)
      for (int i = 0; i < 8; ++i) {
        const int n = 100 + (g - 1) * 8 + i;
        sql << "INSERT INTO across_rows VALUES ('Group" << (g < 10 ? "0" : "") << g << "', " << n << ", '2023-05-"
            << 10 + i << "', 'Name" << n << "');";
      }
    int status = -1;
    const std::string out = Capture("sqlite3 '" + dir_ + "/sample.db' \"" + sql.str() + "\" 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
  }
  // The program on a report a start file describes: the rows grouped, a
  // group header and footer, a Record line of the number, the date and the
  // name; then two records across.
  void StartGroupedTwoAcross() {
    const std::string script = dir_ + "/across.txt";
    std::ofstream(script, std::ios::binary)
        << "[Report]\r\nMasterTable=across_rows\r\nDataSource=VortelleSample\r\nReportName=Across\r\n"
        << "[GroupHeader1]\r\nCharField=grp,F,0,0,B,10\r\n"
        << "[Record]\r\nNumField=ord,F,0,0,,4,0\r\nDateField=day,F,0.5,0,,1\r\nCharField=name,F,1.8,0,,10\r\n"
        << "[GroupFooter1]\r\nTextField=\"End of group\",F,0\r\n"
        << "[Group]\r\nGroupField1=grp\r\n[Sort]\r\nSortField1=grp\r\nSortField2=ord\r\n";
    ASSERT_TRUE(Start({"/S" + script}));
    ASSERT_TRUE(doc->m_bReportOpen);
    TwoAcross("3.00");
  }
};

TEST_F(RecordsAcross, FileNewAfterASortedTwoAcrossReportHasNoSortAndOneRecordAcross) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  // The sample's sort by customer and order, and the amount descending.
  answers.On("Sort Order", [](HWND d) {
    Pick(d, kOrderFieldList, "amount", false);
    Press(d, kOrderAdd);
    CheckDlgButton(d, kOrderDescending, BST_CHECKED);
    Press(d, kOrderDescending);
    Press(d, IDOK);
  });
  Command(kCmdSort);
  ASSERT_NE(doc->m_pModel->sortFields[2], kNoField);
  ASSERT_NE(Lower(ShownSql()).find("order by"), std::string::npos);
  TwoAcross("3.70");
  Command(kCmdSave);
  ASSERT_FALSE(doc->IsModified());

  // File > New > Instant Report on the orders: every column placed, one
  // record a row, nothing sorted; then three joins.
  answers.On("New", [](HWND d) { Press(d, 201); });
  file_menu_test::AnswerSampleTable(answers, "orders");
  Command(kCmdNew);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "orders");
  ExpectNothingCarriedOver("instant");
  int placed = 0;
  for (FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next) placed += IsPlacedField(f) ? 1 : 0;
  EXPECT_GE(placed, 4) << "the instant report places the orders' columns";
  messages.clear();
  boxes.clear();
  AddJoin("cust_id", "customers", "cust_id");
  AddJoin("order_id", "order_items", "order_id");
  AddJoin("order_id", "order_lines", "order_id");
  ASSERT_NE(doc->m_pModel->tableSlots[3], nullptr) << "the third join is in";
  for (const std::string& m : messages) ADD_FAILURE() << m;
  for (const MessageBoxRecord& b : boxes) ADD_FAILURE() << b.text;
  const std::string sql = Lower(ShownSql());
  EXPECT_NE(sql.find("order_lines"), std::string::npos) << sql;
  EXPECT_EQ(sql.find("order by"), std::string::npos) << sql;
  SaveAndReopen("instant_after_across.kmw");
  ExpectNothingCarriedOver("instant, read back");
  EXPECT_NE(doc->m_pModel->tableSlots[3], nullptr);
  const std::string instant = PrintedBy(kCmdPrint, "instant_after_across");
  for (const std::string& m : messages) ADD_FAILURE() << m;
  const std::string first = LineWith(instant, "1001");
  ASSERT_FALSE(first.empty()) << instant;
  EXPECT_EQ(first.find("1002"), std::string::npos) << "one order a line:\n" << instant;

  // File > New with a user SELECT over the customers.
  answers.On("New", [](HWND d) { Press(d, 201); });
  AnswerStatement("select cust_id, company, city from customers");
  Command(kCmdNewUserSql);
  ASSERT_TRUE(doc->m_bReportOpen);
  ExpectNothingCarriedOver("user SQL");
  SaveAndReopen("user_sql_after_across.kmw");
  ExpectNothingCarriedOver("user SQL, read back");
  const std::string customers = PrintedBy(kCmdPrint, "user_sql_after_across");
  const std::string alder = LineWith(customers, "Alder & Sons");
  ASSERT_FALSE(alder.empty()) << customers;
  EXPECT_EQ(alder.find("Brightwater"), std::string::npos) << "one customer a line:\n" << customers;
}

TEST_F(RecordsAcross, TextAndRtfExportsHoldTheRecordsOfARowSideBySide) {
  MakeRows(2);
  StartGroupedTwoAcross();
  SaveAndReopen("across.kmw");
  ASSERT_EQ(doc->m_pPageSetup->ExtraColumns, 1);

  // The print: the first two records of a group share a line.
  const std::string printed = PrintedBy(kCmdPrint, "across");
  EXPECT_NE(LineWith(printed, "Name100").find("Name101"), std::string::npos) << printed;

  // The text export: each line holds that line of both records, the number
  // and the date of one record apart as they print.
  const std::string text = Exported(kExportText, "across.txt");
  for (int n = 100; n < 116; n += 2) {
    const std::string line = LineWith(text, "Name" + std::to_string(n));
    EXPECT_NE(line.find("Name" + std::to_string(n + 1)), std::string::npos) << n << "\n" << text;
    EXPECT_TRUE(NumberThenDate(line, n)) << line;
    EXPECT_TRUE(NumberThenDate(line, n + 1)) << line;
  }
  EXPECT_EQ(LineWith(text, "Group01").find("Name"), std::string::npos) << text;

  // The RTF export read by unrtf: the same rows.
  const std::string rtf = Exported(kExportRtf, "across.rtf");
  ASSERT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  const std::string read = RtfText(dir_ + "/across.rtf");
  for (int n = 100; n < 116; n += 2)
    EXPECT_NE(LineWith(read, "Name" + std::to_string(n)).find("Name" + std::to_string(n + 1)), std::string::npos)
        << n << "\n" << read;
}

TEST_F(RecordsAcross, GroupsOfATwoAcrossReportFollowOnThePageWhileTheyFit) {
  // Twelve groups of four rows: a header, the rows and a footer, six lines
  // each, 72 in all. A page holds some fifty lines: two pages, with no group
  // sent to the next page while its header and first row fit.
  MakeRows(12);
  StartGroupedTwoAcross();
  SaveAndReopen("across_groups.kmw");
  const std::string printed = PrintedBy(kCmdPrint, "across_groups");
  const std::string pdf = dir_ + "/across_groups.pdf";
  const std::string info = Capture("pdfinfo '" + pdf + "' 2>/dev/null | grep Pages:");
  EXPECT_EQ(info.substr(info.find_last_of(' ') + 1), "2\n") << info << printed;
  // The first page holds the groups that fit it, not the first alone.
  const std::string page1 = printed.substr(0, printed.find('\f'));
  for (const char* g : {"Group01", "Group02", "Group08"})
    EXPECT_NE(page1.find(g), std::string::npos) << g << "\n" << printed;
  for (int n = 100; n < 196; ++n) EXPECT_NE(printed.find("Name" + std::to_string(n)), std::string::npos) << n;
}

}  // namespace
}  // namespace newuser_test
