#include "data/runtime_instructions.h"

#include "foundation/heap_strings.h"

#include <cstring>
#include <strings.h>

bool StdioInstructionFile::Seek(uint32_t offset) { return file_ && std::fseek(file_, offset, SEEK_SET) == 0; }

uint32_t StdioInstructionFile::Tell() const {
  long p = file_ ? std::ftell(file_) : -1;
  return p < 0 ? 0 : static_cast<uint32_t>(p);
}

int StdioInstructionFile::ReadByte() {
  if (!file_) return -1;
  int c = std::fgetc(file_);
  return c == EOF ? -1 : c;
}

bool MemoryInstructionFile::Seek(uint32_t offset) {
  if (offset > bytes_.size()) return false;
  pos_ = offset;
  return true;
}

int MemoryInstructionFile::ReadByte() {
  if (pos_ >= bytes_.size()) return -1;
  return static_cast<unsigned char>(bytes_[pos_++]);
}

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

char* HeapText(const char* begin, size_t len) {
  auto* t = static_cast<char*>(HeapAllocZero(0, static_cast<uint32_t>(len + 1)));
  if (t) std::memcpy(t, begin, len);
  return t;
}

void Trim(const char*& b, const char*& e) {
  while (e > b && IsWhite(e[-1])) --e;
}

}  // namespace

int RuntimeInstructionReader::GetChar(InstructionFile* file) {
  if (held) {
    held = 0;
    return pushBack;
  }
  if (!file || file->Tell() >= end) return 0;
  int c = file->ReadByte();
  return c < 0 ? 0 : c;
}

void RuntimeInstructionReader::UngetChar(int c) {
  pushBack = static_cast<uint8_t>(c);
  held = 1;
}

int RuntimeInstructionReader::ReadLine(InstructionFile* file, char* buf) {
  int n = 0;
  for (;;) {
    int c = GetChar(file);
    if (c == 0) {
      if (n == 0) {
        buf[0] = '\0';
        return 1;
      }
      UngetChar(0);  // the next call sees the end
      break;
    }
    if (c == '\n' || c == '\r') {
      int d = GetChar(file);
      if (!((c == '\r' && d == '\n') || (c == '\n' && d == '\r'))) UngetChar(d);
      break;
    }
    if (c == 0x0C || c == 0x1A) break;
    if (n >= kRuntimeLineMax - 1) {
      buf[n] = '\0';
      status = RI_BAD_LINE;
      return 1;
    }
    buf[n++] = static_cast<char>(c);
  }
  buf[n] = '\0';
  return 0;
}

int RuntimeInstructionReader::ReadRuntimeInstruction(InstructionFile* file, char** key, char** value) {
  if (key) *key = nullptr;
  if (value) *value = nullptr;
  char line[kRuntimeLineMax];
  const char* p;
  for (;;) {
    if (ReadLine(file, line) != 0) return 1;
    p = line;
    while (IsWhite(*p)) ++p;
    if (!*p) continue;
    if (*p == ';' || *p == '[') {
      status = RI_SKIPPED_LINES;
      continue;
    }
    break;
  }
  const char* eq = std::strchr(p, '=');
  if (!eq) {
    status = RI_BAD_LINE;
    return 1;
  }
  const char* kb = p;
  const char* ke = eq;
  Trim(kb, ke);
  std::string k(kb, ke - kb);
  const char* vb = eq + 1;
  bool keepLead = strcasecmp(k.c_str(), "RI_LOSCOPE") == 0 || strcasecmp(k.c_str(), "RI_HISCOPE") == 0;
  if (!keepLead)
    while (IsWhite(*vb)) ++vb;
  const char* ve = std::strchr(vb, ';');
  if (!ve) ve = vb + std::strlen(vb);
  Trim(vb, ve);
  char* hk = HeapText(kb, ke - kb);
  char* hv = HeapText(vb, ve - vb);
  if (!hk || !hv) {
    if (hk) HeapFreeBlock(hk);
    if (hv) HeapFreeBlock(hv);
    status = RI_NO_MEMORY;
    return 1;
  }
  *key = hk;
  *value = hv;
  return 0;
}

RuntimeInstruction* RuntimeInstructionReader::ReadRuntimeInstructionList(InstructionFile* file, uint32_t from,
                                                                         uint32_t to, bool continuing) {
  status = RI_OK;
  if (!continuing) {
    start = from;
    end = to;
    held = 0;
    if (!file || !file->Seek(start)) {
      status = RI_EMPTY;
      return nullptr;
    }
  }
  RuntimeInstruction* head = nullptr;
  RuntimeInstruction** tail = &head;
  char* k;
  char* v;
  while (ReadRuntimeInstruction(file, &k, &v) == 0) {
    auto* node = static_cast<RuntimeInstruction*>(HeapAllocZero(0, sizeof(RuntimeInstruction)));
    if (!node) {
      HeapFreeBlock(k);
      HeapFreeBlock(v);
      FreeRuntimeInstructions(head);
      status = RI_NO_MEMORY;
      return nullptr;
    }
    node->key = k;
    node->value = v;
    *tail = node;
    tail = &node->next;
  }
  if (status >= 1 && status <= 99) {
    FreeRuntimeInstructions(head);
    return nullptr;
  }
  if (!head) {
    status = RI_EMPTY;
    return nullptr;
  }
  for (RuntimeInstruction* a = head; a; a = a->next)
    for (RuntimeInstruction* b = a->next; b; b = b->next)
      if (strcasecmp(a->key, b->key) == 0) {
        status = RI_DUPLICATE_KEY;
        FreeRuntimeInstructions(head);
        return nullptr;
      }
  return head;
}

RuntimeInstruction* RuntimeInstructionReader::LoadRuntimeInstructions(InstructionFile* file, uint32_t from,
                                                                      uint32_t to) {
  return ReadRuntimeInstructionList(file, from, to, false);
}

RuntimeInstruction* RuntimeInstructionReader::FindRuntimeInstruction(const char* key, RuntimeInstruction* list) {
  for (RuntimeInstruction* n = list; n; n = n->next)
    if (key && strcasecmp(n->key, key) == 0) return n;
  status = RI_KEY_NOT_FOUND;
  return nullptr;
}

void RuntimeInstructionReader::FreeRuntimeInstructions(RuntimeInstruction* list) {
  while (list) {
    RuntimeInstruction* next = list->next;
    HeapFreeBlock(list->key);
    HeapFreeBlock(list->value);
    HeapFreeBlock(list);
    list = next;
  }
}
