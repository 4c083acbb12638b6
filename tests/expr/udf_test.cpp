#include "expr/udf.h"

#include "expr/code_walks.h"
#include "core/compiled_code.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/value_eval.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct UdfModel {
  CKmComposite m{nullptr};
  FieldDef* reportField = nullptr;

  UdfModel() {
    InitCompiler(&m, 50000, 8000);
    InstallUdfHooks(&m);
    // One field of the report's own, which a heading parse must set aside.
    reportField = m.AddField(kFieldNumeric | kFieldItem);
    std::strcpy(reportField->name, "AMOUNT");
  }
  ~UdfModel() {
    // A heading's parameters give the report's fields back before they go.
    m.DropAttachment(AttachmentSlot::kUdf);
    while (m.fieldList != nullptr) m.DeleteField(m.fieldList, 2 | 4);
  }

  UdfNode* Define(const char* heading, const char* body, int* rc = nullptr) {
    int32_t pos = 0;
    int r = DefineUdf(&m, nullptr, heading, body, &pos);
    if (rc != nullptr) *rc = r;
    return r == 0 ? CommitUdfDefinition(&m) : nullptr;
  }

  // Compiles and evaluates a plain expression to a number.
  double Eval(const char* text, int* rcOut = nullptr, uint32_t* flagsOut = nullptr) {
    uint32_t pos = 0;
    CompileOutput out;
    int rc = CompileExpression(&m, text, &pos, &out, nullptr, nullptr, 1);
    if (rcOut != nullptr) *rcOut = rc;
    if (rc != 0) return -1e300;
    uint8_t result[8016] = {};
    uint32_t flags = 0;
    int32_t prev = 0;
    int erc = EvaluateCompiledExpression(&m, out.code.data(), result, 0, &flags, &prev);
    if (rcOut != nullptr) *rcOut = erc;
    if (flagsOut != nullptr) *flagsOut = flags;
    double v;
    std::memcpy(&v, result, 8);
    return v;
  }
};

struct ParseCase {
  const char* heading;
  int code;
  int32_t position;  // -2: not checked
};

}  // namespace

TEST(UdfHeading, CodesAndPositions) {
  UdfModel t;
  const ParseCase cases[] = {
      {"AGE(N_YEARS)", 0, -1},   {"AGE()", 0, -1},           {"AGE", 2, -2},
      {"AGE(N_YEARS", 4, -2},    {"AGE(N_YEARS,)", 8, 12},   {"AG E(N_X)", 5, 2},
      {"AGE(X_YEARS)", 3, 4},    {"AGE(N_1A)", 3, 4},        {"AGE(N_A, C_A)", 6, 9},
      {"(N_X)", 5, 0},           {"A-B(N_X)", 5, 1},         {"9LIVES(N_X)", 0, -1},
      {"SUBS(N_X)", 1, 4},       {"SUBSX(N_X)", 9, 5},       {"SUB(N_X)", 0, -1},
      {"AGE( , N_X)", 8, -2},    {"AGE(N_X, N_Y, Q_Z)", 3, 14},
  };
  for (const ParseCase& c : cases) {
    char name[kUdfNameMax + 1] = {};
    uint32_t argc = 0;
    int32_t pos = 99;
    uint8_t* args = nullptr;
    int rc = ParseUdfDefinition(&t.m, c.heading, name, &argc, &pos, 1, &args);
    EXPECT_EQ(rc, c.code) << c.heading;
    if (c.position != -2) {
      EXPECT_EQ(pos, c.position) << c.heading;
    }
    RestoreReportFields(&t.m);
    HeapFreeBlock(args);
    // The report's own fields are back whatever happened.
    EXPECT_EQ(t.m.fieldList, t.reportField) << c.heading;
    EXPECT_EQ(t.m.fieldCount, 1u) << c.heading;
  }
}

