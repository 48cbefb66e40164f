// Where the program's windows stand: velomat-sim's main window and simulation window as a pair, and a
// further window (the live view) where it covers least. Some parts of a window must never be covered
// by another window of the program: the main window's run controls, so that "NOT-AUS" is always in
// reach, and the simulation window's stick, which drives the motors in velomat-sim. The placement
// itself is a set of pure functions of rectangles; the rest gathers those rectangles from the windows.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace velomat {

struct PairPlacement {
  QPoint main;      // the main window's frame, top left
  QPoint beside;    // the simulation window's frame, top left
  int layout;       // which of the simulation window's layouts: an index into the sizes given
  bool sideBySide;  // false: the simulation window stands over the main window's left part
};

// Sizes are those of the windows with their frames; `screen` is the screen's available area.
// `mainKeepClear` is what of the main window no other window may cover, in the main window's frame
// (its top left at 0,0); `layouts` are the simulation window's layouts, the one preferred first.
// The pair stands side by side in the screen's middle, the simulation window to the right, in the first
// layout that fits so. Where none does, the main window keeps the screen's right edge and the
// simulation window its left edge, over the main window's left part but left of `mainKeepClear`, in
// the first layout that fits there; where none fits there either, in the one that sticks out least.
// Both stand at the screen's top: the room below them is where a further window (the live view) fits
// on a laptop's screen without covering either.
PairPlacement placePair(const QRect& screen, QSize main, const QRect& mainKeepClear,
                        const std::vector<QSize>& layouts);

// Where a window of `size` (with its frame) stands on `screen`: wholly on it where it is not larger;
// clear of every part in `keepClear` where the screen has room for that, otherwise covering as little
// as it can of the first part, then of the second, and so on; then covering as little as it can of
// `windows` (where they overlap, that part counts once); of such places the nearest to `wanted`.
// The frame's top left.
QPoint placeClear(const QRect& screen, QSize size, const std::vector<QRect>& keepClear,
                  const std::vector<QRect>& windows, QPoint wanted);

// Marks `part` of its window as one that no other window of the program may cover.
void keepClear(QWidget& part);
// The parts of `window` marked by keepClear that it shows, as one rectangle in the window's own
// coordinates; empty when it shows none. Also before the window is shown.
QRect keepClearArea(const QWidget& window);

// Where `window` (not yet shown, or hidden) stands on the screen of `main`: clear of what the program's
// shown windows keep clear, what `main` keeps clear first; covering as little as it can of them; of
// such places the nearest to the right of `main` (placeClear). The frame's top left.
QPoint placeBeside(const QWidget& main, const QWidget& window);

// A window's frame as the window system draws it; before it is framed, a fair guess: a title bar of
// two lines of the application's font and a thin border.
QMargins frameOf(const QWidget& window);

}  // namespace velomat
