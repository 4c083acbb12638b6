// A report's text table belongs to that report: emptying the model for the
// next one closes it and its sections go with the other fields.
#include "app/document.h"
#include "core/composite.h"
#include "data/open_tables.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

TEST(TextTableClear, TheNextReportStartsWithoutTheLastOnesTextTable) {
  // The process's own name: test programs run side by side.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("vt_clear_letter_" + std::to_string(getpid()) + ".txt")).string();
  std::ofstream(path, std::ios::binary) << ".A\r\n{one}\r\n.B\r\n{two}\r\n";
  CKmDoc doc;
  ASSERT_TRUE(doc.CreateReportTables());
  ASSERT_EQ(OpenTextTable(doc.m_pModel, path.c_str(), "LETTER"), 0);
  EXPECT_STREQ(TextTablePath(doc.m_pModel), path.c_str());
  EXPECT_EQ(doc.m_pModel->fieldCount, 2u);
  doc.EmptyModel();
  EXPECT_STREQ(TextTablePath(doc.m_pModel), "");
  EXPECT_EQ(doc.m_pModel->fieldList, nullptr);
  std::filesystem::remove(path);
}
