#include "data/data_access.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "engine/calc_pass.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "expr/udf_state.h"
#include "core/composite.h"
#include "data/open_tables.h"
#include "model/record_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// Run under the address sanitizer: a record freed twice, or used after the
// model freed it, fails here.
TEST(ModelSideRecords, UserFunctionsAndDataAccessGoWithTheModel) {
  {
    // Never freed by hand: the destructor takes both.
    CKmComposite m{nullptr};
    ASSERT_NE(GetUdfState(&m), nullptr);
    ASSERT_NE(NewUdf(&m), nullptr);
    ASSERT_NE(GetDataAccess(&m), nullptr);
    EXPECT_EQ(GetUdfState(&m), m.FindAttachment<UdfState>()) << "one state per model, kept in its slot";
    m.DropAttachment(AttachmentSlot::kCompiler);
  }
  {
    // Freed by hand first, then again, then by the destructor.
    CKmComposite m{nullptr};
    GetUdfState(&m);
    NewUdf(&m);
    GetDataAccess(&m);
    m.DropAttachment(AttachmentSlot::kUdf);
    m.DropAttachment(AttachmentSlot::kUdfList);
    m.DropAttachment(AttachmentSlot::kDataAccess);
    EXPECT_EQ(m.FindAttachment<UdfState>(), nullptr);
    EXPECT_EQ(m.FindAttachment<DataAccess>(), nullptr);
    EXPECT_EQ(m.udfList, nullptr);
    m.DropAttachment(AttachmentSlot::kUdf);
    m.DropAttachment(AttachmentSlot::kUdfList);
    m.DropAttachment(AttachmentSlot::kDataAccess);
    m.DropAttachment(AttachmentSlot::kCompiler);
  }
  {
    // Functions made before any state existed still go.
    CKmComposite m{nullptr};
    ASSERT_NE(NewUdf(&m), nullptr);
    EXPECT_EQ(m.FindAttachment<UdfState>(), nullptr);
    m.DropAttachment(AttachmentSlot::kUdf);
    m.DropAttachment(AttachmentSlot::kUdfList);
    EXPECT_EQ(m.udfList, nullptr);
    m.DropAttachment(AttachmentSlot::kCompiler);
  }
}

// What one model kept never reaches the next one made at its address.
TEST(ModelSideRecords, AModelAtAFormerModelsAddressStartsClean) {
  const std::string path = ::testing::TempDir() + "/vt_side_records.txt";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(".Part\n{one}\n", f);
    std::fclose(f);
  }
  alignas(CKmComposite) unsigned char storage[sizeof(CKmComposite)];
  RunCalcState calc;  // a run's block, bound to the first model only
  CKmComposite* m = new (storage) CKmComposite(nullptr);
  ASSERT_EQ(OpenTextTable(m, path.c_str(), "NOTES"), 0);
  BindRunCalc(m, &calc);
  SetRecordLimit(m, 25);
  GetSelectInputs(m)->extraCondition = "1 = 1";
  GetRecordPassState(m)->sortPoolSize = 1;
  while (m->fieldList) m->DeleteField(m->fieldList, 2);
  m->~CKmComposite();

  m = new (storage) CKmComposite(nullptr);
  EXPECT_STREQ(TextTablePath(m), "");
  EXPECT_EQ(RunCalcOf(m), nullptr);
  EXPECT_EQ(GetRecordLimit(m), 0);
  EXPECT_TRUE(GetSelectInputs(m)->extraCondition.empty());
  EXPECT_EQ(GetRecordPassState(m)->sortPoolSize, 524288u);
  m->~CKmComposite();
  std::remove(path.c_str());
}

}  // namespace
