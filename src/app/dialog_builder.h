// Dialogs built from tables of controls, as dialog templates describe them: kind, text, identifier and
// place in dialog units of the dialog's font.
#pragma once

#include <QString>

#include "app/dialog_units.h"

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

// Creates the control of `entry` in `parent`, `yOffset` dialog units further down than the entry says.
QWidget* createControl(const ControlEntry& entry, int yOffset, QWidget* parent, const DialogUnits& units);

// The program's icon in every size the repository keeps.
QIcon programIcon();

}  // namespace velomat
