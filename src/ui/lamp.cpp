#include "ui/lamp.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include "ui/painting.h"

namespace velomat {

namespace {
// Lit in green, darkened on a light field and lightened on a dark one until the lit bulb stands out from
// an unlit one.
const QColor kLitColour(0x2e, 0xb8, 0x2e);
}  // namespace

Lamp::Lamp(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
  setText(caption);
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  connect(this, &QAbstractButton::toggled, this, [this] { update(); });
}

void Lamp::setLit(bool lit) {
  if (isCheckable()) {
    setChecked(lit);
    return;
  }
  if (lit == lit_) return;
  lit_ = lit;
  update();
}

void Lamp::setMarked(bool marked) {
  if (marked == marked_) return;
  marked_ = marked;
  update();
}

namespace {
constexpr int kMargin = 3;
int bulbSize(const QFontMetrics& metrics) {
  return metrics.height() * 3 / 5;
}
}  // namespace

QSize Lamp::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {4 * kMargin + bulbSize(metrics) + metrics.size(Qt::TextShowMnemonic, text()).width(),
          metrics.height() + 2 * kMargin};
}

QRectF Lamp::bulbRect() const {
  const double d = bulbSize(fontMetrics());
  return {kMargin + 0.5, (height() - d) / 2, d, d};
}

void Lamp::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPalette::ColorGroup group = colourGroupOf(*this);
  if (isCheckable()) {
    // A switch the user clicks looks like a button that can be pressed, sunk in while it is closed.
    QStyleOptionButton panel;
    panel.initFrom(this);
    panel.state |= isChecked() || isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonTool, &panel, &p, this);
  }
  paintMark(p, *this, marked_);
  // On a switch's face the ink is the button's; on the window or the mark, the picture's.
  const QColor ink =
      isCheckable() && !marked_ ? palette().color(group, QPalette::ButtonText) : inkOf(*this, marked_);
  const QColor field = palette().color(group, QPalette::Base);
  p.setPen(QPen(ink, 1.2));
  p.setBrush(isLit() && isEnabled() ? standingOut(kLitColour, field, palette().color(group, QPalette::Text))
                                    : field);
  p.drawEllipse(bulbRect());
  p.setPen(ink);
  const QRect caption = rect().adjusted(3 * kMargin + static_cast<int>(bulbSize(fontMetrics())), 0, 0, 0);
  // The caption's "&" marks its key, underlined where the style shows keys.
  const int mnemonic = style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this) != 0
                           ? Qt::TextShowMnemonic
                           : Qt::TextHideMnemonic;
  p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | mnemonic, text());
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

}  // namespace velomat
