#include "core/composite.h"
#include "core/engine_errors.h"
#include "data/open_tables.h"
#include "data/reportview.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ViewModel {
  CKmComposite m{nullptr};
  int Parse(const char* text, uint32_t* pos = nullptr, bool passExec = false) {
    uint32_t p = 0;
    int rc = ParseReportViewStatement(&m, text, pos ? pos : &p, passExec);
    return rc;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> v;
    if (const char* const* n = ReportViewNames(&m))
      for (; *n; ++n) v.push_back(*n);
    return v;
  }
};

std::vector<TextSection> Layout(const std::string& text, int* rc) {
  std::vector<TextSection> out;
  *rc = ReadTextTableLayout(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "NOTES", &out);
  return out;
}

}  // namespace

TEST(ReportView, SelectExecAndOtherStatements) {
  ViewModel v;
  EXPECT_EQ(v.Parse("   SELECT a FROM t"), 0);
  EXPECT_EQ(v.m.statementOffset, 3u);
  EXPECT_EQ(v.m.reportViewName, "RESULT");
  EXPECT_TRUE(v.Names().empty());

  uint32_t pos = 0;
  EXPECT_EQ(v.Parse("   ", &pos), kEngineEmptyStatement);
  EXPECT_EQ(pos, 0u);

  v.m.reportViewName.clear();
  EXPECT_EQ(v.Parse(" exec  sales_by_month 1996"), 0);
  EXPECT_EQ(v.m.statementOffset, 7u);
  EXPECT_EQ(v.m.reportViewName, "sales_by_month");
  EXPECT_EQ(v.Parse(" exec  sales_by_month 1996", nullptr, true), 0);
  EXPECT_EQ(v.m.statementOffset, 1u);
  pos = 0;
  EXPECT_EQ(v.Parse("exec   ", &pos), kEngineMissingProcedure);

  // Any statement that is no reading one or procedure call is refused, and
  // what the last one set stays: a report never changes the data.
  v.m.reportViewName = "Kept";
  pos = 0;
  EXPECT_EQ(v.Parse("  delete from t", &pos), kEngineChangingStatement);
  EXPECT_EQ(pos, 0u);
  EXPECT_EQ(v.m.reportViewName, "Kept");
  EXPECT_EQ(v.m.statementOffset, 1u);
  EXPECT_EQ(v.Parse("select 1; delete from t"), kEngineChangingStatement);
  EXPECT_NE(std::string(v.m.GetEngineErrorText(kEngineChangingStatement)).find("second statement"),
            std::string::npos);
  EXPECT_EQ(v.Parse("define reportview T (a) as select 1 into x"), kEngineChangingStatement);
  EXPECT_TRUE(v.Names().empty());
  // A procedure call needs no procedure verb of the data source's.
  EXPECT_EQ(v.Parse("  call p(1)"), 0);
  EXPECT_EQ(v.m.statementOffset, 2u);
}

TEST(ReportView, DefinitionsAndTheirFailures) {
  ViewModel v;
  const char* text = "define reportview Totals (Region, Amount ) as  select r, sum(a) from t";
  ASSERT_EQ(v.Parse(text), 0);
  EXPECT_EQ(v.m.reportViewName, "Totals");
  EXPECT_EQ(v.Names(), (std::vector<std::string>{"Region", "Amount"}));
  EXPECT_EQ(std::strncmp(text + v.m.statementOffset, "select", 6), 0);

  EXPECT_EQ(v.Parse("DEFINE REPORTVIEW empty () AS SELECT 1"), 0);
  EXPECT_TRUE(v.Names().empty());
  EXPECT_NE(ReportViewNames(&v.m), nullptr);

  uint32_t pos = 0;
  EXPECT_EQ(v.Parse("define reportview Totals as select 1", &pos), kEngineInvalidViewNames);
  EXPECT_EQ(v.Parse("define reportview Totals (a, b as select 1"), kEngineInvalidViewNames);
  pos = 0;
  EXPECT_EQ(v.Parse("define view Totals (a) as select 1", &pos), kEngine3235);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(v.Parse("define reportview  "), kEngineMissingViewName);
  EXPECT_EQ(v.Parse("define reportview T (a) select 1"), kEngineMissingAs);
  EXPECT_EQ(v.Parse("define reportview T (a) as update t"), kEngineMissingSelect);
  EXPECT_EQ(v.Parse("define reportview T (a) as"), kEngineMissingSelect);
}

