#include "ui/dialog_builder.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QSlider>

#include "ui/controls.h"
#include "ui/dialog_ids.h"

namespace velomat {

namespace {
constexpr int kListFieldHeight = 13;  // the closed drop-down list, in dialog units
}  // namespace

QIcon programIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/velomat.png").arg(size), QSize(size, size));
  return icon;
}

DialogUnits setUpDialog(QDialog& dialog, const char* caption, int width, int height,
                        Qt::WindowFlags extraFlags) {
  dialog.setWindowTitle(QString::fromUtf8(caption));
  dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint | extraFlags);
  dialog.setWindowIcon(programIcon());
  dialog.setFont(dialogFont());
  const DialogUnits units(dialog.font());
  dialog.setFixedSize(units.x(width), units.y(height));
  return units;
}

QWidget* createControl(const ControlEntry& entry, int yOffset, QWidget* parent, const DialogUnits& units) {
  const QString text = QString::fromUtf8(entry.text);
  QWidget* widget = nullptr;
  QRect place = units.rect(entry.x, entry.y + yOffset, entry.width, entry.height);
  switch (entry.kind) {
    case ControlKind::Group:
      widget = new QGroupBox(text, parent);
      break;
    case ControlKind::Radio:
      widget = new AutoRadioButton(text, parent);
      break;
    case ControlKind::List: {
      auto* list = new QComboBox(parent);
      const int shown = (entry.height - kListFieldHeight) / 8;  // list rows of about one line each
      list->setMaxVisibleItems(shown > 1 ? shown : 1);
      place.setHeight(units.y(kListFieldHeight));
      widget = list;
      break;
    }
    case ControlKind::Check:
      widget = new AutoCheckBox(text, parent);
      break;
    case ControlKind::MultiLineCheck:
      widget = new MultiLineCheckBox(text, parent);
      break;
    case ControlKind::Text:
      widget = new QLabel(text, parent);
      break;
    case ControlKind::RightText: {
      auto* label = new QLabel(text, parent);
      label->setAlignment(Qt::AlignRight | Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::CentredText:
    case ControlKind::SunkenCentredText: {
      auto* label = new QLabel(text, parent);
      label->setAlignment(Qt::AlignCenter);
      if (entry.kind == ControlKind::SunkenCentredText) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      widget = label;
      break;
    }
    case ControlKind::Icon: {
      auto* label = new QLabel(parent);
      label->setPixmap(programIcon().pixmap(place.size()));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, parent);
      slider->setTickPosition(QSlider::NoTicks);
      widget = slider;
      break;
    }
    case ControlKind::Button:
      widget = new QPushButton(text, parent);
      break;
    case ControlKind::DefaultButton: {
      auto* button = new QPushButton(text, parent);
      button->setDefault(true);
      widget = button;
      break;
    }
    case ControlKind::MultiLineButton:
      widget = new MultiLineButton(text, parent, false);
      break;
    case ControlKind::FlatButton:
      widget = new MultiLineButton(text, parent, true);
      break;
  }
  widget->setGeometry(place);
  if (entry.id != id::kNone) setDialogId(widget, entry.id);
  return widget;
}

}  // namespace velomat
