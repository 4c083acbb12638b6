#include "expr/udf.h"

#include "expr/builtin_table.h"
#include "expr/collation.h"
#include "core/compiled_code.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/scanner.h"
#include "expr/udf_state.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/win/codepage.h"

#include <cstring>
#include <string>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAlnum(unsigned char c) { return (c >= '0' && c <= '9') || IsCharAlphaByte(c); }

struct ParamLetter {
  char letter;
  uint32_t fieldFlags;
  uint8_t typeByte;
};
const ParamLetter kParamLetters[] = {
    {'L', 0x100, 65}, {'N', 4, 1},       {'C', 0, 4},         {'D', 0x200, 7},
    {'M', 0x2000, 9}, {'T', 0x20000, 23}, {'A', 0x10000, 22},
};

const ParamLetter* LetterOf(char c) {
  for (const ParamLetter& p : kParamLetters)
    if (p.letter == c) return &p;
  return nullptr;
}

// The function look-up of the scanner: built-ins by whole name, user
// functions by whole name, then abbreviations of four or more characters.
// Sets *udf for a user-function hit; false when nothing matches.
bool LookUpFunction(CKmComposite* m, const char* name, size_t length, UdfNode** udf) {
  *udf = nullptr;
  if (length == 0) return false;
  if (FindBuiltinExact(name, length) >= 0) return true;
  if ((*udf = FindUdfByName(m, name, length, false)) != nullptr) return true;
  if (length < 4) return false;
  if (FindBuiltinByPrefix(name, length) >= 0) return true;
  return (*udf = FindUdfByName(m, name, length, true)) != nullptr;
}

void SkipInstructions(const uint8_t* code, size_t length,
                      void (*visit)(const Instruction&, void*), void* ctx) {
  CodeReader reader(code, length);
  Instruction ins;
  while (reader.Next(&ins)) {
    if (ins.op == OP_END) break;
    visit(ins, ctx);
  }
}

bool HookFindUdf(CKmComposite* m, uint32_t id, UdfCallTarget* out) {
  UdfNode* n = FindUdfById(m, id);
  if (n == nullptr) return false;
  out->code = n->code;
  out->resultType = n->resultType;
  return true;
}

void FreeNodeParts(UdfNode* node) {
  HeapFreeBlock(node->name);
  HeapFreeBlock(node->heading);
  HeapFreeBlock(node->argumentList);
  HeapFreeBlock(node->body);
  HeapFreeBlock(node->code);
}

UdfNode* AllocNode(uint32_t id) {
  auto* node = static_cast<UdfNode*>(HeapAllocZero(0, sizeof(UdfNode)));
  if (node == nullptr) return nullptr;
  node->name = static_cast<char*>(HeapAllocZero(0, kUdfNameMax + 1));
  node->heading = static_cast<char*>(HeapAllocZero(0, kUdfHeadingMax + 1));
  if (node->name == nullptr || node->heading == nullptr) {
    FreeNodeParts(node);
    HeapFreeBlock(node);
    return nullptr;
  }
  node->id = id;
  node->reserved16 = -1;
  node->resultType = 4;
  return node;
}

uint32_t NextUdfId(CKmComposite* m) {
  uint32_t top = 0;
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next)
    if (n->id > top) top = n->id;
  return top + 1;
}

// What the body's calls of user functions add to its buffer: room for each
// called name to grow to the longest a name may be.
uint32_t BodySlack(CKmComposite* m, const char* body) {
  ExpressionScan scan;
  if (PrepareExpressionText(m, scan, body) != 0) return 0;
  uint32_t slack = 0;
  for (int guard = 0; guard < 4096; ++guard) {
    ScanToken tok;
    int code = NextExpressionToken(m, scan, tok, false);
    if (code == kTokEnd || code == kTokError) break;
    if (code == kTokFunction && tok.function < 0) {
      size_t len = 0;
      while (tok.start + len < scan.prepared.size() && tok.start + len < tok.end &&
             (IsAlnum(static_cast<unsigned char>(scan.prepared[tok.start + len])) ||
              scan.prepared[tok.start + len] == '_'))
        ++len;
      if (len < kUdfNameMax) slack += static_cast<uint32_t>(kUdfNameMax - len);
    }
  }
  return slack;
}

}  // namespace

