// What a change of the master table, of a user SELECT or of the joins does
// to what the designer holds, as a new user meets it: the warning lists the
// placed items that go; the status line never names a field that went; a new
// statement lets go of Undo, the selection and the marks as a new table
// does, and takes a column a copied field names; a statement the report
// cannot take goes back to SQL Select; a join whose table only the
// record sort reads is deleted after the warning, and the sort follows. Each
// ends saved, read back and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "core/fields.h"
#include "designer/design_view.h"
#include "files/report_io.h"
#include "layout/layout_records.h"
#include "tests/platform/ui/ui_test_util.h"

#include <cstring>

namespace newuser_test {
namespace {

constexpr UINT kCmdUndo = 30100, kCmdCopy = 30120, kCmdPaste = 30130, kCmdClear = 30140, kCmdMasterTable = 30600,
               kCmdJoins = 30610, kCmdSort = 30620, kCmdSave = 30010, kCmdNewUserSql = 32002, kCmdPrint = 30030;

// The entry of a list or combo whose text, past its two-character type
// mark, starts with the name; the notification follows as a click sends it.
void ChooseEntry(HWND dialog, int control, const std::string& name, bool combo) {
  const std::vector<std::string> items = ListItems(dialog, control, combo);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].size() >= name.size() + 2 && items[i].compare(2, name.size(), name) == 0 &&
        (items[i].size() == name.size() + 2 || items[i][name.size() + 2] == ' ')) {
      SendDlgItemMessageA(dialog, control, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, i, 0);
      const WORD change = combo ? WORD{CBN_SELCHANGE} : WORD{LBN_SELCHANGE};
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, change),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
      return;
    }
  ADD_FAILURE() << name << " is not offered";
}

class MasterChange : public NewUserTest {
 protected:
  CKmView& View() { return *doc->m_pView; }
  LayoutTables& Layout() { return *doc->m_pLayout; }
  // The warning's lines, kept as it showed them, then OK.
  void AcceptWarning() {
    answers.On("Fields Affected", [this](HWND w) {
      warning = ListItems(w, 201);
      Press(w, IDOK);
    });
  }
  bool Warned(const char* name) const {
    for (const std::string& line : warning)
      if (line.rfind(std::string(name) + " ", 0) == 0 || line.rfind(std::string(name) + "()", 0) == 0) return true;
    return false;
  }
  std::string Status() { return frame->m_wndStatusBar.GetText(); }
  // The program on the sample, and a user-SQL report made instantly over
  // the statement's columns.
  void StartOnStatement(const std::string& statement) {
    ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
    answers.On("New", [](HWND d) { Press(d, 201); });
    AnswerStatement(statement);
    Command(kCmdNewUserSql);
    ASSERT_TRUE(doc->m_bReportOpen);
    ASSERT_NE(doc->m_pModel->statementText, nullptr);
  }
  // The report saved as name.kmw, read back with its statement and
  // printed: the PDF's text.
  std::string SavedReadBackAndPrinted(const std::string& name, const std::string& statement) {
    const std::string report = dir_ + "/" + name + ".kmw";
    answers.File("Save As", report);
    Command(kCmdSave);
    Reopen(report);
    EXPECT_STREQ(doc->m_pModel->statementText, statement.c_str());
    return PrintedBy(kCmdPrint, name);
  }
  std::vector<std::string> warning;
};

TEST_F(MasterChange, ANewMasterTableListsThePlacedItemsItRemovesAndTheStatusLineNamesNoneOfThem) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  // The product clicked, the amount copied: both go with the order lines.
  FieldDef* amount = PlacedField("amount");
  ASSERT_NE(amount, nullptr);
  ClickOn(amount->head);
  Command(kCmdCopy);
  FieldDef* product = PlacedField("product");
  ASSERT_NE(product, nullptr);
  ClickOn(product->head);
  ASSERT_EQ(Layout().currentItem, &product->head);
  ASSERT_NE(Status().find("product"), std::string::npos) << Status();

  AnswerMasterTable("customers");
  AcceptWarning();
  Command(kCmdMasterTable);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");

  // Nine placed items went: the five columns the customers lack and the
  // four totals of the amount; the warning named every one of them.
  EXPECT_GE(warning.size(), 9u) << ::testing::PrintToString(warning);
  for (const char* name : {"order_id", "order_date", "product", "quantity", "amount", "CustomerTotal",
                           "CustomerLines", "GrandTotal", "GrandLines"})
    EXPECT_TRUE(Warned(name)) << name;
  EXPECT_EQ(FieldNamed("product"), nullptr);
  EXPECT_EQ(Layout().currentItem, nullptr);
  EXPECT_EQ(Status().find("product"), std::string::npos) << Status();
  EXPECT_EQ(Status().find("Chart"), std::string::npos) << Status();
  EXPECT_EQ(View().CountSelected(), 0);
  EXPECT_FALSE(frame->IsCommandEnabled(kCmdPaste));

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_NE(PlacedField("company"), nullptr);
  EXPECT_EQ(FieldNamed("amount"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "master-customers");
  EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
  EXPECT_NE(text.find("Fennick Tools"), std::string::npos) << text;
}

