// Where velomat-sim's two windows stand: the main window and the simulation window side by side,
// wholly on the screen, the simulation window in its compact layout where its one column is too high.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace velomat {

struct PairPlacement {
  QPoint main;      // the main window's frame, top left
  QPoint beside;    // the simulation window's frame, top left
  bool compact;     // the simulation window in its compact layout
  bool sideBySide;  // false: the screen holds neither layout beside the main window
};

// Sizes are those of the windows with their frames; `screen` is the screen's available area. The pair
// stands side by side in the screen's middle, the simulation window to the right, in its one column
// where that fits and compact where only that fits. Where neither fits, the main window keeps the
// screen's left edge and the compact simulation window its right edge, over the main window's right
// part (its run controls), clear of the motor panels as far as the screen allows.
PairPlacement placeSideBySide(const QRect& screen, QSize main, QSize beside, QSize besideCompact);

// Where a further window of the program stands, `size` with its frame: wholly on the screen, covering
// as little as the screen allows of `main` and of the program's other windows that show, and of such
// places the nearest to the right of `main`. The frame's top left.
QPoint placeBeside(const QWidget& main, QSize size);

// A window's frame as the window system draws it; before it is framed, a fair guess: a title bar of
// two lines of the application's font and a thin border.
QMargins frameOf(const QWidget& window);

}  // namespace velomat