// The compiler's look-ups of the model's functions.
bool FindUdfIdByName(CKmComposite* m, const char* name, size_t length, bool prefix, uint32_t* id) {
  UdfNode* n = FindUdfByName(m, name, length, prefix);
  if (n == nullptr) return false;
  *id = n->id;
  return true;
}

bool GetUdfInfo(CKmComposite* m, uint32_t id, UdfInfo* out) {
  UdfNode* n = FindUdfById(m, id);
  UdfState* st = GetUdfState(m);
  // The function being compiled answers for itself (its assumed result type).
  if (n == nullptr && st->pending != nullptr && st->pending->id == id) n = st->pending;
  if (n == nullptr) return false;
  out->id = n->id;
  out->argumentList = n->argumentList;
  out->resultType = n->resultType;
  out->compiled = n->code != nullptr;
  out->flags = n->flags;
  return true;
}

// ---------------------------------------------------------------------------
// State

namespace {

// Owns the model's function list from its first node on.
struct UdfListOwner : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kUdfList;
  explicit UdfListOwner(CKmComposite* owner) : model(owner) {}
  ~UdfListOwner() override { DeleteAllUdfs(model); }
  CKmComposite* model;
};

void RestoreFieldsOf(CKmComposite* m, UdfState* st) {
  if (!st->fieldsSetAside) return;
  while (m->fieldList != nullptr) {
    FieldDef* f = m->fieldList;
    // Quietly: parameters are referenced by nothing outside the body.
    if (!m->DeleteField(f, 2 | 4)) break;
  }
  m->FreeFieldIndex();
  m->fieldList = st->savedFieldList;
  m->fieldCount = st->savedFieldCount;
  m->fieldIndex = st->savedFieldIndex;
  st->fieldsSetAside = false;
}

void DropPendingOf(CKmComposite* m, UdfState* st) {
  RestoreFieldsOf(m, st);
  if (st->pending == nullptr) return;
  FreeNodeParts(st->pending);
  HeapFreeBlock(st->pending);
  st->pending = nullptr;
  st->pendingTarget = nullptr;
}

}  // namespace

UdfState::~UdfState() {
  DropPendingOf(model, this);
  if (library != nullptr && engine != nullptr) engine->LibFileClose(library);
  model->findUdf = nullptr;
}

UdfState* GetUdfState(CKmComposite* m) {
  if (UdfState* st = m->FindAttachment<UdfState>()) return st;
  UdfState* st = m->GetAttachment<UdfState>();
  InstallUdfHooks(m);
  return st;
}

void InstallUdfHooks(CKmComposite* m) {
  m->findUdf = HookFindUdf;
}

// ---------------------------------------------------------------------------
// The list

uint8_t UdfResultTypeOf(uint32_t flags) {
  if (flags & 0x200) return 7;
  if (flags & 4) return 1;
  if (flags & 0x10000) return 22;
  if (flags & 0x20000) return 23;
  if (flags & 0x100) return 65;
  return 4;
}

UdfNode* NewUdf(CKmComposite* m) {
  uint32_t id = NextUdfId(m);
  // Ids beyond 15 bits would call the wrong function.
  if (id > kUdfMaxId) return nullptr;
  if (m->GetAttachment<UdfListOwner>() == nullptr) return nullptr;
  UdfNode* node = AllocNode(id);
  if (node == nullptr) return nullptr;
  UdfNode** tail = &m->udfList;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  InstallUdfHooks(m);
  return node;
}

void FreeUdfText(CKmComposite*, UdfNode* node) {
  HeapFreeBlock(node->body);
  HeapFreeBlock(node->code);
  node->body = nullptr;
  node->code = nullptr;
  node->codeLength = 0;
}

void DeleteUdf(CKmComposite* m, UdfNode* node) {
  if (node == nullptr) return;
  // Only a listed node is unlinked: taking an unlisted one as the head would
  // lose the list.
  for (UdfNode** p = &m->udfList; *p != nullptr; p = &(*p)->next) {
    if (*p == node) {
      *p = node->next;
      break;
    }
  }
  FreeNodeParts(node);
  HeapFreeBlock(node);
}

void DeleteAllUdfs(CKmComposite* m) {
  while (m->udfList != nullptr) DeleteUdf(m, m->udfList);
}

