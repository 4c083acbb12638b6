#include "app/file_checks.h"

#include "app/document.h"
#include "data/data_access.h"
#include "data/query_desc.h"
#include "data/user_statement.h"
#include "files/report_stream.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "platform/ole/compound_file.h"
#include "platform/win/fileio.h"
#include "platform/win/message_box.h"
#include "platform/win/profile.h"
#include "platform/win/unattended.h"
#include "platform/win/wsprintf.h"

#include <cstring>
#include <string>

namespace {

// The existing file a program path names, as Linux spells it; empty when none.
std::string ExistingFile(const char* path) {
  if (path == nullptr || *path == 0) return std::string();
  return ResolveExistingPath(NativePath(path));
}

bool HasExtension(const char* name, const char* upperExt) {
  if (name == nullptr) return false;
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || std::strlen(dot + 1) != 3) return false;
  for (int i = 0; i < 3; ++i) {
    char c = dot[1 + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upperExt[i]) return false;
  }
  return true;
}

// Copies the whole of one open file into another; false on any short write.
bool CopyFileContents(int from, int to) {
  char buf[65536];
  for (;;) {
    long n = ReadFileHandle(from, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteFileHandle(to, buf, static_cast<size_t>(n))) return false;
  }
}

const char* CurrentDataSourceName(const CKmDoc& doc) {
  // Asking the model would create its data access; a model without one has
  // no data source.
  if (doc.m_pModel == nullptr || doc.m_pModel->FindAttachment<DataAccess>() == nullptr) return nullptr;
  return GetDataAccess(doc.m_pModel)->GetCurrentDataSourceName();
}

// Start-file section and keys.
constexpr const char* kStartSection = "Report";
constexpr const char* kKeyMasterTable = "MasterTable";
constexpr const char* kKeyDataSource = "DataSource";
constexpr const char* kKeyUserName = "UserName";
constexpr const char* kKeyPassword = "Password";

constexpr UINT kIdsStatementTooLong = 1140;

}  // namespace

void ShowDocMessage(CKmDoc& doc, const std::string& text, UINT icon) {
  MessageBoxA(doc.GetOwnerWindow(), text.c_str(), doc.GetAppCaption(), MB_OK | icon);
}

std::string FormatDocString(UINT id, const char* a1, const char* a2) {
  // An argument may itself be a string just loaded into the buffer the
  // format is loaded into next: it is copied first.
  const std::string first = a1 ? a1 : "", second = a2 ? a2 : "";
  const std::string format = GetResString(id, 0);
  char out[kMessageBufferSize];
  MsgArg args[2] = {MsgArg(first.c_str()), MsgArg(second.c_str())};
  FormatMessageText(out, sizeof out, format.c_str(), args, a2 ? 2 : 1);
  return out;
}

BOOL IsCompoundFile(const char* path) {
  std::string file = ExistingFile(path);
  return !file.empty() && vt_ole::IsStorageFile(file);
}

BOOL IsCompoundFileInUse(const char* path) {
  std::string file = ExistingFile(path);
  if (file.empty()) return FALSE;
  int fd = OpenExistingFile(file, kFileRead);
  if (fd < 0) return FALSE;
  // An exclusive open fails exactly when someone else holds the file.
  BOOL inUse = FALSE;
  if (const int e = TryLockFileHandle(fd, true); e != 0)
    inUse = e == kFileErrAccess ? TRUE : FALSE;
  else
    UnlockFileHandle(fd);
  CloseFileHandle(fd);
  return inUse;
}

int HoldReportFile(const char* path) {
  std::string file = ExistingFile(path);
  if (file.empty()) return -1;
  int fd = OpenExistingFile(file, kFileRead);
  if (fd < 0) return -1;
  // Shared, so two copies of the program that both read the file see each
  // other; a failure only means another holder has it exclusively just now.
  TryLockFileHandle(fd, false);
  return fd;
}

void ReleaseReportFile(int handle) {
  if (handle >= 0) CloseFileHandle(handle);
}

