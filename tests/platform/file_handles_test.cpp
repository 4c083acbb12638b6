// Opening files by purpose: who else may open them meanwhile, what a write
// open does to an existing file, and the attributes a failed open leaves
// for its caller's message.
#include "platform/win/file_handles.h"
#include "platform/win/fileio.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

TEST(FileHandles, ReadersShareAWriterSharesWithNoOne) {
  ScopedWinDir w;
  w.Write("Report.KMW", "report");
  const std::string p = w.Path("Report.KMW");
  DWORD attributes = 0;
  const int a = OpenFileForRead((w.dir() + "\\report.kmw").c_str(), &attributes);  // any case, either separator
  ASSERT_GE(a, 0);
  EXPECT_EQ(attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  const int b = OpenFileForRead(p.c_str());
  EXPECT_GE(b, 0) << "readers share";
  EXPECT_LT(OpenFileForWrite(p.c_str()), 0) << "no writer while it is read";
  EXPECT_TRUE(FileCanBeRead(p.c_str()));
  CloseFileHandle(a);
  CloseFileHandle(b);

  const int c = OpenFileForWrite(p.c_str(), &attributes);
  ASSERT_GE(c, 0);
  FileInfo info;
  ASSERT_TRUE(GetFileInfoByHandle(c, &info));
  EXPECT_EQ(info.size, 0u) << "a write open empties the file";
  EXPECT_FALSE(FileCanBeRead(p.c_str())) << "nobody reads what is being written";
  EXPECT_LT(OpenFileHandle(p.c_str(), GENERIC_READ | GENERIC_WRITE, false), 0);
  CloseFileHandle(c);
  EXPECT_TRUE(FileCanBeRead(p.c_str()));
}

TEST(FileHandles, AFailedOpenLeavesTheAttributesThatExplainIt) {
  ScopedWinDir w;
  DWORD attributes = 99;
  // Missing: reading fails and writing makes the file; no attributes either time.
  const std::string made = w.Path("new.txt");
  EXPECT_LT(OpenFileForRead(made.c_str(), &attributes), 0);
  EXPECT_EQ(attributes, 0u);
  EXPECT_FALSE(FileCanBeRead(made.c_str()));
  attributes = 99;
  const int h = OpenFileForWrite(made.c_str(), &attributes);
  ASSERT_GE(h, 0);
  EXPECT_EQ(attributes, 0u);
  ASSERT_TRUE(WriteFileHandle(h, "abc", 3));
  CloseFileHandle(h);

  // Read-only (no write bit): read, never written, whoever asks; the file stays whole.
  ASSERT_EQ(::chmod(made.c_str(), 0444), 0);
  EXPECT_LT(OpenFileForWrite(made.c_str(), &attributes), 0);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  FileInfo info;
  ASSERT_TRUE(GetFileInfoByPath(made, &info));
  EXPECT_EQ(info.size, 3u);
  EXPECT_TRUE(FileCanBeRead(made.c_str()));

  // A folder is no file; a missing folder on the way leaves no attributes.
  EXPECT_LT(OpenFileForWrite(w.dir().c_str(), &attributes), 0);
  EXPECT_EQ(attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_LT(OpenFileForWrite(w.Path("none/out.txt").c_str(), &attributes), 0);
  EXPECT_EQ(attributes, 0u);
  EXPECT_LT(OpenFileForRead(nullptr, &attributes), 0);
  EXPECT_FALSE(FileCanBeRead(""));
}