UdfNode* FindUdfById(CKmComposite* m, uint32_t callWord) {
  uint32_t id = callWord & kCallIdMask;
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next)
    if (n->id == id) return n;
  return nullptr;
}

UdfNode* FindUdfByName(CKmComposite* m, const char* name, size_t length, bool prefix) {
  std::string want(name, length);
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->name[0] == '\0') continue;
    if (prefix) {
      if (std::strncmp(n->name, want.c_str(), length) == 0) return n;
    } else if (CompareAnsiNoCase(n->name, want.c_str()) == 0) {
      return n;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Headings

int IsValidUdfParameterName(const char* name) {
  size_t n = std::strlen(name);
  if (n <= 2) return 1;
  if (std::strchr("LNCDMTA", name[0]) == nullptr || name[0] == '\0') return 1;
  if (name[1] != '_') return 1;
  if (!IsCharAlphaByte(static_cast<unsigned char>(name[2]))) return 1;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c != '_' && !IsAlnum(c)) return 1;
  }
  return 0;
}

void RestoreReportFields(CKmComposite* m) { RestoreFieldsOf(m, GetUdfState(m)); }

int ParseUdfDefinition(CKmComposite* m, const char* heading, char* nameOut,
                       uint32_t* argumentCountOut, int32_t* errorPosition, int32_t id,
                       uint8_t** argumentListOut) {
  UdfState* st = GetUdfState(m);
  *errorPosition = -1;
  std::string text(heading, strnlen(heading, kUdfHeadingMax));

  size_t open = text.find('(');
  if (open == std::string::npos) return kUdfNoOpenParen;
  size_t nameEnd = open;
  while (nameEnd > 0 && IsBlank(text[nameEnd - 1])) --nameEnd;
  size_t nameStart = 0;
  while (nameStart < nameEnd && IsBlank(text[nameStart])) ++nameStart;
  if (nameStart == nameEnd) {
    *errorPosition = 0;
    return kUdfBadName;
  }
  for (size_t i = nameStart; i < nameEnd; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsBlank(static_cast<char>(c)) || (c != '_' && !IsAlnum(c))) {
      *errorPosition = static_cast<int32_t>(i);
      return kUdfBadName;
    }
  }
  std::string name = text.substr(nameStart, nameEnd - nameStart);
  if (name.size() > kUdfNameMax) name.resize(kUdfNameMax);

  if (id != -1) {
    auto isThis = [id](UdfNode* u) { return u != nullptr && u->id == static_cast<uint32_t>(id); };
    UdfNode* udf = nullptr;
    if (LookUpFunction(m, name.data(), name.size(), &udf) && !isThis(udf)) {
      *errorPosition = static_cast<int32_t>(nameStart + name.size());
      return kUdfNameInUse;
    }
    size_t four = name.size() < 4 ? name.size() : 4;
    if (LookUpFunction(m, name.data(), four, &udf) && !isThis(udf)) {
      *errorPosition = static_cast<int32_t>(nameStart + name.size());
      return kUdfPrefixNotUnique;
    }
  }
  std::memcpy(nameOut, name.c_str(), name.size() + 1);

  std::string params = text.substr(open + 1);
  CharUpperInPlace(&params[0]);
  size_t paramsAt = open + 1;
  while (!params.empty() && IsBlank(params.back())) params.pop_back();
  if (params.empty() || params.back() != ')') return kUdfNoCloseParen;
  params.pop_back();

  // From here the parameters are the only fields the compiler sees.
  st->savedFieldList = m->fieldList;
  st->savedFieldCount = m->fieldCount;
  st->savedFieldIndex = m->fieldIndex;
  st->fieldsSetAside = true;
  m->fieldList = nullptr;
  m->fieldCount = 0;
  m->fieldIndex = nullptr;

  auto fail = [&](int code, size_t at) {
    *errorPosition = static_cast<int32_t>(at);
    RestoreReportFields(m);
    return code;
  };

  const bool anyComma = params.find(',') != std::string::npos;
  std::string types;
  uint32_t pieces = 0;
  size_t pos = 0;
  for (;;) {
    size_t comma = params.find(',', pos);
    size_t end = comma == std::string::npos ? params.size() : comma;
    size_t a = pos;
    while (a < end && IsBlank(params[a])) ++a;
    size_t b = end;
    while (b > a && IsBlank(params[b - 1])) --b;
    if (a == b) {
      if (anyComma) return fail(kUdfMissingArgument, paramsAt + a);
      break;
    }
    std::string piece = params.substr(a, b - a);
    if (piece.size() > kUdfParamPieceMax) piece.resize(kUdfParamPieceMax);
    if (IsValidUdfParameterName(piece.c_str()) != 0) return fail(kUdfBadArgumentName, paramsAt + a);
    std::string pname = piece.substr(2);
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
      if (CompareAnsiNoCase(f->name, pname.c_str()) == 0)
        return fail(kUdfArgumentInUse, paramsAt + a);
    const ParamLetter* letter = LetterOf(piece[0]);
    FieldDef* f = m->AddField(letter->fieldFlags | 0x80);
    if (f == nullptr) return fail(kUdfNoMemory, paramsAt + a);
    std::memcpy(f->name, pname.c_str(), pname.size() + 1);
    f->table = 0;
    types.push_back(static_cast<char>(letter->typeByte));
    ++pieces;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }

  *argumentCountOut = pieces == 0 ? 1 : pieces;
  auto* list = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(types.size() + 2)));
  if (list == nullptr) return fail(kUdfNoMemory, 0);
  if (types.empty()) {
    list[0] = 1;
    list[1] = 6;
  } else {
    list[0] = static_cast<uint8_t>(types.size());
    std::memcpy(list + 1, types.data(), types.size());
  }
  *argumentListOut = list;
  *errorPosition = -1;
  return kUdfOk;
}

