// A join added to the sample report, as a new user adds one: the joined
// table has a field of the same name as a master's that a calculation uses,
// so the calculation must go on naming the master's field through the
// master's alias. The sample is made with the alias File > New gives, and a
// report kept without one (as the sample once was) takes it when joined.
// Each is saved, read back and printed.
#include "tests/platform/support/cut_texts.h"
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "core/fields.h"

#include <cstring>

namespace newuser_test {
namespace {

constexpr UINT kCmdClose = 30000, kCmdSave = 30010, kCmdPrint = 30030, kCmdJoins = 30610, kCmdCalculations = 30700,
               kCmdOpen = 32001;

FieldDef* Named(CKmDoc& doc, const char* name) {
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

void PickField(HWND dialog, int combo, const std::string& name) {
  const std::vector<std::string> items = ListItems(dialog, combo, true);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].size() > 2 && items[i].substr(2) == name) {
      SendDlgItemMessageA(dialog, combo, CB_SETCURSEL, i, 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, combo)));
      return;
    }
  ADD_FAILURE() << name << " is not offered";
}

class SampleJoin : public NewUserTest {
 protected:
  // Calculations > Calculated Fields > New: WHO, the company upper-cased;
  // put on the Record line through the model.
  void AddCompanyCalculation() {
    answers.On("Calculated Fields", [this](HWND list) {
      answers.On("Calculated Field", [](HWND editor) {
        SetDlgItemTextA(editor, 200, "WHO");
        SetDlgItemTextA(editor, 201, "UPPER(company)");
        Press(editor, IDOK);
      });
      Press(list, 301);
      Press(list, IDCANCEL);
    });
    Command(kCmdCalculations);
    ASSERT_NE(Named(*doc, "WHO"), nullptr);
  }
  // Database > Joins > New: customers by company; the Joins list's text.
  std::string JoinCustomersByCompany() {
    std::string listed;
    answers.On("Related Table", [](HWND l) {
      SelectListed(l, 200, "customers");
      Press(l, IDOK);
    });
    answers.On("New Join", [](HWND d) {
      Press(d, 203);
      PickField(d, 201, "company");
      PickField(d, 205, "company");
      EXPECT_EQ(CutControlTexts(d), std::vector<std::string>{});
      Press(d, IDOK);
    });
    answers.On("Joins", [&listed](HWND d) {
      listed = ListItems(d, 200).empty() ? "" : ListItems(d, 200)[0];
      EXPECT_EQ(CutControlTexts(d), std::vector<std::string>{}) << "the join shows whole";
      Press(d, IDCANCEL);
    });
    messages.clear();
    Command(kCmdJoins);
    EXPECT_TRUE(messages.empty()) << messages[0];
    return listed;
  }
  // Saved, closed, opened again and printed: the PDF's text.
  std::string SaveReopenPrint(const std::string& report, const std::string& pdf) {
    Command(kCmdSave);
    EXPECT_FALSE(doc->IsModified());
    Command(kCmdClose);
    messages.clear();
    answers.File("Open Report", report);
    Command(kCmdOpen);
    EXPECT_TRUE(doc->m_bReportOpen);
    EXPECT_TRUE(messages.empty()) << messages[0];
    return PrintedBy(kCmdPrint, pdf);
  }
};

TEST_F(SampleJoin, TheSampleJoinsATableSharingAFieldName) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  const std::string alias = doc->m_pModel->tableSlots[0]->alias;
  EXPECT_EQ(alias, "order_li") << "the sample's master has the alias a new report's would";
  AddCompanyCalculation();
  EXPECT_EQ(JoinCustomersByCompany(), "join(order_li.company, customer.company, skip)");
  EXPECT_STREQ(Named(*doc, "WHO")->exprText, "UPPER(order_li.company)");
  const std::string text = SaveReopenPrint(dir_ + "/sales.kmw", "sample-join");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
  ASSERT_NE(Named(*doc, "WHO"), nullptr);
  EXPECT_NE(Named(*doc, "WHO")->code, nullptr) << "the calculation compiles again";
  EXPECT_NE(doc->m_pModel->tableSlots[1], nullptr) << "the join is read back";
}

TEST_F(SampleJoin, AReportKeptWithoutAMasterAliasTakesOneWhenJoined) {
  // The sample as an earlier maker kept it: its master without an alias.
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  const std::string report = dir_ + "/no-alias.kmw";
  doc->m_pModel->tableSlots[0]->alias[0] = 0;
  answers.File("Save As", report);
  Command(30020);
  Command(kCmdClose);
  answers.File("Open Report", report);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->alias, "");

  AddCompanyCalculation();
  EXPECT_EQ(JoinCustomersByCompany(), "join(order_li.company, customer.company, skip)");
  EXPECT_STREQ(Named(*doc, "WHO")->exprText, "UPPER(order_li.company)");
  const std::string text = SaveReopenPrint(report, "no-alias-join");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
  EXPECT_STREQ(doc->m_pModel->tableSlots[0]->alias, "order_li");
  ASSERT_NE(Named(*doc, "WHO"), nullptr);
  EXPECT_NE(Named(*doc, "WHO")->code, nullptr) << "the calculation compiles again";
}

}  // namespace
}  // namespace newuser_test
