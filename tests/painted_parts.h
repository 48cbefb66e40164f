// The parts of the pictures the program paints itself (axis bars, the hat, lamps, output gauges, the
// stick pad, radio circles and check squares) and the ground each stands on, so that a test can check
// how well each stands out: lines, marks, discs and bands 3:1, texts 4.5:1.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPalette>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/stick_pad.h"
#include "ui/axis_bar.h"
#include "ui/classic_style.h"
#include "ui/lamp.h"
#include "ui/output_gauge.h"
#include "window_fit.h"

namespace velomat::testing {

inline constexpr double kLine = 3.0;  // lines, marks, discs, bands
inline constexpr double kText = 4.5;

// The two palettes the windows are checked in: Fusion's light one, and a dark one as a dark GTK theme
// gives it, whose greys lie close together (window #323232, fields #242424, mid #2C2C2C).
inline QPalette lightPalette() {
  return QApplication::style()->standardPalette();
}
inline QPalette darkPalette() {
  QPalette dark;
  const auto set = [&dark](QPalette::ColorRole role, const char* active, const char* disabled) {
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
      dark.setColor(group, role, QColor(active));
    dark.setColor(QPalette::Disabled, role, QColor(disabled));
  };
  set(QPalette::Window, "#323232", "#323232");
  set(QPalette::WindowText, "#eeeeec", "#919190");
  set(QPalette::Base, "#242424", "#2b2b2b");
  set(QPalette::AlternateBase, "#2a2a2a", "#2a2a2a");
  set(QPalette::Text, "#eeeeec", "#919190");
  set(QPalette::Button, "#373737", "#323232");
  set(QPalette::ButtonText, "#eeeeec", "#919190");
  set(QPalette::BrightText, "#ffffff", "#ffffff");
  set(QPalette::Light, "#464646", "#3c3c3c");
  set(QPalette::Midlight, "#3a3a3a", "#353535");
  set(QPalette::Mid, "#2c2c2c", "#2c2c2c");
  set(QPalette::Dark, "#1e1e1e", "#1e1e1e");
  set(QPalette::Shadow, "#000000", "#000000");
  set(QPalette::Highlight, "#15539e", "#2a2a2a");
  set(QPalette::HighlightedText, "#ffffff", "#919190");
  set(QPalette::ToolTipBase, "#000000", "#000000");
  set(QPalette::ToolTipText, "#ffffff", "#ffffff");
  set(QPalette::PlaceholderText, "#919190", "#919190");
  return dark;
}

// Sets `palette` on the application for as long as it lives, and the palette before it again after.
class PaletteInUse {
 public:
  explicit PaletteInUse(const QPalette& palette) : before_(QApplication::palette()) {
    QApplication::setPalette(palette);
  }
  ~PaletteInUse() { QApplication::setPalette(before_); }
  PaletteInUse(const PaletteInUse&) = delete;
  PaletteInUse& operator=(const PaletteInUse&) = delete;

 private:
  QPalette before_;
};

// One part of a picture and its ground: the ground is the colour at a point of the picture, or a colour
// of the palette where the ground lies outside the widget, or (for a text) the commonest colour of the
// part's own area.
struct PaintedPart {
  std::string what;
  QRect area;  // where the part is drawn, in the widget's coordinates
  std::optional<QPoint> groundAt;
  std::optional<QColor> groundColour;
  double least;
};

// How far the part stands out: the pixel of its area farthest from its ground, against the ground.
inline double partContrast(const QImage& picture, const PaintedPart& part) {
  if (!part.groundAt && !part.groundColour) return drawnContrast(picture, part.area);
  const QColor ground =
      part.groundColour ? *part.groundColour : QColor(picture.pixel(part.groundAt->x(), part.groundAt->y()));
  double best = 1;
  const QRect inside = part.area.intersected(picture.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x)
      best = std::max(best, contrastRatio(QColor(picture.pixel(x, y)), ground));
  }
  return best;
}

inline QRect around(QPointF point, int half = 1) {
  const QPoint p = point.toPoint();
  return {p.x() - half, p.y() - half, 2 * half + 1, 2 * half + 1};
}