void BindUdfParameters(CKmComposite*, UdfNode* node) {
  // References become parameters in place: their operands must match.
  static_assert(OperandLayout(OP_FIELD) == OperandLayout(OP_PARAM) &&
                    OperandLayout(OP_FIELD_PREV) == OperandLayout(OP_PARAM_PREV),
                "a parameter replaces a field reference in place");
  if (node->code == nullptr) return;
  struct Ctx {
    UdfNode* node;
  } ctx{node};
  SkipInstructions(
      node->code, node->codeLength,
      [](const Instruction& ins, void* p) {
        UdfNode* n = static_cast<Ctx*>(p)->node;
        if (ins.op == OP_FIELD) {
          n->code[ins.offset] = OP_PARAM;
        } else if (ins.op == OP_FIELD_PREV) {
          n->code[ins.offset] = OP_PARAM_PREV;
          uint8_t count = n->argumentList != nullptr ? n->argumentList[0] : 0;
          if (ins.u32 < count) n->argumentList[1 + ins.u32] |= kUdfArgPrevious;
        }
      },
      &ctx);
}

// ---------------------------------------------------------------------------
// Marking

int MarkUdfsInCode(CKmComposite* m, const uint8_t* code, size_t length) {
  if (code == nullptr) return 0;
  struct Ctx {
    CKmComposite* m;
    int changed;
  } ctx{m, 0};
  SkipInstructions(
      code, length,
      [](const Instruction& ins, void* p) {
        auto* c = static_cast<Ctx*>(p);
        if (ins.op != OP_UDF_CALL) return;
        UdfNode* n = FindUdfById(c->m, ins.u32);
        if (n != nullptr && (n->flags & kUdfUsed) == 0) {
          n->flags |= kUdfUsed;
          c->changed = 1;
        }
      },
      &ctx);
  return ctx.changed;
}

void MarkUsedUdfs(CKmComposite* m) {
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next) n->flags &= ~kUdfUsed;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if ((f->flags & 0x8000) == 0 || (f->flags & 2) != 0) continue;
    if (f->flags & 8) MarkUdfsInCode(m, f->code, f->codeLength);
    if (f->totalFlags & 2) MarkUdfsInCode(m, f->conditionCode, f->conditionLength);
  }
  bool changed = true;
  while (changed) {
    changed = false;
    for (UdfNode* n = m->udfList; n != nullptr; n = n->next)
      if ((n->flags & kUdfUsed) && MarkUdfsInCode(m, n->code, n->codeLength)) changed = true;
  }
}

// ---------------------------------------------------------------------------
// Compiling a definition

