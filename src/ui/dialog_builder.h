// Dialogs built from tables of controls, as dialog templates describe them: kind, text, identifier and
// place in dialog units of the dialog's font.
#pragma once

#include <QString>
#include <Qt>

#include "ui/dialog_units.h"

class QDialog;
class QWidget;

namespace velomat {

enum class ControlKind {
  Group,
  Radio,
  List,
  Check,
  MultiLineCheck,  // a check box whose text breaks into lines to fit its width
  Text,
  RightText,          // right-aligned, first line at the top
  CentredText,        // centred both ways
  SunkenCentredText,  // centred, in a sunken frame
  Icon,               // the program's icon
  Slider,
  Button,
  DefaultButton,
  MultiLineButton,
  FlatButton
};

struct ControlEntry {
  int id;  // dialog identifier, id::kNone for a control nobody looks up
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units; for a list the height is that of the opened list
};

// Makes `dialog` a classic dialog: its caption, title bar with system menu and close box (and
// `extraFlags`), the program's icon, the dialog font, and a fixed size of `width` x `height` dialog
// units. Returns the dialog units of its font for placing the controls.
DialogUnits setUpDialog(QDialog& dialog, const char* caption, int width, int height,
                        Qt::WindowFlags extraFlags = {});

// Creates the control of `entry` in `parent`, `yOffset` dialog units further down than the entry says.
QWidget* createControl(const ControlEntry& entry, int yOffset, QWidget* parent, const DialogUnits& units);

// The program's icon in every size the repository keeps.
QIcon programIcon();

}  // namespace velomat