TEST(UdfHeading, ParametersAndNames) {
  UdfModel t;
  char name[kUdfNameMax + 1] = {};
  uint32_t argc = 0;
  int32_t pos = 0;
  uint8_t* args = nullptr;
  ASSERT_EQ(ParseUdfDefinition(&t.m, " Age (n_years, c_sex, L_OK, D_DAY, M_MEMO, T_AT, A_WHEN) ",
                               name, &argc, &pos, 1, &args),
            0);
  EXPECT_STREQ(name, "Age");
  EXPECT_EQ(argc, 7u);
  EXPECT_EQ(std::vector<uint8_t>(args, args + 8), (std::vector<uint8_t>{7, 1, 4, 65, 7, 9, 23, 22}));
  std::vector<std::string> names;
  for (FieldDef* f = t.m.fieldList; f; f = f->next) names.push_back(f->name);
  EXPECT_EQ(names, (std::vector<std::string>{"YEARS", "SEX", "OK", "DAY", "MEMO", "AT", "WHEN"}));
  EXPECT_EQ(t.m.fieldList->flags, kFieldNumeric | 0x80u);
  RestoreReportFields(&t.m);
  HeapFreeBlock(args);

  ASSERT_EQ(ParseUdfDefinition(&t.m, "AGE()", name, &argc, &pos, 1, &args), 0);
  EXPECT_EQ(argc, 1u);
  EXPECT_EQ(args[0], 1);
  EXPECT_EQ(args[1], 6);
  RestoreReportFields(&t.m);
  HeapFreeBlock(args);

  ASSERT_EQ(ParseUdfDefinition(&t.m, "AGE(N_ABCDEFGHIJK)", name, &argc, &pos, 1, &args), 0);
  EXPECT_STREQ(t.m.fieldList->name, "ABCDEFGHI");
  RestoreReportFields(&t.m);
  HeapFreeBlock(args);

  ASSERT_EQ(ParseUdfDefinition(&t.m, "ABCDEFGHIJKLMNOPQRSTUVWXY(N_X)", name, &argc, &pos, -1, &args), 0);
  EXPECT_STREQ(name, "ABCDEFGHIJKLMNOPQRST");
  RestoreReportFields(&t.m);
  HeapFreeBlock(args);

  EXPECT_EQ(IsValidUdfParameterName("N_A"), 0);
  EXPECT_EQ(IsValidUdfParameterName("N_"), 1);
  EXPECT_EQ(IsValidUdfParameterName("N_A-B"), 1);
  EXPECT_EQ(IsValidUdfParameterName("n_A"), 1);
}

TEST(UdfCalls, BodiesCompileBindAndRun) {
  UdfModel t;
  UdfNode* dbl = t.Define("DOUBLE(N_X)", "X * 2");
  ASSERT_NE(dbl, nullptr);
  EXPECT_EQ(dbl->resultType, 1);
  EXPECT_EQ(dbl->flags & kFieldKindMask, kFieldNumeric);
  // The parameter reference became a parameter opcode.
  EXPECT_EQ(dbl->code[0], OP_PARAM);
  UdfNode* quad = t.Define("QUAD(N_Y)", "DOUBLE(DOUBLE(Y)) + AMOUNT_MISSING", nullptr);
  EXPECT_EQ(quad, nullptr);  // a body sees only its parameters
  quad = t.Define("QUAD(N_Y)", "DOUBLE(DOUBLE(Y))");
  ASSERT_NE(quad, nullptr);
  EXPECT_EQ(t.m.fieldList, t.reportField);
  EXPECT_DOUBLE_EQ(t.Eval("DOUBLE(3) + 1"), 7.0);
  EXPECT_DOUBLE_EQ(t.Eval("QUAD(2.5)"), 10.0);
  // Abbreviations of four characters or more find the function.
  EXPECT_DOUBLE_EQ(t.Eval("DOUB(4)"), 8.0);

  UdfNode* greet = t.Define("GREET(C_WHO)", "'Hi ' + WHO");
  ASSERT_NE(greet, nullptr);
  EXPECT_EQ(greet->resultType, 4);
  // A body that uses the previous value marks that parameter.
  UdfNode* prev = t.Define("LAST(N_A, N_B)", "PREVIOUS(B) + A");
  ASSERT_NE(prev, nullptr);
  EXPECT_EQ(prev->argumentList[1], 1);
  EXPECT_EQ(prev->argumentList[2], 1 | kUdfArgPrevious);
  bool sawPrev = false;
  CodeReader r(prev->code, prev->codeLength);
  Instruction ins;
  while (r.Next(&ins) && ins.op != OP_END) {
    EXPECT_NE(ins.op, OP_FIELD);
    EXPECT_NE(ins.op, OP_FIELD_PREV);
    sawPrev |= ins.op == OP_PARAM_PREV && ins.u32 == 1;
  }
  EXPECT_TRUE(sawPrev);

  // A padded body leaves room for called names to grow to 20 characters.
  EXPECT_GE(std::strlen(quad->body), std::strlen("DOUBLE(DOUBLE(Y))") + 2 * (20 - 6));
}

