#include "ui/classic_style.h"

#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "ui/painting.h"

namespace velomat {

namespace {

// The drop-down arrow a little narrower than a line is high: the classic lists are 28 dialog units
// wide and must still show "POV1" in full.
int arrowWidth(const QFontMetrics& metrics) {
  return std::max(9, metrics.height() - 1);
}
constexpr int kComboFrame = 1;   // the frame around a closed list
constexpr int kComboMargin = 2;  // between the frame and the text field

}  // namespace

ClassicStyle::ClassicStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QRect ClassicStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                   const QWidget* widget) const {
  if (control == CC_ComboBox) {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (combo != nullptr && !combo->editable && (sub == SC_ComboBoxArrow || sub == SC_ComboBoxEditField)) {
      const QRect r = option->rect;
      const int arrow = arrowWidth(option->fontMetrics);
      const QRect arrowRect(r.right() - kComboFrame - arrow + 1, r.top() + kComboFrame, arrow,
                            r.height() - 2 * kComboFrame);
      if (sub == SC_ComboBoxArrow) return visualRect(option->direction, r, arrowRect);
      const QRect field(r.left() + kComboFrame + kComboMargin, r.top() + kComboFrame + kComboMargin,
                        arrowRect.left() - r.left() - kComboFrame - kComboMargin,
                        r.height() - 2 * (kComboFrame + kComboMargin));
      return visualRect(option->direction, r, field);
    }
  }
  if (control == CC_GroupBox) {
    const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (group != nullptr) {
      // The classic group: the title sits on the top line of the frame, which runs half a line below
      // the top of the group's rectangle, and the frame fills the rest of the rectangle.
      const QRect r = option->rect;
      const QFontMetrics& metrics = option->fontMetrics;
      const int lineY = r.top() + metrics.height() / 2;
      switch (sub) {
        case SC_GroupBoxFrame:
          return QRect(r.left(), lineY, r.width(), r.bottom() - lineY + 1);
        case SC_GroupBoxLabel: {
          if (group->text.isEmpty()) return {};
          const int width = metrics.horizontalAdvance(group->text) + 4;  // 2 px clear either side
          return visualRect(
              option->direction, r,
              QRect(r.left() + metrics.averageCharWidth() + 2, r.top(), width, metrics.height()));
        }
        case SC_GroupBoxContents:
          return QRect(r.left() + 2, r.top() + metrics.height(), r.width() - 4,
                       r.height() - metrics.height() - 2);
        default:
          break;
      }
    }
  }
  return QProxyStyle::subControlRect(control, option, sub, widget);
}

void ClassicStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
  const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || group == nullptr) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  const QRect frame = subControlRect(CC_GroupBox, option, SC_GroupBoxFrame, widget);
  const QRect label = subControlRect(CC_GroupBox, option, SC_GroupBoxLabel, widget);
  painter->save();
  // An etched frame: a dark line with a light one beside it, broken where the title sits.
  QRegion clip(option->rect);
  if (!label.isEmpty()) clip -= QRegion(label);
  painter->setClipRegion(clip);
  painter->setPen(option->palette.color(QPalette::Light));
  painter->drawRect(frame.adjusted(1, 1, -1, -1));
  painter->setPen(option->palette.color(QPalette::Mid));
  painter->drawRect(frame.adjusted(0, 0, -2, -2));
  painter->restore();
  if (!label.isEmpty()) {
    drawItemText(painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, option->palette,
                 option->state & State_Enabled, group->text, QPalette::WindowText);
  }
}

void ClassicStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  const bool radio = element == PE_IndicatorRadioButton;
  if (!radio && element != PE_IndicatorCheckBox) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  // The option's palette is already set to the control's colour group (switched off or not).
  const QPalette& palette = option->palette;
  const QColor window = palette.color(QPalette::Window);
  const QColor field = palette.color(QPalette::Base);
  const QColor ink = palette.color(QPalette::Text);
  // The frame takes the focus colour while the keys moved the focus here, as Fusion's does.
  const bool keyFocus = (option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange);
  const QColor frame = standingOut(palette.color(keyFocus ? QPalette::Highlight : QPalette::Mid), window,
                                   palette.color(QPalette::WindowText));
  // Pressed, the field takes the window's colour, as a classic control sinks in.
  const QColor ground = (option->state & State_Sunken) ? window : field;

  const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
  const double side = std::min(box.width(), box.height());
  const QRectF square(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  // A little over a pixel wide, so that the round frame covers whole pixels where it is steepest.
  painter->setPen(QPen(frame, 1.3));
  painter->setBrush(ground);
  if (radio) {
    painter->drawEllipse(square);
    if (option->state & State_On) {
      const double r = std::max(1.5, side * 0.22);
      painter->setPen(Qt::NoPen);
      painter->setBrush(ink);
      painter->drawEllipse(square.center(), r, r);
    }
  } else {
    painter->drawRect(square);
    if (option->state & (State_On | State_NoChange)) {
      // The tick: down to the lower third, then up to the far corner; a tick half the ink's way
      // for a box that is neither ticked nor clear.
      const QColor tick =
          (option->state & State_NoChange) ? standingOut(palette.color(QPalette::Mid), ground, ink) : ink;
      painter->setPen(QPen(tick, std::max(1.5, side / 7), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter->setBrush(Qt::NoBrush);
      const QRectF in = square.adjusted(side * 0.22, side * 0.22, -side * 0.22, -side * 0.22);
      const QPointF points[] = {{in.left(), in.top() + in.height() * 0.55},
                                {in.left() + in.width() * 0.38, in.bottom()},
                                {in.right(), in.top()}};
      painter->drawPolyline(points, 3);
    }
  }
  painter->restore();
}

int ClassicStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  const int base = QProxyStyle::pixelMetric(metric, option, widget);
  switch (metric) {
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
    case PM_IndicatorWidth:
    case PM_IndicatorHeight: {
      const int height = option != nullptr ? option->rect.height() : widget != nullptr ? widget->height() : 0;
      return height > 0 ? std::min(base, height) : base;
    }
    default:
      return base;
  }
}

double contrastRatio(const QColor& a, const QColor& b) {
  // Relative luminance of an sRGB colour, and the ratio of two of them, as the web's accessibility
  // guidelines define them.
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void applyClassicStyle(QWidget* dialog) {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new ClassicStyle;
    style->setParent(qApp);  // ends with the application
  }
  dialog->setStyle(style);
  for (QWidget* child : dialog->findChildren<QWidget*>()) child->setStyle(style);

  // A list that is switched off still shows a setting the user wants to read (a stored end switch, an
  // axis, a speed source): its text keeps a contrast of 3:1 to the list's face, a little more for the
  // face's gradient, while it stays lighter than the text of a list in use.
  constexpr double kReadableSwitchedOff = 3.3;
  QPalette palette = dialog->palette();
  const QColor face = palette.color(QPalette::Disabled, QPalette::Button);
  const QColor grey = palette.color(QPalette::Disabled, QPalette::Text);
  const QColor ink = palette.color(QPalette::Active, QPalette::Text);
  QColor text = grey;
  for (int step = 1; step <= 20 && contrastRatio(text, face) < kReadableSwitchedOff; ++step) {
    const double t = step / 20.0;  // from the theme's grey towards the text of a list in use
    text = QColor::fromRgbF(static_cast<float>(grey.redF() + (ink.redF() - grey.redF()) * t),
                            static_cast<float>(grey.greenF() + (ink.greenF() - grey.greenF()) * t),
                            static_cast<float>(grey.blueF() + (ink.blueF() - grey.blueF()) * t));
  }
  palette.setColor(QPalette::Disabled, QPalette::Text, text);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, text);
  for (QComboBox* list : dialog->findChildren<QComboBox*>()) list->setPalette(palette);
}

}  // namespace velomat
