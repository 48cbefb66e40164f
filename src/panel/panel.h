// The main window's motor panels at work: the rules that enable, pull along and bind controls while the
// user edits them, and the transfers between the panels and the configuration table.
// Everything here runs on the GUI thread; the handlers run only on what the user does.
#pragma once

#include <string>

#include "config/settings_file.h"
#include "config/settings_store.h"
#include "control/shared_state.h"
#include "link/message_box.h"
#include "panel/panel_controls.h"

namespace velomat {

// The assertion message a handler shows for a case its routing excludes.
std::string assertionMessage(const char* function);

class Panel {
 public:
  Panel(PanelControls& controls, SharedState& state, MessageBoxes& boxes)
      : c_(controls), state_(state), table_(state.table), boxes_(boxes) {}
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  // Rules.
  void UpdatePanelEnabling();
  void OnJoyAxisCh(int controlId);  // a direction radio was clicked
  void OnAxisRadio(int controlId);  // a speed radio was clicked
  void OnEndSwitchCheck(int controlId);
  void OnStopInputCheck();
  void OnStopButtonCheck();
  void OnSelchangeJoyAxisCo(int m);       // direction-axis list of motor m: binds at once
  void OnSelchangeSpeedAxisCombo(int m);  // speed-axis list: the same choice as the direction axis
  void OnSelchangeThrottleCombo(int m);
  void OnCustomdrawSpeedSlider(int controlId);  // the label shows its slider's position

  // Transfers.
  void panelToTable();
  void tableToPanel();
  void applyDefaults();
  void OnApply();
  void OnSelchangeModuleCombo();
  // Titles the four group boxes "Motor 1" .. "Motor 4", or "Motor 5" .. "Motor 8" for the extension.
  void titleMotorGroups();

  // The settings file ("settings.vlm" in the working folder).
  // Writes the live joystick and connection values, the table of both modules (after panelToTable)
  // and the stop controls. A write that fails leaves the old file as it was and says why.
  WriteResult saveSettings();
  // Puts the stored table of both modules and the stop controls into table and panel, and binds every
  // slot's axes from the stored selections. Without a file, or with a file that is no settings file,
  // the defaults stay.
  void loadSettingsTables();

  // Where the settings file is written (the system's file system, unless a test says otherwise).
  void setFileSystem(FileSystem& files) { files_ = &files; }
  FileSystem& fileSystem() { return *files_; }

  // The stop controls as the file keeps them, and back.
  StopValues stopValues() const;
  void showStopValues(const StopValues& stop);

 private:
  int shownSlot(int m) const;

  PanelControls& c_;
  SharedState& state_;
  ConfigTable& table_;
  MessageBoxes& boxes_;
  FileSystem* files_ = &systemFileSystem();
};

}  // namespace velomat