TEST(UdfCalls, NamesInUseAndDefinitionPhases) {
  UdfModel t;
  ASSERT_NE(t.Define("TWICE(N_X)", "X + X"), nullptr);
  int rc = 0;
  EXPECT_EQ(t.Define("twice(N_Y)", "Y", &rc), nullptr);
  EXPECT_EQ(rc, 100 + kUdfNameInUse);
  EXPECT_EQ(t.Define("TWIC(N_Y)", "Y", &rc), nullptr);
  EXPECT_EQ(rc, 100 + kUdfNameInUse);
  EXPECT_EQ(t.Define("TWICX(N_Y)", "Y", &rc), nullptr);
  EXPECT_EQ(rc, 100 + kUdfPrefixNotUnique);

  // Changing a function: the check phase leaves the old definition in force.
  UdfNode* twice = FindUdfByName(&t.m, "TWICE", 5, false);
  int32_t pos = 0;
  ASSERT_EQ(DefineUdf(&t.m, twice, "TWICE(N_X)", "X * 3", &pos), 0);
  EXPECT_DOUBLE_EQ(t.Eval("TWICE(5)"), 10.0);
  CancelUdfDefinition(&t.m);
  EXPECT_DOUBLE_EQ(t.Eval("TWICE(5)"), 10.0);
  EXPECT_STREQ(twice->body, "X + X");
  uint32_t id = twice->id;
  ASSERT_EQ(DefineUdf(&t.m, twice, "TWICE(N_X)", "X * 3", &pos), 0);
  EXPECT_EQ(CommitUdfDefinition(&t.m), twice);
  EXPECT_EQ(twice->id, id);
  EXPECT_DOUBLE_EQ(t.Eval("TWICE(5)"), 15.0);

  // A failed check changes nothing and reports where.
  EXPECT_NE(DefineUdf(&t.m, twice, "TWICE(N_X)", "X * ", &pos), 0);
  EXPECT_GE(pos, 0);
  EXPECT_EQ(CommitUdfDefinition(&t.m), nullptr);
  EXPECT_DOUBLE_EQ(t.Eval("TWICE(5)"), 15.0);

  // A new function is not callable until committed.
  ASSERT_EQ(DefineUdf(&t.m, nullptr, "HALVE(N_X)", "X / 2", &pos), 0);
  int erc = 0;
  t.Eval("HALVE(4)", &erc);
  EXPECT_NE(erc, 0);
  CancelUdfDefinition(&t.m);
  EXPECT_EQ(FindUdfByName(&t.m, "HALVE", 5, false), nullptr);
  EXPECT_EQ(t.m.fieldList, t.reportField);
}

TEST(UdfCalls, EndlessRecursionStopsAtTheLimit) {
  UdfModel t;
  UdfNode* ping = t.Define("PING(N_X)", "X");
  ASSERT_NE(t.Define("PONG(N_X)", "PING(X) + 1"), nullptr);
  // PING now calls PONG, which calls PING: a cycle only the call limit ends.
  int32_t pos = 0;
  ASSERT_EQ(DefineUdf(&t.m, ping, "PING(N_X)", "PONG(X) + 1", &pos), 0);
  ASSERT_EQ(CommitUdfDefinition(&t.m), ping);
  int rc = 0;
  uint32_t flags = 0;
  t.Eval("PING(1)", &rc, &flags);
  EXPECT_TRUE(rc != 0 || (flags & 1) != 0);
  // The model still evaluates normally afterwards.
  EXPECT_DOUBLE_EQ(t.Eval("2 + 3"), 5.0);
}

