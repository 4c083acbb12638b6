// The standard controls: Qt widgets that answer the Win32 control messages
// and send the Win32 notifications to their parent.
#include "platform/win/beep.h"
#include "platform/win/codepage.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/gdi.h"
#include "platform/win/ui_internal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <utility>

namespace {
// A control widget that can hand the key being routed to its own Qt handling.
class KeyPass {
 public:
  virtual ~KeyPass() = default;
  virtual void PassKey(QKeyEvent* e) = 0;
};

template <class Base>
class Host : public Base, public KeyPass {
 public:
  template <class... A>
  explicit Host(A&&... a) : Base(std::forward<A>(a)...) {}
  void PassKey(QKeyEvent* e) override {
    if (e->type() == QEvent::KeyPress) Base::keyPressEvent(e);
    else Base::keyReleaseEvent(e);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return Base::keyPressEvent(e);
    if (!vt_ui::PreTranslateKey(h, e)) vt_ui::RouteKey(h, e, true);
    e->accept();  // keys never travel on to the parent, as window messages do not
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return Base::keyReleaseEvent(e);
    vt_ui::RouteKey(h, e, false);
    e->accept();
  }
  void focusInEvent(QFocusEvent* e) override {
    Base::focusInEvent(e);
    HWND h = vt_ui::FromWidget(this);
    if (h) vt_ui::NoteFocus(h);
  }
  void focusOutEvent(QFocusEvent* e) override {
    Base::focusOutEvent(e);
    HWND h = vt_ui::FromWidget(this);
    if (h) SendMessageA(h, WM_KILLFOCUS, 0, 0);
  }
  void contextMenuEvent(QContextMenuEvent* e) override { vt_ui::SendContextMenu(vt_ui::FromWidget(this), e); }
  void paintEvent(QPaintEvent* e) override {
    Base::paintEvent(e);
    HWND h = vt_ui::FromWidget(this);
    if (h && !h->overlay.empty()) {
      QPainter p(this);
      vt_ui::ReplayOverlay(h, &p);
    }
  }
};

HWND Self(QWidget* w) { return vt_ui::FromWidget(w); }

// The items of an owner-drawn list box or combo box's list, measured and
// drawn by the control's parent through WM_MEASUREITEM and WM_DRAWITEM.
class OwnerDrawnItems : public QStyledItemDelegate {
 public:
  OwnerDrawnItems(QWidget* control, UINT type) : QStyledItemDelegate(control), combo_(control), type_(type) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    HWND h = Self(combo_);
    MEASUREITEMSTRUCT m{type_, h ? static_cast<UINT>(GetDlgCtrlID(h)) : 0u, static_cast<UINT>(index.row()),
                        static_cast<UINT>(option.rect.width()), 16, Data(index)};
    if (h && GetParent(h)) SendMessageA(GetParent(h), WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
    return QSize(std::max(1, option.rect.width()), static_cast<int>(m.itemHeight));
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    HWND h = Self(combo_);
    if (h == nullptr || GetParent(h) == nullptr) return QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    HDC dc = vt_ui::CreatePainterDC(painter, h);
    const QRect r = option.rect;
    const UINT state = ((option.state & QStyle::State_Selected) ? static_cast<UINT>(ODS_SELECTED) : 0u) |
                       ((option.state & QStyle::State_HasFocus) ? static_cast<UINT>(ODS_FOCUS) : 0u);
    DRAWITEMSTRUCT d{type_, static_cast<UINT>(GetDlgCtrlID(h)), static_cast<UINT>(index.row()), ODA_DRAWENTIRE, state, h, dc,
                     RECT{r.left(), r.top(), r.right() + 1, r.bottom() + 1}, Data(index)};
    SendMessageA(GetParent(h), WM_DRAWITEM, d.CtlID, reinterpret_cast<LPARAM>(&d));
    ReleaseDC(nullptr, dc);
    painter->restore();
  }

 private:
  static ULONG_PTR Data(const QModelIndex& index) {
    return static_cast<ULONG_PTR>(index.data(Qt::UserRole + 2).toLongLong());
  }
  QWidget* combo_;
  UINT type_;
};

// An owner-drawn drop-down list shows its chosen item as its parent draws
// it (a colour's swatch beside its name), not as plain text.
class OwnerDrawnCombo : public Host<QComboBox> {
 public:
  using Host<QComboBox>::Host;

