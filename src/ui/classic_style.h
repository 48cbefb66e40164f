// The look of the program's dialogs: the platform's Fusion style with the classic dialog's group box
// (its title on the frame's top line) and a narrow drop-down arrow, so that every entry of the narrow
// lists shows in full when the list is closed.
#pragma once

#include <QProxyStyle>

namespace velomat {

class ClassicStyle final : public QProxyStyle {
 public:
  ClassicStyle();

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override;
  // A radio button's circle and a check box's square are no higher than their control, as in the
  // classic dialog, where an 8-unit radio button holds its whole circle at any font and scale.
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
  // A radio button's circle and a check box's square as the classic dialog draws them: a field in the
  // palette's base colour, framed by a line that stands out from the window, with the dot or the tick
  // in the field's ink; so that a light and a dark palette both show them.
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

// Gives `dialog` and every widget in it the classic style (a style set on a widget does not reach its
// children by itself), and lists that are switched off a text that can still be read. The style lives
// as long as the application.
void applyClassicStyle(QWidget* dialog);

// The contrast ratio of two colours, 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace velomat
