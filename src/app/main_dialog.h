// The main window: the four motor panels, the run and stop controls and the module selector.
#pragma once

#include <QDialog>
#include <memory>

#include "control/control_cycle.h"
#include "link/message_box.h"
#include "panel/panel.h"
#include "panel/panel_controls.h"

namespace velomat {

inline constexpr const char* kMainDialogCaption =
    "Velomat - Die Echtzeit-Joystickgesteuerte Version von Velobase";

class MainDialog final : public QDialog {
 public:
  // Builds the window and every control at its place; the lists stay empty until initialisePanel.
  MainDialog(SharedState& state, MessageBoxes& boxes, QWidget* parent = nullptr);
  ~MainDialog() override;

  // Fills the lists from the joystick and the connection, puts the defaults into table and panel and
  // applies the enabling rules. False when the window lacks a control.
  bool initialisePanel();

  PanelControls& controls() { return controls_; }
  Panel& panel() { return *panel_; }

 protected:
  // Tab and Shift+Tab stop at one radio button of each group, as in any dialog.
  bool focusNextPrevChild(bool next) override;

 private:
  void buildControls();
  void connectHandlers();

  SharedState& state_;
  PanelControls controls_;
  std::unique_ptr<Panel> panel_;
};

}  // namespace velomat
