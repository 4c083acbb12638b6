// A report whose text file (a form letter's sections, attached as a report
// script attaches it) was moved: opening it names the file that could not be
// opened and offers the Open dialog; the file chosen there serves the report,
// which prints its sections and keeps the new place when saved.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/open_report.h"
#include "core/composite.h"
#include "data/open_tables.h"
#include "layout/layout_records.h"

#include <cstring>
#include <fstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdOpen = 32001;
constexpr UINT kCmdClose = 30000;

FieldDef* Named(CKmComposite* m, const char* name) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

// The memo takes the place (and the font) of the widest field on a record
// line, which leaves the layout.
bool PlaceInsteadOfWidestRecordField(CKmDoc& doc, FieldDef* memo) {
  FieldDef* widest = nullptr;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if ((f->head.flags & kItemKindField) && doc.m_bandLines.lines[f->head.bandLine].kind == kBandRecord &&
        (widest == nullptr || f->head.width > widest->head.width))
      widest = f;
  if (widest == nullptr) return false;
  memo->head = widest->head;
  widest->head.fontHandle = nullptr;
  widest->head.flags &= ~kItemKindField;
  widest->flags &= ~(kFieldItem | kFieldNeeded);
  MarkFieldPlaced(memo);
  memo->flags |= kFieldItem | kFieldNeeded;
  BuildLayoutItemOrder(*doc.m_pLayout);
  return true;
}

TEST_F(NewUserTest, AMovedTextFileIsAskedForOnOpenAndItsNewPlaceIsSaved) {
  const std::string report = dir_ + "/letter.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  const std::string letter = dir_ + "/letter.txt";
  std::ofstream(letter, std::ios::binary) << ".GREETING\r\n{Greetings from the moved letter}\r\n";
  ASSERT_TRUE(Start({report}));
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(OpenTextTable(doc->m_pModel, letter.c_str(), "LETTER"), 0);
  FieldDef* greeting = Named(doc->m_pModel, "GREETING");
  ASSERT_NE(greeting, nullptr);
  ASSERT_TRUE(PlaceInsteadOfWidestRecordField(*doc, greeting));
  doc->SetModifiedFlag(TRUE);
  // Moved: the open says which file it could not open, then the Open
  // dialog takes the file's new place.
  const std::string moved = SaveMoveAndReopen(report, letter, "Text File");
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
  EXPECT_NE(messages[0].find("letter.txt"), std::string::npos) << messages[0];
  EXPECT_STREQ(TextTablePath(doc->m_pModel), moved.c_str());
  EXPECT_TRUE(doc->IsModified()) << "the new place is the report's to save";
  const std::string text = PrintedBy(30030, "letter_moved");
  // The section wraps in its field: its words, each record.
  EXPECT_NE(text.find("Greetings from"), std::string::npos) << text;
  EXPECT_NE(text.find("letter"), std::string::npos) << text;

  // Saved there: the next open finds it without a question.
  Command(kCmdFileSave);
  Command(kCmdClose);
  messages.clear();
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_TRUE(messages.empty()) << messages[0];
  EXPECT_STREQ(TextTablePath(doc->m_pModel), moved.c_str());

  // Gone and the Open dialog cancelled: the report still opens, as it was.
  Command(kCmdClose);
  fs::remove(moved);
  messages.clear();
  answers.File("Text File", "");
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
  EXPECT_FALSE(doc->IsModified());
}

}  // namespace
}  // namespace newuser_test
