#include "data/runtime_instructions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Loaded {
  RuntimeInstructionReader reader;
  RuntimeInstruction* list = nullptr;
  ~Loaded() { RuntimeInstructionReader::FreeRuntimeInstructions(list); }
};

void Load(Loaded& l, const std::string& text, uint32_t start = 0, uint32_t end = 0xFFFFFFFF) {
  MemoryInstructionFile f(text);
  l.list = l.reader.LoadRuntimeInstructions(&f, start, end == 0xFFFFFFFF ? static_cast<uint32_t>(text.size()) : end);
}

}  // namespace

TEST(RuntimeInstructions, ValuesCommentsAndScopeBlanks) {
  Loaded l;
  Load(l, "; comment\r\n[Section]\n\n  RI_LOSCOPE =  low ; note\r\nRI_REPLACE=   <<1>>,<<2>>  \nri_hiscope= x");
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.reader.status, RI_SKIPPED_LINES);
  RuntimeInstruction* lo = l.reader.FindRuntimeInstruction("ri_loscope", l.list);
  ASSERT_NE(lo, nullptr);
  EXPECT_STREQ(lo->key, "RI_LOSCOPE");
  EXPECT_STREQ(lo->value, "  low");
  EXPECT_STREQ(l.reader.FindRuntimeInstruction("RI_REPLACE", l.list)->value, "<<1>>,<<2>>");
  EXPECT_STREQ(l.reader.FindRuntimeInstruction("RI_HISCOPE", l.list)->value, " x");
  EXPECT_EQ(l.reader.FindRuntimeInstruction("RI_NONE", l.list), nullptr);
  EXPECT_EQ(l.reader.status, RI_KEY_NOT_FOUND);
}

TEST(RuntimeInstructions, StretchBoundsAndLineEnds) {
  std::string text = "JUNK=1\nA=1\n\rB=2\fC=3\x1A" "D=4\nE=5";
  Loaded l;
  // Starts after the first line and ends inside "E=5".
  Load(l, text, 7, static_cast<uint32_t>(text.size() - 1));
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.reader.FindRuntimeInstruction("JUNK", l.list), nullptr);
  EXPECT_STREQ(l.reader.FindRuntimeInstruction("B", l.list)->value, "2");
  EXPECT_STREQ(l.reader.FindRuntimeInstruction("D", l.list)->value, "4");
  EXPECT_STREQ(l.reader.FindRuntimeInstruction("E", l.list)->value, "");  // the stretch cut the line
}

TEST(RuntimeInstructions, FailuresLeaveNoList) {
  {
    Loaded l;
    Load(l, "A=1\nno equals sign\nB=2");
    EXPECT_EQ(l.list, nullptr);
    EXPECT_EQ(l.reader.status, RI_BAD_LINE);
  }
  {
    Loaded l;
    Load(l, "Key=1\nKEY=2");
    EXPECT_EQ(l.list, nullptr);
    EXPECT_EQ(l.reader.status, RI_DUPLICATE_KEY);
  }
  {
    Loaded l;
    Load(l, "; only a comment\n\n");
    EXPECT_EQ(l.list, nullptr);
    EXPECT_EQ(l.reader.status, RI_EMPTY);
  }
  {
    Loaded l;
    Load(l, "A=" + std::string(5000, 'x') + "\nB=1");
    EXPECT_EQ(l.list, nullptr);
    EXPECT_EQ(l.reader.status, RI_BAD_LINE);
  }
  {
    Loaded l;
    Load(l, "A=1", 0, 1000000);  // an end beyond the data stops at the data's end
    ASSERT_NE(l.list, nullptr);
    Loaded m;
    Load(m, "A=1\n", 50, 60);  // a start beyond the data
    EXPECT_EQ(m.list, nullptr);
  }
  {
    Loaded l;
    Load(l, std::string("A=1\0B=2", 7));  // a NUL ends the stretch
    ASSERT_NE(l.list, nullptr);
    EXPECT_EQ(l.list->next, nullptr);
  }
}