inline QColor paletteColour(const QWidget* w, QPalette::ColorRole role) {
  return w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, role);
}

inline void axisBarParts(AxisBar* bar, std::vector<PaintedPart>& parts) {
  const QRect t = bar->track();
  const int mid = bar->height() / 2;
  const QPoint ground(2, mid);  // the window, or the mark while the bar is marked
  parts.push_back({"name", QRect(4, 0, t.left() - 6, bar->height()), std::nullopt, std::nullopt, kText});
  parts.push_back({"value", QRect(t.right() + 4, 0, bar->width() - t.right() - 6, bar->height()),
                   std::nullopt, std::nullopt, kText});
  parts.push_back({"frame", QRect(t.left(), t.top() + 2, 1, t.height() - 4), ground, std::nullopt, kLine});
  // The marker against whatever lies beside it: the field or the band.
  const int x = bar->xOf(bar->value());
  const int beside = x + 5 < t.right() - 1 ? x + 5 : x - 5;
  parts.push_back(
      {"marker", QRect(x - 1, t.top() + 2, 3, t.height() - 4), QPoint(beside, mid), std::nullopt, kLine});
  if (bar->hasBand()) {
    // The band's end farther from the marker, against the field beyond it.
    const bool low = bar->value() >= (bar->bandLow() + bar->bandHigh()) / 2;
    const int edge = bar->xOf(low ? bar->bandLow() : bar->bandHigh());
    parts.push_back({"dead band", QRect(low ? edge + 2 : edge - 2, t.top() + 2, 1, t.height() - 4),
                     QPoint(low ? edge - 3 : edge + 3, mid), std::nullopt, kLine});
  }
}

inline void hatParts(HatView* hat, std::vector<PaintedPart>& parts) {
  const QPointF centre(hat->width() / 2.0, hat->height() / 2.0);
  const QPointF forward = hat->tipOf(0);
  const double r = centre.y() - forward.y() + 2;  // the disc's radius
  parts.push_back(
      {"disc", around(centre - QPointF(r, 0)), QPoint(1, hat->height() / 2), std::nullopt, kLine});
  const uint32_t pov = hat->pov();
  const bool centred = pov > 36000;
  // The pointer (or the centre's dot) against the disc where the pointer does not go.
  const QPointF empty = centred ? (centre + forward) / 2 : hat->tipOf((pov + 18000) % 36000);
  parts.push_back({"pointer", around(hat->tipOf(pov)), empty.toPoint(), std::nullopt, kLine});
}

inline void lampParts(Lamp* lamp, std::vector<PaintedPart>& parts) {
  const QRectF bulb = lamp->bulbRect();
  const QPoint ground(static_cast<int>(bulb.right()) + 3, lamp->height() / 2);
  parts.push_back({"bulb", around(QPointF(bulb.right(), bulb.center().y())), ground, std::nullopt, kLine});
  if (lamp->isLit()) {
    parts.push_back({"lit bulb against an unlit one", around(bulb.center()), std::nullopt,
                     paletteColour(lamp, QPalette::Base), kLine});
  }
  parts.push_back({"caption", QRect(ground.x() + 2, 0, lamp->width() - ground.x() - 2, lamp->height()),
                   std::nullopt, std::nullopt, kText});
}

inline void gaugeParts(OutputGauge* gauge, std::vector<PaintedPart>& parts) {
  const int h = gauge->height();
  const QRectF bar = gauge->barRect();
  parts.push_back({"arrow or stop square", QRect(0, 0, h, h), QPoint(1, 1), std::nullopt, kLine});
  parts.push_back({"bar's frame", QRect(static_cast<int>(bar.left()), h / 2 - 1, 1, 3),
                   QPoint(static_cast<int>(bar.left()) - 2, h / 2), std::nullopt, kLine});
  if (gauge->fill() > 0.05) {
    parts.push_back({"bar's fill", around(QPointF(bar.left() + 3, bar.center().y())), std::nullopt,
                     paletteColour(gauge, QPalette::Base), kLine});
  }
}

