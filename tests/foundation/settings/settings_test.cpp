#include "foundation/settings.h"

#include "foundation/startup.h"
#include "platform/win/registry.h"
#include "settings_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace settings_test {
namespace {

using Settings = SettingsFolder;

const char* Library(const CKmDoc& doc) { return reinterpret_cast<const char*>(doc.m_pDocPaths + kDocPathsLibrary); }

TEST_F(Settings, StartUpAndShutDownOverAnEditedIniMatchTheGolden) {
  UseWinIni("win_us.ini");
  UseKmwIni("kmw_in.ini");
  CKmDoc doc;
  ASSERT_EQ(InitSettings(doc), 1);
  const DocSettings& s = doc.m_settings;
  // Values that would divide by zero or overflow fall back or are clamped.
  EXPECT_EQ(s.rulPit, 10);
  EXPECT_EQ(s.vRulPit, 12);
  EXPECT_EQ(s.color, 15);
  EXPECT_EQ(doc.m_layoutWidth, 2540);
  EXPECT_EQ(hooks.handlesAsked, 255u);
  EXPECT_EQ(s.kmwHandles, 255u);
  EXPECT_EQ(s.sortPoolSize, 524288u);
  // Texts, cut to their fields.
  EXPECT_STREQ(s.faceName, "Times New Roman");
  EXPECT_EQ(s.logicalWidth, 3);
  EXPECT_STREQ(s.imgExt, "JPE");
  EXPECT_EQ(std::strlen(s.dataDir), 114u);
  EXPECT_STREQ(s.imgDir, s.dataDir) << "the picture folder defaults to the data folder as kept";
  EXPECT_STREQ(s.libDir, "/libs");
  ASSERT_EQ(hooks.warnings.size(), 1u);
  EXPECT_EQ(hooks.warnings[0], "Invalid Default Data Directory");
  EXPECT_EQ(s.floatCompTolerance, -12);
  EXPECT_DOUBLE_EQ(s.floatTolerance, 1e-12);
  EXPECT_EQ(s.chartPalette, 4);
  EXPECT_EQ(s.chartFontSize[1], 9);
  EXPECT_STREQ(s.chartFont[4], "Arial");
  EXPECT_STREQ(s.dictColumn[3], "REMARK");
  EXPECT_STREQ(s.dictColumn[8], "INST_HIDE");
  EXPECT_STREQ(DirBlockEntryText(kDirDictTable), "dict.dbf");
  EXPECT_EQ(s.qeTraceOptions, 16);
  EXPECT_EQ(s.queryTimeout, 45);
  EXPECT_EQ(s.memoLimit, 64);
  EXPECT_EQ(s.exportGray[5], 1);
  EXPECT_EQ(s.formatBar, 0);
  EXPECT_EQ(s.shGrd, 0);
  EXPECT_STREQ(Library(doc), "") << "a missing library without STANDARD.QB6 is cleared";
  EXPECT_EQ(s.toolHelp, 0);
  EXPECT_EQ(s.csvKeepDateFormats, 1);
  EXPECT_EQ(s.botM, 50);
  EXPECT_EQ(doc.m_cWildAny, '%');
  EXPECT_EQ(doc.m_cWildOne, '_');
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"printer", "sort order"}));

  doc.m_settings.fieldNames = 1;
  std::snprintf(doc.m_settings.report32, sizeof doc.m_settings.report32, "%s", "/reports/sales.qrp");
  SaveSettingsOnExit(doc);
  EXPECT_EQ(ReadFile(win + "/kmw.ini"), Fixture("kmw_golden.ini"));
  EXPECT_EQ(doc.m_pDocPaths, nullptr);
  EXPECT_EQ(DirBlockEntryText(kDirWork), nullptr);
  EXPECT_EQ(::access((prog + "KmwWrite.$$$").c_str(), 0), -1);
}

