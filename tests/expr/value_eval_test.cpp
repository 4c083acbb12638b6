#include <cmath>
#include <cstring>
#include <string>

#include "eval_fixture.h"
#include "expr/value_helpers.h"

namespace {

// Handlers of the shape the built-ins follow, for exercising the evaluator.
int IifHandler(CKmComposite* m) { return 0; }  // one arm ran; its value stays
int ModHandler(CKmComposite* m) {
  const double b = PopNumber(m), a = PopNumber(m);
  if (b == 0.0) {
    m->valueFlags |= kValueFlagNull;  // before the push, so the cell carries it
    PushNumber(m, 0.0);
  } else {
    PushNumber(m, std::fmod(a, b));
  }
  return 0;
}
int ErrorHandler(CKmComposite* m) {
  m->valueFlags = 0;
  DropCell(m);
  const bool bad = (m->valueFlags & 5) != 0;
  m->valueFlags = 0;
  PushNumber(m, bad ? 1.0 : 0.0);
  return 0;
}
int g_calls = 0;
int CountingHandler(CKmComposite* m) {
  ++g_calls;
  PushNumber(m, 42.0);
  return 0;
}
int DropAllHandler(CKmComposite* m) {
  for (uint32_t i = 0; i < m->argumentCount; ++i) DropCell(m);
  PushNumber(m, m->argumentCount);
  return 0;
}
int FailingHandler(CKmComposite*) { return 77; }

}  // namespace

TEST_F(EvalTest, ArithmeticAndDomainErrors) {
  CodeWriter w;
  w.Number(2), w.Number(3), w.Number(4), w.Op(OP_MUL), w.Op(OP_ADD), w.Number(10), w.Op(OP_PERCENT), w.End();
  EvalResult r = Run(w);
  EXPECT_EQ(r.rc, 0);
  EXPECT_DOUBLE_EQ(r.number(), 1.4);  // (2 + 3 * 4) % 10 = 14 x 10 / 100
  EXPECT_EQ(r.flags, 0u);

  CodeWriter div;
  div.Number(1), div.Number(0), div.Op(OP_DIV), div.End();
  r = Run(div);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.number(), 0.0);

  for (auto [l, rr] : {std::pair<double, double>{0, 0}, {-8, 0.5}}) {
    CodeWriter p;
    p.Number(l), p.Number(rr), p.Op(OP_POW), p.End();
    r = Run(p);
    EXPECT_EQ(r.flags, 1u) << l << "^" << rr;
    EXPECT_EQ(r.number(), 0.0);
  }
  // inf - inf is NaN: flagged and written as zero.
  CodeWriter nan;
  nan.Number(1e308), nan.Number(1e308), nan.Op(OP_MUL), nan.Number(1e308), nan.Number(1e308), nan.Op(OP_MUL),
      nan.Op(OP_SUB), nan.End();
  r = Run(nan);
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.number(), 0.0);
  // A flag raised early stays with everything computed from it.
  CodeWriter later;
  later.Number(1), later.Number(0), later.Op(OP_DIV), later.Number(5), later.Op(OP_ADD), later.End();
  EXPECT_EQ(Run(later).flags & 1, 1u);
}

TEST_F(EvalTest, LogicalResultsWriteOneByte) {
  FieldDef* flag = AddValueField("FLAG", kFieldLogical);
  flag->value[0] = 1;
  CodeWriter w;
  w.Field(0), w.End();
  EXPECT_EQ(Run(w).bytes[0], 1);  // a double 1.0 would start with a zero byte

  CodeWriter cmp;  // 2 > 1 writes a byte, 2 alone a double
  cmp.Number(2), cmp.Number(1), cmp.Op(OP_GT), cmp.End();
  EvalResult r = Run(cmp);
  EXPECT_EQ(r.bytes[0], 1);

  CodeWriter num;
  num.Number(2), num.End();
  EXPECT_EQ(Run(num).number(), 2.0);

  // Numbers compare with the tolerance: 0.1 + 0.2 = 0.3.
  CodeWriter tol;
  tol.Number(0.1), tol.Number(0.2), tol.Op(OP_ADD), tol.Number(0.3), tol.Op(OP_EQ), tol.End();
  EXPECT_EQ(Run(tol).bytes[0], 1);
  model.exactNumbers = 1;
  EXPECT_EQ(Run(tol).bytes[0], 0);
}