TEST(UdfList, DeleteMarkAndIds) {
  UdfModel t;
  UdfNode* b = t.Define("BASE(N_X)", "X + 1");
  UdfNode* a = t.Define("ABOVE(N_X)", "BASE(X) * 2");
  UdfNode* c = t.Define("CALM(N_X)", "X");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(b->id, 1u);
  EXPECT_EQ(c->id, 3u);
  // A report field in use calls ABOVE only; BASE is used through it.
  FieldDef* f = t.m.AddField(kFieldCalculation | kFieldNeeded | kFieldNumeric);
  std::strcpy(f->name, "CALC");
  uint32_t pos = 0;
  CompileOutput out;
  ASSERT_EQ(CompileExpression(&t.m, "ABOVE(AMOUNT)", &pos, &out, nullptr, nullptr, 1), 0);
  f->code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
  std::memcpy(f->code, out.code.data(), out.code.size());
  f->codeLength = static_cast<uint32_t>(out.code.size());
  MarkUsedUdfs(&t.m);
  EXPECT_TRUE(a->flags & kUdfUsed);
  EXPECT_TRUE(b->flags & kUdfUsed);
  EXPECT_FALSE(c->flags & kUdfUsed);
  EXPECT_EQ(FindUdfById(&t.m, a->id | kCallLogicalBit), a);

  // Deleting a node that is not listed must not disturb the list.
  UdfNode stray{};
  auto* loose = static_cast<UdfNode*>(HeapAllocZero(0, sizeof(UdfNode)));
  *loose = stray;
  DeleteUdf(&t.m, loose);
  EXPECT_EQ(t.m.udfList, b);
  DeleteUdf(&t.m, a);
  EXPECT_EQ(t.m.udfList, b);
  EXPECT_EQ(b->next, c);
  // Ids continue from the largest.
  UdfNode* d = NewUdf(&t.m);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->id, 4u);
  d->id = kUdfMaxId;
  EXPECT_EQ(NewUdf(&t.m), nullptr);
}

// The users of a function are found through chains of functions, and a rename
// reaches every text that calls it.
TEST(UdfUsers, ChainsMarksAndRename) {
  UdfModel t;
  UdfNode* c = t.Define("CHAIN(N_X)", "X + 1");
  UdfNode* b = t.Define("BRIDGE(N_X)", "CHAIN(X) * 2");
  UdfNode* a = t.Define("APEX(N_X)", "BRIDGE(X) - 1");
  UdfNode* other = t.Define("LONELY(N_X)", "X");
  ASSERT_TRUE(c && b && a && other);
  FieldDef* f = t.m.AddField(kFieldCalculation | kFieldNeeded);
  std::strcpy(f->name, "VIA_A");
  const char* text = "APEX(AMOUNT) + CHAIN(1)";
  f->exprText = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(std::strlen(text) + 1)));
  std::strcpy(f->exprText, text);
  uint32_t pos = 0;
  ASSERT_EQ(CompileFieldText(&t.m, f, &pos), 0);

  EXPECT_TRUE(MarkFunctionUsers(&t.m, c->id));
  EXPECT_TRUE(b->flags & kUdfMarkBroken);
  EXPECT_TRUE(a->flags & kUdfMarkBroken);
  EXPECT_FALSE(other->flags & (kUdfMarkCompiles | kUdfMarkBroken));
  EXPECT_FALSE(c->flags & (kUdfMarkCompiles | kUdfMarkBroken));
  EXPECT_TRUE(f->flags & kFieldRemoveMark);

  EXPECT_TRUE(IsFunctionUsed(&t.m, b->id));
  EXPECT_TRUE(a->flags & kUdfMarkCompiles);
  EXPECT_FALSE(c->flags & kUdfMarkCompiles);
  EXPECT_FALSE(f->flags & kFieldRemoveMark);  // the field calls AYE and CEE, not BEE
  EXPECT_FALSE(IsFunctionUsed(&t.m, other->id));

  RenameFunctionInTexts(&t.m, c->id, "CLINK");
  EXPECT_STREQ(f->exprText, "APEX(AMOUNT) + CLINK(1)");
  std::string body = b->body;
  EXPECT_EQ(body.substr(0, 13), "CLINK(X) * 2 ");
  EXPECT_GE(body.size(), std::strlen("CHAIN(X) * 2"));

  // A function in use without code is found before a run.
  EXPECT_EQ(FindUncompiledUdf(&t.m), nullptr);
  HeapFreeBlock(a->code);
  a->code = nullptr;
  a->codeLength = 0;
  EXPECT_EQ(FindUncompiledUdf(&t.m), a);
}
