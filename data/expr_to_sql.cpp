#include "data/expr_to_sql.h"

#include "data/data_access.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/builtin_table.h"
#include "core/compiled_code.h"
#include "expr/udf.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/win/profile.h"

#include <cctype>
#include <cstring>
#include <map>
#include <strings.h>
#include <vector>

namespace {

constexpr size_t kMaxTranslation = 2000;
constexpr int kMaxCallDepth = 128;
constexpr int kMaxParameters = 128;
constexpr size_t kMaxStack = 4096;

// The template key of a built-in the data source may compute: its name in
// the built-in table. Null for the slots that stay with the program.
const char* FunctionKey(uint32_t slot) {
  const bool translatable = slot < 74 || slot == kSlotLike || slot == kSlotKmUnin || slot == kSlotRiParam ||
                            slot == kSlotCdll || slot == kSlotNow;
  return translatable ? GetBuiltinFunction(slot)->name : nullptr;
}

struct OdbcScalarFunction {
  const char* name;
  uint16_t infoType;
  uint32_t mask;
};
const OdbcScalarFunction kOdbcFunctions[] = {
    {"ABS", 49, 0x1},         {"ACOS", 49, 0x2},       {"ASIN", 49, 0x4},        {"ATAN", 49, 0x8},
    {"ATAN2", 49, 0x10},      {"CEILING", 49, 0x20},   {"COS", 49, 0x40},        {"COT", 49, 0x80},
    {"EXP", 49, 0x100},       {"FLOOR", 49, 0x200},    {"LOG", 49, 0x400},       {"MOD", 49, 0x800},
    {"SIGN", 49, 0x1000},     {"SIN", 49, 0x2000},     {"SQRT", 49, 0x4000},     {"TAN", 49, 0x8000},
    {"PI", 49, 0x10000},      {"RAND", 49, 0x20000},   {"CONCAT", 50, 0x1},      {"INSERT", 50, 0x2},
    {"LEFT", 50, 0x4},        {"LTRIM", 50, 0x8},      {"LENGTH", 50, 0x10},     {"LOCATE", 50, 0x20},
    {"LCASE", 50, 0x40},      {"REPEAT", 50, 0x80},    {"REPLACE", 50, 0x100},   {"RIGHT", 50, 0x200},
    {"RTRIM", 50, 0x400},     {"SUBSTRING", 50, 0x800}, {"UCASE", 50, 0x1000},   {"ASCII", 50, 0x2000},
    {"CHAR", 50, 0x4000},     {"CONVERT", 48, 0x1},    {"NOW", 52, 0x1},         {"CURDATE", 52, 0x2},
    {"DAYOFMONTH", 52, 0x4},  {"DAYOFWEEK", 52, 0x8},  {"DAYOFYEAR", 52, 0x10},  {"MONTH", 52, 0x20},
    {"QUARTER", 52, 0x40},    {"WEEK", 52, 0x80},      {"YEAR", 52, 0x100},      {"CURTIME", 52, 0x200},
    {"HOUR", 52, 0x400},      {"MINUTE", 52, 0x800},   {"SECOND", 52, 0x1000},   {"USERNAME", 51, 0x1},
    {"DBNAME", 51, 0x2},      {"IFNULL", 51, 0x4},     {nullptr, 0, 0}};

struct TemplateCache : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kSqlTemplates;
  std::string loadedFor;
  bool loaded = false;
  std::map<std::string, std::string> texts;
};

bool DriverSupports(const char* name, void* ctx) {
  DataAccess* da = static_cast<DataAccess*>(ctx);
  size_t n = std::strlen(name);
  for (const OdbcScalarFunction* f = kOdbcFunctions; f->name; ++f)
    if (strncasecmp(f->name, name, n) == 0) return (da->GetOdbcInfoLong(f->infoType) & f->mask) != 0;
  return false;
}

