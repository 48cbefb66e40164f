#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/classic_style.h"
#include "app/dialog_builder.h"
#include "panel/credits.h"
#include "panel/panel_controls.h"

namespace velomat {

namespace {

constexpr int kWidth = 263;
constexpr int kHeight = 118;

constexpr ControlEntry kControls[] = {
    {id::kNone, ControlKind::Icon, "", 11, 17, 20, 20},
    {id::kNone, ControlKind::Text, "Velomat Version 1.5", 40, 10, 119, 8},
    {id::kNone, ControlKind::Text, "Programm zur Ansteuerung des fischertechnik- Interfaces per Joystick", 40,
     28, 176, 20},
    {id::kNone, ControlKind::SunkenCentredText, "Echtzeit-\nJoystick-\nVersion!", 57, 52, 38, 29},
    {id::kNone, ControlKind::Text, kAuthorCredit, 120, 54, 136, 9},
    {id::kNone, ControlKind::Text, kAuthorContact, 120, 66, 136, 9},
    {id::kNone, ControlKind::Text, kAuthorWeb, 120, 78, 136, 9},
    {id::kNone, ControlKind::Text, "", 120, 90, 129, 21},
    {id::kEndButton, ControlKind::DefaultButton, "OK", 206, 7, 50, 14},
};

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  const DialogUnits units = setUpDialog(*this, kAboutCaption, kWidth, kHeight);
  for (const ControlEntry& entry : kControls) {
    QWidget* control = createControl(entry, 0, this, units);
    if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && entry.height > 10)
      label->setWordWrap(true);
    if (auto* label = qobject_cast<QLabel*>(control)) label->setTextFormat(Qt::PlainText);
  }
  applyClassicStyle(this);
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kEndButton)), &QAbstractButton::clicked, this,
          &QDialog::accept);
}

}  // namespace velomat
