#include "core/compiled_code.h"

#include <cstdio>
#include <cstring>

void CodeWriter::PutU32(uint32_t v) {
  uint8_t b[4];
  ::PutU32(b, v);
  bytes_.insert(bytes_.end(), b, b + 4);
}

void CodeWriter::PutF64(double v) {
  uint8_t b[8];
  ::PutF64(b, v);
  bytes_.insert(bytes_.end(), b, b + 8);
}

size_t CodeWriter::Op(uint8_t op) {
  size_t at = bytes_.size();
  bytes_.push_back(op);
  return at;
}

size_t CodeWriter::U32Op(uint8_t op, uint32_t v) {
  size_t at = Op(op);
  PutU32(v);
  return at;
}

size_t CodeWriter::Number(double value, uint8_t pointCount) {
  size_t at = Op(OP_NUMBER);
  bytes_.push_back(pointCount);
  PutF64(value);
  return at;
}

size_t CodeWriter::Call(uint32_t slot, uint8_t argc, bool logical) {
  size_t at = U32Op(OP_CALL, (slot & kCallIdMask) | (logical ? kCallLogicalBit : 0));
  bytes_.push_back(argc);
  return at;
}

size_t CodeWriter::UdfCall(uint32_t id, uint8_t argc, bool logical) {
  size_t at = U32Op(OP_UDF_CALL, (id & kCallIdMask) | (logical ? kCallLogicalBit : 0));
  bytes_.push_back(argc);
  return at;
}

size_t CodeWriter::String(const char* text, size_t length) {
  size_t at = U32Op(OP_STRING, static_cast<uint32_t>(length + 1));
  bytes_.insert(bytes_.end(), text, text + length);
  bytes_.push_back(0);
  return at;
}

size_t CodeWriter::DateTime(uint32_t day, double time) {
  size_t at = U32Op(OP_DATETIME, day);
  PutF64(time);
  return at;
}

size_t CodeWriter::Time(double time) {
  size_t at = Op(OP_TIME);
  PutF64(time);
  return at;
}

size_t CodeWriter::Keyword(uint8_t tag, uint8_t value) {
  size_t at = Op(OP_KEYWORD);
  bytes_.push_back(tag);
  bytes_.push_back(value);
  return at;
}

size_t CodeWriter::Jump(uint8_t op) {
  Op(op);
  size_t operand = bytes_.size();
  PutU32(0);
  return operand;
}

void CodeWriter::PatchJump(size_t operandAt, size_t target) {
  int32_t offset = static_cast<int32_t>(static_cast<int64_t>(target) - static_cast<int64_t>(operandAt));
  ::PutU32(&bytes_[operandAt], static_cast<uint32_t>(offset));
}

bool CodeReader::Next(Instruction* out) {
  if (bad_ || pos_ >= length_) return false;
  const uint8_t op = code_[pos_];
  const Operands layout = OperandLayout(op);
  const int size = OperandLayoutSize(layout);
  if (size < 0 || length_ - pos_ - 1 < static_cast<size_t>(size)) {
    bad_ = true;
    return false;
  }
  Instruction in;
  in.op = op;
  in.offset = pos_;
  const uint8_t* p = code_ + pos_ + 1;
  size_t total = 1 + static_cast<size_t>(size);
  switch (layout) {
    case Operands::kNumber:
      in.u8 = p[0];
      in.f64 = GetF64(p + 1);
      break;
    case Operands::kCall:
      in.u32 = GetU32(p);
      in.u8 = p[4];
      break;
    case Operands::kString: {
      in.u32 = GetU32(p);
      if (in.u32 > length_ - pos_ - total) {
        bad_ = true;
        return false;
      }
      in.text = reinterpret_cast<const char*>(p + 4);
      total += in.u32;
      break;
    }
    case Operands::kJump:
      in.u32 = GetU32(p);
      in.jump = static_cast<int32_t>(in.u32);
      break;
    case Operands::kDateTime:
      in.u32 = GetU32(p);
      in.f64 = GetF64(p + 4);
      break;
    case Operands::kTime:
      in.f64 = GetF64(p);
      break;
    case Operands::kKeyword:
      in.u8 = p[0];
      in.u8b = p[1];
      break;
    case Operands::kU32:
      in.u32 = GetU32(p);
      break;
    case Operands::kNone:
    case Operands::kBad:
      break;
  }
  in.length = total;
  pos_ += total;
  *out = in;
  return true;
}

size_t CompiledCodeLength(const uint8_t* code, size_t maxLength) {
  if (code == nullptr) return 0;
  CodeReader reader(code, maxLength);
  Instruction in;
  while (reader.Next(&in)) {
    if (in.op == OP_END) return in.offset + 1;
  }
  return 0;
}

std::string DisassembleCode(const uint8_t* code, size_t length) {
  std::string out;
  CodeReader reader(code, length);
  Instruction in;
  char line[160];
  while (reader.Next(&in)) {
    int n = std::snprintf(line, sizeof line, "%04zu %s", in.offset, kOpcodeFormats[in.op].name);
    std::string tail;
    switch (OperandLayout(in.op)) {
      case Operands::kNumber:
        std::snprintf(line + n, sizeof line - n, " %.17g (%u)", in.f64, in.u8);
        break;
      case Operands::kCall:
        std::snprintf(line + n, sizeof line - n, " %u/%u%s", in.u32 & kCallIdMask, in.u8,
                      (in.u32 & kCallLogicalBit) ? " L" : "");
        break;
      case Operands::kString:
        tail = " \"" + std::string(in.text, in.u32 ? in.u32 - 1 : 0) + "\"";
        break;
      case Operands::kJump:
        std::snprintf(line + n, sizeof line - n, " %+d -> %04lld", in.jump,
                      static_cast<long long>(in.offset) + 1 + in.jump);
        break;
      case Operands::kDateTime:
        std::snprintf(line + n, sizeof line - n, " %u %.17g", in.u32, in.f64);
        break;
      case Operands::kTime:
        std::snprintf(line + n, sizeof line - n, " %.17g", in.f64);
        break;
      case Operands::kKeyword:
        std::snprintf(line + n, sizeof line - n, " %u:%u", in.u8, in.u8b);
        break;
      case Operands::kU32:
        std::snprintf(line + n, sizeof line - n, " %u", in.u32);
        break;
      case Operands::kNone:
      case Operands::kBad:
        break;
    }
    out += line;
    out += tail;
    out += '\n';
  }
  if (reader.bad()) {
    std::snprintf(line, sizeof line, "%04zu BAD OPCODE\n", reader.position());
    out += line;
  }
  return out;
}