std::string ReadIniValue(const std::string& file, const char* section, const char* key) {
  if (file.empty() || !section || !*section) return std::string();
  std::string buf(4001, '\0');
  DWORD n = GetPrivateProfileStringA(section, key, "", &buf[0], 4001, file.c_str());
  buf.resize(n);
  return buf;
}

void RightTrim(std::string* s) {
  while (!s->empty() && s->back() == ' ') s->pop_back();
}

// An omitted last argument leaves "x, )": the comma becomes the bracket.
void CloseOmittedArguments(std::string* s) {
  for (;;) {
    std::string t = *s;
    RightTrim(&t);
    if (t.empty() || t.back() != ')') return;
    t.pop_back();
    RightTrim(&t);
    if (t.empty() || t.back() != ',') return;
    t.back() = ')';
    *s = t;
  }
}

class Translator {
 public:
  Translator(CKmComposite* m) : m_(m), da_(GetDataAccess(m)) {}

  bool Run(const uint8_t* code, size_t length, std::string* out) {
    struct Frame {
      const uint8_t* code;
      size_t length;
      size_t resume;
      size_t argBase;
      int argCount;
      std::vector<std::string> args;
    };
    std::vector<Frame> frames;
    CodeReader reader(code, length);
    const uint8_t* curCode = code;
    size_t curLength = length;
    Instruction in;
    for (;;) {
      if (!reader.Next(&in)) return false;
      switch (in.op) {
        case OP_ADD: case OP_SUB: case OP_DIV: case OP_MUL: case OP_POW: case OP_PERCENT: case OP_EQ:
        case OP_NE: case OP_LE: case OP_GE: case OP_LT: case OP_GT: case OP_AND: case OP_OR: case OP_CONCAT:
        case OP_CONCAT_TRIM: case OP_CONTAINS: case OP_DATE_DIFF: case OP_DATE_ADD: case OP_DATE_SUB: {
          std::string t = ReadSqlFunctionText(m_, OpcodeSqlKey(in.op));
          if (t.empty() || stack_.size() < 2) return false;
          std::string args[9];
          args[0] = stack_[stack_.size() - 2];
          for (int k = 1; k < 9; ++k) args[k] = stack_.back();
          stack_.resize(stack_.size() - 2);
          std::string filled;
          if (!FillSqlTemplate(t, args, 9, &filled)) return false;
          if (!Push("(" + filled + ")")) return false;
          break;
        }
        case OP_PLUS: case OP_NEG: case OP_NOT: {
          std::string t = ReadSqlFunctionText(m_, OpcodeSqlKey(in.op));
          if (t.empty() || stack_.empty()) return false;
          std::string args[9];
          for (auto& a : args) a = stack_.back();
          stack_.pop_back();
          std::string filled;
          if (!FillSqlTemplate(t, args, 9, &filled) || !Push(filled)) return false;
          break;
        }
        case OP_NUMBER: {
          std::string s = FormatSqlNumber(in.f64);
          const char* p = s.c_str();
          if (*p == '-') ++p;
          bool digits = *p != 0;
          for (; *p; ++p)
            if (!std::isdigit(static_cast<unsigned char>(*p))) digits = false;
          if (in.u8 > 0 && digits) s += ".00";
          if (!Push(s)) return false;
          break;
        }
        case OP_FIELD: {
          const FieldDef* f = m_->GetFieldAt(in.u32);
          if (f == nullptr) return false;
          if (f->flags & kFieldCalculation) {
            if (!f->sqlText || !Push(f->sqlText)) return false;
          } else {
            if ((f->flags & (kFieldMemo | kFieldAlias)) || (f->totalFlags & kTotalIsTotal)) return false;
            const TableSlot* t = f->table < kMaxTables ? m_->tableSlots[f->table] : nullptr;
            if (t == nullptr || !Push(QualifiedColumnName(m_, f, t))) return false;
          }
          break;
        }
        case OP_CALL: {
          uint32_t slot = in.u32 & kCallIdMask;
          const char* key = FunctionKey(slot);
          if (key == nullptr) return false;
          std::string t = ReadSqlFunctionText(m_, key);
          int argc = in.u8;
          if (t.empty() || stack_.size() < static_cast<size_t>(argc)) return false;
          std::vector<std::string> args(stack_.end() - argc, stack_.end());
          stack_.resize(stack_.size() - argc);
          std::string filled;
          if (!FillSqlTemplate(t, args.data(), argc, &filled)) return false;
          CloseOmittedArguments(&filled);
          if (!Push(filled)) return false;
          break;
        }
        case OP_TRUE: if (!Push("1")) return false; break;
        case OP_FALSE: if (!Push("0")) return false; break;
        case OP_STRING: {
          std::string text(in.text ? in.text : "", in.u32 ? in.u32 - 1 : 0);
          text = text.c_str();
          for (char& c : text)
            if (static_cast<unsigned char>(c) == static_cast<unsigned char>(m_->SpaceDotChar)) c = ' ';
          uint32_t max = da_->GetMaxLiteralLength();
          if (max && text.size() > max) return false;
          std::string lit;
          AppendSqlTextLiteral(&lit, text.c_str(), TextLiteralFormOf(m_));
          if (!Push(lit)) return false;
          break;
        }
        case OP_EMPTY_ARG: if (!Push(" ")) return false; break;
        case OP_DATE: {
          std::string lit;
          FormatSqlDateLiteral(m_, static_cast<int32_t>(in.u32), &lit);
          if (!Push(lit)) return false;
          break;
        }
        case OP_UDF_CALL: {
          uint32_t id = in.u32 & kCallIdMask;
          const UdfNode* u = m_->udfList;
          while (u && u->id != id) u = u->next;
          int argc = in.u8;
          if (!u || !u->code || frames.size() >= static_cast<size_t>(kMaxCallDepth) - 1 ||
              openParams_ + argc > kMaxParameters || stack_.size() < static_cast<size_t>(argc))
            return false;
          Frame f{curCode, curLength, reader.position(), stack_.size() - argc, argc, {}};
          f.args.assign(stack_.end() - argc, stack_.end());
          stack_.resize(stack_.size() - argc);
          openParams_ += argc;
          frames.push_back(f);
          curCode = u->code;
          curLength = u->codeLength;
          reader = CodeReader(curCode, curLength);
          break;
        }
        case OP_PARAM: {
          if (frames.empty() || in.u32 >= frames.back().args.size()) return false;
          if (!Push(frames.back().args[in.u32])) return false;
          break;
        }
        case OP_END: {
          if (!frames.empty()) {
            Frame f = frames.back();
            frames.pop_back();
            openParams_ -= f.argCount;
            curCode = f.code;
            curLength = f.length;
            reader = CodeReader(curCode, curLength);
            reader.Seek(f.resume);
            break;
          }
          if (stack_.size() != 1 || stack_.back().size() > kMaxTranslation) return false;
          *out = stack_.back();
          return true;
        }
        case OP_JUMP_FALSE: case OP_JUMP:
          break;
        case OP_TABLE: case OP_FIELD_PREV: case OP_EMPTY_LONGTEXT: case OP_PARAM_PREV: case OP_DATETIME:
        case OP_TIME: case OP_KEYWORD:
          return false;
        default:
          break;
      }
    }
  }

