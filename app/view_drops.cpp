// The program's side of what the layout view takes from outside: a dropped
// report file or library opens as File Open would open it, and a handed-over
// query starts a new instant report on its data source.
#include "app/document.h"
#include "app/file_checks.h"
#include "app/layout_view.h"
#include "app/open_report.h"
#include "data/query_desc.h"
#include "platform/win/wsprintf.h"

namespace {
constexpr int kStartInstantFromQuery = 2;
}  // namespace

bool CKmViewHost::IsDroppableFile(const char* path) {
  return path != nullptr && (IsCompoundFile(path) || IsReportLibraryName(path) || IsTemplateLibraryName(path));
}

bool CKmViewHost::OpenDroppedFile(const char* path) {
  CKmDoc* doc = doc_;
  if (doc == nullptr || !IsDroppableFile(path)) return false;
  // As every other open: unsaved changes are offered for saving first, and
  // Cancel refuses the drop.
  if (!GetReportOpenDialogs().SaveModified(*doc)) return false;
  CopyBounded(doc->m_files.currentFile, sizeof doc->m_files.currentFile, path);
  // No dialog chose a data source: the report's own is connected while it is read.
  if (ReportFileIO* io = doc->FileIO()) io->SetConnectWhileReading(TRUE);
  if (!doc->ReadReport(path)) {
    if (!doc->m_bReportOpen) doc->m_nBandPaneWidth = 0;
    return false;
  }
  doc->UpdateViewsByHint(0, nullptr);
  return true;
}

bool CKmViewHost::NewReportFromQuery(const QueryDesc& query) {
  CKmDoc* doc = doc_;
  if (doc == nullptr || !query.IsComplete()) return false;
  if (doc->m_pQuery == nullptr) doc->m_pQuery = new QueryDesc();
  *doc->m_pQuery = query;
  // File New runs once in the instant mode on the query's SQL; the user's
  // own start mode and kind of new report stay for the next File New (and
  // the next report opened is read as the kind it is).
  const int savedMode = doc->m_nStartMode;
  const BOOL savedUserSql = doc->m_bUserSql;
  doc->m_nStartMode = kStartInstantFromQuery;
  const BOOL made = doc->DoFileNew(nullptr, 0, FALSE, TRUE);
  doc->m_nStartMode = savedMode;
  doc->m_bUserSql = savedUserSql;
  return made != FALSE;
}