BOOL IsReportLibraryName(const char* name) { return HasExtension(name, "QB6") || HasExtension(name, "QB3"); }
BOOL IsTemplateLibraryName(const char* name) { return HasExtension(name, "QN6"); }
BOOL IsQueryFileName(const char* name) { return HasExtension(name, "KWQ"); }
BOOL EndsWithTemplateLibraryExt(const char* name) { return HasExtension(name, "QN6"); }

std::string MakeInUseCopy(const char* path) {
  std::string source = ExistingFile(path);
  if (source.empty()) return std::string();
  const char* name = FileNamePart(source.c_str());
  std::string folder = source.substr(0, static_cast<size_t>(name - source.c_str()));
  int from = OpenExistingFile(source, kFileRead);
  if (from < 0) return std::string();
  std::string made;
  // The first free name; creating only a new file makes the choice and the
  // creation one step, so a file that appears meanwhile is never written over.
  for (int n = 1; n <= 99 && made.empty(); ++n) {
    std::string candidate = folder + (n == 1 ? std::string("Copy of ")
                                             : "Copy (" + std::to_string(n) + ") of ") + name;
    int error = 0;
    int to = CreateNewFile(candidate, kFileWrite, 0644, &error);
    if (to < 0) {
      if (error == kFileErrExists) continue;
      break;
    }
    bool ok = CopyFileContents(from, to);
    if (!CloseFileHandle(to)) ok = false;
    if (ok)
      made = candidate;
    else
      RemoveFileName(candidate);
    break;
  }
  CloseFileHandle(from);
  return made;
}

// --- the document's services ---

BOOL CKmDoc::GetReportFileName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return FALSE;
  buffer[0] = 0;
  if (m_szReportName[0] == 0) return FALSE;
  if (!IsCompoundFile(m_files.currentFile)) {
    CopyBounded(buffer, static_cast<size_t>(size), m_szReportName);
    return TRUE;
  }
  const char* display = FileNamePart(m_files.currentFile);
  if (*display == 0) return FALSE;
  CopyBounded(buffer, static_cast<size_t>(size), display);
  return TRUE;
}

void CKmDoc::UpdateTitle(BOOL useName) {
  std::string text;
  const char* dsn = CurrentDataSourceName(*this);
  if (dsn != nullptr && *dsn) {
    text = dsn;
    text += " - ";
  }
  char name[261];
  if (useName && GetReportFileName(name, sizeof name)) {
    text += name;
    SetTitleAlways(name);
  } else {
    text += GetResString(120, 0);
  }
  text += " - ";
  text += m_szAppCaption;
  m_strWindowText = text;
  if (m_pMainFrame != nullptr && m_pMainFrame->m_hWnd != nullptr)
    SetWindowTextA(m_pMainFrame->m_hWnd, m_strWindowText.c_str());
}

BOOL CKmDoc::ReadStartFile(const char* path, char* masterTable, int size, BOOL* fileRead) {
  if (fileRead) *fileRead = FALSE;
  std::string file = ExistingFile(path);
  if (file.empty()) {
    ShowDocMessage(*this, FormatDocString(1148, path), MB_ICONSTOP);
    return FALSE;
  }
  // A user name or password that would break out of its place in the
  // connect text is refused before anything of the file is taken; the file
  // counts as not read, its fault told.
  char value[81];
  const struct {
    const char* key;
    unsigned refusal;
  } logon[] = {{kKeyUserName, 62314}, {kKeyPassword, 62315}};
  for (const auto& l : logon)
    if (GetPrivateProfileStringA(kStartSection, l.key, "", value, sizeof value, file.c_str()) > 0 &&
        !IsValidLogonValue(value)) {
      ShowDocMessage(*this, GetResString(l.refusal, 0), MB_ICONSTOP);
      return FALSE;
    }
  if (fileRead) *fileRead = TRUE;
  char master[262] = {};
  GetPrivateProfileStringA(kStartSection, kKeyMasterTable, "", master, sizeof master, file.c_str());
  if (master[0] == 0) return FALSE;
  if (masterTable != nullptr && size > 0) CopyBounded(masterTable, static_cast<size_t>(size), master);
  CopyBounded(m_files.masterTable, sizeof m_files.masterTable, master);
  CopyBounded(m_files.startFile, sizeof m_files.startFile, path);

  DataAccess* data = m_pModel ? GetDataAccess(m_pModel) : nullptr;
  if (GetPrivateProfileStringA(kStartSection, kKeyDataSource, "", value, sizeof value, file.c_str()) > 0 && data)
    data->SetDataSourceOverride(value);
  if (GetPrivateProfileStringA(kStartSection, kKeyUserName, "", value, sizeof value, file.c_str()) > 0 && data)
    data->SetUserName(value);
  if (GetPrivateProfileStringA(kStartSection, kKeyPassword, "", value, sizeof value, file.c_str()) > 0 && data)
    data->SetPassword(value);
  return TRUE;
}