 private:
  bool Push(const std::string& s) {
    if (stack_.size() >= kMaxStack) return false;
    stack_.push_back(s);
    return true;
  }
  CKmComposite* m_;
  DataAccess* da_;
  std::vector<std::string> stack_;
  int openParams_ = 0;
};

}  // namespace

bool FillSqlTemplate(const std::string& templ, const std::string* args, int count, std::string* out) {
  out->clear();
  for (size_t i = 0; i < templ.size(); ++i) {
    char c = templ[i];
    if (c != '%') {
      *out += c;
      continue;
    }
    if (i + 1 >= templ.size()) break;
    char n = templ[++i];
    if (n == '%') {
      *out += '%';
    } else if (n == '0') {
      break;
    } else if (n >= '1' && n <= '9') {
      int k = n - '1';
      if (k >= count) return false;
      *out += args[k];
    }
  }
  return true;
}

std::string WrapOdbcScalarFunctions(const std::string& templ, bool (*supported)(const char*, void*), void* ctx) {
  std::string s = templ;
  size_t i = 0;
  while (i < s.size()) {
    if (!std::isalpha(static_cast<unsigned char>(s[i]))) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size() || s[i] != '(') continue;
    std::string word = s.substr(start, i - start);
    if (!supported(word.c_str(), ctx)) return std::string();
    int depth = 0;
    size_t close = std::string::npos;
    for (size_t j = i; j < s.size(); ++j) {
      if (s[j] == '(') ++depth;
      if (s[j] == ')' && --depth == 0) {
        close = j;
        break;
      }
    }
    if (close == std::string::npos) return std::string();
    s.insert(close + 1, "}");
    s.insert(start, "{fn ");
    i = start + 4 + word.size();
  }
  return s;
}

