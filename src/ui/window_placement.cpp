#include "ui/window_placement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <tuple>
#include <vector>

namespace velomat {

namespace {

constexpr int kGap = 8;         // between two windows, where there is room for it
constexpr int kSearchStep = 8;  // pixels between the places placeClear tries, besides the edges
constexpr char kKeepClear[] = "velomat.keepClear";

long long areaOf(const QRect& r) {
  return r.isEmpty() ? 0 : static_cast<long long>(r.width()) * r.height();
}

// The places to try along one axis: every `kSearchStep` from `low` to `high`, and each place where the
// window's near or far side meets an edge of one of the rectangles, so that a gap that just fits is
// found; all within low..high.
std::vector<int> placesAlong(int low, int high, int length, const std::vector<int>& edges) {
  std::vector<int> places;
  for (int p = low; p < high; p += kSearchStep) places.push_back(p);
  places.push_back(high);
  for (int edge : edges) {
    for (int p : {edge, edge - length}) places.push_back(std::clamp(p, low, high));
  }
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());
  return places;
}

}  // namespace

PairPlacement placePair(const QRect& screen, QSize main, const QRect& mainKeepClear,
                        const std::vector<QSize>& layouts) {
  const int count = static_cast<int>(layouts.size());
  for (int i = 0; i < count; ++i) {
    const QSize b = layouts[static_cast<size_t>(i)];
    const int width = main.width() + b.width();
    const int height = std::max(main.height(), b.height());
    if (width > screen.width() || height > screen.height()) continue;
    const int gap = std::min(kGap, screen.width() - width);
    const int left = screen.left() + (screen.width() - width - gap) / 2;
    return {{left, screen.top()}, {left + main.width() + gap, screen.top()}, i, true};
  }

  // Not side by side. The run controls sit in the main window's right part: the main window keeps the
  // screen's right edge, and the simulation window covers its left part, up to what must stay clear.
  const int mainLeft = std::max(screen.left(), screen.right() + 1 - main.width());
  const int clearLeft = mainLeft + (mainKeepClear.isEmpty() ? main.width() : mainKeepClear.left());
  const int room = clearLeft - screen.left();
  // The first layout that fits left of what stays clear; where none does, the one that sticks out
  // least, below the screen first, then over what stays clear.
  int chosen = 0;
  std::tuple<int, int> least{-1, -1};
  for (int i = 0; i < count; ++i) {
    const QSize b = layouts[static_cast<size_t>(i)];
    const std::tuple<int, int> over{std::max(0, b.height() - screen.height()), std::max(0, b.width() - room)};
    if (std::get<0>(least) < 0 || over < least) {
      least = over;
      chosen = i;
    }
    if (over == std::tuple<int, int>{0, 0}) break;
  }
  return {{mainLeft, screen.top()}, {screen.left(), screen.top()}, chosen, false};
}

QPoint placeClear(const QRect& screen, QSize size, const std::vector<QRect>& keepClear,
                  const std::vector<QRect>& windows, QPoint wanted) {
  const int right = std::max(screen.left(), screen.right() + 1 - size.width());
  const int bottom = std::max(screen.top(), screen.bottom() + 1 - size.height());
  std::vector<int> xEdges{wanted.x()}, yEdges{wanted.y()};
  QRegion taken;
  for (const std::vector<QRect>* rects : {&keepClear, &windows}) {
    for (const QRect& r : *rects) {
      xEdges.insert(xEdges.end(), {r.left(), r.right() + 1});
      yEdges.insert(yEdges.end(), {r.top(), r.bottom() + 1});
    }
  }
  for (const QRect& window : windows) taken += window;  // where windows overlap, their part counts once

  // What matters, in this order: each part that must stay clear, the first given first; the windows;
  // the way from `wanted`. Compared as words are in a dictionary.
  std::vector<long long> least, cost(keepClear.size() + 2);
  QPoint best = screen.topLeft();
  for (int y : placesAlong(screen.top(), bottom, size.height(), yEdges)) {
    for (int x : placesAlong(screen.left(), right, size.width(), xEdges)) {
      const QRect frame(QPoint(x, y), size);
      size_t i = 0;
      for (const QRect& part : keepClear) cost[i++] = areaOf(frame.intersected(part));
      long long windowsCovered = 0;
      for (const QRect& part : taken.intersected(frame)) windowsCovered += areaOf(part);
      cost[i++] = windowsCovered;
      const long long dx = x - wanted.x(), dy = y - wanted.y();
      cost[i] = dx * dx + dy * dy;
      if (least.empty() || cost < least) {
        least = cost;
        best = frame.topLeft();
      }
    }
  }
  return best;
}

void keepClear(QWidget& part) {
  part.setProperty(kKeepClear, true);
}

QRect keepClearArea(const QWidget& window) {
  QRect area;
  for (const QWidget* part : window.findChildren<QWidget*>()) {
    if (part->property(kKeepClear).toBool() && part->isVisibleTo(&window))
      area |= QRect(part->mapTo(&window, QPoint()), part->size());
  }
  return area;
}

QPoint placeBeside(const QWidget& main, const QWidget& window) {
  const QRect screen = main.screen()->availableGeometry();
  const QRect mainFrame = main.frameGeometry();
  std::vector<QRect> keepClear, windows;
  // The main window's run controls first: where not everything can stay clear, they do.
  std::vector<const QWidget*> others{&main};
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other != &main) others.push_back(other);
  }
  for (const QWidget* other : others) {
    if (other == &window || !other->isVisible() || !other->isWindow()) continue;
    windows.push_back(other->frameGeometry());
    const QRect clear = keepClearArea(*other);
    if (!clear.isEmpty()) keepClear.emplace_back(other->mapToGlobal(clear.topLeft()), clear.size());
  }
  const QPoint wanted(mainFrame.right() + 1 + kGap, mainFrame.top());
  // Before it is framed, its frame is as the shown main window's, none where the window system draws
  // none: the same window system draws both.
  const QRect mainInner = main.geometry();
  const QMargins frame =
      window.isVisible() ? frameOf(window)
      : main.isVisible()
          ? QMargins(mainInner.left() - mainFrame.left(), mainInner.top() - mainFrame.top(),
                     mainFrame.right() - mainInner.right(), mainFrame.bottom() - mainInner.bottom())
          : frameOf(main);
  return placeClear(screen, window.size().grownBy(frame), keepClear, windows, wanted);
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
