// A lookup table file that moved is looked for in the places a report keeps
// before anyone is asked: beside the master table, by its bare name, and in
// the data folder (the start-up folder when the setting is empty).
#include "document_fixture.h"

#include "app/table_places_on_open.h"
#include "files/report_io.h"
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

// Where the look starts follows how the report kept the table: beside the
// master when kept relative to it, by its name first across folders or as a
// bare name (then the folder of the library last used).
TEST_F(TablePlaces, TheFirstPlaceFollowsHowTheReportKeptTheTable) {
  CKmRepIO repIO(&doc);  // what the reader kept of the table
  doc.m_pRepIO = &repIO;
  std::snprintf(doc.m_settings.dataDir, sizeof doc.m_settings.dataDir, "%s", dir.c_str());
  std::vector<BYTE> paths(4436, 0);
  std::snprintf(reinterpret_cast<char*>(paths.data()), 261, "/libs/reports.qb6");
  doc.m_pDocPaths = paths.data();
  TableSourceGroup& kept = doc.m_pRepIO->m_stream.settings.sources[1];
  auto places = [&](uint16_t bits, const char* stored) {
    kept.placeBits = bits;
    std::snprintf(doc.m_pModel->tableSlots[1]->path, sizeof doc.m_pModel->tableSlots[1]->path, "%s", stored);
    std::vector<std::string> tried;
    EXPECT_FALSE(OpenAt("/nowhere/LINES", &tried));
    EXPECT_STREQ(doc.m_pModel->tableSlots[1]->path, stored) << "the stored path is kept for the question";
    return tried;
  };
  EXPECT_EQ(places(2, "LINES"), (std::vector<std::string>{"/reports/LINES", "LINES", dir + "/LINES"}));
  EXPECT_EQ(places(4, "C:\\OLD\\LINES"), (std::vector<std::string>{"LINES", dir + "/LINES"}));
  EXPECT_EQ(places(0, "LINES"), (std::vector<std::string>{"LINES", "/libs/LINES", "/reports/LINES", dir + "/LINES"}));
  doc.m_pDocPaths = nullptr;
  doc.m_pRepIO = nullptr;
}

}  // namespace
}  // namespace doc_test
