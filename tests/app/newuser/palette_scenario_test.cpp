// The Insert Field palette lists the fields of the report as it is: closing
// the report takes it down, and a change of master table under an open
// palette leaves none of the removed fields in it. The field then inserted
// is the new table's, and the report is saved, read back and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/open_report.h"
#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/insert_field_dialog.h"
#include "layout/layout_records.h"

#include <algorithm>
#include <cstring>

namespace newuser_test {
namespace {

constexpr UINT kCmdOpen = 32001;
constexpr UINT kCmdClose = 30000;
constexpr UINT kCmdMasterTable = 30600;
constexpr UINT kCmdInsertField = 30400;

HWND Palette(CKmDoc& doc) { return doc.m_pInsertFieldPalette != nullptr ? doc.m_pInsertFieldPalette->m_hWnd : nullptr; }

// The names the palette offers (each row carries a type mark and a blank first).
std::vector<std::string> Offered(HWND palette) {
  std::vector<std::string> names;
  for (const std::string& row : ListItems(palette, kInsertFieldList)) names.push_back(row.size() > 2 ? row.substr(2) : row);
  return names;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

int PlacedOnLine(CKmDoc& doc, const char* name, int line) {
  int n = 0;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)) && f->head.bandLine == line &&
        std::strcmp(f->name, name) == 0)
      ++n;
  return n;
}

TEST_F(NewUserTest, ThePaletteNeverOffersTheFieldsOfAClosedReportOrARemovedMasterTable) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  Command(kCmdInsertField);
  HWND first = Palette(*doc);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(Has(Offered(first), "quantity"));

  // File Close takes the palette down with the report's fields.
  Command(kCmdClose);
  EXPECT_FALSE(doc->m_bReportOpen);
  EXPECT_EQ(doc->m_pInsertFieldPalette, nullptr);
  EXPECT_FALSE(IsWindow(first));

  // Another report opened, the palette opened on it, then its master table
  // changed to the customers: the order lines' fields leave the palette.
  const std::string other = dir_ + "/other.kmw";
  fs::copy_file(dir_ + "/sales.kmw", other, fs::copy_options::overwrite_existing);
  answers.File("Open Report", other);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  Command(kCmdInsertField);
  HWND palette = Palette(*doc);
  ASSERT_NE(palette, nullptr);
  ASSERT_TRUE(Has(Offered(palette), "quantity"));
  bool warned = false;
  AnswerMasterTable("customers");
  answers.On("Fields Affected", [&](HWND w) {
    warned = true;
    Press(w, IDOK);
  });
  Command(kCmdMasterTable);
  EXPECT_TRUE(warned) << "the placed order-line fields go with their table";
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");
  ASSERT_EQ(Palette(*doc), palette) << "the palette stays open over the change";
  const std::vector<std::string> offered = Offered(palette);
  EXPECT_FALSE(Has(offered, "quantity"));
  EXPECT_TRUE(Has(offered, "company"));

  // The caret on an empty spot of the title line; Insert places the chosen field.
  const BandLineRec& title = doc->m_bandLines.lines[0];
  doc->m_pView->MoveCaretToPoint(560, title.bottom - 3, true, true);
  ASSERT_EQ(doc->m_pView->CaretLine(), 0);
  const auto at = std::find(offered.begin(), offered.end(), "company") - offered.begin();
  SendDlgItemMessageA(palette, kInsertFieldList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  Press(palette, kInsertFieldButton);
  EXPECT_EQ(PlacedOnLine(*doc, "company", 0), 1);

  // Saved, read back, printed: the title line carries the first customer.
  Command(kCmdFileSave);
  EXPECT_FALSE(doc->IsModified());
  Command(kCmdClose);
  EXPECT_EQ(doc->m_pInsertFieldPalette, nullptr);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(PlacedOnLine(*doc, "company", 0), 1);
  const std::string text = PrintedBy(30030, "palette");
  const std::string line = text.substr(0, text.find('\n'));
  EXPECT_NE(line.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(line.find("Alder & Sons"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
