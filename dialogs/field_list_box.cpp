#include "dialogs/field_list_box.h"

#include "core/composite.h"
#include "data/report_dictionary.h"
#include "foundation/doc_base.h"
#include "platform/win/capture.h"
#include "platform/win/dialog.h"

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

FieldDescriptionSource g_descriptions = nullptr;
int g_show = kFieldListNames;
bool g_showSet = false;  // else the document's Preferences choice

bool IsCombo(HWND control) {
  char cls[16] = {};
  GetClassNameA(control, cls, sizeof cls);
  return strcasecmp(cls, "COMBOBOX") == 0;
}

int TableCount(const CKmComposite* m) {
  int n = 0;
  for (int s = 0; s < kMaxTables; ++s)
    if (m->tableSlots[s] != nullptr) ++n;
  return n;
}

bool IsDataField(const FieldDef* f) {
  return !(f->flags & (kFieldAlias | kFieldCalculation)) && f->totalFlags == 0 && f->table < kMaxTables;
}

// The text shown for a field under the preference.
std::string ShownName(const FieldDef* f) {
  const int show = GetFieldListShow();
  const char* description = nullptr;
  // The report dictionary's description, unless another source was set.
  if (show != kFieldListNames)
    description = g_descriptions != nullptr ? g_descriptions(GetActiveDocBase(), f) : GetFieldDescription(f);
  if (description == nullptr || *description == 0) return f->name;
  if (show == kFieldListDescriptions) return description;
  return std::string(f->name) + " - " + description;
}

int AddEntry(HWND control, bool combo, const CKmComposite* m, FieldDef* f) {
  char text[200];
  FormatFieldListEntry(text, ShownName(f).c_str(), f, sizeof text, m);
  const LRESULT at = SendMessageA(control, combo ? UINT{CB_ADDSTRING} : UINT{LB_ADDSTRING}, 0, reinterpret_cast<LPARAM>(text));
  if (at < 0) return -1;
  SendMessageA(control, combo ? UINT{CB_SETITEMDATA} : UINT{LB_SETITEMDATA}, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(f));
  return static_cast<int>(at);
}

int Fill(HWND dialog, int control, const CKmComposite* m, int table, const char* selection, FieldListFilter filter,
         void* context) {
  HWND box = GetDlgItem(dialog, control);
  if (box == nullptr || m == nullptr) return 0;
  const bool combo = IsCombo(box);
  SendMessageA(box, combo ? UINT{CB_RESETCONTENT} : UINT{LB_RESETCONTENT}, 0, 0);
  int added = 0, selected = -1;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (table >= 0 && f->table != table) continue;
    if (filter != nullptr ? !filter(f, context) : !IsDataField(f)) continue;
    const int at = AddEntry(box, combo, m, f);
    if (at < 0) continue;
    ++added;
    if (selection != nullptr && *selection != 0 && selected < 0 && strcasecmp(f->name, selection) == 0) selected = at;
  }
  SendMessageA(box, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, static_cast<WPARAM>(selected), 0);
  return added;
}

// The one pointer gesture that may drag an entry out of a field list.
struct FieldDrag {
  HWND list = nullptr;
  POINT start{0, 0};
  bool dragging = false;
};
FieldDrag g_drag;
constexpr int kDragDistance = 4;  // pixels the pointer moves before a press becomes a drag

// True when the drag took the message.
bool TrackFieldDrag(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_LBUTTONDOWN:
      g_drag = FieldDrag{list, at, false};
      return false;  // the list still selects the entry under the press
    case WM_MOUSEMOVE:
      if (g_drag.list != list || !(wParam & 0x0001)) return false;
      if (!g_drag.dragging && (std::abs(at.x - g_drag.start.x) > kDragDistance ||
                               std::abs(at.y - g_drag.start.y) > kDragDistance)) {
        g_drag.dragging = true;
        SetCapture(list);
      }
      return g_drag.dragging;
    case WM_LBUTTONUP: {
      if (g_drag.list != list) return false;
      const bool dropped = g_drag.dragging;
      g_drag = FieldDrag{};
      if (!dropped) return false;
      if (GetCapture() == list) ReleaseCapture();
      POINT screen = at;
      ClientToScreen(list, &screen);
      // A release over the list itself is no drop.
      RECT own;
      GetWindowRect(list, &own);
      if (screen.x >= own.left && screen.x < own.right && screen.y >= own.top && screen.y < own.bottom) return true;
      HWND parent = GetParent(list);
      if (parent != nullptr)
        SendMessageA(parent, kFieldListDropped, static_cast<WPARAM>(GetDlgCtrlID(list)),
                     reinterpret_cast<LPARAM>(&screen));
      return true;
    }
    default:
      return false;
  }
}

LRESULT FieldListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (HandleFieldListMessage(list, message, wParam, lParam, &result)) return result;
  if (TrackFieldDrag(list, message, wParam, lParam)) return 0;
  // The list's own procedure is kept in its user word, which list and combo boxes leave free.
  auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_USERDATA));
  return old != nullptr ? CallWindowProcA(old, list, message, wParam, lParam) : DefWindowProcA(list, message, wParam, lParam);
}

}  // namespace

