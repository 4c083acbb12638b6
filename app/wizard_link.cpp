#include "app/wizard_link.h"

#include "app/document.h"
#include "core/composite.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "foundation/heap_strings.h"
#include "foundation/library_manager.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "layout/layout_records.h"
#include "model/field_dependencies.h"
#include "model/record_pass.h"
#include "platform/win/fileio.h"
#include "platform/win/profile.h"
#include "platform/win/tempdir.h"
#include "platform/win/window.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kMsgCannotExecute = 6563;
constexpr UINT kMsgWriteFailed = 6564;
constexpr UINT kMsgCannotOpenScript = 1148;
constexpr size_t kSampleChars = 50;
constexpr int32_t kEndOfTable = 3075;

std::string SpecialSetting(const char* key) {
  char value[261] = {};
  GetPrivateProfileStringA("Special", key, "", value, sizeof value, SettingsIniPath().c_str());
  return value;
}

int SpecialInt(const char* key, int defaultValue) {
  return static_cast<int>(GetPrivateProfileIntA("Special", key, defaultValue, SettingsIniPath().c_str()));
}

// The writers of the input script; 0 when the file refuses the bytes.
int WriteWizardLine(int file, const std::string& text) { return WriteFileHandle(file, text.data(), text.size()) ? 1 : 0; }
int WriteWizardLineEnd(int file) { return WriteWizardLine(file, "\r\n"); }
int WriteWizardKey(int file, const std::string& key, const std::string& value) {
  return WriteWizardLine(file, key + "=" + value) && WriteWizardLineEnd(file);
}

HWND FrameWindow(const CKmDoc& doc) {
  return doc.m_pMainFrame != nullptr ? doc.m_pMainFrame->m_hWnd : nullptr;
}

// The paper width less the side margins, in inches with two decimals (the
// last always 0), as the wizard sizes its layout by it.
std::string GetPrintableWidth(const CKmDoc& doc) {
  const PageSetupRec* page = doc.m_pPageSetup;
  if (page == nullptr) return "0.00";
  const int32_t paperTenthsMm = page->Landscape == 1 ? page->PaperLength : page->PaperWidth;
  int32_t paper = 0, margins = 0;
  if (doc.m_measure == 1) {  // margins in hundredths of an inch
    paper = paperTenthsMm * 100 / 254;
    margins = page->LeftMargin + page->RightMargin;
  } else {  // margins in tenths of a millimetre
    paper = paperTenthsMm * 100 / 254;
    margins = (page->LeftMargin + page->RightMargin) * 100 / 254;
  }
  int32_t tenths = (paper - margins) / 10;
  if (tenths < 0) tenths = 0;
  if (tenths > 6553) tenths = 6553;
  char text[32];
  FormatScaledInt(static_cast<WORD>(tenths * 10), text, sizeof text, 2, doc.m_cDecimal ? doc.m_cDecimal : '.');
  return text;
}

// The [TableDef] description of a field.
std::string FieldDescription(CKmComposite* m, const FieldDef* f) {
  char text[32];
  const uint32_t width = f->displayWidth != 0 ? f->displayWidth : f->width != 0 ? f->width : m->GetFieldWidth(f);
  if (f->flags & kFieldNumeric) {
    const uint32_t decimals = f->displayDecimals;
    const uint32_t digits = decimals != 0 && width > decimals ? width - decimals : width;
    std::snprintf(text, sizeof text, "1,%u,%u", digits, decimals);
    return text;
  }
  int code = 0;
  if (f->flags & kFieldDateTime) code = 5;
  else if (f->flags & kFieldTime) code = 6;
  else if (f->flags & kFieldDate) code = 2;
  else if (f->flags & kFieldLogical) code = 3;
  std::snprintf(text, sizeof text, "%d,%u", code, width);
  return text;
}

bool WantsField(const FieldDef* f) { return !IsAlias(f) && f->name[0] != 0; }

}  // namespace

std::string WizardProgramPath() {
  const std::string named = SpecialSetting("WizardEXE");
  if (!named.empty()) return named;
  CExplicitLibraryManager* m = AppLibraryManager();
  return m != nullptr ? m->GetWizardPath() : std::string("kmwiz.exe");
}

bool BuildWizardArgument(const std::string& in, const std::string& out, const std::string& table,
                         std::string* argument) {
  for (const std::string* part : {&in, &out, &table})
    if (part->find(';') != std::string::npos) return false;
  *argument = in + ";" + out + ";" + table + ";";
  return true;
}

std::string WizardSampleValue(const char* text) {
  std::string v = text != nullptr ? text : "";
  for (char& c : v)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  if (v.size() > kSampleChars) v.resize(kSampleChars);
  return v;
}

WizardSlot::~WizardSlot() { Reset(); }

void WizardSlot::Reset(WizardProcess* p) {
  if (p_ != nullptr) {
    CloseProcessHandle(p_->process);
    CloseMessageChannel(p_->channel);
    delete p_;
  }
  p_ = p;
}