 protected:
  void paintEvent(QPaintEvent* e) override {
    HWND h = Self(this);
    if (isEditable() || h == nullptr || GetParent(h) == nullptr) return Host<QComboBox>::paintEvent(e);
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const int at = currentIndex();
    if (at < 0) return;
    const QRect r = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    painter.save();
    HDC dc = vt_ui::CreatePainterDC(&painter, h);
    const UINT state = ODS_COMBOBOXEDIT | (hasFocus() ? static_cast<UINT>(ODS_FOCUS) : 0u);
    DRAWITEMSTRUCT d{ODT_COMBOBOX, static_cast<UINT>(GetDlgCtrlID(h)), static_cast<UINT>(at), ODA_DRAWENTIRE, state, h, dc,
                     RECT{r.left(), r.top(), r.right() + 1, r.bottom() + 1},
                     static_cast<ULONG_PTR>(itemData(at, Qt::UserRole + 2).toLongLong())};
    SendMessageA(GetParent(h), WM_DRAWITEM, d.CtlID, reinterpret_cast<LPARAM>(&d));
    ReleaseDC(nullptr, dc);
    painter.restore();
  }
};

// A list box whose procedure was subclassed hears its left clicks as
// WM_LBUTTONDOWN first; the list's own procedure then selects the row. The
// pointer's moves with the left button down and its release come after the
// press, so a subclass can drag an entry out of the list; a double-click
// comes as WM_LBUTTONDBLCLK, since the toolkit's own needs the press it
// never saw.
class ListWidget : public Host<QListWidget> {
 public:
  using Host<QListWidget>::Host;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (!Pass(e, WM_LBUTTONDOWN, e->button() == Qt::LeftButton)) Host<QListWidget>::mousePressEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!Pass(e, WM_MOUSEMOVE, (e->buttons() & Qt::LeftButton) != 0)) Host<QListWidget>::mouseMoveEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (!Pass(e, WM_LBUTTONUP, e->button() == Qt::LeftButton)) Host<QListWidget>::mouseReleaseEvent(e);
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (!Pass(e, WM_LBUTTONDBLCLK, e->button() == Qt::LeftButton)) Host<QListWidget>::mouseDoubleClickEvent(e);
  }

 private:
  // The left button's message to a subclassed list (its client area is the
  // viewport); false when the toolkit handles the event itself.
  bool Pass(QMouseEvent* e, UINT msg, bool left) {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr || h->proc == vt_ui::ListBoxProc || !left) return false;
    const QPoint p = e->position().toPoint();
    const WPARAM keys = msg == WM_LBUTTONUP ? 0 : 0x0001;  // the left button held
    SendMessageA(h, msg, keys, MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y())));
    e->accept();
    return true;
  }
};

DWORD Type(HWND h, DWORD mask) { return h->style & mask; }

