// CDLL against a library built beside the tests: the user's function gets the
// argument text in a writable buffer and its rewritten text is the result.
#include "functions_fixture.h"

using UserLibrary = FunctionsTest;

TEST_F(UserLibrary, TheFunctionsRewrittenBufferIsTheResult) {
  const std::string lib = VT_TESTLIB_PATH;
  EXPECT_EQ(S("CDLL('" + lib + "', 'ToUpperText', 'abc def')"), "ABC DEF");
  EXPECT_EQ(S("CDLL('" + lib + "', 'Reverse', 'abc')"), "cba");
  EXPECT_EQ(Flags("CDLL('" + lib + "', 'Reverse', 'abc')") & 1, 0u);
  // A zero result is a failure: empty text and the error flag, whatever the
  // function left in the buffer.
  FnResult refused = Eval("CDLL('" + lib + "', 'Refuse', 'abc')");
  EXPECT_EQ(refused.flags & 1, 1u);
  EXPECT_EQ(S("CDLL('" + lib + "', 'Refuse', 'abc')"), "");
  // The library is loaded afresh for each call, so repeated calls agree.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(S("CDLL('" + lib + "', 'ToUpperText', 'x')"), "X");
}
