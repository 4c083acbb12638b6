// Every link a lower layer has up to the program is the program's own once
// it has started, and again once a report is open: a slot left at its
// do-nothing default would be a step the user never gets. The failure names
// the slot. Slots whose base already does the work (StartupHooks'
// ProgramDirectory, SetHandleCount, MeasureScreen and GetDefaultPrinter's
// base; StreamHooks' AskConvertDateTime and DateTimeCompatibility) are not
// listed; the dialogs' parameter blocks (totals, purge, calculations,
// re-selection) are filled by the program at each call, not hung up once.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/field_commands.h"
#include "core/composite.h"
#include "dialogs/field_dialog.h"
#include "dialogs/insert_field_dialog.h"
#include "engine/run_output.h"
#include "expr/compiler_state.h"
#include "files/report_io.h"
#include "files/report_stream.h"
#include "foundation/startup_hooks.h"
#include "layout/layout_records.h"
#include "model/field_dependencies.h"
#include "model/record_pass.h"
#include "core/engine_errors.h"
#include "data/db_errors.h"
#include "engine/output_messages.h"
#include "foundation/band_lines.h"
#include "layout/band_line_layout.h"

// The address a virtual slot resolves to for an object (a GCC extension):
// compared with the base class's own, it tells whether the slot is overridden.
#pragma GCC diagnostic ignored "-Wpmf-conversions"

