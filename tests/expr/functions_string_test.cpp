#include "expr/functions_string.h"

#include "expr/collation.h"
#include "functions_fixture.h"
#include "platform/win/resources.h"

namespace {

using StringFunctions = FunctionsTest;

TEST_F(StringFunctions, PiecesOfTexts) {
  EXPECT_EQ(S("SUBSTR('ABCDE', 3)"), "CDE");
  EXPECT_EQ(S("SUBSTR('ABC', 4, 1)"), "");
  EXPECT_EQ(S("SUBSTR('ABC', 0, 2)"), "");
  EXPECT_EQ(S("SUBSTR('ABCDE', 2, -1)"), "");
  EXPECT_EQ(S("SUBSTR(REPLICATE('x', 2000), 1)").size(), 1000u);
  EXPECT_EQ(S("STUFF('ABC', 4, 0, 'X')"), "");
  EXPECT_EQ(S("STUFF('ABC', 3, 0, 'X')"), "ABXC");
  EXPECT_EQ(S("STUFF('ABC', 2, 9, 'X')"), "AX");
  EXPECT_EQ(S("STUFF(REPLICATE('a', 8000), 1, 0, 'xyz')").size(), 8000u);  // never past the longest string
  EXPECT_EQ(S("LEFT('ABC', -1)"), "");
  EXPECT_EQ(S("LEFT('ABC', 9)"), "ABC");
  EXPECT_EQ(S("RIGHT('ABC', 2)"), "BC");
  EXPECT_EQ(S("CHR(0)"), "");
  EXPECT_EQ(S("CHR(256)"), "");
  EXPECT_EQ(S("CHR(65.5)"), "B");
  EXPECT_EQ(N("ASC('A')"), 65);
  EXPECT_EQ(N("ASC('')"), 0);
}

TEST_F(StringFunctions, BlanksPadsAndCase) {
  std::string three = Raw("SPACE(3)");
  EXPECT_EQ(three, std::string(3, static_cast<char>(t.m.SpaceDotChar)));
  EXPECT_EQ(N("LEN(SPACE(3))"), 3);
  EXPECT_EQ(S("TRIM(SPACE(3))"), "");
  EXPECT_EQ(S("SPACE(-4)"), "");
  EXPECT_EQ(S("SPACE(99999)").size(), 8000u);
  EXPECT_EQ(S("LTRIM('  ab ')"), "ab ");
  EXPECT_EQ(S("RTRIM('  ab ')"), "  ab");
  EXPECT_EQ(S("UPPER('abc\xE9')"), "ABC\xC9");
  EXPECT_EQ(S("LOWER('ABC\xC9')"), "abc\xE9");
  EXPECT_EQ(N("ISALPHA('\xE9x')"), 1);
  EXPECT_EQ(N("ISALPHA('1')"), 0);
  EXPECT_EQ(N("ISLOWER('a')"), 1);
  EXPECT_EQ(N("ISUPPER('a')"), 0);
  EXPECT_EQ(N("ISUPPER('')"), 0);
  EXPECT_EQ(S("CAPFIRST('hELLO wORLD-wide')"), "Hello World-Wide");
}

TEST_F(StringFunctions, NumbersAsText) {
  EXPECT_EQ(S("STR(3.14159, 6, 2)"), "  3.14");
  EXPECT_EQ(S("STR(12.4)"), "        12");
  EXPECT_EQ(S("STR(2.5)"), "         3");  // ties away from zero
  EXPECT_EQ(S("STR(3.14159, 4, 3)"), "3.14");  // decimals give way to the length
  FnResult r = Eval("STR(123456, 3)");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.bytes.data())), "");
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(Flags("STR(1, 100, 1)") & 1, 1u);
  EXPECT_EQ(S("REPLICATE('abc', 3)"), "abcabcabc");
  std::string big = S("REPLICATE('abc', 3000)");
  EXPECT_EQ(big.size(), 8000u);
  EXPECT_EQ(big.substr(7998), "ab");
  EXPECT_EQ(S("REPLICATE('abc', -2)"), "");
}

TEST_F(StringFunctions, Searches) {
  EXPECT_EQ(N("AT('', 'abc')"), 0);
  EXPECT_EQ(N("AT('abcd', 'abc')"), 0);
  EXPECT_EQ(N("AT('b', 'abcb')"), 2);
  EXPECT_EQ(N("AT('B', 'abc', 1)"), 0);
  EXPECT_EQ(N("AT('B', 'abc', 0)"), 2);
  EXPECT_EQ(N("STRSEARCH('a', 'banana', 2)"), 4);
  EXPECT_EQ(N("STRSEARCH('a', 'banana', -1)"), 6);
  EXPECT_EQ(N("STRSEARCH('a', 'banana', -4)"), 0);
  EXPECT_EQ(N("STRSEARCH('a', 'banana', 4)"), 0);
  EXPECT_EQ(N("STRCOUNT('aa', 'aaaa')"), 3);
  EXPECT_EQ(S("STRREP('aaaa', 'aa', 'b')"), "bb");
  EXPECT_EQ(S("STRREP('abcabc', 'C', 'x', 0)"), "abxabx");
  EXPECT_EQ(S("STRREP('abc', '', 'x')"), "abc");
  EXPECT_EQ(S("STRREP(REPLICATE('a', 8000), 'a', 'bb')").size(), 8000u);
}

