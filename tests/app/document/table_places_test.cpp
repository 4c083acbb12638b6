// A lookup table file that moved is looked for in the places a report keeps
// before anyone is asked: beside the master table, by its bare name, and in
// the data folder (the start-up folder when the setting is empty).
#include "document_fixture.h"

#include "app/table_places_on_open.h"
#include "foundation/library_manager.h"

#include <algorithm>
#include <cstring>

namespace doc_test {
namespace {

class TablePlaces : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    ASSERT_TRUE(doc.CreateReportTables());
    ASSERT_NE(doc.m_pModel, nullptr);
    ASSERT_EQ(doc.m_pModel->AddTableSlot("/reports/orders", "ORDERS", 0, 0, nullptr), 0u);
    ASSERT_EQ(doc.m_pModel->AddTableSlot("C:\\OLD\\LINES", "LINES", 255, 0, nullptr), 1u);
  }
  // Opens slot 1, where the table now lies only at place; the paths tried.
  bool OpenAt(const std::string& place, std::vector<std::string>* tried) {
    TableSlot* t = doc.m_pModel->tableSlots[1];
    return OpenTableFromStoredPlaces(doc, 1, [&] {
      tried->push_back(t->path);
      return place == t->path;
    });
  }
};

TEST_F(TablePlaces, AFileMovedIntoTheDataFolderOpensWithoutAQuestion) {
  std::snprintf(doc.m_settings.dataDir, sizeof doc.m_settings.dataDir, "%s", dir.c_str());
  std::vector<std::string> tried;
  ASSERT_TRUE(OpenAt(dir + "/LINES", &tried));
  EXPECT_EQ(tried.back(), dir + "/LINES");
  EXPECT_STREQ(doc.m_pModel->tableSlots[1]->path, (dir + "/LINES").c_str());
  // Beside the master and by its bare name came first.
  EXPECT_NE(std::find(tried.begin(), tried.end(), "/reports/LINES"), tried.end());
  EXPECT_NE(std::find(tried.begin(), tried.end(), "LINES"), tried.end());
  EXPECT_TRUE(messages.empty());

  // No data folder set: the folder the program started in stands for it.
  doc.m_settings.dataDir[0] = '\0';
  std::snprintf(doc.m_pModel->tableSlots[1]->path, sizeof doc.m_pModel->tableSlots[1]->path, "C:\\OLD\\LINES");
  const std::string startup = StartupDirectory();
  ASSERT_FALSE(startup.empty());
  const std::string there = startup + (startup.back() == '/' ? "" : "/") + "LINES";
  tried.clear();
  EXPECT_TRUE(OpenAt(there, &tried));
  EXPECT_EQ(std::count(tried.begin(), tried.end(), std::string("/LINES")), 0) << "never the root folder";

  // Found nowhere: the stored path is kept for the question that follows.
  tried.clear();
  std::snprintf(doc.m_settings.dataDir, sizeof doc.m_settings.dataDir, "%s", dir.c_str());
  std::snprintf(doc.m_pModel->tableSlots[1]->path, sizeof doc.m_pModel->tableSlots[1]->path, "C:\\OLD\\LINES");
  EXPECT_FALSE(OpenAt("/nowhere/LINES", &tried));
  EXPECT_STREQ(doc.m_pModel->tableSlots[1]->path, "C:\\OLD\\LINES");
}

}  // namespace
}  // namespace doc_test