inline void stickParts(StickPad* pad, std::vector<PaintedPart>& parts) {
  const QPointF centre = pad->pointOf({0, 0});
  const QPointF corner = pad->pointOf({-1, -1});  // the gate's upper left corner
  const int top = static_cast<int>(std::lround(corner.y()));
  parts.push_back({"frame", QRect(0, pad->height() / 2 + 3, 2, 3), std::nullopt,
                   paletteColour(pad, QPalette::Window), kLine});
  parts.push_back({"cross", QRect(static_cast<int>(centre.x()) - 1, 5, 3, 3),
                   QPoint(static_cast<int>(centre.x()) + 4, 6), std::nullopt, kLine});
  parts.push_back({"gate",
                   QRect(static_cast<int>(centre.x()) + 3, top - 1,
                         static_cast<int>(pad->pointOf({1, 0}).x() - centre.x()) - 6, 3),
                   QPoint(static_cast<int>(centre.x()) + 8, top - 4), std::nullopt, kLine});
  for (Qt::Orientation axis : {Qt::Horizontal, Qt::Vertical})
    parts.push_back(
        {axis == Qt::Horizontal ? "X" : "Y", pad->axisNameRect(axis), std::nullopt, std::nullopt, kText});
  const QPointF knob = pad->pointOf(pad->deflection());
  const double r = pad->knobRadius();
  parts.push_back({"knob", around(knob + QPointF(r / 2, -r / 2)), std::nullopt,
                   paletteColour(pad, QPalette::Base), kLine});
}

inline void indicatorParts(QAbstractButton* button, bool radio, std::vector<PaintedPart>& parts) {
  QStyleOptionButton option;
  option.initFrom(button);
  const QRect mark = button->style()->subElementRect(
      radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
  const QPoint middle = mark.center();
  parts.push_back({radio ? "circle" : "square", QRect(mark.left(), middle.y() - 1, 3, 3), std::nullopt,
                   paletteColour(button, QPalette::Window), kLine});
  if (button->isChecked()) {
    parts.push_back({radio ? "dot" : "tick", mark.adjusted(2, 2, -2, -2), std::nullopt,
                     paletteColour(button, QPalette::Base), kLine});
  }
}

// The painted parts of `w` that a user reads; none for a widget that is switched off, which is dimmed
// on purpose.
inline std::vector<PaintedPart> paintedParts(QWidget* w) {
  std::vector<PaintedPart> parts;
  if (!w->isEnabled()) return parts;
  if (auto* bar = dynamic_cast<AxisBar*>(w)) axisBarParts(bar, parts);
  if (auto* hat = dynamic_cast<HatView*>(w)) hatParts(hat, parts);
  if (auto* lamp = dynamic_cast<Lamp*>(w)) lampParts(lamp, parts);
  if (auto* gauge = dynamic_cast<OutputGauge*>(w)) gaugeParts(gauge, parts);
  if (auto* pad = dynamic_cast<StickPad*>(w)) stickParts(pad, parts);
  if (auto* radio = qobject_cast<QRadioButton*>(w)) indicatorParts(radio, true, parts);
  if (auto* check = qobject_cast<QCheckBox*>(w)) indicatorParts(check, false, parts);
  return parts;
}

// Every painted part of `window` that stands out less than it must, one line each; and how many parts
// were checked, so that a window whose parts were not found cannot pass.
inline std::vector<std::string> contrastProblems(QWidget* window, int* checked = nullptr) {
  std::vector<std::string> problems;
  int count = 0;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window)) continue;
    const std::vector<PaintedPart> parts = paintedParts(w);
    if (parts.empty()) continue;
    const QImage picture = pictureOf(w);
    for (const PaintedPart& part : parts) {
      ++count;
      const double contrast = partContrast(picture, part);
      if (contrast < part.least) {
        char figures[64];
        std::snprintf(figures, sizeof figures, " stands out %.2f:1 of %.1f:1", contrast, part.least);
        problems.push_back("the " + part.what + " of " + nameOf(w) + figures);
      }
    }
  }
  if (checked != nullptr) *checked = count;
  return problems;
}

}  // namespace velomat::testing