void SetFieldDescriptionSource(FieldDescriptionSource source) { g_descriptions = source; }
void SetFieldListShow(int show) {
  g_show = show;
  g_showSet = true;
}
int GetFieldListShow() {
  if (g_showSet) return g_show;
  const KmDocBase* doc = GetActiveDocBase();
  const int pref = doc != nullptr ? doc->m_settings.fieldLists : kFieldListNames;
  return pref == kFieldListDescriptions || pref == kFieldListBoth ? pref : kFieldListNames;
}

char FieldTypeLetter(const FieldDef* f) {
  if (f->flags & kFieldNumeric) return 'N';
  if (f->flags & kFieldLogical) return 'L';
  if (f->flags & kFieldDateTime) return 'S';
  if (f->flags & kFieldTime) return 'T';
  if (f->flags & kFieldDate) return 'D';
  if (f->flags & kFieldMemo) return 'M';
  return 'C';
}

std::string FieldNameWithTable(const char* name, const FieldDef* field, const CKmComposite* m) {
  std::string text = name != nullptr ? name : "";
  if (m != nullptr && field != nullptr && field->table < kMaxTables && m->tableSlots[field->table] != nullptr &&
      TableCount(m) > 1 && m->tableSlots[field->table]->alias[0] != 0)
    text += std::string(" (") + m->tableSlots[field->table]->alias + ")";
  return text;
}

void FormatFieldListEntry(char* out, const char* name, const FieldDef* field, int length, const CKmComposite* m) {
  if (out == nullptr || length <= 0) return;
  std::snprintf(out, static_cast<size_t>(length), "%c %s", FieldTypeLetter(field),
                FieldNameWithTable(name, field, m).c_str());
}

int FillFieldListForTable(HWND dialog, int control, const CKmComposite* m, uint32_t table, const char* selection,
                          FieldListFilter filter, void* context) {
  return Fill(dialog, control, m, static_cast<int>(table), selection, filter, context);
}

int FillFieldListBox(HWND dialog, int control, const CKmComposite* m, const char* selection, FieldListFilter filter,
                     void* context) {
  return Fill(dialog, control, m, -1, selection, filter, context);
}

FieldDef* GetListedField(HWND dialog, int control, int index) {
  HWND box = GetDlgItem(dialog, control);
  if (box == nullptr) return nullptr;
  const bool combo = IsCombo(box);
  if (index < 0) index = static_cast<int>(SendMessageA(box, combo ? UINT{CB_GETCURSEL} : UINT{LB_GETCURSEL}, 0, 0));
  if (index < 0) return nullptr;
  const LRESULT data = SendMessageA(box, combo ? UINT{CB_GETITEMDATA} : UINT{LB_GETITEMDATA}, static_cast<WPARAM>(index), 0);
  return data == (combo ? LRESULT{CB_ERR} : LRESULT{LB_ERR}) ? nullptr : reinterpret_cast<FieldDef*>(data);
}

bool HandleFieldListMessage(HWND list, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  if (message != WM_CHAR) return false;
  const int typed = std::toupper(static_cast<unsigned char>(wParam));
  if (!std::isgraph(typed)) return false;
  const bool combo = IsCombo(list);
  const int count = static_cast<int>(SendMessageA(list, combo ? UINT{CB_GETCOUNT} : UINT{LB_GETCOUNT}, 0, 0));
  const int current = static_cast<int>(SendMessageA(list, combo ? UINT{CB_GETCURSEL} : UINT{LB_GETCURSEL}, 0, 0));
  // Entries begin with the type letter and a blank: the name starts at 2.
  for (int k = 1; k <= count; ++k) {
    const int i = (current + k + count) % count;
    char text[200] = {};
    if (SendMessageA(list, combo ? UINT{CB_GETLBTEXTLEN} : UINT{LB_GETTEXTLEN}, static_cast<WPARAM>(i), 0) >= static_cast<LRESULT>(sizeof text)) continue;
    SendMessageA(list, combo ? UINT{CB_GETLBTEXT} : UINT{LB_GETTEXT}, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (std::strlen(text) > 2 && std::toupper(static_cast<unsigned char>(text[2])) == typed) {
      SendMessageA(list, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, static_cast<WPARAM>(i), 0);
      HWND parent = GetParent(list);
      if (parent != nullptr)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), combo ? UINT{CBN_SELCHANGE} : UINT{LBN_SELCHANGE}),
                     reinterpret_cast<LPARAM>(list));
      break;
    }
  }
  *result = 0;
  return true;
}

void SubclassFieldList(HWND list) {
  if (list == nullptr || GetWindowLongPtrA(list, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&FieldListProc)) return;
  const LONG_PTR old = SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FieldListProc));
  SetWindowLongPtrA(list, GWLP_USERDATA, old);
}