TEST_F(EvalTest, StringOperators) {
  auto truth = [&](const char* l, const char* r, uint8_t op) {
    CodeWriter w;
    w.String(l, std::strlen(l)), w.String(r, std::strlen(r)), w.Op(op), w.End();
    return Run(w).bytes[0];
  };
  EXPECT_EQ(truth("AB  ", "AB", OP_EQ), 1);   // trailing blanks ignored
  EXPECT_EQ(truth("AB\xB7", "AB ", OP_EQ), 1); // pad is a blank for comparisons
  EXPECT_EQ(truth("AB", "XABY", OP_CONTAINS), 1);
  EXPECT_EQ(truth("", "XABY", OP_CONTAINS), 0);
  EXPECT_EQ(truth("XABYZ", "XABY", OP_CONTAINS), 0);
  model.CompareCaseCombined = 0;
  EXPECT_EQ(truth("B", "a", OP_LT), 1);  // byte order: upper case first
  model.CompareCaseCombined = 1;
  EXPECT_EQ(truth("ab", "AB", OP_EQ), 1);
  model.CompareCaseCombined = 0;
  EXPECT_EQ(truth("ab", "AB", OP_EQ), 0);

  CodeWriter cat;
  cat.String("AB  ", 4), cat.String("C", 1), cat.Op(OP_CONCAT_TRIM), cat.String("D", 1), cat.Op(OP_CONCAT),
      cat.End();
  EXPECT_EQ(Run(cat).text(), "ABCD");

  CodeWriter cut;
  cut.String("ABCDEFGH", 8), cut.End();
  EvalResult r = Run(cut, 5);
  EXPECT_EQ(r.rc, kEvalStringCut);
  EXPECT_EQ(r.text(), "ABCDE");

  FieldDef* name = AddValueField("NAME", 0, 10);
  std::strcpy(reinterpret_cast<char*>(name->value), "Smith");
  CodeWriter fld;
  fld.Field(0), fld.String("Smith  ", 7), fld.Op(OP_EQ), fld.End();
  EXPECT_EQ(Run(fld).bytes[0], 1);
}

TEST_F(EvalTest, LongTextsStayInsideTheirBuffers) {
  // Two texts of the full work size: the concatenation is cut, never overrun.
  std::string big(8000, 'x');
  CodeWriter w;
  w.String(big), w.String(big), w.Op(OP_CONCAT), w.End();
  EvalResult r = Run(w);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.text().size(), 8000u);
  // A literal longer than the work size is cut to it.
  std::string huge(9000, 'y');
  CodeWriter h;
  h.String(huge), h.End();
  r = Run(h);
  EXPECT_EQ(r.text().size(), 8000u);
  // Containment of a full-size text in itself.
  CodeWriter c;
  c.String(big), c.String(big), c.Op(OP_CONTAINS), c.End();
  EXPECT_EQ(Run(c).bytes[0], 1);
}

TEST_F(EvalTest, StackOverflowIsReportedNotOverrun) {
  CodeWriter deep;
  for (int i = 0; i < 5000; ++i) deep.Number(i);
  for (int i = 0; i < 4999; ++i) deep.Op(OP_ADD);
  deep.End();
  EXPECT_EQ(Run(deep).rc, kEvalStackOverflow);

  std::string big(8000, 'z');
  CodeWriter texts;
  for (int i = 0; i < 5; ++i) texts.String(big);
  for (int i = 0; i < 4; ++i) texts.Op(OP_CONCAT);
  texts.End();
  EXPECT_EQ(Run(texts).rc, kEvalStackOverflow);

  // The next evaluation starts clean.
  CodeWriter one;
  one.Number(1), one.End();
  EvalResult r = Run(one);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.number(), 1.0);
}