int CompileUdfNode(CKmComposite* m, UdfNode* node, const char* heading, const char* body,
                   uint32_t storedFlags, int32_t* errorPosition, bool changing) {
  InstallUdfHooks(m);
  char name[kUdfNameMax + 1] = {};
  uint32_t argc = 0;
  uint8_t* args = nullptr;
  int rc = ParseUdfDefinition(m, heading, name, &argc, errorPosition,
                              static_cast<int32_t>(node->id), &args);
  if (rc != kUdfOk) return 100 + rc;

  std::string text(body);
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  uint8_t* oldArgs = node->argumentList;
  uint32_t oldArgc = node->argumentCount;
  uint8_t oldType = node->resultType;
  node->argumentList = args;
  node->argumentCount = argc;

  uint32_t pos = 0;
  CompileOutput out;
  rc = CompileExpression(m, text.c_str(), &pos, &out, nullptr, &node->resultType, changing ? 2 : 1);
  uint32_t slack = rc == 0 ? BodySlack(m, text.c_str()) : 0;
  char* padded = nullptr;
  uint8_t* code = nullptr;
  if (rc == 0) {
    padded = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + slack + 1)));
    code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
    if (padded == nullptr || code == nullptr) rc = 24;
  }
  if (rc != 0) {
    HeapFreeBlock(padded);
    HeapFreeBlock(code);
    HeapFreeBlock(args);
    node->argumentList = oldArgs;
    node->argumentCount = oldArgc;
    node->resultType = oldType;
    *errorPosition = static_cast<int32_t>(pos);
    RestoreReportFields(m);
    return rc;
  }
  std::memcpy(padded, text.data(), text.size());
  std::memset(padded + text.size(), ' ', slack);
  std::memcpy(code, out.code.data(), out.code.size());
  HeapFreeBlock(oldArgs);
  FreeUdfText(m, node);
  node->body = padded;
  node->code = code;
  node->codeLength = static_cast<uint32_t>(out.code.size());
  std::memcpy(node->name, name, sizeof name);
  size_t hl = strnlen(heading, kUdfHeadingMax);
  std::memcpy(node->heading, heading, hl);
  node->heading[hl] = '\0';
  BindUdfParameters(m, node);
  node->flags = (storedFlags & kUdfJoin) | out.typeFlags;
  node->resultType = UdfResultTypeOf(node->flags);
  RestoreReportFields(m);
  *errorPosition = -1;
  return 0;
}

// ---------------------------------------------------------------------------
// Two-phase definition

int DefineUdf(CKmComposite* m, UdfNode* existing, const char* heading, const char* body,
              int32_t* errorPosition) {
  CancelUdfDefinition(m);
  UdfState* st = GetUdfState(m);
  uint32_t id = existing != nullptr ? existing->id : NextUdfId(m);
  if (id > kUdfMaxId) return 24;
  UdfNode* pending = AllocNode(id);
  if (pending == nullptr) return 24;
  if (existing != nullptr) {
    pending->resultType = existing->resultType;
    pending->reserved16 = existing->reserved16;
  }
  st->pending = pending;
  st->pendingTarget = existing;
  int rc = CompileUdfNode(m, pending, heading, body, existing != nullptr ? existing->flags : 0,
                          errorPosition, existing != nullptr);
  if (rc != 0) CancelUdfDefinition(m);
  return rc;
}

UdfNode* CommitUdfDefinition(CKmComposite* m) {
  UdfState* st = GetUdfState(m);
  UdfNode* pending = st->pending;
  if (pending == nullptr) return nullptr;
  UdfNode* target = st->pendingTarget;
  st->pending = nullptr;
  st->pendingTarget = nullptr;
  if (target == nullptr) {
    m->GetAttachment<UdfListOwner>();
    UdfNode** tail = &m->udfList;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = pending;
    return pending;
  }
  // The node keeps its place and id; what it owned goes with the pending copy.
  UdfNode* next = target->next;
  uint32_t marks = target->flags & (kUdfMarkCompiles | kUdfMarkBroken | kUdfUsed);
  UdfNode old = *target;
  *target = *pending;
  target->next = next;
  target->flags |= marks;
  *pending = old;
  FreeNodeParts(pending);
  HeapFreeBlock(pending);
  return target;
}

void CancelUdfDefinition(CKmComposite* m) { DropPendingOf(m, GetUdfState(m)); }
