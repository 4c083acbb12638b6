#include "app/command_line.h"
#include "platform/win/fileio.h"

#include "app/app.h"
#include "platform/win/unattended.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr unsigned kBadArgument = 1001;
constexpr unsigned kNoMasterTable = 677;
constexpr unsigned kReadingReport = 1024;

// The command line's names are program text; the system is asked under its own spelling.
bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(OsFileName(path), ec);
}

// Why a name given as a report file cannot be one.
unsigned BadReportFileReason(const std::string& name) {
  const std::string path = OsFileName(name);
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) return 62301;
  if (std::filesystem::is_directory(status)) return 62302;
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, ec) == 0 && !ec) return 62303;
  return 62304;
}

}  // namespace

bool HasExtension(const char* name, const char* ext3) {
  if (name == nullptr) return false;
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || std::strlen(dot + 1) != 3) return false;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(dot[1 + i])) != std::toupper(static_cast<unsigned char>(ext3[i])))
      return false;
  return true;
}

bool IsCompoundFileName(const char* path) {
  static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (path == nullptr || !FileExists(path)) return false;
  std::ifstream in(OsFileName(path), std::ios::binary);
  unsigned char head[8] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  return std::memcmp(head, kSignature, sizeof head) == 0;
}

bool NamesExistingFile(const char* token) {
  if (token == nullptr || token[0] == '\0') return false;
  if (FileExists(token)) return true;
  const char* next = std::strchr(token + 1, '/');
  if (token[0] != '/' || next == nullptr) return false;
  std::error_code ec;
  return std::filesystem::is_directory(OsFileName(std::string(token, next)), ec);
}

const char* CKmApp::SwitchValue(int position) const {
  if (position <= 0) return "";
  if (position == m_nFileArgument) return argv(position);
  const char* entry = argv(position);
  if (entry == nullptr || std::strlen(entry) < 2) return "";
  return entry + 2;
}

void CKmApp::SetCommandLineActions(CommandLineActions* actions) {
  m_pActions = actions != nullptr ? actions : &m_defaultActions;
}

BOOL CKmApp::ParseCommandLine(const char* text, BOOL* fileGiven) {
  BOOL given = FALSE;
  m_switches = CommandLineSwitches{};
  optionalDllIndex = 0;
  g_nGoSwitch = 0;
  m_nFileArgument = 0;
  m_strCommandLineDsn.clear();
  m_bLibraryMode = FALSE;
  if (fileGiven != nullptr) *fileGiven = FALSE;
  if (!TokenizeCommandLine(text)) return FALSE;

  BOOL ok = TRUE;
  for (int i = 1; i < argc() && ok; ++i) {
    const char* token = argv(i);
    if (token[0] == '/' && !NamesExistingFile(token)) {
      ok = RecordSwitch(i, &given);
      // A start file ends the parse: what follows belongs to it.
      if (ok && m_switches.startFile == i) break;
    } else {
      ok = TakeFileArgument(i, &given);
      break;
    }
  }
  if (fileGiven != nullptr) *fileGiven = given;
  return ok;
}

BOOL CKmApp::RecordSwitch(int index, BOOL* fileGiven) {
  const char* token = argv(index);
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(token[1])));
  CommandLineSwitches& s = m_switches;
  auto take = [&](int* slot, bool refused, bool setsFile) -> BOOL {
    if (refused) return ReportCommandLineError(kBadArgument);
    *slot = index;
    if (setsFile) *fileGiven = TRUE;
    return TRUE;
  };
  switch (letter) {
    case 'D': {
      BOOL ok = take(&s.dll, s.dll != 0, false);
      if (ok) optionalDllIndex = index;
      return ok;
    }
    case 'E':
      if (!GetConnectText().empty()) return ReportCommandLineError(kBadArgument);
      SetConnectText(token + 2);
      return TRUE;
    case 'T':
    case 'I':
      return take(letter == 'T' ? &s.blank : &s.instant, s.blank != 0 || s.instant != 0, true);
    case 'R':
      return take(&s.report, s.report != 0, true);
    case 'L':
      return take(&s.library, s.library != 0, true);
    case 'N': {
      BOOL ok = take(&s.dataSource, s.dataSource != 0, false);
      if (ok) m_strCommandLineDsn = token + 2;
      return ok;
    }
    case 'S':
      return take(&s.startFile,
                  s.startFile != 0 || s.report != 0 || s.library != 0 || s.blank != 0 || s.instant != 0, true);
    case 'G': {
      BOOL ok = take(&s.go, s.go != 0, false);
      if (ok) g_nGoSwitch = index;
      return ok;
    }
    default:
      return ReportCommandLineError(kBadArgument);
  }
}