namespace newuser_test {
namespace {

constexpr UINT kCmdInsertField = 30400;

template <class Base, class Pmf>
bool Overrides(Base& object, Pmf slot) {
  Base plain;
  return reinterpret_cast<void*>(object.*slot) != reinterpret_cast<void*>(plain.*slot);
}

// Collects the names of the slots still at their defaults.
struct Defaults {
  std::vector<std::string> left;
  template <class Base, class Pmf>
  void Virtual(const char* table, const char* name, Base& object, Pmf slot) {
    if (!Overrides(object, slot)) left.push_back(std::string(table) + "::" + name);
  }
  void Set(const char* table, const char* name, bool set) {
    if (!set) left.push_back(std::string(table) + "::" + name);
  }
};
#define VSLOT(d, Table, object, Name) (d).Virtual(#Table, #Name, object, &Table::Name)
#define PSLOT(d, Table, object, Name) (d).Set(#Table, #Name, static_cast<bool>((object).Name))

// The tables the program holds from start-up on.
void CheckProgramTables(Defaults& d, CMainFrame& frame) {
  StartupHooks& startup = GetStartupHooks();
  for (auto [name, slot] : std::initializer_list<std::pair<const char*, void (StartupHooks::*)(KmDocBase&)>>{
           {"FreeCompiler", &StartupHooks::FreeCompiler},
           {"AttachStatusBuffer", &StartupHooks::AttachStatusBuffer},
           {"ResetPageOrigin", &StartupHooks::ResetPageOrigin},
           {"GetDefaultPrinter", &StartupHooks::GetDefaultPrinter},
           {"EnumPrinterFonts", &StartupHooks::EnumPrinterFonts},
           {"LoadSortOrderFile", &StartupHooks::LoadSortOrderFile},
           {"QuitHelp", &StartupHooks::QuitHelp},
           {"ReleaseObjectFonts", &StartupHooks::ReleaseObjectFonts},
           {"ClearModel", &StartupHooks::ClearModel},
           {"DeleteAllUdfs", &StartupHooks::DeleteAllUdfs},
           {"FreeTextItems", &StartupHooks::FreeTextItems},
           {"FreePrinterFonts", &StartupHooks::FreePrinterFonts},
           {"FreePicturesAndItems", &StartupHooks::FreePicturesAndItems},
           {"FreeLinesAndBoxes", &StartupHooks::FreeLinesAndBoxes},
           {"ReleaseCharts", &StartupHooks::ReleaseCharts},
           {"ClearExportFormats", &StartupHooks::ClearExportFormats},
           {"FreeStatusBuffer", &StartupHooks::FreeStatusBuffer},
           {"RemoveWorkFiles", &StartupHooks::RemoveWorkFiles},
           {"FreeConnectOverrides", &StartupHooks::FreeConnectOverrides}})
    d.Virtual("StartupHooks", name, startup, slot);
  VSLOT(d, StartupHooks, startup, InitCompiler);
  VSLOT(d, StartupHooks, startup, ConvertOpenReport);
  VSLOT(d, StartupHooks, startup, Warning);
  VSLOT(d, StartupHooks, startup, Error);

  RecordPassHooks& pass = GetRecordPassHooks();
  PSLOT(d, RecordPassHooks, pass, updateSummaries);
  PSLOT(d, RecordPassHooks, pass, totalsPrepass);
  PSLOT(d, RecordPassHooks, pass, memoReader);
  PSLOT(d, RecordPassHooks, pass, cancelled);
  PSLOT(d, RecordPassHooks, pass, showPhase);
  PSLOT(d, RecordPassHooks, pass, showStatus);
  PSLOT(d, RecordPassHooks, pass, message);
  d.Set("RunShell", "installed", InstalledRunShell() != nullptr);

  const FieldDialogHooks& lists = ProgramFieldDialogHooks();
  PSLOT(d, FieldDialogHooks, lists, editTotal);
  PSLOT(d, FieldDialogHooks, lists, changed);

  d.Set("DependencyWarningHook", "installed", GetDependencyWarningHook() != nullptr);
  BandLineDialogs& bandLines = GetBandLineDialogs();
  VSLOT(d, BandLineDialogs, bandLines, RunCreateLines);
  VSLOT(d, BandLineDialogs, bandLines, RunLineProperties);
  VSLOT(d, BandLineDialogs, bandLines, RunPasteLines);
  VSLOT(d, BandLineDialogs, bandLines, IsPageOrGroupBand);
  VSLOT(d, BandLineDialogs, bandLines, ErrorBeep);
}

// The tables of the document's report.
void CheckReportTables(Defaults& d, CKmDoc& doc) {
  ASSERT_NE(doc.m_pRepIO, nullptr);
  StreamHooks& stream = HooksOf(doc.m_pRepIO->m_stream);
  VSLOT(d, StreamHooks, stream, OpenTable);
  VSLOT(d, StreamHooks, stream, ReselectTable);
  VSLOT(d, StreamHooks, stream, ConnectSource);
  VSLOT(d, StreamHooks, stream, AskForPictureFile);
  VSLOT(d, StreamHooks, stream, LoadPicture);
  VSLOT(d, StreamHooks, stream, ShowError);
  VSLOT(d, StreamHooks, stream, ShowWarning);

  ASSERT_NE(doc.m_pModel, nullptr);
  ExpressionHooks& expr = GetCompilerState(doc.m_pModel)->hooks;
  PSLOT(d, ExpressionHooks, expr, checkFieldForExpression);
  PSLOT(d, ExpressionHooks, expr, checkDerivedColumn);
  PSLOT(d, ExpressionHooks, expr, isSqlReport);

  ASSERT_NE(doc.m_pLayout, nullptr);
  LayoutHooks& layout = doc.m_pLayout->Hooks();
  VSLOT(d, LayoutHooks, layout, BuildPictureBitmap);
  VSLOT(d, LayoutHooks, layout, RedrawAllPanes);
  VSLOT(d, LayoutHooks, layout, InvalidateViewRect);
  VSLOT(d, LayoutHooks, layout, ClearStatusText);
  VSLOT(d, LayoutHooks, layout, UpdateScrollBars);
  VSLOT(d, LayoutHooks, layout, SetModified);
  VSLOT(d, LayoutHooks, layout, ForgetUndoDelete);
  VSLOT(d, LayoutHooks, layout, ResetCaretX);

  BandLineHost* host = doc.m_bandLines.host;
  ASSERT_NE(host, nullptr);
  VSLOT(d, BandLineHost, *host, UpdateScrollBars);
  VSLOT(d, BandLineHost, *host, MoveItemsDown);
  VSLOT(d, BandLineHost, *host, BuildItemOrder);
  VSLOT(d, BandLineHost, *host, ObjectExists);
  VSLOT(d, BandLineHost, *host, IsBandFieldValid);
  VSLOT(d, BandLineHost, *host, ReferredFieldOf);

  // The model's links to the subsystems above it (collation, user
  // functions, the data layer, the run lists).
  CKmComposite& m = *doc.m_pModel;
  PSLOT(d, CKmComposite, m, compareText);
  PSLOT(d, CKmComposite, m, findUdf);
  PSLOT(d, CKmComposite, m, describeFilter);
  PSLOT(d, CKmComposite, m, matchLongText);
  PSLOT(d, CKmComposite, m, releaseFieldData);
  PSLOT(d, CKmComposite, m, releaseTableData);
  PSLOT(d, CKmComposite, m, translateToSql);
  PSLOT(d, CKmComposite, m, nullsCompareAsValues);
  PSLOT(d, CKmComposite, m, rebuildRunLists);
  PSLOT(d, CKmComposite, m, swapFieldHook);

  ASSERT_NE(doc.m_pInsertField, nullptr);
  const InsertFieldHooks& palette = doc.m_pInsertField->Hooks();
  PSLOT(d, InsertFieldHooks, palette, placeAtCaret);
  PSLOT(d, InsertFieldHooks, palette, placeAtPoint);
}

TEST_F(NewUserTest, NoLinkUpToTheProgramIsLeftAtItsDefaultAfterStartUpOrOpen) {
  ASSERT_TRUE(Start({}));
  Defaults atStart;
  CheckProgramTables(atStart, *frame);
  EXPECT_TRUE(atStart.left.empty()) << "after start-up: " << testing::PrintToString(atStart.left);

  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  Command(kCmdInsertField);
  Defaults opened;
  CheckProgramTables(opened, *frame);
  CheckReportTables(opened, *doc);
  EXPECT_TRUE(opened.left.empty()) << "with a report open: " << testing::PrintToString(opened.left);
}

// The message sinks of the data layer, the output and the engine show their
// texts in the program's own message dialog.
TEST_F(NewUserTest, MessagesOfTheLowerLayersReachTheProgramsMessageDialog) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  messages.clear();
  DbErrorBox("A data-layer message");
  EXPECT_TRUE(DbAskOkCancel("A data-layer question"));
  ShowOutputError("An output message");
  doc->m_pModel->ShowEngineError(kEngineDeleteJoinField);
  ASSERT_EQ(messages.size(), 4u) << testing::PrintToString(messages);
  EXPECT_EQ(messages[0], "A data-layer message");
  EXPECT_EQ(messages[1], "A data-layer question");
  EXPECT_EQ(messages[2], "An output message");
  EXPECT_FALSE(messages[3].empty());
}

}  // namespace
}  // namespace newuser_test
