// What a user sees of a window, checked as the user would look at it: every text shown in full, every
// radio circle and check square whole, no frame line through a text, every control inside its window,
// the window wholly on its screen; and how well drawn text stands out from its background.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "ui/classic_style.h"
#include "ui/controls.h"

namespace velomat::testing {

// The contrast ratio of two colours as the web's accessibility guidelines define it: 1 to 21.
using velomat::contrastRatio;

// How well what is drawn in `area` of `picture` stands out: the pixel farthest from the background
// (the commonest colour there) against the background. For a text, its ink against its field.
inline double drawnContrast(const QImage& picture, const QRect& area) {
  std::map<QRgb, int> count;
  const QRect inside = area.intersected(picture.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) ++count[picture.pixel(x, y)];
  }
  if (count.empty()) return 1;
  const QColor background(std::max_element(count.begin(), count.end(), [](const auto& a, const auto& b) {
                            return a.second < b.second;
                          })->first);
  double best = 1;
  for (const auto& [colour, n] : count) best = std::max(best, contrastRatio(QColor(colour), background));
  return best;
}

// The widget as painted, one pixel for each of its own: thin lines stay whole at any scale factor.
inline QImage pictureOf(QWidget* w) {
  QImage picture(w->size(), QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  w->render(&picture);
  return picture;
}

inline std::string nameOf(const QWidget* w) {
  QString text = w->property("text").toString();
  if (const auto* group = qobject_cast<const QGroupBox*>(w)) text = group->title();
  return std::string(w->metaObject()->className()) + " \"" + text.replace('\n', ' ').toStdString() + "\"";
}

// A text as drawn: where it is drawn and where it may be drawn, in the widget's coordinates.
struct DrawnText {
  QString text;
  QRect drawn;    // where its letters lie
  QRect allowed;  // where they are shown; what lies outside is cut
};

// The text `w` draws, if any.
inline bool drawnText(QWidget* w, DrawnText& out) {
  const QFontMetrics metrics = w->fontMetrics();
  const auto measure = [&](const QString& text, const QRect& area, int flags) {
    out.text = text;
    out.allowed = area;
    out.drawn = metrics.boundingRect(area, flags, text);
    return !text.isEmpty();
  };
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return false;
    const QRect area = label->contentsRect();
    if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text())) {
      // Rich text lays itself out: its size where the label gives it the room it has.
      out.text = label->text();
      out.allowed = area;
      const QSize needed =
          label->wordWrap() ? QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()))
                            : label->sizeHint();
      out.drawn = QRect(area.topLeft(), needed.shrunkBy(label->contentsMargins()));
      return true;
    }
    int flags = static_cast<int>(label->alignment());
    if (label->wordWrap()) flags |= Qt::TextWordWrap;
    if (label->buddy() != nullptr) flags |= Qt::TextShowMnemonic;  // its "&" marks a key, not a letter
    QString text = label->text();
    while (text.endsWith('\n')) text.chop(1);  // an empty last line draws nothing
    return measure(text, area, flags);
  }
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = false;
    option.frame = true;
    option.subControls = QStyle::SC_All;
    // The closed list draws its text one pixel inside the style's text field on either side.
    const QRect field =
        list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    QString widest;
    for (int i = 0; i < list->count(); ++i) {
      if (metrics.horizontalAdvance(list->itemText(i)) > metrics.horizontalAdvance(widest))
        widest = list->itemText(i);
    }
    return measure(widest, field.adjusted(1, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (auto* group = qobject_cast<QGroupBox*>(w)) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label =
        group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    return measure(group->title(), label, Qt::AlignCenter | Qt::TextShowMnemonic);
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    if (button->text().isEmpty()) return false;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (qobject_cast<QRadioButton*>(w) != nullptr) {
      const QRect area = w->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, w);
      return measure(button->text(), area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic);
    }
    if (qobject_cast<QCheckBox*>(w) != nullptr) {
      const QRect area = w->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, w);
      const bool wraps = dynamic_cast<MultiLineCheckBox*>(w) != nullptr;
      return measure(
          button->text(), area,
          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic | (wraps ? Qt::TextWordWrap : 0));
    }
    if (qobject_cast<QPushButton*>(w) != nullptr) {
      const QRect area = w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w);
      const bool wraps = dynamic_cast<MultiLineButton*>(w) != nullptr;
      return measure(button->text(), area,
                     Qt::AlignCenter | Qt::TextShowMnemonic | (wraps ? Qt::TextWordWrap : 0));
    }
    // Tool buttons: the text with the button's own margins, in its middle.
    out.text = button->text();
    out.allowed = button->rect();
    out.drawn = QRect(QPoint(), button->sizeHint());
    out.drawn.moveCenter(button->rect().center());
    return true;
  }
  return false;
}

