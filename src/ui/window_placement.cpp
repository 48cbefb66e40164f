#include "ui/window_placement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace velomat {

namespace {
constexpr int kGap = 8;  // between the two windows, where there is room for it
}  // namespace

PairPlacement placeSideBySide(const QRect& screen, QSize main, QSize beside, QSize besideCompact) {
  for (bool compact : {false, true}) {
    const QSize b = compact ? besideCompact : beside;
    const int width = main.width() + b.width();
    const int height = std::max(main.height(), b.height());
    if (width > screen.width() || height > screen.height()) continue;
    const int gap = std::min(kGap, screen.width() - width);
    const int left = screen.left() + (screen.width() - width - gap) / 2;
    const int top = screen.top() + (screen.height() - height) / 2;  // the tops in line
    return {{left, top}, {left + main.width() + gap, top}, compact, true};
  }
  const auto topFor = [&screen](int height) {
    return std::max(screen.top(), screen.top() + (screen.height() - height) / 2);
  };
  const int besideLeft = std::max(screen.left(), screen.right() + 1 - besideCompact.width());
  return {{screen.left(), topFor(main.height())}, {besideLeft, topFor(besideCompact.height())}, true, false};
}

QMargins frameOf(const QWidget& window) {
  const QRect frame = window.frameGeometry(), inner = window.geometry();
  if (window.isVisible() && frame != inner) {
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
  }
  const int line = QFontMetrics(QApplication::font()).height();
  return {4, 2 * line + 4, 4, 4};
}

}  // namespace velomat
