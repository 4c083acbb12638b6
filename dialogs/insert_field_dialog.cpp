#include "dialogs/insert_field_dialog.h"

#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/field_list_box.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <string>

namespace {

constexpr UINT kStrPrompt = 18615;

// Every field a user can place: no aliases (a placed copy is made on insert).
bool Placeable(const FieldDef* f, void*) { return !(f->flags & kFieldAlias) && f->name[0] != 0; }

InsertFieldPalette* PaletteOf(HWND dialog) {
  return reinterpret_cast<InsertFieldPalette*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

}  // namespace

InsertFieldPalette::~InsertFieldPalette() { Close(); }

bool InsertFieldPalette::Show(HWND owner) {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) {
    Fill();
    ShowWindow(m_hWnd, SW_SHOW);
    SetActiveWindow(m_hWnd);
    return true;
  }
  m_hWnd = CreateDialogParamA(nullptr, "DInsField", owner, DialogProc, reinterpret_cast<LPARAM>(this));
  if (m_hWnd == nullptr) return false;
  doc_->m_pInsertFieldPalette = this;
  ShowWindow(m_hWnd, SW_SHOW);
  return true;
}

void InsertFieldPalette::Close() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    DestroyWindow(m_hWnd);
  }
  m_hWnd = nullptr;
  if (doc_->m_pInsertFieldPalette == this) doc_->m_pInsertFieldPalette = nullptr;
}

void InsertFieldPalette::Notify(int code) {
  if (m_hWnd == nullptr || !IsWindow(m_hWnd)) return;
  if (code < 0) {
    Fill();
    return;
  }
  CKmComposite* m = doc_->m_pModel;
  FieldDef* f = m ? m->GetFieldAt(static_cast<uint32_t>(code)) : nullptr;
  const int count = static_cast<int>(SendDlgItemMessageA(m_hWnd, kInsertFieldList, LB_GETCOUNT, 0, 0));
  for (int i = 0; f != nullptr && i < count; ++i)
    if (GetListedField(m_hWnd, kInsertFieldList, i) == f) {
      SendDlgItemMessageA(m_hWnd, kInsertFieldList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      break;
    }
}

void InsertFieldPalette::Fill() {
  // The row chosen before keeps the choice by name, unless its field went
  // with the change that asks for the refill.
  FieldDef* selected = GetListedField(m_hWnd, kInsertFieldList, -1);
  std::string name;
  for (FieldDef* f = doc_->m_pModel != nullptr ? doc_->m_pModel->fieldList : nullptr; f && selected; f = f->next)
    if (f == selected) name = f->name;
  FillFieldListBox(m_hWnd, kInsertFieldList, doc_->m_pModel, name.empty() ? nullptr : name.c_str(), Placeable, nullptr);
  if (SendDlgItemMessageA(m_hWnd, kInsertFieldList, LB_GETCURSEL, 0, 0) < 0)
    SendDlgItemMessageA(m_hWnd, kInsertFieldList, LB_SETCURSEL, 0, 0);
}

void InsertFieldPalette::Place() {
  FieldDef* f = GetListedField(m_hWnd, kInsertFieldList, -1);
  if (f == nullptr || hooks_.placeAtCaret == nullptr) return;
  hooks_.placeAtCaret(doc_, f);
}

INT_PTR InsertFieldPalette::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  InsertFieldPalette* self = PaletteOf(dialog);
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<InsertFieldPalette*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      self->m_hWnd = dialog;
      SetDlgItemTextA(dialog, kInsertFieldPrompt, LoadResString(kStrPrompt).c_str());
      SubclassFieldList(GetDlgItem(dialog, kInsertFieldList));
      self->Fill();
      return TRUE;
    case WM_COMMAND:
      if (self == nullptr) break;
      switch (LOWORD(wParam)) {
        case kInsertFieldList:
          if (HIWORD(wParam) == LBN_DBLCLK) self->Place();
          return TRUE;
        case kInsertFieldButton:
        case IDOK:
          self->Place();
          return TRUE;
        case IDCANCEL:
          self->Close();
          return TRUE;
      }
      break;
    case kFieldListDropped: {
      FieldDef* f = self != nullptr ? GetListedField(dialog, kInsertFieldList, -1) : nullptr;
      const auto* at = reinterpret_cast<const POINT*>(lParam);
      if (f != nullptr && at != nullptr && self->hooks_.placeAtPoint != nullptr)
        self->hooks_.placeAtPoint(self->doc_, f, *at);
      return TRUE;
    }
    case WM_CLOSE:
      if (self) self->Close();
      return TRUE;
    case WM_DESTROY:
      // Taken down from outside (the report closes): the palette knows it
      // is shut and the document no longer names it.
      if (self != nullptr) {
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        if (self->doc_->m_pInsertFieldPalette == self) self->doc_->m_pInsertFieldPalette = nullptr;
      }
      break;
  }
  return FALSE;
}

void NotifyInsertFieldDialog(int code) {
  KmDocBase* doc = GetActiveDocBase();
  if (doc == nullptr || doc->m_pInsertFieldPalette == nullptr) return;
  if (auto* palette = dynamic_cast<InsertFieldPalette*>(doc->m_pInsertFieldPalette)) palette->Notify(code);
}
