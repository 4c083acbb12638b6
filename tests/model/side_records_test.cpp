#include "data/data_access.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <cstring>

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
    EXPECT_EQ(GetUdfState(&m), m.udfState) << "one state per model, kept in its slot";
    FreeCompiler(&m);
  }
  {
    // Freed by hand first, then again, then by the destructor.
    CKmComposite m{nullptr};
    GetUdfState(&m);
    NewUdf(&m);
    GetDataAccess(&m);
    FreeUdfState(&m);
    FreeDataAccess(&m);
    EXPECT_EQ(m.udfState, nullptr);
    EXPECT_EQ(m.dataAccessState, nullptr);
    EXPECT_EQ(m.udfList, nullptr);
    FreeUdfState(&m);
    FreeDataAccess(&m);
    FreeCompiler(&m);
  }
  {
    // Functions made before any state existed still go.
    CKmComposite m{nullptr};
    ASSERT_NE(NewUdf(&m), nullptr);
    EXPECT_EQ(m.udfState, nullptr);
    FreeUdfState(&m);
    EXPECT_EQ(m.udfList, nullptr);
    FreeCompiler(&m);
  }
}

}  // namespace
