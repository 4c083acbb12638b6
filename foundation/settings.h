// The program's settings: kmw.ini ([Defaults], [Data Dictionary], [Database],
// [Special], [Save List], [Preferences], [Export]) read once at start-up into
// the document, and the [Save List] switches written back at exit. Integers
// keep the widths the rest of the program uses.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>
#include <string>

class KmDocBase;

constexpr int kDirSettingMax = 114;  // longest directory setting kept
constexpr int kChartFontCount = 5;
constexpr int kDictColumnCount = 9;
constexpr int kExportGrayCount = 8;

struct DocSettings {
  // [Defaults]
  BYTE snapTo = 1;
  signed char defMeas = -1;  // as read; negative: take the Windows system
  WORD pgLM = 1;
  WORD botM = 50, leftM = 50, rightM = 50, topM = 50;
  BYTE rulPit = 10;
  BYTE vRulPit = 10;
  WORD pts = 120;
  BYTE color = 0;
  char faceName[33] = "Arial";
  char logF[16] = "F";
  char logT[16] = "T";
  char templateDir[261] = {};
  char chartFont[kChartFontCount][32] = {};  // base, title, axis, label, legend
  int32_t chartPalette = 0;
  int32_t chartFontSize[kChartFontCount - 1] = {};  // title, axis, label, legend
  char dataDir[261] = {};
  char imgDir[261] = {};
  char imgExt[6] = {};
  char libDir[261] = {};
  char memExt[6] = {};
  int32_t floatCompTolerance = 3;
  double floatTolerance = 0.0;  // 10 to the stored power when it is -30 to -10
  char defaultDataSource[32] = "Default";
  int32_t newReportAlwaysUseSameDS = 0;
  int32_t readReportAlwaysUseSameDS = 0;
  // [Data Dictionary]: the table and index go to the directory block.
  char dictColumn[kDictColumnCount][130] = {};
  // [Database]
  int32_t longCharLimit = 80, longCharWrap = 0, memoLimit = 30, memoWrap = 1;
  int32_t useQeConnect = 0;
  char qeTraceFile[80] = {};
  int16_t qeTraceOptions = 3;
  int32_t alwaysSelect = 0, alwaysLocalLog = 0, testJoin = 0, useDefaultDatabase = 0;
  long queryTimeout = 0;
  int32_t qeRevision = 2;  // the database library's settings revision
  // [Special]
  int32_t charRaw = 0, asciiEditor = 1;
  uint32_t sortPoolSize = 524288;
  UINT kmwHandles = 55;
  BYTE exportGray[kExportGrayCount] = {};  // Txt, Dbf, Wks, Rtf, Word, Csv, Html, View
  // [Save List]
  BYTE actionBar = 1, formatBar = 1, fieldNames = 0, pasteArgs = 1, shHzRul = 1, shVtRul = 1,
       shGrd = 1, closeInsDlg = 0, showCalcComment = 1;
  char report32[261] = {};
  // [Preferences]
  int32_t fileNew = 0, fieldLists = 0, scrBarHz = 1, scrBarVt = 1, toolHelp = 1, useCommonDlg = 0,
          prevWinClr = 0;
  // [Export]
  int32_t csvKeepNumFormats = 0, csvKeepDateFormats = 2;
  // Derived
  int32_t logicalWidth = 1;  // the longer of LogT and LogF
};

// Program-wide switches of data access.
extern int32_t g_datetimeCompatibility;
extern int32_t g_doubleConnect;

// The settings file (from the application's library manager, else kmw.ini).
std::string SettingsIniPath();

void ReadIniSettings(KmDocBase& doc);
void ReadDataSourceDefaults(KmDocBase& doc);
// [intl] into the document; converts the page defaults (and, with a report
// open, the layout) when the measurement system changes.
void ReadIntlSettings(KmDocBase& doc);
// [Save List], [Preferences], the export switches and [Export].
void ReadSaveListSettings(KmDocBase& doc);
void WriteSaveListSettings(KmDocBase& doc);
BOOL WriteIniInt(const char* section, const char* key, int value);
void ComputeLogicalTextWidth(KmDocBase& doc);