// Radio buttons of one group: from the last WS_GROUP sibling up to the next one.
std::vector<HWND> RadioGroup(HWND h) {
  std::vector<HWND> siblings;
  for (HWND w : vt_ui::AllWindows())
    if (w->parent == h->parent) siblings.push_back(w);
  auto it = std::find(siblings.begin(), siblings.end(), h);
  if (it == siblings.end()) return {};
  auto first = it;
  while (first != siblings.begin() && !((*first)->style & WS_GROUP)) --first;
  std::vector<HWND> group;
  for (auto i = first; i != siblings.end(); ++i) {
    if (i != first && ((*i)->style & WS_GROUP)) break;
    if ((*i)->cls->name == "BUTTON" && ((*i)->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) group.push_back(*i);
  }
  return group;
}

class CheckWidget : public Host<QCheckBox> {
 public:
  using Host<QCheckBox>::Host;

 protected:
  void nextCheckState() override {
    HWND h = Self(this);
    DWORD t = h ? Type(h, BS_TYPEMASK) : BS_AUTOCHECKBOX;
    if (t == BS_AUTOCHECKBOX) Host<QCheckBox>::nextCheckState();
    // A three-state box goes from clear to ticked to mixed, as the dialogs
    // expect: one click ticks it.
    if (t == BS_AUTO3STATE)
      setCheckState(checkState() == Qt::Unchecked ? Qt::Checked
                    : checkState() == Qt::Checked ? Qt::PartiallyChecked
                                                  : Qt::Unchecked);
  }
};

class RadioWidget : public Host<QRadioButton> {
 public:
  using Host<QRadioButton>::Host;

 protected:
  void nextCheckState() override {
    HWND h = Self(this);
    if (h == nullptr || Type(h, BS_TYPEMASK) != BS_AUTORADIOBUTTON) return;
    for (HWND o : RadioGroup(h))
      if (o != h) SendMessageA(o, BM_SETCHECK, BST_UNCHECKED, 0);
    setChecked(true);
  }
};

// Statics draw their own text with the layer's text layout, so a text
// measured with DrawTextA fits the control exactly.
class StaticWidget : public QWidget {
 public:
  explicit StaticWidget(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    HWND h = Self(this);
    if (h == nullptr) return;
    QPainter p(this);
    DWORD t = Type(h, SS_TYPEMASK);
    QRect r = rect();
    auto color = [](int index) {
      DWORD c = GetSysColor(index);
      return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
    };
    switch (t) {
      case SS_ICON:
        if (h->icon) vt_ui::DrawIconAt(&p, 0, 0, h->icon);
        break;
      case SS_BLACKRECT: p.fillRect(r, color(COLOR_WINDOWFRAME)); break;
      case SS_GRAYRECT: p.fillRect(r, color(COLOR_BTNSHADOW)); break;
      case SS_WHITERECT: p.fillRect(r, color(COLOR_BTNHIGHLIGHT)); break;
      case SS_BLACKFRAME:
      case SS_GRAYFRAME:
      case SS_WHITEFRAME:
        p.setPen(color(t == SS_BLACKFRAME ? COLOR_WINDOWFRAME : t == SS_GRAYFRAME ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        break;
      case SS_ETCHEDFRAME:
        p.setPen(color(COLOR_BTNSHADOW));
        p.drawRect(r.adjusted(0, 0, -2, -2));
        p.setPen(color(COLOR_BTNHIGHLIGHT));
        p.drawRect(r.adjusted(1, 1, -1, -1));
        break;
      default: {
        UINT fmt = DT_EXPANDTABS;
        if (t == SS_CENTER) fmt |= DT_CENTER | DT_WORDBREAK;
        else if (t == SS_RIGHT) fmt |= DT_RIGHT | DT_WORDBREAK;
        else if (t == SS_LEFT) fmt |= DT_WORDBREAK;
        else fmt |= DT_SINGLELINE;
        if (h->style & SS_NOPREFIX) fmt |= DT_NOPREFIX;
        RECT rc{0, 0, r.width(), r.height()};
        p.setPen(isEnabled() ? color(COLOR_WINDOWTEXT) : color(COLOR_GRAYTEXT));
        vt_ui::DrawTextImpl(vt_ui::FontOf(h->font ? h->font : vt_ui::DefaultGuiFont()), &p, h->text.c_str(),
                            static_cast<int>(h->text.size()), &rc, fmt);
        break;
      }
    }
    vt_ui::ReplayOverlay(h, &p);
  }
};

QString ItemText(const std::string& s) { return vt_ui::FromAnsi(s); }
const char* ParamText(LPARAM l) {
  const char* t = reinterpret_cast<const char*>(l);
  return t ? t : "";
}

// Items keep their exact Windows-1252 bytes beside the displayed text.
constexpr int kAnsiRole = Qt::UserRole + 1;
constexpr int kDataRole = Qt::UserRole + 2;

std::string AnsiOfItem(const QVariant& v) {
  QByteArray b = v.toByteArray();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

LRESULT CopyOut(const std::string& s, LPARAM buf) {
  if (buf == 0) return LB_ERR;
  std::memcpy(reinterpret_cast<char*>(buf), s.c_str(), s.size() + 1);
  return static_cast<LRESULT>(s.size());
}

bool StartsWithNoCase(const std::string& s, const char* prefix, size_t len) {
  if (s.size() < len) return false;
  for (size_t i = 0; i < len; ++i)
    if (AnsiLower(static_cast<unsigned char>(s[i])) != AnsiLower(static_cast<unsigned char>(prefix[i]))) return false;
  return true;
}

// Index of the first item from start+1 (wrapping) whose text starts with, or equals, the given text.
int FindItem(const std::vector<std::string>& items, int start, const char* text, bool exact) {
  int n = static_cast<int>(items.size());
  size_t len = std::strlen(text);
  for (int k = 1; k <= n; ++k) {
    int i = ((start < 0 ? -1 : start) + k) % n;
    const std::string& s = items[static_cast<size_t>(i)];
    if (exact ? CompareAnsiNoCase(s.c_str(), text) == 0 : StartsWithNoCase(s, text, len)) return i;
  }
  return -1;
}

int SortedPosition(const std::vector<std::string>& items, const char* text) {
  int i = 0;
  for (const std::string& s : items) {
    if (CompareAnsiNoCase(s.c_str(), text) > 0) break;
    ++i;
  }
  return i;
}

std::vector<std::string> ListItems(QListWidget* lw) {
  std::vector<std::string> v;
  for (int i = 0; i < lw->count(); ++i) v.push_back(AnsiOfItem(lw->item(i)->data(kAnsiRole)));
  return v;
}

std::vector<std::string> ComboItems(QComboBox* cb) {
  std::vector<std::string> v;
  for (int i = 0; i < cb->count(); ++i) v.push_back(AnsiOfItem(cb->itemData(i, kAnsiRole)));
  return v;
}

bool CommonControlMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (msg) {
    case WM_SETFONT:
      h->font = reinterpret_cast<HFONT>(wParam);
      vt_ui::ApplyControlFont(h);
      *result = 0;
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
      vt_ui::PassKeyToWidget(h);
      *result = DefWindowProcA(h, msg, wParam, lParam);
      return true;
    case WM_SETFOCUS:
      *result = 0;
      return true;
    default:
      return false;
  }
}

QLineEdit* LineEditOf(HWND h) { return qobject_cast<QLineEdit*>(h->widget.data()); }
QPlainTextEdit* TextEditOf(HWND h) { return qobject_cast<QPlainTextEdit*>(h->widget.data()); }

QString EditText(HWND h) {
  if (auto* le = LineEditOf(h)) return le->text();
  if (auto* te = TextEditOf(h)) return te->toPlainText().replace(QLatin1String("\n"), QLatin1String("\r\n"));
  return QString();
}

// An edit box given a file name in the system's spelling shows the name's
// letters. Read back, it keeps the name's bytes while the text is as shown,
// and takes a changed text as a name again, as the file dialog takes one;
// every other text goes through the code page both ways.
constexpr char kShownName[] = "vtShownName";

QString ShowEditText(QWidget* w, const std::string& text) {
  const QString shown = vt_ui::FromProgramText(text);
  w->setProperty(kShownName, shown != vt_ui::FromAnsi(text) ? QVariant(shown) : QVariant());
  return shown;
}

std::string ReadEditText(HWND h) {
  const QString now = EditText(h);
  const QVariant name = h->widget ? h->widget->property(kShownName) : QVariant();
  if (!name.isValid()) return vt_ui::ToAnsi(now);
  if (now == name.toString()) return h->text;
  return ProgramFileName(now.toUtf8().toStdString());
}
}  // namespace

namespace vt_ui {
bool SliderActionCode(int action, WORD* code) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: *code = SB_LINEDOWN; return true;
    case QAbstractSlider::SliderSingleStepSub: *code = SB_LINEUP; return true;
    case QAbstractSlider::SliderPageStepAdd: *code = SB_PAGEDOWN; return true;
    case QAbstractSlider::SliderPageStepSub: *code = SB_PAGEUP; return true;
    case QAbstractSlider::SliderToMinimum: *code = SB_TOP; return true;
    case QAbstractSlider::SliderToMaximum: *code = SB_BOTTOM; return true;
    case QAbstractSlider::SliderMove: *code = SB_THUMBTRACK; return true;
    default: return false;
  }
}

void PassKeyToWidget(HWND hwnd) {
  if (hwnd->pendingKey == nullptr || !hwnd->widget) return;
  if (auto* kp = dynamic_cast<KeyPass*>(hwnd->widget.data())) {
    QKeyEvent* e = hwnd->pendingKey;
    hwnd->pendingKey = nullptr;  // once only
    kp->PassKey(e);
  }
}

void ApplyControlFont(HWND hwnd) {
  if (hwnd->widget) hwnd->widget->setFont(FontOf(hwnd->font ? hwnd->font : DefaultGuiFont()));
  FitListRows(hwnd);
}

void FitListRows(HWND hwnd) {
  auto* lw = hwnd->widget ? qobject_cast<QListWidget*>(hwnd->widget.data()) : nullptr;
  if (lw == nullptr || (hwnd->style & LBS_NOINTEGRALHEIGHT) || lw->count() == 0) return;
  const int row = lw->sizeHintForRow(0);
  if (row <= 0) return;
  const int full = static_cast<int>(hwnd->rect.bottom - hwnd->rect.top);
  const int frame = 2 * lw->frameWidth();
  const int height = std::min(full, std::max(1, (full - frame) / row) * row + frame);
  if (lw->height() != height) lw->resize(lw->width(), height);
}

void NotifyParent(HWND control, WORD code) {
  if (!IsWindow(control) || control->parent == nullptr) return;
  SendMessageA(control->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control->id), code),
               reinterpret_cast<LPARAM>(control));
}

