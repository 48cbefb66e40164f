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
};

// Gives `dialog` and every widget in it the classic style (a style set on a widget does not reach its
// children by itself). The style lives as long as the application.
void applyClassicStyle(QWidget* dialog);

}  // namespace velomat