TEST_F(EvalTest, BadCodeAndMissingFunctions) {
  for (uint8_t op : {uint8_t{38}, uint8_t{45}, uint8_t{200}}) {
    CodeWriter w;
    w.Number(1), w.Op(op), w.End();
    EXPECT_EQ(Run(w).rc, kEvalBadOpcode) << int(op);
  }
  CodeWriter free;  // slot 75 is free, 136 ends the table, 200 is beyond it
  for (uint32_t slot : {75u, 136u, 200u}) {
    CodeWriter w;
    w.Call(slot, 0), w.End();
    EXPECT_EQ(Run(w).rc, kEvalNoFunction) << slot;
  }
  CodeWriter udf;
  udf.UdfCall(5, 0), udf.End();
  EXPECT_EQ(Run(udf).rc, kEvalNoFunction);

  CodeWriter unknownField;
  unknownField.Field(99), unknownField.End();
  EXPECT_EQ(Run(unknownField).rc, kEvalBadOpcode);

  CodeWriter back;  // a jump backwards would loop
  back.Number(1);
  size_t at = back.Jump(OP_JUMP);
  back.PatchJump(at, 0);
  back.End();
  EXPECT_EQ(Run(back).rc, kEvalBadOpcode);

  HandlerGuard g(0, FailingHandler);
  CodeWriter fails;
  fails.Number(1), fails.Number(2), fails.Call(0, 2), fails.End();
  EXPECT_EQ(Run(fails).rc, 77);
}

TEST_F(EvalTest, ManyArgumentsReachTheHandler) {
  HandlerGuard g(58, DropAllHandler);
  CodeWriter w;
  for (int i = 0; i < 255; ++i) w.Op(OP_EMPTY_ARG);
  w.Call(58, 255), w.End();
  EvalResult r = Run(w);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.number(), 255.0);
}

TEST_F(EvalTest, IifRunsOneArmOnly) {
  HandlerGuard iif(kSlotIif, IifHandler);
  HandlerGuard count(1, CountingHandler);  // stands in for any costly call
  auto build = [](double condition) {
    CodeWriter w;
    w.Number(condition);
    const size_t toB = w.Jump(OP_JUMP_FALSE);
    w.Number(1), w.Call(1, 1);  // arm a
    const size_t toEnd = w.Jump(OP_JUMP);
    w.PatchJump(toB, w.size());
    w.Number(7);  // arm b
    w.PatchJump(toEnd, w.size());
    w.Call(kSlotIif, 3), w.End();
    return w;
  };
  g_calls = 0;
  EvalResult r = Run(build(1));
  EXPECT_EQ(r.number(), 42.0);
  EXPECT_EQ(g_calls, 1);
  r = Run(build(0));
  EXPECT_EQ(r.number(), 7.0);
  EXPECT_EQ(g_calls, 1);
  // The null number is a false condition too, and not an error of the result.
  r = Run(build(-1.7976931348623157e308));
  EXPECT_EQ(r.number(), 7.0);
  EXPECT_EQ(r.flags, 0u);
}

TEST_F(EvalTest, DomainErrorFlagTravelsWithItsCell) {
  HandlerGuard mod(40, ModHandler);
  HandlerGuard err(kSlotError, ErrorHandler);
  CodeWriter w;  // ERROR(MOD(5, 0))
  w.Number(5), w.Number(0), w.Call(40, 2), w.Call(kSlotError, 1, true), w.End();
  EvalResult r = Run(w);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.bytes[0], 1);
  EXPECT_EQ(r.flags, 0u);  // ERROR consumed the flag

  CodeWriter fine;  // ERROR(MOD(5, 2))
  fine.Number(5), fine.Number(2), fine.Call(40, 2), fine.Call(kSlotError, 1, true), fine.End();
  EXPECT_EQ(Run(fine).bytes[0], 0);

  // Other calls get the flags of earlier arguments back.
  CodeWriter spread;  // MOD(1/0, 3)
  spread.Number(1), spread.Number(0), spread.Op(OP_DIV), spread.Number(3), spread.Call(40, 2), spread.End();
  EXPECT_EQ(Run(spread).flags & 1, 1u);
}