BOOL CKmDoc::FindWizardProgram() {
  const std::string path = ResolveExistingPath(WizardProgramPath());
  FileInfo info;
  return !path.empty() && GetFileInfoByPath(path, &info) && info.regular ? TRUE : FALSE;
}

BOOL CKmDoc::StartReportWizard() {
  if (m_bWizardRunning) return FALSE;
  const int saved = m_nStartMode;
  m_nStartMode = 1;
  const BOOL started = DoFileNew(nullptr, 0, FALSE, FALSE);
  m_nStartMode = saved;
  return started;
}

BOOL CKmDoc::RunWizard() {
  if (m_bWizardRunning || m_pModel == nullptr) return FALSE;
  const std::string program = WizardProgramPath();
  char tempDir[261] = {};
  char inPath[261] = {};
  char outPath[261] = {};
  if (GetTempPathA(sizeof tempDir, tempDir) == 0 || GetTempFileNameA(tempDir, "WZI", 0, inPath) == 0) {
    ErrorBox1(GetResString(kMsgCannotOpenScript, 0), "WZI");
    return FALSE;
  }
  if (GetTempFileNameA(tempDir, "WZO", 0, outPath) == 0) {
    ErrorBox1(GetResString(kMsgCannotOpenScript, 0), "WZO");
    return FALSE;
  }
  CopyBounded(m_files.startFile, sizeof m_files.startFile, outPath);
  int limit = SpecialInt("WizardRecordLimit", 20);
  if (limit < 1) limit = 20;

  // The channel the wizard answers on; its name goes to the wizard as the window.
  auto* wizard = new WizardProcess;
  WizardSlot pending;
  pending.Reset(wizard);
  if (HWND frame = FrameWindow(*this)) wizard->channel = OpenMessageChannel(frame, kWizardDoneMessage);

  int fd = OpenExistingFile(inPath, kFileReadWrite | kFileNoLink);
  if (fd < 0 || TryLockFileHandle(fd, true) != 0) {
    if (fd >= 0) CloseFileHandle(fd);
    ErrorBox1(GetResString(kMsgCannotOpenScript, 0), inPath);
    return FALSE;
  }
  auto failWrite = [&] {
    CloseFileHandle(fd);
    ErrorBox(GetResString(kMsgWriteFailed, 0));
    return FALSE;
  };
  CKmComposite* m = m_pModel;
  const int pitch = m_pLayout != nullptr ? GridPitch(m_pLayout->metrics) : 10;
  char number[32];
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(pitch));
  const std::string window = wizard->channel != nullptr ? MessageChannelName(wizard->channel) : "0";
  if (!WriteWizardLine(fd, "[System]") || !WriteWizardLineEnd(fd) || !WriteWizardKey(fd, "Product", "1") ||
      !WriteWizardKey(fd, "Pitch", number) || !WriteWizardKey(fd, "PageWidth", GetPrintableWidth(*this)) ||
      !WriteWizardKey(fd, "Window", window) || !WriteWizardLineEnd(fd) || !WriteWizardLine(fd, "[TableDef]") ||
      !WriteWizardLineEnd(fd))
    return failWrite();
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (WantsField(f) && !WriteWizardKey(fd, f->name, FieldDescription(m, f))) return failWrite();

  // The evaluation lists of the report before may still name its fields.
  PropagateFieldDependencies(m);
  int32_t rc = BeginTmpPass(m);
  if (rc != 0) {
    CloseFileHandle(fd);
    ReportScanError(m, rc);
    return FALSE;
  }
  // The samples are the master table's first rows: the pass reads them from
  // the report's query, opened for every field.
  SqlRowSource rows(m);
  RecordPassState* pass = GetRecordPassState(m);
  RecordRowSource* const runRows = pass->rows;
  const int opened = OpenReportQuery(m);
  if (opened != 0) {
    EndTmpPass(m);
    CloseFileHandle(fd);
    // A refused statement has told its own message.
    if (opened != 1) ReportScanError(m, opened);
    return FALSE;
  }
  pass->rows = &rows;
  auto endPass = [&] {
    pass->rows = runRows;
    CloseReportQuery(m);
    EndTmpPass(m);
  };
  FormatSettings fmt;
  TakeDocumentFormat(fmt, *this);
  for (int n = 1; n <= limit; ++n) {
    rc = NextTmpRecord(m);
    if (rc == kEndOfTable) break;
    if (rc != 0) {
      endPass();
      CloseFileHandle(fd);
      ReportScanError(m, rc);
      return FALSE;
    }
    char head[32];
    std::snprintf(head, sizeof head, "[Row%u]", static_cast<unsigned>(n));
    if (!WriteWizardLineEnd(fd) || !WriteWizardLine(fd, head) || !WriteWizardLineEnd(fd)) {
      endPass();
      return failWrite();
    }
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
      if (!WantsField(f)) continue;
      char text[20 + kMaxFormattedText + 20 + 1] = {};
      // A number of the default width shows whole, not cut to six places; a
      // field not yet placed shows in its column's width.
      const uint32_t width = f->displayWidth;
      if ((f->flags & kFieldNumeric) && width == 6 && f->displayDecimals == 0) f->displayWidth = 20;
      if (width == 0) f->displayWidth = std::min<uint32_t>(f->width != 0 ? f->width : m->GetFieldWidth(f), 254);
      // A column's text is taken as fetched, so that each of its control
      // characters becomes one blank (the value has its line breaks folded).
      std::string raw;
      const bool fetched = FetchedColumnText(m, f, kSampleChars, &raw);
      if (!fetched && f->value != nullptr) FormatFieldValue(fmt, f, text, nullptr, -1, kOutputText, nullptr);
      f->displayWidth = width;
      if (!WriteWizardKey(fd, f->name, WizardSampleValue(fetched ? raw.c_str() : text))) {
        endPass();
        return failWrite();
      }
    }
  }
  endPass();
  if (!CloseFileHandle(fd)) {
    ErrorBox(GetResString(kMsgWriteFailed, 0));
    return FALSE;
  }

  // The wizard is started directly, its one argument whole: no shell splits
  // paths with blanks, and a table name holding ';' is refused.
  std::string table = m_files.masterTable;
  if (table.empty() && m->tableSlots[0] != nullptr) table = m->tableSlots[0]->path;
  table = StripTablePath(m, table.c_str());
  std::string argument;
  DWORD error = EINVAL;
  HPROCESS process = nullptr;
  if (BuildWizardArgument(inPath, outPath, table, &argument))
    process = StartProgram(ResolveExistingPath(program).empty() ? program : ResolveExistingPath(program),
                           {argument}, &error);
  if (process == nullptr) {
    ErrorBox1(GetResString(kMsgCannotExecute, 0), static_cast<unsigned long>(error));
    return FALSE;
  }
  wizard->process = process;

  DestroyInsertFieldPalette(*this);
  DWORD code = 0;
  HWND frame = FrameWindow(*this);
  // A wizard that has already ended may have signalled before it did (its
  // signal comes on the channel, not at once): it is awaited as a running
  // one, and the poll finds it done or given up.
  if (GetExitCodeProcess(process, &code) && frame != nullptr) {
    SetTimer(frame, kWizardTimer, kWizardPollMs, nullptr);
    m_bWizardRunning = TRUE;
    EnableWindow(frame, FALSE);
    m_wizard.Reset(pending.Release());
  }
  return TRUE;
}

