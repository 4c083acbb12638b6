// Runtime instructions: "KEY=value" lines read from a stretch of a file,
// with ";" comments and "[section]" lines passed over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The file the reader works on: positioned reads of single bytes.
class InstructionFile {
 public:
  virtual ~InstructionFile() = default;
  virtual bool Seek(uint32_t offset) = 0;
  virtual uint32_t Tell() const = 0;
  // The next byte, or -1 when none can be read.
  virtual int ReadByte() = 0;
};

class StdioInstructionFile : public InstructionFile {
 public:
  explicit StdioInstructionFile(FILE* f) : file_(f) {}
  bool Seek(uint32_t offset) override;
  uint32_t Tell() const override;
  int ReadByte() override;

 private:
  FILE* file_;
};

class MemoryInstructionFile : public InstructionFile {
 public:
  explicit MemoryInstructionFile(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Seek(uint32_t offset) override;
  uint32_t Tell() const override { return pos_; }
  int ReadByte() override;

 private:
  std::string bytes_;
  uint32_t pos_ = 0;
};

struct RuntimeInstruction {
  char* key;
  char* value;
  uint32_t unused;
  RuntimeInstruction* next;
};

enum RuntimeInstructionStatus : int32_t {
  RI_OK = 0,
  RI_NO_MEMORY = 1,
  RI_KEY_NOT_FOUND = 2,
  RI_DUPLICATE_KEY = 3,
  RI_EMPTY = 4,
  RI_BAD_LINE = 5,
  RI_SKIPPED_LINES = 100,
};

constexpr int kRuntimeLineMax = 1024;

class RuntimeInstructionReader {
 public:
  RuntimeInstruction* LoadRuntimeInstructions(InstructionFile* file, uint32_t start, uint32_t end);
  RuntimeInstruction* ReadRuntimeInstructionList(InstructionFile* file, uint32_t start, uint32_t end,
                                                 bool continuing);
  // 0 one instruction read (key and value are heap texts), 1 no more.
  int ReadRuntimeInstruction(InstructionFile* file, char** key, char** value);
  RuntimeInstruction* FindRuntimeInstruction(const char* key, RuntimeInstruction* list);
  static void FreeRuntimeInstructions(RuntimeInstruction* list);

  int GetChar(InstructionFile* file);
  void UngetChar(int c);
  // buf holds kRuntimeLineMax bytes. 0 a line, 1 the end.
  int ReadLine(InstructionFile* file, char* buf);

  int32_t status = RI_OK;
  uint8_t pushBack = 0;
  uint32_t held = 0;
  uint32_t start = 0;
  uint32_t end = 0;
};
