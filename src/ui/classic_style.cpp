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