void CKmDoc::OnWizardDone(WPARAM wParam) {
  // Only the wizard that runs may finish: a late or stray signal would run
  // a script that is gone and empty the report.
  if (!m_bWizardRunning || m_wizard.get() == nullptr) return;
  m_wizard.Reset();
  if (HWND frame = FrameWindow(*this)) KillTimer(frame, kWizardTimer);
  LoadWizardResult(wParam);
}

void CKmDoc::OnWizardTimer() {
  HWND frame = FrameWindow(*this);
  if (!m_bWizardRunning || m_wizard.get() == nullptr) {
    if (frame != nullptr) KillTimer(frame, kWizardTimer);
    return;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(m_wizard.get()->process, &code) || code == STILL_ACTIVE) return;
  // A wizard that signalled just before it ended is done, not cancelled:
  // its message is on its way.
  MSG pendingMsg;
  if (frame != nullptr && PeekMessageA(&pendingMsg, frame, kWizardDoneMessage, kWizardDoneMessage, PM_NOREMOVE))
    return;
  if (m_wizard.get()->channel != nullptr && PollMessageChannel(m_wizard.get()->channel)) return;
  m_wizard.Reset();
  if (frame != nullptr) {
    KillTimer(frame, kWizardTimer);
    EnableWindow(frame, TRUE);
  }
  m_bWizardRunning = FALSE;
  // Given up: no report was made, so none shows, nor its data source in the
  // title. The new report's fields and fonts go too (as a failed start of
  // the wizard leaves them).
  m_bReportOpen = TRUE;
  ClearReport(TRUE);
}

void CKmDoc::LoadWizardResult(WPARAM /*wParam*/) {
  m_bWizardRunning = FALSE;
  HWND frame = FrameWindow(*this);
  if (frame != nullptr) EnableWindow(frame, TRUE);
  const BOOL built = RunReportScript();
  if (SpecialInt("SaveWizScript", 0) == 0 && m_files.startFile[0] != 0) DeleteFileA(m_files.startFile);
  if (!built) {
    m_bReportOpen = TRUE;  // the fields and fonts the script made go with it
    ClearReport(TRUE);
    m_nBandPaneWidth = 0;
  } else {
    m_bReportOpen = TRUE;
    if (m_szReportName[0] != 0) UpdateTitle(TRUE);
  }
  if (frame != nullptr) SetFocus(frame);
}
