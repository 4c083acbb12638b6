// The modeless Insert Field palette: the report's fields by the field-list
// preference; a double-click or Insert places the field at the layout's
// caret (a double-click on an empty spot of the layout puts the caret
// there), and a field dragged onto the layout goes where it is dropped.
// It stays open beside the layout until closed.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

class KmDocBase;
struct FieldDef;

// Control ids of template DInsField.
enum : int { kInsertFieldList = 300, kInsertFieldButton = 301, kInsertFieldPrompt = 302 };

struct InsertFieldHooks {
  // Places the field at the layout's caret; false when it cannot go there.
  bool (*placeAtCaret)(KmDocBase* doc, FieldDef* field) = nullptr;
  // Places the field where it was dragged to (a screen point); false when
  // no layout lies there or the field cannot go there.
  bool (*placeAtPoint)(KmDocBase* doc, FieldDef* field, POINT screen) = nullptr;
};

// The document's palette pointer names it while it is open, so modal
// dialogs disable it and the field changes reach it.
class InsertFieldPalette : public CWnd {
 public:
  InsertFieldPalette(KmDocBase* doc, const InsertFieldHooks& hooks) : doc_(doc), hooks_(hooks) {}
  ~InsertFieldPalette() override;
  InsertFieldPalette(const InsertFieldPalette&) = delete;
  InsertFieldPalette& operator=(const InsertFieldPalette&) = delete;

  // Creates the palette over owner, or brings it to the front; false when it cannot be made.
  bool Show(HWND owner);
  void Close();
  // -1 refills the list (the preference or the fields changed); a field number selects it.
  void Notify(int code);

  static INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  const InsertFieldHooks& Hooks() const { return hooks_; }

 private:
  void Fill();
  void Place();
  KmDocBase* doc_;
  InsertFieldHooks hooks_;
};

// Sends the palette of the active document, when it is open, the code (see Notify).
void NotifyInsertFieldDialog(int code);
