#include "ui/window_placement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <vector>

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

QPoint placeBeside(const QWidget& main, QSize size) {
  const QRect screen = main.screen()->availableGeometry();
  const QRect mainFrame = main.frameGeometry();
  std::vector<QRect> taken{mainFrame};
  for (QWidget* other : QApplication::topLevelWidgets()) {
    if (other != &main && other->isVisible() && other->isWindow()) taken.push_back(other->frameGeometry());
  }
  // Every place on the screen, a few pixels apart: the one that covers least of the other windows,
  // and of those the nearest to where the window would stand right beside the main window.
  const QPoint wanted(mainFrame.right() + 1 + kGap, mainFrame.top());
  const int right = std::max(screen.left(), screen.right() + 1 - size.width());
  const int bottom = std::max(screen.top(), screen.bottom() + 1 - size.height());
  constexpr int kStep = 8;
  QPoint best = screen.topLeft();
  long long least = -1, nearest = 0;
  for (int y = screen.top();; y = std::min(y + kStep, bottom)) {
    for (int x = screen.left();; x = std::min(x + kStep, right)) {
      const QRect frame(QPoint(x, y), size);
      long long covered = 0;
      for (const QRect& window : taken) {
        const QRect both = frame.intersected(window);
        if (!both.isEmpty()) covered += static_cast<long long>(both.width()) * both.height();
      }
      const long long distance = static_cast<long long>(x - wanted.x()) * (x - wanted.x()) +
                                 static_cast<long long>(y - wanted.y()) * (y - wanted.y());
      if (least < 0 || covered < least || (covered == least && distance < nearest)) {
        least = covered;
        nearest = distance;
        best = frame.topLeft();
      }
      if (x == right) break;
    }
    if (y == bottom) break;
  }
  return best;
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