// The bare name runs from its own token to the end of the line, with the
// spacing the line had; it is classified as a report file, a library or a
// query-definition file, and the duplicate rules of /R and /L apply to it.
BOOL CKmApp::TakeFileArgument(int index, BOOL* fileGiven) {
  JoinFileArgument(index);
  const std::string name = argv(index);
  m_nFileArgument = index;
  CommandLineSwitches& s = m_switches;
  if (IsCompoundFileName(name.c_str())) {
    if (s.report != 0) return ReportCommandLineError(kBadArgument);
    s.report = index;
  } else if (HasExtension(name.c_str(), "QB6") || HasExtension(name.c_str(), "QB3") ||
             HasExtension(name.c_str(), "QN6")) {
    if (s.library != 0) return ReportCommandLineError(kBadArgument);
    s.library = index;
    m_bLibraryMode = TRUE;
  } else if (HasExtension(name.c_str(), "KWQ")) {
    s.queryFile = index;
  } else {
    m_pActions->ShowError(BadReportFileReason(name), name.c_str());
    return ReportCommandLineError(kBadArgument);
  }
  *fileGiven = TRUE;
  return TRUE;
}

// A library found nowhere is still tried by the name given, so that its
// failure names it.
std::string CKmApp::LibraryNameForMessages() const {
  return !m_strCurrentFile.empty() ? m_strCurrentFile : std::string(SwitchValue(m_switches.library));
}

void CKmApp::ApplyLibraryArgument() {
  const char* value = SwitchValue(m_switches.library);
  if (*value == '\0') return;
  if (FileExists(value)) {
    m_strCurrentFile = value;
    return;
  }
  std::string inFolder = m_strLibraryFolder;
  if (!inFolder.empty() && inFolder.back() != '/') inFolder += '/';
  inFolder += value;
  m_strCurrentFile = !m_strLibraryFolder.empty() && FileExists(inFolder) ? inFolder : std::string();
}

BOOL CKmApp::RunCommandLine() {
  m_bReportLoaded = FALSE;
  const CommandLineSwitches& s = m_switches;
  CommandLineActions& act = *m_pActions;

  if (s.startFile != 0) {
    SetUnattendedSubject(SwitchValue(s.startFile));
    std::string master;
    if (!act.ReadStartFile(SwitchValue(s.startFile), &master)) return FALSE;
    // Only a file that was read and names no table gets this message; a
    // missing file has already said so.
    if (master.empty()) {
      act.ShowError(kNoMasterTable);
      return FALSE;
    }
    m_bReportLoaded = act.DoFileNew(master.c_str(), 0, 0, 0, kStartScript);
    return m_bReportLoaded;
  }

  act.PrepareForOpen();
  std::string name;
  if (s.report != 0) {
    name = SwitchValue(s.report);
  } else if (s.library != 0) {
    SetUnattendedSubject(LibraryNameForMessages().c_str());
    if (!act.OpenCommandLineLibrary(LibraryNameForMessages().c_str())) return FALSE;
    std::vector<std::string> members;
    const bool listed = act.ListMembers(&members);
    act.CloseLibrary();
    if (!listed || members.empty()) return FALSE;
    if (members.size() == 1) name = members.front();
  }

  if (name.empty()) {
    if (s.queryFile != 0) {
      SetUnattendedSubject(SwitchValue(s.queryFile));
      if (!act.LoadQueryFile(SwitchValue(s.queryFile))) return FALSE;
      m_bReportLoaded = act.DoFileNew(nullptr, 0, 0, 1, kStartInstant);
    } else if (s.blank != 0 || s.instant != 0) {
      const int slot = s.blank != 0 ? s.blank : s.instant;
      m_bReportLoaded = act.DoFileNew(SwitchValue(slot), 0, 0, 0, s.blank != 0 ? kStartBlank : kStartInstant);
    }
    return m_bReportLoaded;
  }
  m_bReportLoaded = OpenNamedReport(name);
  return m_bReportLoaded;
}

BOOL CKmApp::OpenNamedReport(const std::string& name) {
  CommandLineActions& act = *m_pActions;
  std::string path = name;
  if (m_switches.library == 0) {
    SetUnattendedSubject(name.c_str());
    if (!IsCompoundFileName(name.c_str())) {
      act.ShowError(BadReportFileReason(name), name.c_str());
      return FALSE;
    }
    m_strCurrentFile = name;
  } else {
    SetUnattendedSubject(LibraryNameForMessages().c_str());
    if (!act.OpenCommandLineLibrary(LibraryNameForMessages().c_str())) return FALSE;
    long first = 0;
    std::string errorText;
    if (!act.FindMember(name.c_str(), &first, &errorText)) {
      act.ShowError(kReadingReport, errorText.c_str(), name.c_str());
      act.CloseLibrary();
      return FALSE;
    }
    act.SetLibraryEntry(first);
    path = m_strCurrentFile;
  }
  if (act.OpenReport(path.c_str()) == -1) return FALSE;
  act.FinishOpen(name.c_str());
  return TRUE;
}