TEST_F(EvalTest, DatesAndTimes) {
  CodeWriter diff;
  diff.Date(1000), diff.Date(400), diff.Op(OP_DATE_DIFF), diff.End();
  EXPECT_EQ(Run(diff).number(), 600.0);

  CodeWriter nullDiff;
  nullDiff.Date(0x80000001u), nullDiff.Date(400), nullDiff.Op(OP_DATE_DIFF), nullDiff.End();
  EvalResult r = Run(nullDiff);
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.number(), 0.0);

  CodeWriter add;  // number + date, either order, days truncated
  add.Number(2.9), add.Date(10), add.Op(OP_DATE_ADD), add.Number(1), add.Op(OP_DATE_SUB), add.End();
  EXPECT_EQ(Run(add).u32(), 11u);

  CodeWriter far;  // past the calendar's end is the invalid date
  far.Date(292499), far.Number(1e12), far.Op(OP_DATE_ADD), far.End();
  EXPECT_EQ(Run(far).u32(), 0x7FFFFFFFu);

  CodeWriter dt;
  dt.DateTime(5, 3600e6), dt.End();
  r = Run(dt);
  EXPECT_EQ(r.u32(), 5u);
  EXPECT_EQ(r.f64(4), 3600e6);

  CodeWriter tm;
  tm.Time(60e6), tm.End();
  EXPECT_EQ(Run(tm).f64(4), 60e6);

  CodeWriter order;  // a null date sorts below others unless the null order says otherwise
  order.Date(0x80000001u), order.Date(5), order.Op(OP_LT), order.End();
  EXPECT_EQ(Run(order).bytes[0], 1);
  model.nullOrdering = 1;
  EXPECT_EQ(Run(order).bytes[0], 0);

  CodeWriter same;  // date-times compare by day, then time
  same.DateTime(5, 10), same.DateTime(5, 20), same.Op(OP_LT), same.End();
  EXPECT_EQ(Run(same).bytes[0], 1);
}

TEST_F(EvalTest, FieldReferencesWriteByType) {
  FieldDef* num = AddValueField("N", kFieldNumeric);
  FieldDef* date = AddValueField("D", kFieldDate);
  FieldDef* dt = AddValueField("DT", kFieldDateTime);
  FieldDef* tm = AddValueField("T", kFieldTime);
  FieldDef* txt = AddValueField("S", 0, 6);
  double v = 12.5, prev = 3.0, t = 99.0;
  std::memcpy(num->value, &v, 8);
  std::memcpy(num->previous, &prev, 8);
  uint32_t day = 77;
  std::memcpy(date->value, &day, 4);
  std::memcpy(dt->value, &day, 4);
  std::memcpy(dt->value + 4, &t, 8);
  std::memcpy(tm->value + 4, &t, 8);
  std::memcpy(txt->value, "ABCDEFG", 7);  // no terminator within the width

  auto one = [&](uint8_t op, uint32_t n) {
    CodeWriter w;
    if (op == OP_FIELD) w.Field(n); else w.FieldPrev(n);
    w.End();
    return Run(w);
  };
  EXPECT_EQ(one(OP_FIELD, 0).number(), 12.5);
  EXPECT_EQ(one(OP_FIELD_PREV, 0).number(), 3.0);
  EXPECT_EQ(one(OP_FIELD, 1).u32(), 77u);
  EvalResult r = one(OP_FIELD, 2);
  EXPECT_EQ(r.u32(), 77u);
  EXPECT_EQ(r.f64(4), 99.0);
  EXPECT_EQ(one(OP_FIELD, 3).f64(4), 99.0);
  EXPECT_EQ(one(OP_FIELD, 4).text(), "ABCDEFG");

  // A null field value is written as zero and reported through the flags.
  num->valueStatus = 1;
  r = one(OP_FIELD, 0);
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.number(), 0.0);
  // The previous value has a status of its own: beside its buffer, or in
  // bits 3-5 when it is kept in the second half of the value.
  EXPECT_EQ(one(OP_FIELD_PREV, 0).flags, 0u);
  num->valueStatus = 0;
  num->previousStatus = 1;
  r = one(OP_FIELD_PREV, 0);
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.number(), 0.0);
  num->previousStatus = 0;
  uint8_t* kept = num->previous;
  num->previous = nullptr;
  num->flags |= kFieldDoubleWidth;
  num->valueStatus = 0x08;
  EXPECT_EQ(one(OP_FIELD_PREV, 0).flags, 1u);
  num->valueStatus = 0x20;
  EXPECT_EQ(one(OP_FIELD_PREV, 0).flags, 4u);
  num->valueStatus = 0;
  num->flags &= ~kFieldDoubleWidth;
  num->previous = kept;

  // The null number in a field is missing: zero with the flag.
  double missing = -1.7976931348623157e308;
  std::memcpy(num->value, &missing, 8);
  CodeWriter plus;
  plus.Field(0), plus.Number(1), plus.Op(OP_ADD), plus.End();
  r = Run(plus);
  EXPECT_EQ(r.flags & 1, 1u);
}