BOOL CKmDoc::LoadQueryFile(const char* path) {
  std::string file = ExistingFile(path);
  if (file.empty()) return FALSE;
  int fd = OpenExistingFile(file, kFileRead);
  if (fd < 0) return FALSE;
  // Nobody writes the file while we read it.
  if (TryLockFileHandle(fd, false) != 0) {
    CloseFileHandle(fd);
    return FALSE;
  }
  if (m_pQuery == nullptr) m_pQuery = new QueryDesc();
  m_pQuery->Clear();
  bool parsed = m_pQuery->FromDropText(file.c_str());
  CloseFileHandle(fd);
  if (!parsed) {
    ShowDocMessage(*this, GetResString(1138, 0), MB_ICONSTOP);
    return FALSE;
  }
  // A query file is handed over once; in an unattended run it belongs to
  // the script that named it, and a failed run must leave it to try again.
  if (!IsUnattendedRun()) RemoveFileName(file);
  return TRUE;
}

BOOL CKmDoc::ConnectQueryDataSource() {
  if (m_pQuery == nullptr || m_pModel == nullptr) return FALSE;
  if (m_pSqlText == nullptr) {
    m_pSqlText = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(kSqlBufferSize)));
    if (m_pSqlText == nullptr) {
      ShowDocMessage(*this, GetResString(3234, 0), MB_ICONSTOP);
      return FALSE;
    }
  }
  // A statement the buffer cannot hold whole is refused: cut, it would
  // still run, as another statement.
  if (m_pQuery->query.size() >= kSqlBufferSize) {
    ShowDocMessage(*this,
                   FormatDocString(kIdsStatementTooLong, std::to_string(m_pQuery->query.size()).c_str(),
                                   std::to_string(kSqlBufferSize - 1).c_str()),
                   MB_ICONSTOP);
    return FALSE;
  }
  m_pModel->reportViewName = m_pQuery->name;
  CopyBounded(m_pSqlText, kSqlBufferSize, m_pQuery->query.c_str());
  m_bUserSql = TRUE;
  DataAccess* data = GetDataAccess(m_pModel);
  const char* source = m_pQuery->dataSource.c_str();
  // The file's connect text is read before anything connects with it, its
  // refusal the one message; a query without one connects by its data
  // source's name.
  const char* connect = m_pQuery->connect.empty() ? nullptr : m_pQuery->connect.c_str();
  std::string why;
  if (connect != nullptr && !ReadFileConnectText(connect, &why)) {
    ShowDocMessage(*this, why.c_str(), MB_ICONSTOP);
    return FALSE;
  }
  if (data->ConnectDataSource(source, false, true, connect) == 1) {
    data->SelectDataSource(source);
    // A statement that would change the data is refused with its reason
    // before any report is made of it.
    return CheckReadingStatement(data, m_pSqlText, nullptr, 0, false) ? TRUE : FALSE;
  }
  ShowDocMessage(*this, GetResString(1139, 0), MB_ICONSTOP);
  return FALSE;
}
