#include "model/reselect_tables.h"

#include <cstring>

#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"

namespace {

bool HasDrive(const std::string& p) {
  return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// Paths chosen on this system use "/"; stored ones use "\\".
size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

std::string DirectoryPart(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  if (HasDrive(path)) return path.substr(0, 2);
  return std::string();
}

}  // namespace

std::string GetFileNamePart(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinDirAndFile(const std::string& path, const std::string& dir) {
  std::string out = dir;
  const char separator = dir.find('/') != std::string::npos && dir.find('\\') == std::string::npos ? '/' : '\\';
  if (out.empty() || (out.back() != '\\' && out.back() != '/')) out.push_back(separator);
  return out + GetFileNamePart(path);
}

bool IsUncPath(const std::string& path) { return path.size() >= 2 && path[0] == '\\' && path[1] == '\\'; }

size_t GetPathRootEnd(const std::string& path) {
  if (IsUncPath(path)) {
    const size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path.size();
    const size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path.size() : share;
  }
  return HasDrive(path) ? 2 : 0;
}

bool IsDriveRootPath(const char* path) {
  if (!path || std::strlen(path) < 2) return false;
  const std::string p = path;
  if (IsUncPath(p)) {
    const size_t server = p.find('\\', 2);
    if (server == std::string::npos || server == 2) return false;
    const size_t share = p.find('\\', server + 1);
    if (share == std::string::npos) return server + 1 < p.size();
    return share > server + 1 && share + 1 == p.size();
  }
  return HasDrive(p) && (p.size() == 2 || (p.size() == 3 && p[2] == '\\'));
}

std::string MakePathRelativeTo(const std::string& path, const std::string& base) {
  if (base.empty() || IsUncPath(path) != IsUncPath(base)) return path;
  const size_t pathRoot = GetPathRootEnd(path), baseRoot = GetPathRootEnd(base);
  if (!EqualNoCase(path.substr(0, pathRoot), base.substr(0, baseRoot))) return path;
  if (EqualNoCase(DirectoryPart(path), DirectoryPart(base))) return GetFileNamePart(path);
  return path.substr(pathRoot);
}

int NextTablePathKind(int kind) {
  switch (kind) {
    case 1: return 10;
    case 2: return 3;
    case 4: return 1;
    case 12: return 13;
    case 8: return 4;
    case 9: return 8;
    case 10: return 2;
    case 14: return 2;
    case 15: return 12;
    case 11: return 12;
    case 13: return 14;
    default: return kPathKindAsk;
  }
}

std::string BuildTablePath(int kind, const std::string& storedPath, const TablePathContext& ctx) {
  const std::string name = GetFileNamePart(storedPath);
  // A place whose folder is not known gives nothing to try, never the root.
  auto in = [&](const std::string& dir) { return dir.empty() ? std::string() : JoinDirAndFile(storedPath, dir); };
  switch (kind) {
    case 1: return in(DirectoryPart(ctx.masterPath));
    case 2: return in(ctx.dataDir);
    case 4:
    case 12:
      if (!ctx.dirPrefix) return name;
      if (LastSeparator(storedPath) != std::string::npos || HasDrive(storedPath)) return storedPath;
      return in(ctx.fileDir);
    case 8: return in(ctx.pathsBlockDir);
    case 9:
    case 10:
    case 14:
    case 15: return name;
    case 11:
    case 13:
      if (!ctx.dirPrefix) return name;
      if (ctx.sourceDbDir.empty() || ctx.currentDbDir.empty()) return name;
      if (EqualNoCase(ctx.sourceDbDir, ctx.currentDbDir)) return name;
      return JoinDirAndFile(storedPath, ctx.sourceDbDir);
    default: return storedPath;
  }
}

std::string MakeRelativePath(const std::string& path, const TablePathContext& ctx, int* nextKind) {
  *nextKind = NextTablePathKind(4);
  if (HasDrive(path) || IsUncPath(path)) return path;
  if (path.find('\\') != std::string::npos) return ctx.masterPath.substr(0, GetPathRootEnd(ctx.masterPath)) + path;
  *nextKind = NextTablePathKind(1);
  const std::string dir = DirectoryPart(ctx.masterPath);
  if (!dir.empty()) return dir + path;
  return JoinDirAndFile(path, ctx.currentDbDir);
}

int AskAnotherDataSource(const DataSourceQuestion& q) {
  if (q.promptSuppressed || !q.doc) return 1;
  char text[kMessageBufferSize];
  if (q.sqlReport) {
    std::snprintf(text, sizeof text, "%s", GetResString(6027, 0));
  } else {
    const MsgArg args[1] = {MsgArg(q.masterPath ? q.masterPath : "")};
    FormatMessageText(text, sizeof text, GetResString(6028, 0), args, 1);
  }
  const std::string remembered = q.currentSource ? q.currentSource : "";
  // Bounded: a chooser that never settles cannot keep the question up for ever.
  for (int round = 0; round < 1000; ++round) {
    if (q.doc->ShowMessageDialog(q.doc->GetOwnerWindow(), text, q.doc->GetAppCaption(), kMsgYesNo) != IDYES)
      return 1;
    const int chosen = q.choose ? q.choose(q.context) : 2;
    if (chosen == 0) return 0;
    if (chosen == 2) {
      if (q.select) q.select(q.context, remembered.c_str());
      return 1;
    }
  }
  return 1;
}

namespace {

void Status(const ReselectServices& s, const std::string& text) {
  if (s.status) s.status(s.context, text.c_str());
}

void Error(const ReselectServices& s, const char* text) {
  if (s.showError) s.showError(s.context, text);
  else if (s.doc) s.doc->ErrorBox(text);
}

void Wait(const ReselectServices& s, bool on) {
  if (s.waitCursor) s.waitCursor(s.context, on);
}

bool OpenFile(const ReselectServices& s, uint32_t title, const char* filter, const std::string& dir, std::string* out) {
  if (!s.openFile) return false;
  std::string chosen;
  if (!s.openFile(s.context, GetResString(title, 0), filter, dir.c_str(), &chosen) || chosen.empty()) return false;
  *out = chosen;
  return true;
}

void MarkModified(const ReselectServices& s) {
  if (s.doc) s.doc->SetModifiedFlag(TRUE);
}

}  // namespace

const char* TableFileFilter(int sourceKind) {
  switch (sourceKind) {
    case kSourceParadox: return GetResString(6122, 1);
    case kSourceDbase: return GetResString(6123, 1);
    case kSourceBtrieve: return GetResString(6124, 1);
    case kSourceExcel: return GetResString(6125, 1);
    case kSourceAccess: return GetResString(6126, 1);
    default: return GetResString(6127, 1);
  }
}

int ReselectTable(const ReselectServices& s, const ReselectRequest& r, ReselectChoice* out) {
  Status(s, r.displayName);
  if (r.engineCode && s.model) s.model->ShowEngineError(r.engineCode);
  if (!r.message.empty()) Error(s, r.message.c_str());
  const bool desktopFiles = r.sourceKind == kSourceParadox || r.sourceKind == kSourceDbase;
  std::string chosen;
  if (!desktopFiles || !r.useCommonDlg || r.tableListSwitch) {
    if (!s.tableList || !s.tableList(s.context, r.master, &chosen) || chosen.empty()) return 1;
    out->isPath = false;
  } else {
    const std::string filter = TableFileFilter(r.sourceKind);
    const std::string dir = r.databaseDir.empty() ? r.defaultDir : r.databaseDir;
    if (!OpenFile(s, r.master ? 6120 : 6121, filter.c_str(), dir, &chosen)) return 1;
    out->isPath = true;
  }
  Wait(s, true);
  out->name = chosen;
  Wait(s, false);
  MarkModified(s);
  return 0;
}

int AskForTextFile(const ReselectServices& s, std::string* path, int code, const std::string& dataDir) {
  Status(s, *path);
  const std::string codeText = s.model ? s.model->GetEngineErrorText(code) : "";
  char text[kMessageBufferSize];
  const std::string name = GetFileNamePart(*path);
  const MsgArg args[2] = {MsgArg(codeText.c_str()), MsgArg(name.c_str())};
  FormatMessageText(text, sizeof text, GetResString(6024, 0), args, 2);
  Error(s, text);
  Status(s, *path);
  std::string dir = dataDir;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  std::string chosen;
  const std::string filter = GetResString(6129, 1);
  if (!OpenFile(s, 6128, filter.c_str(), dir, &chosen)) return 1;
  Wait(s, true);
  *path = chosen;
  Wait(s, false);
  MarkModified(s);
  return 0;
}

std::string PictureNotFoundText(const std::string& path) {
  char text[kMessageBufferSize];
  const std::string name = GetFileNamePart(path);
  const MsgArg args[1] = {MsgArg(name.c_str())};
  FormatMessageText(text, sizeof text, GetResString(6131, 0), args, 1);
  return text;
}

int AskForPictureFile(const ReselectServices& s, std::string* path) {
  ErrorBeep();
  Status(s, *path);
  const std::string text = PictureNotFoundText(*path);
  if (!s.doc) return 0;
  if (s.doc->ShowMessageDialog(s.doc->GetOwnerWindow(), text.c_str(), s.doc->GetAppCaption(), kMsgIgnore) != IDOK)
    return 0;
  std::string chosen;
  const std::string filter = GetResString(6132, 1);
  if (!OpenFile(s, 6130, filter.c_str(), std::string(), &chosen)) return 0;
  *path = chosen;
  return 1;
}

std::string ResolveMasterPath(const std::string& path, const TablePathContext& ctx) {
  return MakePathRelativeTo(path, ctx.masterPath);
}