TEST_F(EvalTest, QueryMarkerAndFilterText) {
  auto query = [](CKmComposite* m) {
    PushQueryMarker(m);
    return 0;
  };
  HandlerGuard g(kSlotQuery, query);
  CodeWriter w;
  w.Call(kSlotQuery, 1), w.End();
  EXPECT_EQ(Run(w).text(), "Include all records");
  model.describeFilter = [](CKmComposite*, std::string* out) {
    *out = "Amount > 5";
    return true;
  };
  EXPECT_EQ(Run(w).text(), "Amount > 5");
}

TEST_F(EvalTest, MergeFlagsMarksTheTopCellOnly) {
  // After each INLIST/CASE argument the pending flags move into that argument.
  CodeWriter w;
  w.Number(1), w.Number(0), w.Op(OP_DIV), w.Op(OP_MERGE_FLAGS), w.Number(4), w.Op(OP_MERGE_FLAGS);
  w.Op(OP_ADD), w.End();
  EvalResult r = Run(w);
  EXPECT_EQ(r.flags & 1, 1u);  // popped with the division's cell
}

namespace {

struct Udfs {
  std::vector<uint8_t> twice, forever, half, branching;
};
Udfs* g_udfs = nullptr;

bool FindTestUdf(CKmComposite*, uint32_t id, UdfCallTarget* out) {
  switch (id) {
    case 1: out->code = g_udfs->twice.data(); out->resultType = 1; return true;
    case 2: out->code = g_udfs->forever.data(); out->resultType = 1; return true;
    case 3: out->code = g_udfs->half.data(); out->resultType = 4; return true;
    case 4: out->code = g_udfs->branching.data(); out->resultType = 1; return true;
    default: return false;
  }
}

}  // namespace

TEST_F(EvalTest, UserFunctionFramesAndLimits) {
  Udfs udfs;
  g_udfs = &udfs;
  CodeWriter twice;  // TWICE(x) = x * 2
  twice.Param(0), twice.Number(2), twice.Op(OP_MUL), twice.End();
  udfs.twice = twice.Take();
  CodeWriter forever;  // FOREVER(x) = FOREVER(x) + 1
  forever.Param(0), forever.UdfCall(2, 1), forever.Number(1), forever.Op(OP_ADD), forever.End();
  udfs.forever = forever.Take();
  model.findUdf = FindTestUdf;

  CodeWriter call;  // 10 + TWICE(TWICE(3))
  call.Number(10), call.Number(3), call.UdfCall(1, 1), call.UdfCall(1, 1), call.Op(OP_ADD), call.End();
  EvalResult r = Run(call);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.number(), 22.0);
  EXPECT_EQ(r.flags, 0u);
  EXPECT_EQ(model.frameDepth, 0);

  // Endless recursion stops at the frame limit with the zero value in error.
  CodeWriter endless;
  endless.Number(1), endless.UdfCall(2, 1), endless.End();
  r = Run(endless);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.number(), 0.0);

  // A function that calls itself twice would take 2^127 calls; the calls of
  // one evaluation are bounded, so it ends with its value in error.
  CodeWriter branching;  // B(x) = B(x) + B(x)
  branching.Param(0), branching.UdfCall(4, 1), branching.Param(0), branching.UdfCall(4, 1), branching.Op(OP_ADD);
  branching.End();
  udfs.branching = branching.Take();
  CodeWriter both;
  both.Number(1), both.UdfCall(4, 1), both.End();
  r = Run(both);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.flags & 1, 1u);

  // A parameter index the frame does not have is bad code.
  CodeWriter bad;
  bad.Param(0), bad.End();
  EXPECT_EQ(Run(bad).rc, kEvalBadOpcode);
  g_udfs = nullptr;
}