// Where the frame lines of `group` run, in its own coordinates: the rows and columns of the group drawn
// alone, without what it holds, that are mostly not background.
inline std::vector<QRect> frameLines(QGroupBox* group) {
  QImage picture(group->size() * group->devicePixelRatioF(), QImage::Format_ARGB32);
  picture.setDevicePixelRatio(group->devicePixelRatioF());
  picture.fill(Qt::transparent);
  group->render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground);
  picture = picture.scaled(group->size());  // one pixel per pixel of the window's coordinates
  const QRgb background = picture.pixel(picture.width() / 2, picture.height() / 2);
  std::vector<QRect> lines;
  for (int y = 0; y < picture.height(); ++y) {
    int count = 0;
    for (int x = 0; x < picture.width(); ++x) count += picture.pixel(x, y) != background;
    if (count > picture.width() / 2) lines.emplace_back(0, y, group->width(), 1);
  }
  for (int x = 0; x < picture.width(); ++x) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) count += picture.pixel(x, y) != background;
    if (count > picture.height() / 2) lines.emplace_back(x, 0, 1, group->height());
  }
  return lines;
}

// Everything wrong with how `window` shows, one line each; empty when it shows as it should. Without
// `onScreen` where the window stands is left out.
inline std::vector<std::string> fitProblems(QWidget* window, bool onScreen = true) {
  std::vector<std::string> problems;
  const auto problem = [&problems](const std::string& text) { problems.push_back(text); };
  const QRect screen = window->screen()->availableGeometry();
  const QRect frame = window->frameGeometry();
  if (onScreen && !screen.contains(frame)) {
    problem("the window " + window->windowTitle().toStdString() + " at " + std::to_string(frame.x()) + "," +
            std::to_string(frame.y()) + " " + std::to_string(frame.width()) + "x" +
            std::to_string(frame.height()) + " is not wholly on the screen " +
            std::to_string(screen.width()) + "x" + std::to_string(screen.height()));
  }

  struct Placed {
    QWidget* widget;
    QString text;
    QRect drawn;  // in the window's coordinates
  };
  std::vector<Placed> texts;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->isWindow()) continue;
    const QRect inWindow(w->mapTo(window, QPoint()), w->size());
    if (!window->rect().contains(inWindow)) problem(nameOf(w) + " lies partly outside its window");
    if (w->parentWidget() != window && !w->parentWidget()->rect().contains(w->geometry()))
      problem(nameOf(w) + " lies partly outside " + nameOf(w->parentWidget()));
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      QStyleOptionButton option;
      option.initFrom(button);
      const bool radio = qobject_cast<QRadioButton*>(w) != nullptr;
      if (radio || qobject_cast<QCheckBox*>(w) != nullptr) {
        const QRect mark = w->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, w);
        if (!w->rect().contains(mark)) problem("the circle or square of " + nameOf(w) + " is cut");
      }
    }
    DrawnText text;
    if (!drawnText(w, text)) continue;
    if (!text.allowed.contains(text.drawn) || !w->rect().contains(text.allowed.intersected(text.drawn))) {
      problem("the text of " + nameOf(w) + " is cut: it needs " + std::to_string(text.drawn.width()) + "x" +
              std::to_string(text.drawn.height()) + " and has " + std::to_string(text.allowed.width()) + "x" +
              std::to_string(text.allowed.height()));
    }
    texts.push_back({w, text.text, text.drawn.intersected(text.allowed).translated(inWindow.topLeft())});
  }

  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) {
      if (texts[i].drawn.intersects(texts[j].drawn))
        problem("the texts of " + nameOf(texts[i].widget) + " and " + nameOf(texts[j].widget) + " overlap");
    }
  }
  for (QGroupBox* group : window->findChildren<QGroupBox*>()) {
    if (!group->isVisibleTo(window)) continue;
    const QPoint at = group->mapTo(window, QPoint());
    const std::vector<QRect> lines = frameLines(group);
    if (lines.size() < 4)
      problem("the frame of " + nameOf(group) + " was not found: no line could be checked");
    for (const QRect& line : lines) {
      for (const Placed& text : texts) {
        // The group's own title stands on its top line, which breaks for it.
        if (text.widget == group) continue;
        if (line.translated(at).intersects(text.drawn))
          problem("a frame line of " + nameOf(group) + " runs through the text of " + nameOf(text.widget));
      }
    }
  }
  return problems;
}

inline std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += "\n  " + line;
  return all;
}

}  // namespace velomat::testing