TEST_F(Settings, NoIniGivesEveryDefaultInTheWindowsSystem) {
  struct Case {
    const char* winIni;
    int measure;
    WORD margin;
    char decimal;
    const char* currency;
    int before;
    uint16_t timeFlags;
    const char* longDate;
  };
  const Case cases[] = {
      {"win_us.ini", 1, 50, '.', "$", 1, 5, "MMMM d, yyyy"},
      {"win_metric.ini", 0, 127, ',', " kr", 0, 3, "dddd, d. MMMM yyyy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.winIni);
    UseWinIni(c.winIni);
    CKmDoc doc;
    ASSERT_EQ(InitSettings(doc), 1);
    const DocSettings& s = doc.m_settings;
    EXPECT_EQ(doc.m_measure, c.measure);
    EXPECT_EQ(doc.m_measure2, c.measure);
    EXPECT_EQ(s.topM, c.margin);
    EXPECT_EQ(s.rightM, c.margin);
    EXPECT_EQ(doc.m_cDecimal, c.decimal);
    EXPECT_STREQ(doc.m_intl.sCurrency, c.currency);
    EXPECT_EQ(doc.m_intl.currencyBefore, c.before);
    EXPECT_EQ(doc.m_intl.timeFlags, c.timeFlags);
    EXPECT_STREQ(doc.m_intl.sLongDate, c.longDate);
    EXPECT_EQ(s.snapTo, 1);
    EXPECT_EQ(s.pts, 120);
    EXPECT_STREQ(s.logT, "T");
    EXPECT_STREQ(s.logF, "F");
    EXPECT_EQ(s.logicalWidth, 1);
    EXPECT_STREQ(s.defaultDataSource, "Default");
    EXPECT_STREQ(s.chartFont[0], "Arial");
    EXPECT_STREQ(s.dictColumn[0], "TABLE_NAME");
    EXPECT_EQ(s.floatCompTolerance, 3);
    EXPECT_EQ(s.qeTraceOptions, 3);
    EXPECT_EQ(s.qeRevision, 2);
    EXPECT_EQ(s.kmwHandles, 55u);
    EXPECT_EQ(hooks.handlesAsked, 55u);
    EXPECT_EQ(s.actionBar + s.shHzRul + s.showCalcComment + s.toolHelp, 4);
    EXPECT_EQ(s.closeInsDlg + s.fieldNames + s.useCommonDlg, 0);
    EXPECT_TRUE(hooks.warnings.empty());
    SaveSettingsOnExit(doc);
  }
  EXPECT_EQ(ReadFile(win + "/kmw.ini"),
            "[Save List]\r\nActionBar=1\r\nFormatBar=1\r\nFieldNames=0\r\nPasteArgs=1\r\nShHzRul=1\r\n"
            "ShVtRul=1\r\nShGrd=1\r\nShowCalcComment=1\r\nIVer=2\r\nCloseInsDlg=0\r\n");
}

TEST_F(Settings, PageDefaultsConvertOnceFromDefMeasThenFollowWindows) {
  UseWinIni("win_metric.ini");
  WriteFile(win + "/kmw.ini", "[Defaults]\nDefMeas=1\nTopM=100\n");
  CKmDoc doc;
  ASSERT_EQ(InitSettings(doc), 1);
  EXPECT_EQ(doc.m_settings.topM, 254);
  EXPECT_EQ(doc.m_settings.botM, 127);
  // A settings change announced by Windows with the same system converts nothing again.
  ReadIntlSettings(doc);
  EXPECT_EQ(doc.m_settings.topM, 254);
  UseWinIni("win_us.ini");
  ReadIntlSettings(doc);
  EXPECT_EQ(doc.m_measure, 1);
  EXPECT_EQ(doc.m_settings.topM, 100);
  EXPECT_EQ(doc.m_settings.rightM, 50);
  SaveSettingsOnExit(doc);
}

TEST_F(Settings, AnOpenReportFollowsAChangeOfTheWindowsSystem) {
  struct Hooks : RecordingHooks {
    void ConvertOpenReport(KmDocBase&, int from, int to) override {
      calls.push_back("convert " + std::to_string(from) + " to " + std::to_string(to));
    }
  } convert;
  convert.programDir = prog;
  SetStartupHooks(&convert);
  UseWinIni("win_us.ini");
  CKmDoc doc;
  ASSERT_EQ(InitSettings(doc), 1);
  doc.m_pPageSetup->TopMargin = 100;
  doc.m_bandLines.lines[0].kind = kBandRecord;
  doc.m_bandLines.lines[0].heightMode = 2;
  doc.m_bandLines.lines[0].height = 50;
  doc.m_bReportOpen = TRUE;
  ReadIntlSettings(doc);
  EXPECT_EQ(doc.m_pPageSetup->TopMargin, 100) << "no change, no conversion";
  UseWinIni("win_metric.ini");
  ReadIntlSettings(doc);
  EXPECT_EQ(doc.m_pPageSetup->TopMargin, 254);
  EXPECT_EQ(doc.m_bandLines.lines[0].height, 127u);
  EXPECT_EQ(convert.calls, (std::vector<std::string>{"printer", "sort order", "convert 1 to 0"}));
  SaveSettingsOnExit(doc);
}

TEST_F(Settings, HostileValuesAreCutClampedOrReplaced) {
  UseWinIni("win_us.ini");
  const std::string longText(300, 'x');
  WriteFile(win + "/kmw.ini", "\x01\xff junk line\n[Defaults]\nRulPit=-5\nVRulPit=300\nColor=-1\nFaceName=" + longText +
                                  "\nLogT=" + longText + "\nLogF=\nDefaultDataSource=" + longText +
                                  "\nMemExt=\xe9\xe9\xe9\xe9\xe9\n[Special]\nKMWHANDLES=-3\nSortPoolSize=-1\n"
                                  "[Database]\nQueryTimeout=abc\nqeTraceOptions=zz\nLongCharLimit=99999999999999\n");
  CKmDoc doc;
  ASSERT_EQ(InitSettings(doc), 1);
  const DocSettings& s = doc.m_settings;
  EXPECT_EQ(s.rulPit, 10);
  EXPECT_EQ(s.vRulPit, 10);
  EXPECT_EQ(s.color, 15);
  EXPECT_EQ(std::strlen(s.faceName), 32u);
  EXPECT_EQ(std::strlen(s.logT), 15u);
  EXPECT_EQ(s.logicalWidth, 15);
  EXPECT_EQ(std::strlen(s.defaultDataSource), 31u);
  EXPECT_STREQ(s.memExt, "\xe9\xe9\xe9");
  EXPECT_EQ(s.kmwHandles, 55u);
  EXPECT_EQ(hooks.handlesAsked, 55u);
  EXPECT_EQ(s.sortPoolSize, 524288u);
  EXPECT_EQ(s.queryTimeout, 0);
  EXPECT_EQ(s.qeTraceOptions, 0);
  EXPECT_GT(s.longCharLimit, 0);
  SaveSettingsOnExit(doc);
}

TEST_F(Settings, FloatToleranceAndRegistryRevision) {
  struct Case {
    int value, stored;
    double tolerance;
  };
  const Case cases[] = {{-12, -12, 1e-12}, {0, 1, 0.0}, {5, 5, 0.0}, {-30, -30, 1e-30}, {-31, -31, 0.0}};
  for (const Case& c : cases) {
    WriteFile(win + "/kmw.ini", "[Defaults]\nFloatCompTolerance=" + std::to_string(c.value) + "\n");
    CKmDoc doc;
    ReadIniSettings(doc);
    EXPECT_EQ(doc.m_settings.floatCompTolerance, c.stored) << c.value;
    EXPECT_DOUBLE_EQ(doc.m_settings.floatTolerance, c.tolerance) << c.value;
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\INTERSOLV\\QELIB.INI\\QELIB", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Revision", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  RegCloseKey(key);
  CKmDoc doc;
  ReadIniSettings(doc);
  EXPECT_EQ(doc.m_settings.qeRevision, 1);
}

TEST_F(Settings, LastLibraryFallsBackToTheStandardLibrary) {
  ::mkdir((root + "/libs").c_str(), 0700);
  WriteFile(root + "/libs/STANDARD.QB6", "x");
  WriteFile(root + "/libs/mine.qb6", "x");
  for (const char* last : {"mine.qb6", "gone.qb6"}) {
    WriteFile(win + "/kmw.ini", "[Defaults]\nLibDir=" + root + "/libs\n[Save List]\nLibrary32=" + root + "/libs/" +
                                    last + "\n");
    CKmDoc doc;
    ASSERT_EQ(InitSettings(doc), 1);
    const std::string expected = root + "/libs/" + (std::strcmp(last, "gone.qb6") == 0 ? "STANDARD.QB6" : last);
    EXPECT_EQ(Library(doc), expected);
    SaveSettingsOnExit(doc);
    EXPECT_NE(ReadFile(win + "/kmw.ini").find("Library32=" + expected + "\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace settings_test
