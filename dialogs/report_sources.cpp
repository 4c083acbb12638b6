#include "dialogs/report_sources.h"

#include "core/composite.h"
#include "data/data_access.h"
#include "files/report_io.h"
#include "foundation/doc_base.h"

std::string SlotSourceName(KmDocBase* doc, int slot) {
  if (doc == nullptr || doc->m_pRepIO == nullptr || slot < 0 || slot > kMaxTables) return std::string();
  return doc->m_pRepIO->m_stream.settings.sources[slot].sourceName;
}

void SetSlotSourceName(KmDocBase* doc, int slot, const char* name) {
  if (doc == nullptr || doc->m_pRepIO == nullptr || slot < 0 || slot > kMaxTables) return;
  TableSourceGroup& g = doc->m_pRepIO->m_stream.settings.sources[slot];
  g = TableSourceGroup();
  g.sourceName = name != nullptr ? name : "";
}

void NameCurrentSourceForAllTables(KmDocBase* doc) {
  if (doc == nullptr || doc->m_pModel == nullptr) return;
  const char* name = GetDataAccess(doc->m_pModel)->GetCurrentDataSourceName();
  for (int s = 0; s < kMaxTables; ++s)
    if (doc->m_pModel->tableSlots[s] != nullptr) SetSlotSourceName(doc, s, name);
}

void MarkConnectionsInUse(KmDocBase* doc, DataAccess* data) {
  data->ClearConnectionMarks();
  if (doc == nullptr || doc->m_pModel == nullptr) return;
  for (int s = 0; s < kMaxTables; ++s) {
    if (doc->m_pModel->tableSlots[s] == nullptr) continue;
    const std::string name = SlotSourceName(doc, s);
    if (!name.empty()) data->MarkConnection(name.c_str());
    // A table listed from another data source uses that one's connection too.
    const int entry = doc->m_pModel->tableSlots[s]->dataSourceEntry;
    if (const DataSourceEntry* e = entry >= 0 ? data->GetDataSourceEntry(entry) : nullptr)
      if (data->IsConnected(e->name)) data->MarkConnection(e->name);
  }
}
