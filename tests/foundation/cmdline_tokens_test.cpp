#include "foundation/cmdline_tokens.h"
#include "platform/win/modules.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::vector<std::string> Args(const CKmAppCommandLine& app) {
  std::vector<std::string> out;
  EXPECT_EQ(app.argv(0), nullptr);
  for (int i = 1; i < app.argc(); ++i) out.emplace_back(app.argv(i));
  EXPECT_EQ(app.argv(app.argc()), nullptr);
  return out;
}
}  // namespace

TEST(CommandLine, QuotesEscapedQuotesAndJoinedSpacing) {
  CKmAppCommandLine app;
  ASSERT_EQ(app.TokenizeCommandLine("  /R \"C:\\My Reports\\sales.rpt\"  "), 1);
  EXPECT_EQ(Args(app), (std::vector<std::string>{"/R", "C:\\My Reports\\sales.rpt"}));
  ASSERT_EQ(app.TokenizeCommandLine("say\\\"hi\\\" a\"b c\"d \"\" \"open end"), 1);
  EXPECT_EQ(Args(app), (std::vector<std::string>{"say\"hi\"", "ab cd", "", "open end"}));
  ASSERT_EQ(app.TokenizeCommandLine("my  sales\t report   1"), 1);
  EXPECT_EQ(app.argc(), 5);
  app.JoinFileArgument();
  EXPECT_EQ(Args(app), (std::vector<std::string>{"my  sales report   1"}));
  ASSERT_EQ(app.TokenizeCommandLine(""), 1);
  EXPECT_EQ(app.argc(), 1);
  app.JoinFileArgument();
  EXPECT_EQ(app.argc(), 1);
  // Switches before the name stay as they are; the name runs to the end.
  ASSERT_EQ(app.TokenizeCommandLine("/G /Nsales  my   sales.kmw"), 1);
  app.JoinFileArgument(3);
  EXPECT_EQ(Args(app), (std::vector<std::string>{"/G", "/Nsales", "my   sales.kmw"}));
  app.JoinFileArgument(3);  // a lone argument stays
  EXPECT_EQ(app.argc(), 4);
}

TEST(CommandLine, TooManyOrTooLongIsError1001AndNeverOverflows) {
  CKmAppCommandLine app;
  std::string line;
  // 51 tokens fill the table (entry 0 and the one after the last stay null).
  for (int i = 0; i < 51; ++i) line += "a ";
  ASSERT_EQ(app.TokenizeCommandLine(line.c_str()), 1);
  EXPECT_EQ(app.argc(), 52);
  EXPECT_EQ(app.argv(0), nullptr);
  EXPECT_EQ(app.argv(52), nullptr);
  line += "b";
  EXPECT_EQ(app.TokenizeCommandLine(line.c_str()), 0);
  EXPECT_EQ(app.lastCommandLineError(), 1001u);
  EXPECT_EQ(app.argc(), 1);
  // 199 characters and a terminator fit exactly; one more does not.
  CKmAppCommandLine fit;
  EXPECT_EQ(fit.TokenizeCommandLine(std::string(199, 'x').c_str()), 1);
  EXPECT_EQ(fit.TokenizeCommandLine(std::string(200, 'x').c_str()), 0);
  // Kept blanks count too: many blanks between two words.
  std::string spaced = "a" + std::string(300, ' ') + "b";
  EXPECT_EQ(fit.TokenizeCommandLine(spaced.c_str()), 0);
  std::string edge = "a" + std::string(196, ' ') + "b";  // a\0 + 195 blanks + b\0 = 199
  EXPECT_EQ(fit.TokenizeCommandLine(edge.c_str()), 1);
  fit.JoinFileArgument();
  EXPECT_EQ(std::string(fit.argv(1)), edge);
}

TEST(CommandLine, OptionalModuleAndConnectText) {
  static const BuiltinExport kNone[] = {{"Nothing", 0, nullptr}};
  RegisterBuiltinModule("extra.dll", kNone, 1);
  CKmAppCommandLine app;
  ASSERT_EQ(app.TokenizeCommandLine("/D extra.dll /D missing.dll"), 1);
  app.optionalDllIndex = 2;
  app.LoadCommandLineDll();
  EXPECT_NE(app.optionalDll(), nullptr);
  EXPECT_EQ(app.optionalDllIndex, 2);
  app.FreeOptionalDll();
  app.optionalDllIndex = 4;
  app.LoadCommandLineDll();
  EXPECT_EQ(app.optionalDllIndex, 0);
  app.optionalDllIndex = 40;  // past the arguments
  app.LoadCommandLineDll();
  EXPECT_EQ(app.optionalDllIndex, 0);
  UnregisterBuiltinModule("extra.dll");
  app.SetConnectText("DSN=Sales;UID=x");
  EXPECT_EQ(app.GetConnectText(), "DSN=Sales;UID=x");
  app.SetConnectText(nullptr);
  EXPECT_EQ(app.GetConnectText(), "");
}

TEST(CommandLine, RebuiltFromArgvTokenizesBackToTheSameArguments) {
  const char* argv[] = {"vortelle", "/R", "/home/me/My Reports/a.rpt", "say \"hi\"", "", "tab\there"};
  std::string line = CommandLineFromArgs(6, argv);
  CKmAppCommandLine app;
  ASSERT_EQ(app.TokenizeCommandLine(line.c_str()), 1);
  EXPECT_EQ(Args(app), (std::vector<std::string>{"/R", "/home/me/My Reports/a.rpt", "say \"hi\"", "", "tab\there"}));
}