TEST_F(MasterChange, ANewStatementLetsGoOfUndoSelectionAndMarksAndTakesAColumnACopiedFieldNames) {
  // A user-SQL report made instantly over four columns of the customers.
  StartOnStatement("select cust_id, city, country, since from customers order by city");
  FieldDef* city = PlacedField("city");
  FieldDef* since = PlacedField("since");
  FieldDef* id = PlacedField("cust_id");
  ASSERT_TRUE(city && since && id && PlacedField("country"));

  // The city copied (the designer's clipboard holds a field of its column),
  // the date cleared (held for Undo), the number selected, a line marked.
  ClickOn(city->head);
  Command(kCmdCopy);
  ClickOn(since->head);
  Command(kCmdClear);
  ClickOn(id->head);
  doc->m_bandLines.lines[doc->m_bandLines.lastUsed].flags |= kLineMarked;
  ASSERT_TRUE(frame->IsCommandEnabled(kCmdUndo));
  ASSERT_TRUE(frame->IsCommandEnabled(kCmdPaste));

  // Database > Master Table on a user-SQL report is its statement: a new one
  // without the country and the date, still naming the city.
  AnswerStatement("select cust_id, city from customers order by city");
  AcceptWarning();
  messages.clear();
  Command(kCmdMasterTable);
  for (const std::string& m : messages) EXPECT_EQ(m.find("Duplicate"), std::string::npos) << m;
  ASSERT_STREQ(doc->m_pModel->statementText, "select cust_id, city from customers order by city");
  EXPECT_TRUE(Warned("country"));
  EXPECT_NE(PlacedField("city"), nullptr);
  EXPECT_EQ(View().CountSelected(), 0);
  EXPECT_EQ(View().MarkedLineCount(), 0);
  EXPECT_EQ(Layout().currentItem, nullptr);
  EXPECT_FALSE(frame->IsCommandEnabled(kCmdUndo)) << "Undo would restore nothing of the old statement";
  EXPECT_FALSE(frame->IsCommandEnabled(kCmdPaste));

  const std::string report = dir_ + "/statement.kmw";
  answers.File("Save As", report);
  Command(kCmdSave);
  Reopen(report);
  EXPECT_NE(PlacedField("city"), nullptr);
  EXPECT_EQ(FieldNamed("country"), nullptr);
  EXPECT_EQ(FieldNamed("since"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "new-statement");
  EXPECT_NE(text.find("Bergen"), std::string::npos) << text;
  EXPECT_EQ(text.find("Norway"), std::string::npos) << text;
}

// Master Table on a user-SQL report: a statement whose removals the user
// cancels in the warning goes back to SQL Select, which shows it as typed;
// the report keeps its fields until a statement is taken.
TEST_F(MasterChange, ACancelledWarningOfANewStatementGoesBackToSqlSelect) {
  const std::string first = "select cust_id, city, country from customers order by city";
  StartOnStatement(first);
  ASSERT_TRUE(PlacedField("country"));

  const std::string narrower = "select cust_id, city from customers order by city";
  const std::string wider = "select cust_id, city, country, since from customers order by country";
  std::vector<std::string> shown;
  answers.On("SQL Select", [&](HWND d) {
    shown.push_back(ui_test::Text(GetDlgItem(d, 203)));
    SetDlgItemTextA(d, 203, (shown.size() == 1 ? narrower : wider).c_str());
    Press(d, IDOK);
  });
  int warnings = 0;
  answers.On("Fields Affected", [&](HWND w) {
    ++warnings;
    Press(w, IDCANCEL);
  });
  Command(kCmdMasterTable);
  EXPECT_EQ(warnings, 1);
  ASSERT_EQ(shown.size(), 2u) << "SQL Select again after the warning's Cancel";
  EXPECT_EQ(shown[0], first);
  EXPECT_EQ(shown[1], narrower) << "the statement as the user typed it";
  ASSERT_STREQ(doc->m_pModel->statementText, wider.c_str());
  EXPECT_NE(PlacedField("country"), nullptr);

  const std::string text = SavedReadBackAndPrinted("statement-again", wider);
  EXPECT_NE(text.find("Norway"), std::string::npos) << text;
}

// Master Table on a user-SQL report: a statement the report cannot take is
// said so, and SQL Select comes back with the statement as typed; its
// Cancel keeps the report's own statement.
TEST_F(MasterChange, AStatementTheReportCannotTakeGoesBackToSqlSelect) {
  const std::string first = "select cust_id, city, country from customers order by city";
  StartOnStatement(first);
  ASSERT_TRUE(PlacedField("country"));

  // Two columns of one name: the driver runs it, the report cannot take it.
  const std::string refused = "select cust_id, city, city from customers order by city";
  std::vector<std::string> shown;
  answers.On("SQL Select", [&](HWND d) {
    shown.push_back(ui_test::Text(GetDlgItem(d, 203)));
    if (shown.size() == 1) {
      SetDlgItemTextA(d, 203, refused.c_str());
      Press(d, IDOK);
    } else {
      Press(d, IDCANCEL);
    }
  });
  messages.clear();
  Command(kCmdMasterTable);
  EXPECT_EQ(messages, std::vector<std::string>{"Duplicate result table field name: 'city'"});
  ASSERT_EQ(shown.size(), 2u) << "SQL Select again after the refusal";
  EXPECT_EQ(shown[0], first);
  EXPECT_EQ(shown[1], refused) << "the statement as the user typed it";
  ASSERT_STREQ(doc->m_pModel->statementText, first.c_str());
  EXPECT_NE(PlacedField("country"), nullptr);

  const std::string text = SavedReadBackAndPrinted("statement-refused", first);
  EXPECT_NE(text.find("Norway"), std::string::npos) << text;
}

TEST_F(MasterChange, AJoinOnlyTheRecordSortReadsIsDeletedAfterTheWarningAndTheSortFollows) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  // The products joined by name, and their category added to the record sort.
  // With no join yet, Database > Joins asks for a new one first.
  answers.On("Joins", [](HWND d) { Press(d, IDCANCEL); });
  answers.On("New Join", [this](HWND d) {
    answers.On("Related Table", [](HWND l) {
      SelectListed(l, 200, "products");
      Press(l, IDOK);
    });
    Press(d, 203);
    ChooseEntry(d, 201, "product", true);
    ChooseEntry(d, 205, "name", true);
    Press(d, IDOK);
  });
  Command(kCmdJoins);
  ASSERT_NE(doc->m_pModel->tableSlots[1], nullptr);
  answers.On("Sort Order", [](HWND d) {
    ChooseEntry(d, 301, "category", false);
    Press(d, 302);
    Press(d, IDOK);
  });
  Command(kCmdSort);
  FieldDef* category = FieldNamed("category");
  ASSERT_NE(category, nullptr);
  ASSERT_EQ(doc->m_pModel->sortFields[2], doc->m_pModel->GetFieldIndex(category));
  EXPECT_FALSE(IsPlacedField(category)) << "the sort alone reads the products";

  // Deleting the join asks through the warning, which names the category.
  bool plainQuestion = false;
  answers.On("Delete Join", [&](HWND q) {
    plainQuestion = true;
    Press(q, IDNO);
  });
  AcceptWarning();
  answers.On("Joins", [](HWND d) {
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, 0, 0);
    Press(d, 201);
    Press(d, IDCANCEL);
  });
  Command(kCmdJoins);
  EXPECT_FALSE(plainQuestion);
  EXPECT_TRUE(Warned("category"));
  ASSERT_EQ(doc->m_pModel->tableSlots[1], nullptr);
  EXPECT_EQ(FieldNamed("category"), nullptr);
  // Neither the model's sort nor the copy the report keeps names a field
  // that is not there.
  const uint32_t count = doc->m_pModel->fieldCount;
  for (uint32_t id : doc->m_pModel->sortFields) EXPECT_TRUE(id == kNoField || id < count) << id;
  EXPECT_EQ(doc->m_pModel->sortFields[2], kNoField);
  for (uint32_t id : doc->m_pRepIO->m_stream.settings.sortFields) EXPECT_TRUE(id == kNoField || id < count) << id;
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.sortFields[2], kNoField);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_EQ(doc->m_pModel->tableSlots[1], nullptr);
  const std::string text = PrintedBy(kCmdPrint, "join-deleted");
  const size_t alder = text.find("Alder & Sons"), bright = text.find("Brightwater Ltd");
  ASSERT_NE(alder, std::string::npos) << text;
  ASSERT_NE(bright, std::string::npos) << text;
  EXPECT_LT(alder, bright) << "still by customer";
}

}  // namespace
}  // namespace newuser_test
