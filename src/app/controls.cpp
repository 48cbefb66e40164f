#include "app/controls.h"

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

MultiLineButton::MultiLineButton(const QString& text, QWidget* parent, bool flat)
    : QPushButton(text, parent) {
  setFlat(flat);
}

void MultiLineButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                       QPalette::ButtonText);
}

}  // namespace velomat
