#include "tests/platform/support/cut_texts.h"

#include "platform/win/dialog.h"
#include "platform/win/ui_internal.h"

#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWidget>

#include <algorithm>

namespace {

std::vector<QString>* g_cut = nullptr;

// A text DrawText paints (a label, an owner-drawn item) is cut when its
// lines take more room than its rectangle gives.
void NoteDrawnText(const QString& text, const QRect& room, const QRect& taken) {
  if (g_cut != nullptr && (taken.width() > room.width() || taken.top() < room.top() || taken.bottom() > room.bottom()))
    g_cut->push_back(text);
}

// A button's text as it shows: "&&" is one ampersand, a single "&" marks a letter.
QString ShownText(QString text) {
  text.replace(QLatin1String("&&"), QChar(0xE000)).remove(QLatin1Char('&'));
  return text.replace(QChar(0xE000), QLatin1Char('&'));
}

// Each item of a list or drop-down list drawn into a row as wide as where
// the control shows it; owner-drawn items draw through DrawText, which
// records them when cut.
void CheckItems(QWidget* control, QAbstractItemModel* model, QAbstractItemDelegate* delegate, const QRect& room,
                bool ownerDrawn, std::vector<QString>* cut) {
  const QFontMetrics fm(control->font());
  for (int i = 0; i < model->rowCount(); ++i) {
    const QModelIndex index = model->index(i, 0);
    if (ownerDrawn) {
      QPixmap row(room.size().expandedTo(QSize(1, 1)));
      QPainter p(&row);
      QStyleOptionViewItem option;
      option.initFrom(control);
      option.rect = QRect(QPoint(0, 0), room.size());
      delegate->paint(&p, option, index);
    } else {
      const QString text = index.data(Qt::DisplayRole).toString();
      if (fm.horizontalAdvance(text) > room.width()) cut->push_back(text);
    }
  }
}
}  // namespace

std::vector<std::string> CutControlTexts(HWND window) {
  std::vector<std::string> out;
  if (!IsWindow(window) || !window->widget) return out;
  std::vector<QString> cut;
  g_cut = &cut;
  vt_ui::WatchDrawnTexts(NoteDrawnText);
  // Labels and the chosen items of owner-drawn lists draw through DrawText.
  window->widget->grab();
  for (HWND c : vt_ui::AllWindows()) {
    if (c->parent != window || !(c->style & WS_VISIBLE) || !c->widget) continue;
    QWidget* w = c->widget.data();
    const QFontMetrics fm(w->font());
    QStyle* style = w->style();
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
      if (check->sizeHint().width() > w->width()) cut.push_back(check->text());
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      if (radio->sizeHint().width() > w->width()) cut.push_back(radio->text());
    } else if (auto* push = qobject_cast<QPushButton*>(w)) {
      const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) +
                               style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w));
      if (fm.horizontalAdvance(ShownText(push->text())) + margins > w->width()) cut.push_back(push->text());
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      // The title sits between the frame's corners.
      if (fm.horizontalAdvance(ShownText(group->title())) + 2 * fm.averageCharWidth() > w->width())
        cut.push_back(group->title());
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = combo->isEditable();
      const QRect room = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
      CheckItems(combo, combo->model(), combo->itemDelegate(), room, (c->style & CBS_OWNERDRAWFIXED) != 0, &cut);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      QRect room = list->viewport()->rect();
      // A row's text stands a few pixels in from the row's edges.
      room.setWidth(room.width() - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1));
      if (list->count() > 0) room.setHeight(list->sizeHintForRow(0));
      CheckItems(list, list->model(), list->itemDelegate(), room, (c->style & LBS_OWNERDRAWFIXED) != 0, &cut);
    }
  }
  vt_ui::WatchDrawnTexts(nullptr);
  g_cut = nullptr;
  for (const QString& t : cut)
    if (std::find(out.begin(), out.end(), t.toStdString()) == out.end()) out.push_back(t.toStdString());
  return out;
}