QWidget* CreateControlWidget(HWND h, QWidget* parent) {
  const std::string& cls = h->cls->name;
  QWidget* w = nullptr;
  Qt::FocusPolicy focus = (h->style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus;
  if (strcasecmp(cls.c_str(), "BUTTON") == 0) {
    DWORD t = h->style & BS_TYPEMASK;
    if (t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE) {
      auto* b = new CheckWidget(parent);
      b->setTristate(t == BS_3STATE || t == BS_AUTO3STATE);
      QObject::connect(b, &QAbstractButton::clicked, [b]() { NotifyParent(Self(b), BN_CLICKED); });
      w = b;
    } else if (t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON) {
      auto* b = new RadioWidget(parent);
      b->setAutoExclusive(false);
      QObject::connect(b, &QAbstractButton::clicked, [b]() { NotifyParent(Self(b), BN_CLICKED); });
      w = b;
    } else if (t == BS_GROUPBOX) {
      auto* g = new Host<QGroupBox>(parent);
      g->setAttribute(Qt::WA_TransparentForMouseEvents);
      focus = Qt::NoFocus;
      w = g;
    } else {
      auto* b = new Host<QPushButton>(parent);
      b->setAutoDefault(false);
      b->setDefault(t == BS_DEFPUSHBUTTON);
      QObject::connect(b, &QAbstractButton::clicked, [b]() { NotifyParent(Self(b), BN_CLICKED); });
      w = b;
    }
  } else if (strcasecmp(cls.c_str(), "EDIT") == 0) {
    if (h->style & ES_MULTILINE) {
      auto* e = new Host<QPlainTextEdit>(parent);
      e->setReadOnly((h->style & ES_READONLY) != 0);
      QObject::connect(e, &QPlainTextEdit::textChanged, [e]() { NotifyParent(Self(e), EN_CHANGE); });
      w = e;
    } else {
      auto* e = new Host<QLineEdit>(parent);
      e->setReadOnly((h->style & ES_READONLY) != 0);
      if (h->style & ES_PASSWORD) e->setEchoMode(QLineEdit::Password);
      DWORD a = h->style & 3;
      e->setAlignment(a == ES_CENTER ? Qt::AlignHCenter : a == ES_RIGHT ? Qt::AlignRight : Qt::AlignLeft);
      QObject::connect(e, &QLineEdit::textChanged, [e]() { NotifyParent(Self(e), EN_CHANGE); });
      w = e;
    }
  } else if (strcasecmp(cls.c_str(), "LISTBOX") == 0) {
    auto* l = new ListWidget(parent);
    if (h->style & LBS_OWNERDRAWFIXED) l->setItemDelegate(new OwnerDrawnItems(l, ODT_LISTBOX));
    l->setSelectionMode((h->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) ? QAbstractItemView::MultiSelection
                                                                          : QAbstractItemView::SingleSelection);
    QObject::connect(l, &QListWidget::itemSelectionChanged, [l]() {
      HWND s = Self(l);
      if (s && (s->style & LBS_NOTIFY) && !l->signalsBlocked()) NotifyParent(s, LBN_SELCHANGE);
    });
    QObject::connect(l, &QListWidget::itemDoubleClicked, [l]() {
      HWND s = Self(l);
      if (s && (s->style & LBS_NOTIFY)) NotifyParent(s, LBN_DBLCLK);
    });
    w = l;
  } else if (strcasecmp(cls.c_str(), "COMBOBOX") == 0) {
    auto* c = (h->style & CBS_OWNERDRAWFIXED) ? new OwnerDrawnCombo(parent) : new Host<QComboBox>(parent);
    if (h->style & CBS_OWNERDRAWFIXED) c->setItemDelegate(new OwnerDrawnItems(c, ODT_COMBOBOX));
    DWORD t = h->style & 3;
    c->setEditable(t == CBS_SIMPLE || t == CBS_DROPDOWN);
    QObject::connect(c, QOverload<int>::of(&QComboBox::activated), [c]() { NotifyParent(Self(c), CBN_SELCHANGE); });
    if (c->lineEdit()) {
      QObject::connect(c->lineEdit(), &QLineEdit::textEdited, [c]() { NotifyParent(Self(c), CBN_EDITCHANGE); });
    }
    w = c;
  } else if (strcasecmp(cls.c_str(), "SCROLLBAR") == 0) {
    auto* s = new Host<QScrollBar>((h->style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
    s->setRange(0, 100);
    QObject::connect(s, &QAbstractSlider::actionTriggered, [s](int action) {
      HWND sh = Self(s);
      if (!sh || !sh->parent) return;
      WORD code = SB_ENDSCROLL;
      if (!SliderActionCode(action, &code)) return;
      WORD pos = static_cast<WORD>(s->sliderPosition());
      SendMessageA(sh->parent, (sh->style & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, pos),
                   reinterpret_cast<LPARAM>(sh));
      // A Win32 scroll bar moves only when its owner sets the position.
      if (IsWindow(sh)) s->setSliderPosition(static_cast<int>(sh->userData));
    });
    // Letting go of the thumb tells where it was left.
    QObject::connect(s, &QAbstractSlider::sliderReleased, [s]() {
      HWND sh = Self(s);
      if (!sh || !sh->parent) return;
      WORD pos = static_cast<WORD>(s->sliderPosition());
      SendMessageA(sh->parent, (sh->style & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos),
                   reinterpret_cast<LPARAM>(sh));
      if (IsWindow(sh)) s->setSliderPosition(static_cast<int>(sh->userData));
    });
    w = s;
  } else if (QWidget* common = CreateCommonControlWidget(h, parent)) {
    w = common;
  } else {
    auto* s = new StaticWidget(parent);
    focus = Qt::NoFocus;
    w = s;
  }
  w->setFocusPolicy(focus);
  w->setFont(FontOf(DefaultGuiFont()));
  return w;
}
}  // namespace vt_ui


LRESULT vt_ui::ButtonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (CommonControlMessage(h, msg, wParam, lParam, &r)) return r;
  auto* ab = qobject_cast<QAbstractButton*>(h->widget.data());
  auto* gb = qobject_cast<QGroupBox*>(h->widget.data());
  auto* pb = qobject_cast<QPushButton*>(h->widget.data());
  switch (msg) {
    case WM_CREATE:
    case WM_SETTEXT: {
      if (msg == WM_SETTEXT) DefWindowProcA(h, msg, wParam, lParam);
      if (ab) ab->setText(FromAnsi(h->text));
      if (gb) gb->setTitle(FromAnsi(h->text));
      return msg == WM_SETTEXT ? TRUE : 0;
    }
    case BM_GETCHECK: {
      auto* cb = qobject_cast<QCheckBox*>(ab);
      if (cb) return cb->checkState() == Qt::Checked ? BST_CHECKED : cb->checkState() == Qt::PartiallyChecked ? BST_INDETERMINATE : BST_UNCHECKED;
      return (ab && ab->isCheckable() && ab->isChecked()) ? BST_CHECKED : BST_UNCHECKED;
    }
    case BM_SETCHECK: {
      if (auto* cb = qobject_cast<QCheckBox*>(ab)) {
        cb->setCheckState(wParam == BST_CHECKED ? Qt::Checked : wParam == BST_INDETERMINATE ? Qt::PartiallyChecked : Qt::Unchecked);
      } else if (ab && ab->isCheckable()) {
        ab->setChecked(wParam == BST_CHECKED);
      }
      return 0;
    }
    case BM_GETSTATE: {
      LRESULT s = SendMessageA(h, BM_GETCHECK, 0, 0);
      if (ab && ab->isDown()) s |= BST_PUSHED;
      if (GetFocus() == h) s |= BST_FOCUS;
      return s;
    }
    case BM_SETSTATE:
      if (ab) {
        ab->setDown(wParam != 0);
        ab->repaint();
      }
      return 0;
    case BM_SETSTYLE:
      h->style = (h->style & ~static_cast<DWORD>(0xFFFF)) | (static_cast<DWORD>(wParam) & 0xFFFF);
      if (pb) pb->setDefault((h->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      return 0;
    case BM_CLICK:
      if (ab && ab->isEnabled()) ab->click();
      return 0;
    case WM_GETDLGCODE:
      if (pb) return DLGC_BUTTON | (pb->isDefault() ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
      return DLGC_BUTTON;
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::StaticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      if ((h->style & SS_TYPEMASK) == SS_ICON) {
        // Icon statics take the size of a system icon, as they do when given one.
        h->rect.right = h->rect.left + GetSystemMetrics(SM_CXICON);
        h->rect.bottom = h->rect.top + GetSystemMetrics(SM_CYICON);
        SyncGeometry(h);
      }
      return 0;
    case WM_SETTEXT:
      DefWindowProcA(h, msg, wParam, lParam);
      if (h->widget) h->widget->update();
      return TRUE;
    case WM_SETFONT:
      h->font = reinterpret_cast<HFONT>(wParam);
      if (h->widget) h->widget->update();
      return 0;
    case STM_SETICON: {
      HICON old = h->icon;
      h->icon = reinterpret_cast<HICON>(wParam);
      if (h->widget) h->widget->update();
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(h->icon);
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::EditProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  QLineEdit* le = LineEditOf(h);
  QPlainTextEdit* te = TextEditOf(h);
  switch (msg) {
    case WM_SETFONT:
      h->font = reinterpret_cast<HFONT>(wParam);
      ApplyControlFont(h);
      return 0;
    case WM_CREATE:
    case WM_SETTEXT: {
      if (msg == WM_SETTEXT) DefWindowProcA(h, msg, wParam, lParam);
      QString t = h->widget ? ShowEditText(h->widget, h->text) : QString();
      if (le) le->setText(t);
      if (te) te->setPlainText(QString(t).replace(QLatin1String("\r\n"), QLatin1String("\n")));
      return msg == WM_SETTEXT ? TRUE : 0;
    }
    case WM_GETTEXT: {
      h->text = ReadEditText(h);
      return DefWindowProcA(h, msg, wParam, lParam);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(ReadEditText(h).size());
    case WM_KEYDOWN: {
      QKeyEvent* e = h->pendingKey;
      if (e) {
        int vk = VirtualKey(e);
        bool charKey = !e->text().isEmpty() && !(e->modifiers() & Qt::ControlModifier) && vk != VK_RETURN &&
                       vk != VK_ESCAPE && vk != VK_TAB;
        if (!charKey && !(vk == VK_RETURN && te)) PassKeyToWidget(h);
      }
      return DefWindowProcA(h, msg, wParam, lParam);
    }
    case WM_KEYUP:
      return 0;
    case WM_CHAR: {
      h->pendingKey = nullptr;
      if (le && le->isReadOnly()) return 0;
      if (te && te->isReadOnly()) return 0;
      unsigned char c = static_cast<unsigned char>(wParam);
      if (c == VK_BACK) {
        if (le) le->backspace();
        if (te) te->textCursor().deletePreviousChar();
        return 0;
      }
      if (c == '\r' && te) {
        te->insertPlainText(QStringLiteral("\n"));
        return 0;
      }
      if (c < 32 && c != '\t') return 0;
      if ((h->style & ES_NUMBER) && !(c >= '0' && c <= '9')) {
        MessageBeep(0);
        return 0;
      }
      char ch = static_cast<char>(c);
      QString s = FromAnsi(&ch, 1);
      if (h->style & ES_UPPERCASE) s = s.toUpper();
      if (h->style & ES_LOWERCASE) s = s.toLower();
      if (le) {
        if (le->text().size() - le->selectedText().size() >= le->maxLength()) {
          MessageBeep(0);
          return 0;
        }
        le->insert(s);
      }
      if (te) te->insertPlainText(s);
      return 0;
    }
    case WM_SETFOCUS:
      NotifyParent(h, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(h, EN_KILLFOCUS);
      return 0;
    case EM_LIMITTEXT:
      if (le) le->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFE)));
      return 0;
    case WM_COPY:
      if (le) le->copy();
      if (te) te->copy();
      return 0;
    case WM_PASTE:
      if (le) le->paste();
      if (te) te->paste();
      return 0;
    case EM_SETSEL:
      if (te && static_cast<int>(wParam) == 0 && static_cast<int>(lParam) < 0) {
        te->selectAll();
      } else if (te) {
        // Offsets count a line break as the two characters the window text has.
        const QString text = te->toPlainText();
        auto toPosition = [&](int offset) {
          int pos = 0;
          for (int o = 0; pos < text.size() && o < offset; ++pos) o += text[pos] == QLatin1Char('\n') ? 2 : 1;
          return pos;
        };
        QTextCursor c = te->textCursor();
        const int a = static_cast<int>(wParam), b = static_cast<int>(lParam);
        if (a < 0) {
          c.clearSelection();
        } else {
          c.setPosition(toPosition(a));
          c.setPosition(b < 0 ? static_cast<int>(text.size()) : toPosition(b), QTextCursor::KeepAnchor);
        }
        te->setTextCursor(c);
      }
      if (le) {
        int len = le->text().size();
        int a = static_cast<int>(wParam), b = static_cast<int>(lParam);
        if (a < 0) {
          le->deselect();
          return 0;
        }
        if (b < 0 || b > len) b = len;
        a = std::min(a, len);
        le->setSelection(std::min(a, b), std::abs(b - a));
      }
      return 0;
    case EM_GETSEL: {
      int a = 0, b = 0;
      if (le) {
        a = le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
        b = a + le->selectedText().size();
      }
      if (te) {
        const QString text = te->toPlainText();
        auto toOffset = [&](int pos) {
          int o = 0;
          for (int i = 0; i < pos && i < text.size(); ++i) o += text[i] == QLatin1Char('\n') ? 2 : 1;
          return o;
        };
        const QTextCursor c = te->textCursor();
        a = toOffset(c.selectionStart());
        b = toOffset(c.selectionEnd());
      }
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(a);
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(b);
      return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(a), static_cast<WORD>(b)));
    }
    case EM_REPLACESEL:
      if (le) le->insert(FromAnsi(ParamText(lParam)));
      if (te) te->insertPlainText(FromAnsi(ParamText(lParam)));
      return 0;
    case EM_GETMODIFY:
      return le ? le->isModified() : (te ? te->document()->isModified() : 0);
    case EM_SETMODIFY:
      if (le) le->setModified(wParam != 0);
      if (te) te->document()->setModified(wParam != 0);
      return 0;
    case EM_SETREADONLY:
      if (le) le->setReadOnly(wParam != 0);
      if (te) te->setReadOnly(wParam != 0);
      if (wParam) h->style |= ES_READONLY;
      else h->style &= ~static_cast<DWORD>(ES_READONLY);
      return TRUE;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (te && (h->style & ES_WANTRETURN) && wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
      return code;
    }
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::ListBoxProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (CommonControlMessage(h, msg, wParam, lParam, &r)) return r;
  auto* lw = qobject_cast<QListWidget*>(h->widget.data());
  if (lw == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  int n = lw->count();
  int index = static_cast<int>(static_cast<intptr_t>(wParam));
  bool valid = index >= 0 && index < n;
  QSignalBlocker quiet(lw);  // programmatic changes send no notifications
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      const char* text = ParamText(lParam);
      int pos = msg == LB_INSERTSTRING ? (index < 0 || index > n ? n : index)
                                       : ((h->style & LBS_SORT) ? SortedPosition(ListItems(lw), text) : n);
      // A list's row only shows its text (its bytes are kept beside it), so
      // a file name in the system's spelling shows its letters.
      auto* item = new QListWidgetItem(vt_ui::FromProgramText(text));
      item->setData(kAnsiRole, QByteArray(text));
      lw->insertItem(pos, item);
      // The first row tells how high a row is.
      if (n == 0) FitListRows(h);
      return pos;
    }
    case LB_DELETESTRING:
      if (!valid) return LB_ERR;
      delete lw->takeItem(index);
      return lw->count();
    case LB_RESETCONTENT:
      lw->clear();
      return 0;
    case LB_GETCOUNT:
      return n;
    case LB_SETCURSEL:
      if (!valid) {
        lw->setCurrentRow(-1);
        lw->clearSelection();
        return index == -1 ? 0 : LB_ERR;
      }
      lw->setCurrentRow(index);
      return index;
    case LB_GETCURSEL:
      return lw->currentRow() >= 0 && lw->currentItem() && lw->currentItem()->isSelected() ? lw->currentRow() : LB_ERR;
    case LB_SETSEL: {
      int i = static_cast<int>(lParam);
      if (i == -1) {
        for (int k = 0; k < n; ++k) lw->item(k)->setSelected(wParam != 0);
        return 0;
      }
      if (i < 0 || i >= n) return LB_ERR;
      lw->item(i)->setSelected(wParam != 0);
      return 0;
    }
    case LB_GETSEL:
      return valid ? (lw->item(index)->isSelected() ? 1 : 0) : LB_ERR;
    case LB_GETSELCOUNT:
      return static_cast<LRESULT>(lw->selectedItems().size());
    case LB_GETTEXT:
      return valid ? CopyOut(AnsiOfItem(lw->item(index)->data(kAnsiRole)), lParam) : LB_ERR;
    case LB_GETTEXTLEN:
      return valid ? static_cast<LRESULT>(AnsiOfItem(lw->item(index)->data(kAnsiRole)).size()) : LB_ERR;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
      return n == 0 ? LB_ERR : FindItem(ListItems(lw), index, ParamText(lParam), msg == LB_FINDSTRINGEXACT);
    case LB_GETITEMDATA:
      return valid ? static_cast<LRESULT>(lw->item(index)->data(kDataRole).toLongLong()) : LB_ERR;
    case LB_SETITEMDATA:
      if (!valid) return LB_ERR;
      lw->item(index)->setData(kDataRole, QVariant::fromValue<qlonglong>(lParam));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // A click a subclass passed on: the row under it becomes the selection,
      // and a double-click on a row is told as one.
      const int row = lw->indexAt(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))).row();
      if (row < 0) return 0;
      const bool changed = lw->currentRow() != row || !lw->item(row)->isSelected();
      lw->setCurrentRow(row);
      lw->setFocus(Qt::MouseFocusReason);
      quiet.unblock();
      if (!(h->style & LBS_NOTIFY)) return 0;
      if (msg == WM_LBUTTONDOWN || changed) NotifyParent(h, LBN_SELCHANGE);
      if (msg == WM_LBUTTONDBLCLK && IsWindow(h)) NotifyParent(h, LBN_DBLCLK);
      return 0;
    }
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::ComboBoxProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (CommonControlMessage(h, msg, wParam, lParam, &r)) return r;
  auto* cb = qobject_cast<QComboBox*>(h->widget.data());
  if (cb == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  int n = cb->count();
  int index = static_cast<int>(static_cast<intptr_t>(wParam));
  bool valid = index >= 0 && index < n;
  QSignalBlocker quiet(cb);
  switch (msg) {
    case WM_CREATE:
      return 0;
    case WM_SETTEXT:
      DefWindowProcA(h, msg, wParam, lParam);
      if (cb->isEditable()) cb->setEditText(FromAnsi(h->text));
      return TRUE;
    case WM_GETTEXT:
      h->text = cb->isEditable() ? ToAnsi(cb->currentText())
                                 : (cb->currentIndex() >= 0 ? AnsiOfItem(cb->itemData(cb->currentIndex(), kAnsiRole)) : std::string());
      return DefWindowProcA(h, msg, wParam, lParam);
    case WM_GETTEXTLENGTH: {
      char dummy[1];
      (void)dummy;
      SendMessageA(h, WM_GETTEXT, 0, 0);
      return static_cast<LRESULT>(h->text.size());
    }
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      const char* text = ParamText(lParam);
      int pos = msg == CB_INSERTSTRING ? (index < 0 || index > n ? n : index)
                                       : ((h->style & CBS_SORT) ? SortedPosition(ComboItems(cb), text) : n);
      QString keep = cb->currentText();
      int cur = cb->currentIndex();
      cb->insertItem(pos, ItemText(text));
      cb->setItemData(pos, QByteArray(text), kAnsiRole);
      // Adding items selects nothing, as in Win32.
      if (cur < 0) cb->setCurrentIndex(-1);
      if (cb->isEditable()) cb->setEditText(keep);
      return pos;
    }
    case CB_DELETESTRING:
      if (!valid) return CB_ERR;
      cb->removeItem(index);
      return cb->count();
    case CB_RESETCONTENT:
      cb->clear();
      return 0;
    case CB_GETCOUNT:
      return n;
    case CB_SETCURSEL:
      cb->setCurrentIndex(valid ? index : -1);
      return valid ? index : CB_ERR;
    case CB_GETCURSEL:
      return cb->currentIndex() >= 0 ? cb->currentIndex() : CB_ERR;
    case CB_GETLBTEXT:
      return valid ? CopyOut(AnsiOfItem(cb->itemData(index, kAnsiRole)), lParam) : CB_ERR;
    case CB_GETLBTEXTLEN:
      return valid ? static_cast<LRESULT>(AnsiOfItem(cb->itemData(index, kAnsiRole)).size()) : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
      return n == 0 ? CB_ERR : FindItem(ComboItems(cb), index, ParamText(lParam), msg == CB_FINDSTRINGEXACT);
    case CB_GETITEMDATA:
      return valid ? static_cast<LRESULT>(cb->itemData(index, kDataRole).toLongLong()) : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid) return CB_ERR;
      cb->setItemData(index, QVariant::fromValue<qlonglong>(lParam), kDataRole);
      return 0;
    case CB_LIMITTEXT:
      if (cb->lineEdit()) cb->lineEdit()->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(wParam));
      return TRUE;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::ScrollBarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* sb = qobject_cast<QScrollBar*>(h->widget.data());
  if (sb == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  QSignalBlocker quiet(sb);
  switch (msg) {
    case SBM_SETPOS: {
      int old = static_cast<int>(h->userData);
      int pos = std::clamp(static_cast<int>(wParam), sb->minimum(), sb->maximum());
      h->userData = pos;
      sb->setValue(pos);
      return old;
    }
    case SBM_GETPOS:
      return h->userData;
    case SBM_SETRANGE: {
      sb->setRange(static_cast<int>(wParam), static_cast<int>(lParam));
      h->userData = std::clamp(static_cast<int>(h->userData), sb->minimum(), sb->maximum());
      sb->setValue(static_cast<int>(h->userData));
      return static_cast<LRESULT>(h->userData);
    }
    case SBM_GETRANGE:
      if (wParam) *reinterpret_cast<int*>(wParam) = sb->minimum();
      if (lParam) *reinterpret_cast<int*>(lParam) = sb->maximum();
      return 0;
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL) {
  if (bar != SB_CTL) return 0;
  return static_cast<int>(SendMessageA(hwnd, SBM_SETPOS, static_cast<WPARAM>(pos), 0));
}
int GetScrollPos(HWND hwnd, int bar) {
  if (bar != SB_CTL) return 0;
  return static_cast<int>(SendMessageA(hwnd, SBM_GETPOS, 0, 0));
}
BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL) {
  if (bar != SB_CTL || !IsWindow(hwnd)) return FALSE;
  SendMessageA(hwnd, SBM_SETRANGE, static_cast<WPARAM>(minPos), static_cast<LPARAM>(maxPos));
  return TRUE;
}
