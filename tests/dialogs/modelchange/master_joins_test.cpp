#include "data/master_joins.h"

#include "tests/expr/expr_model_fixture.h"
#include "core/engine_errors.h"
#include "model/relation_wording.h"

#include <gtest/gtest.h>

namespace {

// ORD (master) -> CUST by CUSTID = ID; CUST -> REGION by REGIONID = RID.
struct JoinModel : TestModel {
  int ord = AddTable("ORD");
  int cust = AddTable("CUST");
  int region = AddTable("REGION");
  FieldDef* custId = Add("CUSTID", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* id = Data("ID", kFieldNumeric, cust);
  FieldDef* cname = Data("CNAME", 0, cust);
  FieldDef* regionId = Data("REGIONID", kFieldNumeric, cust);
  FieldDef* rid = Data("RID", kFieldNumeric, region);

  JoinModel() {
    std::snprintf(m.tableSlots[cust]->path, kTablePathSize, "%s", "C:\\DATA\\CUST.DBF");
    uint32_t p1[] = {Number(custId), Number(id), kNoField, kNoField};
    EXPECT_EQ(m.SetRelation(static_cast<uint32_t>(cust), 0, 0x20, p1), 0);
    uint32_t p2[] = {Number(regionId), Number(rid), kNoField, kNoField};
    EXPECT_EQ(m.SetRelation(static_cast<uint32_t>(region), 1, 0x40, p2), 0);
    custId->flags |= kFieldJoin;
    regionId->flags |= kFieldJoin;
  }
  // A table column that is not on the layout.
  FieldDef* Data(const char* name, uint32_t kind, int table) {
    FieldDef* f = Add(name, kind, static_cast<uint8_t>(table));
    f->flags &= ~kFieldItem;
    return f;
  }
};

}  // namespace

TEST(MasterJoins, AliasRules) {
  JoinModel t;
  // A new lookup alias may not repeat any slot's alias, in any letter case.
  EXPECT_EQ(CheckTableAlias(&t.m, "ord", -1, true, 0, nullptr), kEngineDuplicateAlias);
  EXPECT_EQ(CheckTableAlias(&t.m, "1ORD", -1, true, 0, nullptr), kEngineInvalidAlias);
  EXPECT_EQ(CheckTableAlias(&t.m, "A-B", -1, true, 0, nullptr), kEngineInvalidAlias);
  EXPECT_EQ(CheckTableAlias(&t.m, "", -1, true, 0, nullptr), kEngineInvalidAlias);
  EXPECT_EQ(CheckTableAlias(&t.m, "ITEMS_2", -1, true, 0, nullptr), 0);
  EXPECT_EQ(CheckTableAlias(&t.m, "DERIVED", -1, true, 0, "derived"), kEngineDuplicateAlias);
  // The master keeps its own alias; lookups are checked from slot 1.
  EXPECT_EQ(CheckTableAlias(&t.m, "ORD", 0, true, 1, nullptr), 0);
  // Changing a relation does not check the form.
  EXPECT_EQ(CheckTableAlias(&t.m, "1CUST", t.cust, false, 0, nullptr), 0);
}

TEST(MasterJoins, RelationReadBackAndCompared) {
  JoinModel t;
  EXPECT_EQ(CountJoinFields(&t.m, t.cust), 1);
  EXPECT_EQ(CountJoinFields(&t.m, 42), 0);
  JoinRequest r;
  JoinInfoStorage st;
  EXPECT_EQ(GetJoinInfo(&t.m, &r, 42, &st), 1);
  ASSERT_EQ(GetJoinInfo(&t.m, &r, t.region, &st), 0);
  EXPECT_EQ(r.approximate, 1);
  EXPECT_EQ(r.rule, 1);
  ASSERT_EQ(GetJoinInfo(&t.m, &r, t.cust, &st), 0);
  EXPECT_EQ(r.approximate, 0);
  EXPECT_EQ(r.rule, 0);
  EXPECT_STREQ(r.alias, "CUST");
  ASSERT_EQ(r.links[0].field, t.custId);
  EXPECT_STREQ(r.links[0].column, "ID");
  EXPECT_EQ(r.links[1].field, nullptr);
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u);

  // As read back the request is the relation as it stands.
  EXPECT_EQ(IsJoinUnchanged(&t.m, r, t.cust), 0);
  JoinRequest changed = r;
  changed.rule = 2;
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 1);
  changed = r;
  changed.path = "c:\\data\\cust.dbf";
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 0);
  changed.path = "C:\\OTHER\\CUST.DBF";
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 1);
  JoinLinkEntry more[] = {{t.custId, "id", 0}, {t.custId, "CNAME", 0}, {}};
  changed = r;
  changed.links = more;
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 1);
  more[1] = JoinLinkEntry{};
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 0);
  JoinLinkEntry none[] = {{}};
  changed.links = none;
  EXPECT_EQ(IsJoinUnchanged(&t.m, changed, t.cust), 1);
}

TEST(MasterJoins, RemovingLookupTables) {
  JoinModel t;
  uint32_t count = 99;
  JoinRemoval pending;
  // CUST carries the link to REGION: refused, nothing left marked.
  EXPECT_EQ(FindJoinUsers(&t.m, t.cust, &count, &pending), kEngineDeleteJoinField);
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
  EXPECT_EQ(FindJoinUsers(&t.m, 77, &count, &pending), 1);

  // REGION's fields are used by nothing but a calculation.
  FieldDef* calc = t.AddCalc("REGCODE", "RID * 10");
  ASSERT_EQ(t.lastError, 0);
  ASSERT_EQ(FindJoinUsers(&t.m, t.region, &count, &pending), 0);
  EXPECT_GE(count, 1u);
  CancelJoinRemoval(&t.m, &pending);
  EXPECT_EQ(calc->flags & 0x30, 0u);
  ASSERT_EQ(FindJoinUsers(&t.m, t.region, &count, &pending), 0);
  const uint32_t before = t.m.fieldCount;
  RemoveJoin(&t.m, &pending);
  EXPECT_EQ(t.m.tableSlots[t.region], nullptr);
  EXPECT_EQ(t.m.fieldCount, before - 2);
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_STRNE(g->name, "REGCODE");
}

TEST(MasterJoins, UniqueAliasesAlwaysEnd) {
  TestModel t;
  int master = t.AddTable("ORD");
  t.AddTable("ord");
  t.AddTable("ORD_");
  ASSERT_TRUE(MakeTableAliasUnique(&t.m, master));
  EXPECT_STREQ(t.m.tableSlots[master]->alias, "ORD__");

  // Two eight-character aliases that the letter scheme would swap for ever.
  TestModel u;
  int m0 = u.AddTable("AAAAAAAA");
  u.AddTable("AAAAAAAA");
  u.AddTable("AAAAAAAB");
  ASSERT_TRUE(MakeTableAliasUnique(&u.m, m0));
  EXPECT_STREQ(u.m.tableSlots[m0]->alias, "AAAAAAAC");
  // Already unique: unchanged.
  ASSERT_TRUE(MakeTableAliasUnique(&u.m, m0));
  EXPECT_STREQ(u.m.tableSlots[m0]->alias, "AAAAAAAC");
}
