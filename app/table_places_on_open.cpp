#include "app/table_places_on_open.h"

#include "app/file_dialogs.h"

#include "core/composite.h"
#include "core/fields.h"
#include "foundation/doc_base.h"
#include "model/reselect_tables.h"

#include <cstdio>
#include <string>

namespace {

// Places tried before the user is asked: the kinds form a chain that ends
// at the question, so a bound keeps a bad chain from looping.
constexpr int kMaxPlaces = 16;

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
  int kind = 0;
  SetPath(t, MakeRelativePath(stored, ctx, &kind));
  if (open()) return true;
  for (int tries = 0; tries < kMaxPlaces && kind != kPathKindAsk; ++tries) {
    const std::string path = BuildTablePath(kind, stored, ctx);
    kind = NextTablePathKind(kind);
    if (path.empty() || path == t->path) continue;
    SetPath(t, path);
    if (open()) return true;
  }
  SetPath(t, stored);
  return false;
}
