#include "app/reselect_on_open.h"

#include <cstdio>
#include <string>

#include "app/app.h"
#include "app/document.h"
#include "app/file_dialogs.h"
#include "data/data_access.h"
#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/table_chooser.h"
#include "files/report_io.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "model/reselect_tables.h"
#include "platform/win/unattended.h"
#include "platform/win/wsprintf.h"

namespace {

constexpr UINT kReselectMaster = 6134;   // "Re-select table %s?"
constexpr UINT kReselectRelated = 6135;  // "Cannot find related table '%s'.  Re-select table?"

struct Context {
  KmDocBase* doc;
  TableChooser* chooser;
  std::string current;
};

void ShowStatus(void* c, const char* text) { static_cast<Context*>(c)->doc->SetStatusText(text); }
void WaitCursor(void* c, bool on) { static_cast<Context*>(c)->doc->SetWaitCursor(on ? 1 : 0); }

// The table file of a desktop-file data source, from the Open dialog.
bool ChooseFile(void* c, const char* title, const char* filter, const char* dir, std::string* chosen) {
  auto* x = static_cast<Context*>(c);
  auto* doc = dynamic_cast<CKmDoc*>(x->doc);
  if (doc == nullptr || !RunOpenFileDialogText(*doc, doc->GetOwnerWindow(), dir, filter, title)) return false;
  *chosen = doc->m_files.chosenPath;
  return true;
}

bool ChooseFromList(void* c, bool master, std::string* chosen) {
  auto* x = static_cast<Context*>(c);
  return x->chooser->ChooseTable(*x->doc, master, x->current, chosen);
}

}  // namespace

bool ReselectTableOnOpen(KmDocBase& doc, uint32_t slot, TableChooser& chooser) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr || slot >= static_cast<uint32_t>(kMaxTables) || m->tableSlots[slot] == nullptr) return false;
  // Nobody answers in an unattended run; the open goes on with the stored fields.
  if (CKmApp* app = AfxGetKmApp(); app != nullptr && app->IsUnattended()) return false;
  TableSlot* t = m->tableSlots[slot];
  const bool master = slot == 0;
  // A report on its own SELECT statement is mended by editing the statement, not by a table.
  if (master && m->statementText != nullptr && m->statementText[0] != '\0') return false;
  char text[600];
  const MsgArg args[1] = {MsgArg(t->path)};
  FormatMessageText(text, sizeof text, GetResString(master ? kReselectMaster : kReselectRelated, 0), args, 1);
  // Declined, the report is not opened without its table.
  auto declined = [&doc] {
    if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.tableDeclined = true;
    return false;
  };
  if (doc.ShowMessageDialog(doc.GetOwnerWindow(), text, doc.GetAppCaption(), kMsgYesNo) != IDYES) return declined();

  Context context{&doc, &chooser, t->path};
  ReselectServices s;
  s.doc = &doc;
  s.model = m;
  s.context = &context;
  s.status = ShowStatus;
  s.tableList = ChooseFromList;
  s.openFile = ChooseFile;
  s.waitCursor = WaitCursor;
  ReselectRequest r;
  r.master = master;
  r.displayName = t->path;
  r.useCommonDlg = doc.m_settings.useCommonDlg != 0;
  if (DataAccess* data = GetDataAccess(m); data != nullptr && data->Current() != nullptr) {
    r.sourceKind = data->IsParadox() ? kSourceParadox : data->IsDBase() ? kSourceDbase : kSourceOther;
    char dir[261] = {};
    if (data->GetDatabaseName(dir, sizeof dir)) r.databaseDir = dir;
  }
  r.defaultDir = doc.m_settings.dataDir;
  ReselectChoice choice;
  if (ReselectTable(s, r, &choice) != 0) return declined();
  CopyBounded(t->path, sizeof t->path, choice.name.c_str());
  return true;
}

std::string AskForPictureOnOpen(KmDocBase& doc, const std::string& stored) {
  // Nobody can choose another file: the picture is left out, and said so.
  if (CKmApp* app = AfxGetKmApp(); app != nullptr && app->IsUnattended()) {
    WriteUnattendedMessage(nullptr, PictureNotFoundText(stored).c_str());
    return {};
  }
  Context context{&doc, nullptr, stored};
  ReselectServices s;
  s.doc = &doc;
  s.model = doc.m_pModel;
  s.context = &context;
  s.status = ShowStatus;
  s.openFile = ChooseFile;
  s.waitCursor = WaitCursor;
  std::string path = stored;
  return AskForPictureFile(s, &path) != 0 ? path : std::string();
}
