#include "model/reselect_tables.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ReselectTables, PathHelpers) {
  EXPECT_EQ(MakePathRelativeTo("C:\\DATA\\CUST.DBF", "C:\\DATA\\ORDERS.DBF"), "CUST.DBF");
  EXPECT_EQ(MakePathRelativeTo("C:\\DATA\\CUST.DBF", "c:\\data\\orders.dbf"), "CUST.DBF");
  EXPECT_EQ(MakePathRelativeTo("C:\\DATA\\CUST.DBF", "D:\\DATA\\ORDERS.DBF"), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(MakePathRelativeTo("C:\\DATA\\CUST.DBF", "C:\\OTHER\\ORDERS.DBF"), "\\DATA\\CUST.DBF");
  EXPECT_EQ(MakePathRelativeTo("C:\\DATA\\CUST.DBF", ""), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(MakePathRelativeTo("\\\\SRV\\SHARE\\D\\A.DBF", "C:\\D\\B.DBF"), "\\\\SRV\\SHARE\\D\\A.DBF");
  EXPECT_EQ(MakePathRelativeTo("\\\\SRV\\SHARE\\D\\A.DBF", "\\\\srv\\share\\E\\B.DBF"), "\\D\\A.DBF");
  EXPECT_EQ(MakePathRelativeTo("\\\\SRV\\SHARE\\D\\A.DBF", "\\\\OTHER\\SHARE\\D\\B.DBF"), "\\\\SRV\\SHARE\\D\\A.DBF");

  EXPECT_TRUE(IsDriveRootPath("C:"));
  EXPECT_TRUE(IsDriveRootPath("C:\\"));
  EXPECT_FALSE(IsDriveRootPath("C:\\DATA"));
  EXPECT_TRUE(IsDriveRootPath("\\\\SERVER\\SHARE"));
  EXPECT_TRUE(IsDriveRootPath("\\\\SERVER\\SHARE\\"));
  EXPECT_FALSE(IsDriveRootPath("\\\\SERVER\\SHARE\\DIR"));
  EXPECT_FALSE(IsDriveRootPath(nullptr));
  EXPECT_FALSE(IsDriveRootPath("C"));

  EXPECT_EQ(JoinDirAndFile("X:\\OLD\\CUST.DBF", "C:\\DATA\\"), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(JoinDirAndFile("CUST.DBF", "C:\\DATA"), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(GetPathRootEnd("\\\\SRV"), 5u);
  EXPECT_EQ(GetPathRootEnd("\\\\SRV\\SHARE\\X"), 11u);
  EXPECT_EQ(GetPathRootEnd("D:\\X"), 2u);
}

TEST(ReselectTables, KindChainsEndInAsking) {
  std::vector<int> chain{9};
  while (chain.back() != kPathKindAsk && chain.size() < 20) chain.push_back(NextTablePathKind(chain.back()));
  EXPECT_EQ(chain, (std::vector<int>{9, 8, 4, 1, 10, 2, 3}));
  // Every kind reaches the question; unknown kinds ask at once.
  for (int start = 0; start < 20; ++start) {
    int k = start, steps = 0;
    while (k != kPathKindAsk && steps++ < 20) k = NextTablePathKind(k);
    EXPECT_EQ(k, kPathKindAsk) << start;
  }
  EXPECT_EQ(NextTablePathKind(3), 3);
}

TEST(ReselectTables, PlacesToLook) {
  TablePathContext ctx;
  ctx.masterPath = "C:\\SALES\\ORDERS.DBF";
  ctx.dataDir = "D:\\DATA\\";
  ctx.fileDir = "E:\\REPORTS";
  ctx.pathsBlockDir = "F:\\KEPT";
  const std::string stored = "X:\\OLD\\CUST.DBF";
  EXPECT_EQ(BuildTablePath(1, stored, ctx), "C:\\SALES\\CUST.DBF");
  EXPECT_EQ(BuildTablePath(2, stored, ctx), "D:\\DATA\\CUST.DBF");
  EXPECT_EQ(BuildTablePath(3, stored, ctx), stored);
  EXPECT_EQ(BuildTablePath(77, stored, ctx), stored);
  EXPECT_EQ(BuildTablePath(4, stored, ctx), stored);
  EXPECT_EQ(BuildTablePath(4, "CUST.DBF", ctx), "E:\\REPORTS\\CUST.DBF");
  EXPECT_EQ(BuildTablePath(8, stored, ctx), "F:\\KEPT\\CUST.DBF");
  EXPECT_EQ(BuildTablePath(9, stored, ctx), "CUST.DBF");
  ctx.sourceDbDir = "G:\\DB";
  ctx.currentDbDir = "g:\\db";
  EXPECT_EQ(BuildTablePath(11, stored, ctx), "CUST.DBF");
  ctx.currentDbDir = "H:\\DB";
  EXPECT_EQ(BuildTablePath(11, stored, ctx), "G:\\DB\\CUST.DBF");
  ctx.dirPrefix = false;
  EXPECT_EQ(BuildTablePath(12, stored, ctx), "CUST.DBF");
  // A place whose folder is not known gives nothing to try, never the root.
  TablePathContext none;
  none.masterPath = "ORDERS.DBF";
  for (int kind : {1, 2, 8}) EXPECT_EQ(BuildTablePath(kind, stored, none), "") << kind;
  EXPECT_EQ(BuildTablePath(4, "CUST.DBF", none), "");
  EXPECT_EQ(BuildTablePath(4, "/old/CUST.DBF", none), "/old/CUST.DBF") << "a folder of this system's form";

  int next = 0;
  EXPECT_EQ(MakeRelativePath("\\DATA\\CUST.DBF", ctx, &next), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(next, 1);
  EXPECT_EQ(MakeRelativePath("CUST.DBF", ctx, &next), "C:\\SALES\\CUST.DBF");
  EXPECT_EQ(next, 10);
  EXPECT_EQ(MakeRelativePath("Z:\\CUST.DBF", ctx, &next), "Z:\\CUST.DBF");
  EXPECT_EQ(next, 1);
}
