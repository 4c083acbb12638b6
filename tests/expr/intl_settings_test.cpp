#include "foundation/intl_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// Points the Windows directory at a fresh folder holding the given win.ini.
class IntlSettingsTest : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    dir = ::testing::TempDir() + "intl_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string cmd = "mkdir -p '" + dir + "' && rm -f '" + dir + "/win.ini'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  }
  void TearDown() override { unsetenv("VORTELLE_WINDIR"); }
  void UseFile(const std::string& source) {
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(dir + "/win.ini", std::ios::binary);
    out << in.rdbuf();
  }
  void Write(const std::string& text) { std::ofstream(dir + "/win.ini", std::ios::binary) << text; }
};

TEST_F(IntlSettingsTest, MissingFileGivesTheDefaults) {
  IntlSettings s;
  std::memset(static_cast<void*>(&s), 0x55, sizeof s);
  EXPECT_EQ(ReadIntlSettings(s), 1);
  EXPECT_EQ(s.sDecimal, '.');
  EXPECT_EQ(s.sThousand, ',');
  EXPECT_STREQ(s.sCurrency, "$");
  EXPECT_EQ(s.currencyLength, 1);
  EXPECT_EQ(s.currencyBefore, 1);
  EXPECT_EQ(s.iNegCurr, 0);
  EXPECT_STREQ(s.sShortDate, "M/D/Y");
  EXPECT_STREQ(s.sLongDate, "MMMM d, yyyy");
  EXPECT_STREQ(s.s1159, "am");
  EXPECT_STREQ(s.s2359, "pm");
  EXPECT_EQ(s.sTime, ':');
  EXPECT_EQ(s.timeFlags, kTimeFlagSeconds | kTimeFlagLeadingZero);
}

TEST_F(IntlSettingsTest, EuropeanFile) {
  UseFile(std::string(VT_TEST_DATA_DIR) + "/functions/win_european.ini");
  IntlSettings s;
  EXPECT_EQ(ReadIntlSettings(s), 0);
  EXPECT_EQ(s.sDecimal, ',');
  EXPECT_EQ(s.sThousand, '.');
  EXPECT_STREQ(s.sCurrency, " \x80");  // iCurrency 3: a blank before the symbol
  EXPECT_EQ(s.currencyLength, 2);
  EXPECT_EQ(s.currencyBefore, 0);
  EXPECT_EQ(s.iNegCurr, 8);
  EXPECT_STREQ(s.sShortDate, "dd.MM.yyyy");
  EXPECT_STREQ(s.sLongDate, "dddd, d. MMMM yyyy");  // the quoted blank is dropped
  EXPECT_STREQ(s.s1159, "");
  EXPECT_EQ(s.sTime, ' ');  // an empty separator becomes a blank
  EXPECT_EQ(s.timeFlags, kTimeFlagSeconds | kTimeFlag24Hour);
}

TEST_F(IntlSettingsTest, MarkersLowerCasedAndLongValuesCut) {
  Write("[intl]\nsCurrency=ABCDEFGHIJKLMNOPQRSTUVWXYZ\niCurrency=2\ns1159=AM\ns2359=P.M.\nsLongDate=d MMMM\n");
  IntlSettings s;
  ReadIntlSettings(s);
  EXPECT_EQ(std::strlen(s.sCurrency), 15u);  // symbol and its blank fit the field
  EXPECT_EQ(s.sCurrency[14], ' ');
  EXPECT_EQ(s.currencyBefore, 1);
  EXPECT_STREQ(s.s1159, "am");
  EXPECT_STREQ(s.s2359, "p.m.");
  EXPECT_STREQ(s.sLongDate, "d MMMM");
}

}  // namespace
