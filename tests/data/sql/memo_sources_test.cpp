// The program's memo readers: a text table's section read from its file and
// a long text column's whole fetched text, with the reader's line-end rules,
// and what a file cut short or a buffer without its end gives.
#include "data/memo_sources.h"
#include "data/open_tables.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/memo_text.h"
#include "model/record_pass.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string TempFile(const char* name, const std::string& bytes) {
  // The process's own name: test programs run side by side.
  const std::string path =
      (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + name)).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

FieldDef* Named(CKmComposite& m, const char* name) {
  for (FieldDef* f = m.fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

void DeleteAll(CKmComposite& m) {
  while (m.fieldList) m.DeleteField(m.fieldList, 2 | 4);
}

TEST(MemoSources, ATextTableSectionReadsWholeAndAShortenedFileSaysSoKeepingWhatItRead) {
  std::string body;
  for (int i = 0; i < 60; ++i) body += "line " + std::to_string(i) + " of the letter\r\n";
  body += "\r\nlast paragraph";
  const std::string path = TempFile("vt_memo_sources.txt", ".NOTE\r\n{" + body + "}\r\n");
  CKmComposite m(nullptr);
  ASSERT_EQ(OpenTextTable(&m, path.c_str(), "NOTES"), 0);
  FieldDef* note = Named(m, "NOTE");
  ASSERT_NE(note, nullptr);
  MemoReader* r = MemoReaderFor(&m, note);
  ASSERT_NE(r, nullptr);
  std::string text;
  ASSERT_EQ(ReadWholeMemo(*r, &text, 1u << 20), 0);
  EXPECT_GT(text.size(), 1000u);
  // Single line ends join the lines; the blank line is a paragraph break.
  EXPECT_NE(text.find("line 0 of the letter line 1 of the letter"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("line 59 of the letter") + kMemoLineEnd + "last paragraph"), std::string::npos);

  // The file loses its end after the table was opened.
  std::filesystem::resize_file(path, 400);
  r = MemoReaderFor(&m, note);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(ReadWholeMemo(*r, &text, 1u << 20), 1);
  EXPECT_NE(text.find("line 0 of the letter"), std::string::npos);
  EXPECT_LT(text.size(), 400u);

  // The file gone: nothing is read, and that is a failure too.
  std::filesystem::remove(path);
  CloseTextTable(&m);
  EXPECT_EQ(MemoReaderFor(&m, note), nullptr);  // no text table: no memo to read
  DeleteAll(m);
}

TEST(MemoSources, ALongTextColumnReadsItsWholeFetchedTextNeverPastItsBuffer) {
  CKmComposite m(nullptr);
  FieldDef* f = m.AddField(0);
  std::snprintf(f->name, sizeof f->name, "BODY");
  f->table = 0;
  FieldBinding* b = GetFieldBinding(f, true);
  b->dbType = QE_DB_MEMO;
  ASSERT_TRUE(IsLongTextColumn(f));
  std::string fetched;
  for (int i = 0; i < 400; ++i) fetched += "word" + std::to_string(i) + (i % 50 == 49 ? "\n\n" : " ");
  b->fetchSize = static_cast<uint32_t>(fetched.size() + 1);
  b->fetchBuffer = static_cast<uint8_t*>(std::calloc(b->fetchSize, 1));
  std::memcpy(b->fetchBuffer, fetched.data(), fetched.size());
  b->fetchedLength = static_cast<int32_t>(fetched.size());
  MemoReader* r = MemoReaderFor(&m, f);
  ASSERT_NE(r, nullptr);
  std::string text;
  ASSERT_EQ(ReadWholeMemo(*r, &text, 1u << 20), 0);
  EXPECT_GT(text.size(), 2000u);
  EXPECT_NE(text.find("word399"), std::string::npos);
  EXPECT_NE(text.find(std::string("word49") + kMemoLineEnd), std::string::npos);

  // A buffer filled to its last byte: the text ends before that byte.
  std::memset(b->fetchBuffer, 'x', b->fetchSize);
  r = MemoReaderFor(&m, f);
  ASSERT_EQ(ReadWholeMemo(*r, &text, 1u << 20), 0);
  EXPECT_EQ(text.size(), b->fetchSize - 1);

  // A null value has no text.
  b->fetchedLength = QE_LEN_NULL;
  r = MemoReaderFor(&m, f);
  ASSERT_EQ(ReadWholeMemo(*r, &text, 1u << 20), 0);
  EXPECT_TRUE(text.empty());

  // A plain text column has no memo reader.
  b->dbType = QE_DB_VARCHAR;
  EXPECT_EQ(MemoReaderFor(&m, f), nullptr);
  FreeFieldValueBuffer(f);
  delete f->dataBinding;
  f->dataBinding = nullptr;
  DeleteAll(m);
}

}  // namespace