TEST_F(StringFunctions, WordsAndSoundex) {
  EXPECT_EQ(S("WORD('one two-three', -1)"), "three");
  EXPECT_EQ(S("WORD('one two', 3)"), "");
  EXPECT_EQ(S("WORD('one two', 0)"), "");
  EXPECT_EQ(S("WORD('a,b;c', 2, ',;')"), "b");
  EXPECT_EQ(N("WDCOUNT('  ')"), 0);
  EXPECT_EQ(N("WDCOUNT(' one  two-three ')"), 3);
  EXPECT_EQ(S("SOUNDEX('Robert')"), "R163");
  EXPECT_EQ(S("SOUNDEX('Tymczak')"), "T522");
  EXPECT_EQ(S("SOUNDEX('Ashcraft')"), "A226");
  EXPECT_EQ(S("SOUNDEX('van Gogh')"), "V500");
  EXPECT_EQ(S("SOUNDEX('')"), "");
}

TEST_F(StringFunctions, PatternsAndMiscellany) {
  EXPECT_EQ(N("LIKE('a*c', 'abbbc')"), 1);
  EXPECT_EQ(N("LIKE('a?c', 'abc')"), 1);
  EXPECT_EQ(N("LIKE('a%c', 'abc')"), 1);
  EXPECT_EQ(N("LIKE('abc', 'abc   ')"), 1);
  EXPECT_EQ(N("LIKE('a*d', 'abc')"), 0);
  FnResult r = Eval("RIPARAM('x')");
  EXPECT_EQ(r.flags & 1, 1u);
  BuiltinDocumentState& d = ActiveBuiltinDocument();
  d.reportName.clear();
  EXPECT_EQ(S("REPNAME()"), LoadResString(120));  // "Untitled"
  d.reportName = "/reports/Sales.kmw";
  d.reportTitleName = "Sales.kmw";
  EXPECT_EQ(S("REPNAME()"), "Sales");
  EXPECT_EQ(S("REPNAME(1)"), "/reports/Sales.kmw");
  d.programDirectory = "/opt/vt/";
  EXPECT_EQ(S("UDFNAME()"), "/opt/vt/KMW.UDF");
  d.libraryOpen = 0;
  EXPECT_EQ(S("LIBNAME()"), "");
  d.reportName.clear();
}

TEST_F(StringFunctions, UserLibraryThroughRunTimeLoading) {
  // The C library's strlen takes the buffer and returns non-zero for a
  // non-empty text: the text comes back unchanged.
  EXPECT_EQ(S("CDLL('libc.so.6', 'strlen', 'abc')"), "abc");
  EXPECT_EQ(Flags("CDLL('libc.so.6', 'strlen', 'abc')"), 0u);
  FnResult zero = Eval("CDLL('libc.so.6', 'strlen', '')");
  EXPECT_EQ(zero.flags & 1, 1u);
  EXPECT_EQ(Flags("CDLL('libc.so.6', 'no_such_function', 'abc')") & 1, 1u);
  EXPECT_EQ(Flags("CDLL('no-such-library.so', 'f', 'abc')") & 1, 1u);
  // A function that fills the whole buffer still leaves a terminated text.
  std::vector<char> buf(8001, 'x');
  EXPECT_FALSE(CallUserLibrary("libc.so.6", "", buf.data(), 8000));
  EXPECT_EQ(buf[8000], 0);
}

TEST_F(StringFunctions, TypeDescriptions) {
  EXPECT_EQ(Typed("SOUNDEX('abc')")->displayWidth, 4u);
  EXPECT_EQ(Typed("SUBSTR('abcdef', 2, 3)")->displayWidth, 3u);
  EXPECT_EQ(Typed("LEFT('abcdef', 2)")->displayWidth, 2u);
  EXPECT_EQ(Typed("STR(1, 12)")->displayWidth, 12u);
  EXPECT_EQ(Typed("AT('a', 'abcdefghijkl')")->displayWidth, 2u);
  EXPECT_EQ(Typed("TRANSFORM(1, '999')")->displayWidth, 16u);
  EXPECT_EQ(Typed("SPACE(7)")->displayWidth, 7u);
}

}  // namespace