std::string ReadSqlFunctionText(CKmComposite* model, const char* key) {
  DataAccess* da = GetDataAccess(model);
  TemplateCache& c = *model->GetAttachment<TemplateCache>();
  std::string source = da->GetCurrentDataSourceName() ? da->GetCurrentDataSourceName() : "";
  if (!c.loaded || c.loadedFor != source) {
    c.texts.clear();
    c.loadedFor = source;
    c.loaded = true;
  }
  auto it = c.texts.find(key);
  if (it != c.texts.end()) return it->second;
  std::string v = ReadSqlTemplate(model, key);
  if (v.empty()) {
    v = ReadIniValue(da->sqlIniPath, "ODBC", key);
    if (!v.empty()) v = WrapOdbcScalarFunctions(v, DriverSupports, da);
  }
  c.texts[key] = v;
  return v;
}

int ExpressionToSql(CKmComposite* model, const uint8_t* code, size_t length, FieldDef* field, bool store,
                    std::string* out) {
  DataAccess* da = GetDataAccess(model);
  auto fail = [&]() {
    if (store && field) {
      HeapFreeBlock(field->sqlText);
      field->sqlText = nullptr;
    }
    return 1;
  };
  if ((model->statementText && model->statementText[0]) || da->Current() == nullptr) return 1;
  if (code == nullptr || length == 0) return fail();
  std::string text;
  Translator t(model);
  if (!t.Run(code, length, &text)) return fail();
  FieldDef probe;
  int r = BuildProbeSelect(model, text.c_str(), &probe, 1, false);
  delete probe.dataBinding;
  if (r != 0) return fail();
  if (store && field) {
    HeapFreeBlock(field->sqlText);
    field->sqlText = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
    if (field->sqlText == nullptr) return 1;
    std::memcpy(field->sqlText, text.c_str(), text.size() + 1);
  } else if (out) {
    *out = text;
  }
  return 0;
}

void TranslateCalculatedFields(CKmComposite* model) {
  for (FieldDef* f = model->fieldList; f; f = f->next)
    if ((f->flags & (kFieldCalculation | kFieldAlias)) == kFieldCalculation)
      ExpressionToSql(model, f->code, f->codeLength, f, true, nullptr);
}

char* TranslateFieldToSql(CKmComposite* model, FieldDef* field) {
  std::string text;
  if (field == nullptr || ExpressionToSql(model, field->code, field->codeLength, nullptr, false, &text) != 0)
    return nullptr;
  char* block = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
  if (block != nullptr) std::memcpy(block, text.c_str(), text.size() + 1);
  return block;
}

void InstallSqlTranslation(CKmComposite* model) { model->translateToSql = TranslateFieldToSql; }
