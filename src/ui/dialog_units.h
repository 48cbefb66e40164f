// Dialog units: the dialogs are laid out in units of the dialog font, a quarter of its average
// character width across and an eighth of its line height down, so they scale with the font.
#pragma once

#include <QFont>
#include <QRect>

namespace velomat {

// The dialogs' font: 8 points, sans serif.
QFont dialogFont();

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int x(int units) const { return (units * charWidth_ + 2) / 4; }  // rounded, like the classic mapping
  int y(int units) const { return (units * lineHeight_ + 4) / 8; }
  QRect rect(int x0, int y0, int width, int height) const {
    return QRect(x(x0), y(y0), x(x0 + width) - x(x0), y(y0 + height) - y(y0));
  }
  int charWidth() const { return charWidth_; }
  int lineHeight() const { return lineHeight_; }

 private:
  int charWidth_;
  int lineHeight_;
};

}  // namespace velomat
