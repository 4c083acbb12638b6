#include "platform/win/message_box.h"

#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "platform/win/unattended.h"

#include <QMessageBox>
#include <QEvent>
#include <QPushButton>

namespace {
// The box settles its size only as it shows: it is placed again whenever
// its size changes.
class StayCentred : public QObject {
 public:
  explicit StayCentred(HWND over) : over_(over) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if ((e->type() == QEvent::Resize || e->type() == QEvent::Show) && watched->isWidgetType())
      vt_ui::CenterOverWindow(*static_cast<QWidget*>(watched), over_, false);
    return false;
  }

 private:
  HWND over_;
};

MessageBoxRecord g_last;
long g_count = 0;
std::function<int(const MessageBoxRecord&)> g_responder;
}  // namespace

const MessageBoxRecord* LastMessageBox() { return g_count ? &g_last : nullptr; }
long MessageBoxCount() { return g_count; }
void SetMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responder) {
  g_responder = std::move(responder);
}

int DefaultMessageBoxAnswer(UINT type) {
  static const int kFirst[] = {IDOK, IDOK, IDABORT, IDYES, IDYES, IDRETRY};
  static const int kSecond[] = {IDOK, IDCANCEL, IDRETRY, IDNO, IDNO, IDCANCEL};
  const UINT kind = type & MB_TYPEMASK;
  if (kind > MB_RETRYCANCEL) return IDOK;
  if (type & MB_DEFBUTTON3) return kind == MB_ABORTRETRYIGNORE ? IDIGNORE : kind == MB_YESNOCANCEL ? IDCANCEL : kFirst[kind];
  return (type & MB_DEFBUTTON2) ? kSecond[kind] : kFirst[kind];
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
  g_last = MessageBoxRecord{owner, text ? text : "", caption ? caption : "Error", type};
  ++g_count;
  if (g_responder) return g_responder(g_last);
  if (IsUnattendedRun()) {
    WriteUnattendedMessage(g_last.caption.c_str(), g_last.text.c_str());
    CountRefusedModalLoop();
    return DefaultMessageBoxAnswer(type);
  }

  UiStartApplication();
  QMessageBox box;
  box.setWindowTitle(vt_ui::FromProgramText(g_last.caption));
  box.setText(vt_ui::FromProgramText(g_last.text));
  UINT icon = type & MB_ICONMASK;
  box.setIcon(icon == MB_ICONHAND ? QMessageBox::Critical : icon == MB_ICONQUESTION ? QMessageBox::Question
              : icon == MB_ICONEXCLAMATION ? QMessageBox::Warning : icon == MB_ICONASTERISK ? QMessageBox::Information
                                                                                            : QMessageBox::NoIcon);
  struct B {
    QMessageBox::StandardButton qt;
    int id;
  };
  const std::vector<B> buttons = [type]() -> std::vector<B> {
    switch (type & MB_TYPEMASK) {
      case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
      case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
      case MB_YESNOCANCEL: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
      case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
      default: return {{QMessageBox::Ok, IDOK}};
    }
  }();
  QMessageBox::StandardButtons set;
  for (const B& b : buttons) set |= b.qt;
  box.setStandardButtons(set);
  size_t def = (type & MB_DEFBUTTON3) ? 2 : (type & MB_DEFBUTTON2) ? 1 : 0;
  if (def < buttons.size()) box.setDefaultButton(buttons[def].qt);
  HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  // Over the owner's window and kept above it, as the program's own dialogs are.
  vt_ui::CenterOverWindow(box, root);
  StayCentred centred(root);
  box.installEventFilter(&centred);
  const int r = vt_ui::ExecModalOver(box, root);
  for (const B& b : buttons)
    if (r == b.qt) return b.id;
  // Closed without a button: Cancel where there is one, else the only answer.
  for (const B& b : buttons)
    if (b.id == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 ? buttons[0].id : IDCANCEL;
}
