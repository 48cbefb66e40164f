#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/classic_style.h"
#include "ui/dialog_builder.h"
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

// The address a line of the About box opens, if it is one: the mail program for the contact, the
// browser for the web address.
QString linkOf(const char* line) {
  const QString text = QString::fromUtf8(line);
  if (text.startsWith(QLatin1String("https://")) || text.startsWith(QLatin1String("http://"))) return text;
  if (text.contains('@') && !text.contains(' ')) return QStringLiteral("mailto:") + text;
  return {};
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  const DialogUnits units = setUpDialog(*this, kAboutCaption, kWidth, kHeight);
  for (const ControlEntry& entry : kControls) {
    QWidget* control = createControl(entry, 0, this, units);
    auto* label = qobject_cast<QLabel*>(control);
    if (label == nullptr) continue;
    if (entry.height > 10) label->setWordWrap(true);
    const QString link = linkOf(entry.text);
    if (link.isEmpty()) {
      label->setTextFormat(Qt::PlainText);
      continue;
    }
    // A click, or Tab and Enter, opens it through the desktop.
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                       .arg(link.toHtmlEscaped(), QString::fromUtf8(entry.text).toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(true);
    label->setToolTip(link);
  }
  applyClassicStyle(this);
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kEndButton)), &QAbstractButton::clicked, this,
          &QDialog::accept);
}

}  // namespace velomat
