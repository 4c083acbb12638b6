#include "app/table_places_on_open.h"

#include "app/file_dialogs.h"

#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "files/report_io.h"
#include "foundation/doc_base.h"
#include "foundation/startup.h"
#include "model/reselect_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Places tried before the user is asked: the kinds form a chain that ends
// at the question, so a bound keeps a bad chain from looping.
constexpr int kMaxPlaces = 16;

// How a table was stored (the place bits of its data-source group).
constexpr uint16_t kPlaceInSourceDatabase = 1;  // across directories, in its source's database folder
constexpr uint16_t kPlaceRelative = 2;          // relative to the master table
constexpr uint16_t kPlaceAcrossDirectories = 4;
constexpr uint16_t kPlaceMasterSource = 8;      // the master's data source

// The first places to look in, after the stored form of the table.
constexpr int kKindStoredPath = 4;         // the stored path, beside the master, its name ...
constexpr int kKindNameThenKept = 9;        // its name, the kept library folder, the report's folder ...
constexpr int kKindSourceDatabase = 11;     // its source's database folder, the stored path ...
constexpr int kKindNameAcrossFolders = 15;  // its name, the stored path, its source's database folder ...

void SetPath(TableSlot* t, const std::string& path) { std::snprintf(t->path, sizeof t->path, "%s", path.c_str()); }

std::string DirectoryOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

bool OpenTableFromStoredPlaces(KmDocBase& doc, uint32_t slot, const std::function<bool()>& open) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr || slot == 0 || slot >= static_cast<uint32_t>(kMaxTables) || m->tableSlots[slot] == nullptr ||
      m->tableSlots[0] == nullptr)
    return open();
  TableSlot* t = m->tableSlots[slot];
  const std::string stored = t->path;
  TablePathContext ctx;
  ctx.masterPath = m->tableSlots[0]->path;
  ctx.fileDir = DirectoryOf(doc.m_szReportName);
  ctx.dataDir = GetDataDirSlash(doc);
  if (doc.m_pDocPaths != nullptr) {
    const char* kept = reinterpret_cast<const char*>(doc.m_pDocPaths + kDocPathsLibrary);
    ctx.pathsBlockDir = DirectoryOf(std::string(kept, strnlen(kept, 261)));
  }
  DataAccess* data = GetDataAccess(m);
  ctx.dirPrefix = data->UsesDirPrefix() != 0;
  char database[261] = {};
  if (data->GetDatabaseName(database, sizeof database)) ctx.currentDbDir = database;
  uint16_t own = 0, master = 0;
  if (doc.m_pRepIO != nullptr) {
    const ReportSettings& s = doc.m_pRepIO->m_stream.settings;
    own = s.sources[slot].placeBits;
    master = s.sources[0].placeBits;
    ctx.sourceDbDir = s.sources[slot].databaseName;
  }

  // The first place follows how the report stored the table: relative to the
  // master (completed against it), in its data source's database folder, by
  // its name across folders, as the path it had, or by its name alone.
  int kind = 0;
  std::vector<std::string> tried;
  if ((own & kPlaceRelative) || ((own & kPlaceMasterSource) && (master & kPlaceRelative))) {
    tried.push_back(MakeRelativePath(stored, ctx, &kind));
    SetPath(t, tried.back());
    if (open()) return true;
  } else if (own & kPlaceAcrossDirectories) {
    kind = (own & kPlaceInSourceDatabase) ? kKindSourceDatabase : kKindNameAcrossFolders;
  } else if (stored.find_first_of("\\/:") != std::string::npos) {
    kind = kKindStoredPath;
  } else {
    kind = kKindNameThenKept;
  }
  for (int places = 0; places < kMaxPlaces && kind != kPathKindAsk; ++places) {
    const std::string path = BuildTablePath(kind, stored, ctx);
    kind = NextTablePathKind(kind);
    // Each place once: several kinds may name the same one.
    if (path.empty() || std::find(tried.begin(), tried.end(), path) != tried.end()) continue;
    tried.push_back(path);
    SetPath(t, path);
    if (open()) return true;
  }
  SetPath(t, stored);
  return false;
}
