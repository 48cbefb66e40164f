// Widgets that behave like the classic dialog controls the main window is made of.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

namespace velomat {

// A radio button of a group the program may also set to "none selected": a click selects it and
// clears the others of its group (a click anywhere on its place counts); setting it from the program touches
// nothing else. Clicking an already selected button keeps it selected (and still reports the click).
// The arrow keys move the selection within the group as a click does (wrapping at either end); Tab
// stops at one button of the group only (isTabStop).
class AutoRadioButton final : public QRadioButton {
 public:
  explicit AutoRadioButton(const QString& text, QWidget* parent);
  void setGroup(std::vector<AutoRadioButton*> group) { group_ = std::move(group); }

  // The button Tab stops at: the selected one of the group, or the first while none is selected.
  bool isTabStop() const;

 protected:
  void nextCheckState() override;
  void keyPressEvent(QKeyEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

 private:
  std::vector<AutoRadioButton*> group_;
};

// A check box that answers a click anywhere on its place, as the classic control does.
class AutoCheckBox final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A check box whose text breaks into lines to fit its width; text() stays the caption as given.
class MultiLineCheckBox final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A push button whose text breaks into lines to fit its width; text() stays the caption as given.
class MultiLineButton final : public QPushButton {
 public:
  MultiLineButton(const QString& text, QWidget* parent, bool flat);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velomat