TEST(OpenTables, OwnerOverrideKeepsOddNamesWhole) {
  EXPECT_EQ(ReplaceOwner("owner.table", "NEW"), "NEW.table");
  EXPECT_EQ(ReplaceOwner("qualifier.owner.table", "NEW"), "qualifier.NEW.table");
  // No owner part: the name stays as it is.
  EXPECT_EQ(ReplaceOwner("EMP", "NEW"), "EMP");
  // Several qualifiers: only the owner, before the last dot, changes.
  EXPECT_EQ(ReplaceOwner("a.b.c.d", "NEW"), "a.b.NEW.d");

  TableOverrideContext ctx;
  ctx.owner = "NEWOWNER";
  std::string ref = "\"owner.orders\"", alias, message;
  EXPECT_TRUE(ApplyDataSourceOverride(ctx, &ref, &alias, &message));
  EXPECT_EQ(ref, "NEWOWNER.orders");
  EXPECT_EQ(alias, "orders");
  EXPECT_EQ(message, "Orig data source: owner.orders\r New data source: NEWOWNER.orders");
  ctx.owner = "1";
  ref = "owner.customers";
  EXPECT_FALSE(ApplyDataSourceOverride(ctx, &ref, &alias, nullptr));
  EXPECT_EQ(ref, "owner.customers");
  EXPECT_EQ(alias, "customer");

  TableOverrideContext files;
  files.ownerNames = false;
  ref = "C:\\data\\2001-sales.dbf";
  ApplyDataSourceOverride(files, &ref, &alias, nullptr);
  EXPECT_EQ(alias, "SAL");
}

TEST(OpenTables, AliasesAndExtensions) {
  EXPECT_EQ(MakeTableAlias("12-order lines"), "order_lines");
  EXPECT_EQ(MakeTableAlias("1234"), "KMTABLE");
  EXPECT_EQ(MakeTableAlias(""), "KMTABLE");
  EXPECT_EQ(ReplaceExtension("c:\\a.b\\file.txt", ".kmi"), "c:\\a.b\\file.kmi");
  EXPECT_EQ(ReplaceExtension("c:\\a.b\\file", ".kmi"), "c:\\a.b\\file.kmi");
  EXPECT_EQ(ReplaceExtension(".profile", ".x"), ".profile.x");
  EXPECT_EQ(ReplaceExtension("dir/name.tar.gz", ""), "dir/name.tar");
}

TEST(OpenTables, TextTableLayouts) {
  int rc = -1;
  auto whole = Layout("just text\r\nand more\x1a" "ignored", &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].name, "NOTES");
  EXPECT_EQ(whole[0].length, 19u);

  std::string text = ".Intro text\r\n{Hello}\n\r.a:b#c\n{x\ny}\n";
  auto sections = Layout(text, &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].name, "Intro_text");
  EXPECT_EQ(text.substr(sections[0].start, sections[0].length), "Hello");
  EXPECT_EQ(sections[1].name, "a_b_c");
  EXPECT_EQ(text.substr(sections[1].start, sections[1].length), "x\ny");

  // Text after the sections, or a section never closed, is refused.
  EXPECT_TRUE(Layout(".A\n{1}\nloose words", &rc).empty());
  EXPECT_EQ(rc, kEngineCannotReadMemo);
  EXPECT_TRUE(Layout(".A\n{1}\n.B\n{never closed", &rc).empty());
  EXPECT_EQ(rc, kEngineCannotReadMemo);
  // A section name is held to 128 characters.
  std::string longName = "." + std::string(300, 'N') + "\n{v}";
  auto one = Layout(longName, &rc);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].name.size(), 128u);
  // An empty file is one empty field.
  auto empty = Layout("", &rc);
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].length, 0u);
}

TEST(OpenTables, TextFilesBecomeLongTextFields) {
  CKmComposite m{nullptr};
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "/vt_text_table.txt";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(".First part\r\n{one}\r\n.Second\n{two\nlines}\n", f);
    std::fclose(f);
  }
  ASSERT_EQ(OpenTextTable(&m, path.c_str(), "NOTES"), 0);
  EXPECT_EQ(TextTablePath(&m), path);
  ASSERT_EQ(m.fieldCount, 2u);
  EXPECT_STREQ(m.fieldList->name, "First_part");
  EXPECT_TRUE(m.fieldList->flags & kFieldMemo);
  EXPECT_EQ(m.fieldList->table, kTableDerivedColumn);
  EXPECT_EQ(m.fieldList->memoPosition2, 3u);
  CloseTextTable(&m);

  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs(".A\n{1}\nstray", f);
    std::fclose(f);
  }
  EXPECT_EQ(OpenTextTable(&m, path.c_str(), "NOTES"), kEngineCannotReadMemo);
  EXPECT_EQ(m.fieldCount, 2u);
  EXPECT_EQ(OpenTextTable(&m, (dir + "/no_such_file.txt").c_str(), "X"), kEngineCannotOpenText);
  std::remove(path.c_str());
  while (m.fieldList) m.DeleteField(m.fieldList, 2);
}