TEST_F(EvalTest, ParameterPassedOnAsPreviousValue) {
  Udfs udfs;
  g_udfs = &udfs;
  CodeWriter body;  // PREVVAL(f) gives f's previous value
  body.ParamPrev(0), body.End();
  udfs.twice = body.Take();
  model.findUdf = FindTestUdf;
  FieldDef* n = AddValueField("N", kFieldNumeric);
  double cur = 5, prev = 4;
  std::memcpy(n->value, &cur, 8);
  std::memcpy(n->previous, &prev, 8);
  CodeWriter call;
  call.Field(0), call.UdfCall(1, 1), call.End();
  EXPECT_EQ(Run(call).number(), 4.0);
  g_udfs = nullptr;
}

TEST_F(EvalTest, RotateMovesAFullSizeCell) {
  ASSERT_TRUE(model.InitEvalArea());
  model.evalStackTop = model.evalStackBase;
  model.evalStackOverflow = 0;
  std::string big(8000, 'q');
  PushString(&model, big.data(), big.size());
  PushNumber(&model, 1.0);
  PushNumber(&model, 2.0);
  RotateStack(&model, 2);
  EXPECT_TRUE(TopIsString(&model));
  char* buf = model.stringWork1;
  EXPECT_EQ(PopString(&model, buf, model.stringWorkSize + 1), 8000u);
  EXPECT_EQ(PopNumber(&model), 2.0);
  EXPECT_EQ(PopNumber(&model), 1.0);
  // Popping an empty stack gives zero and the flag, and reads nothing.
  model.valueFlags = 0;
  EXPECT_EQ(PopNumber(&model), 0.0);
  EXPECT_EQ(model.valueFlags & 1, 1u);
  EXPECT_EQ(PopRoundedInt(&model), 0);
  model.valueFlags = 0;
  PushNumber(&model, std::nan(""));
  EXPECT_EQ(PopRoundedInt(&model), 0);
  PushNumber(&model, 1e300);
  EXPECT_EQ(PopRoundedInt(&model), INT64_MAX);
}

TEST_F(EvalTest, PopsCheckDatesAndTimes) {
  ASSERT_TRUE(model.InitEvalArea());
  model.evalStackTop = model.evalStackBase;
  model.valueFlags = 0;
  PushDate(&model, 292500);  // one past the last day
  EXPECT_EQ(PopDate(&model), 0x80000001u);
  EXPECT_EQ(model.valueFlags & 1, 1u);
  model.valueFlags = 0;
  PushTime(&model, -5.0);
  EXPECT_EQ(PopTime(&model), 0.0);
  EXPECT_EQ(model.valueFlags & 1, 1u);
  model.valueFlags = 0;
  PushTime(&model, GetNullNumber());
  EXPECT_TRUE(IsNullNumber(PopTime(&model)));
  EXPECT_EQ(model.valueFlags, 0u);
  PushDate(&model, 0x80000001u);
  uint32_t day;
  double time;
  PopDateTime(&model, &day, &time);
  EXPECT_EQ(day, 0x80000001u);
  EXPECT_TRUE(IsNullNumber(time));
  PushEmptyLongText(&model);
  EXPECT_EQ(PopFieldRef(&model), EmptyLongTextField());
  PushEmptyArgument(&model);
  EXPECT_TRUE(DropEmptyArgument(&model));
  EXPECT_FALSE(DropEmptyArgument(&model));
}
