#include "ui/controls.h"

#include <algorithm>

#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace velomat {

AutoRadioButton::AutoRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
  // Qt's own exclusivity refuses to clear the last selected button; the group is kept here instead.
  setAutoExclusive(false);
}

void AutoRadioButton::nextCheckState() {
  for (AutoRadioButton* other : group_) {
    if (other != this) other->setChecked(false);
  }
  setChecked(true);
}

bool AutoRadioButton::isTabStop() const {
  if (isChecked() || group_.empty()) return true;
  for (const AutoRadioButton* other : group_) {
    if (other->isChecked()) return false;
  }
  return group_.front() == this;
}

void AutoRadioButton::keyPressEvent(QKeyEvent* event) {
  int step = 0;
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
      step = -1;
      break;
    case Qt::Key_Down:
    case Qt::Key_Right:
      step = 1;
      break;
    default:
      QRadioButton::keyPressEvent(event);
      return;
  }
  const auto self = std::find(group_.begin(), group_.end(), this);
  if (self == group_.end()) {
    QRadioButton::keyPressEvent(event);
    return;
  }
  // The next enabled button of the group, round the end; it takes the focus and is clicked.
  const auto count = static_cast<std::ptrdiff_t>(group_.size());
  std::ptrdiff_t index = self - group_.begin();
  for (std::ptrdiff_t tried = 1; tried < count; ++tried) {
    index = (index + step + count) % count;
    AutoRadioButton* next = group_[static_cast<size_t>(index)];
    if (next->isEnabled() && next->isVisible()) {
      next->setFocus(Qt::OtherFocusReason);
      next->click();
      break;
    }
  }
  event->accept();
}

void MultiLineCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_CheckBox, option);
  const QRect area = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
  painter.drawItemText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, palette(), isEnabled(),
                       caption, QPalette::WindowText);
}

MultiLineButton::MultiLineButton(const QString& text, QWidget* parent, bool flat)
    : QPushButton(text, parent) {
  setFlat(flat);
}

void MultiLineButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  // A flat button draws no face, and the style shows a button's focus on its face (the frame of the
  // default button, which a dialog's focused button is): with the focus, the flat button shows its
  // face as any button does.
  if (option.state & QStyle::State_HasFocus) option.features &= ~QStyleOptionButton::Flat;
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                       QPalette::ButtonText);
}

}  // namespace velomat
