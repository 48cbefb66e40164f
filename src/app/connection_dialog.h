// The connection dialog that runs before the main window: it finds the joystick, reads the header of
// the settings file and either connects the stored interface at once or lets the user pick interface
// and port and press "Verbinden". It returns only after a connection; every other way ends the process.
#pragma once

#include <QDialog>

#include "control/shared_state.h"
#include "link/interface_link.h"
#include "link/joystick.h"
#include "link/message_box.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace velomat {

inline constexpr const char* kConnectionDialogCaption = "Velomat";
inline constexpr const char* kNoJoystickText =
    "Kein Joystick gefunden.\nÜberprüfen Sie die Verbindung und die Joysticktreiber.";
inline constexpr const char* kNoJoystickCaption = "Verbindung fehlgeschlagen";
inline constexpr const char* kWrongFileText =
    "Die Einstellungsdatei \"settings.vlm\" wurde von einer anderen Version von Velomat erzeugt oder ist "
    "beschädigt. Alle Einstellungen werden zurückgesetzt und die Datei wird beim Beenden von Velomat "
    "überschrieben.";
inline constexpr const char* kOtherJoystickCaption = "Anderer Joystick gefunden!";
inline constexpr const char* kJoystickFoundCaption = "Verbindung erfolgreich";
inline constexpr const char* kConnectingStatus = "Baue Verbindung zum Interface auf...\n";
inline constexpr const char* kConnectedStatus = "Verbindung zum Interface erfolgreich\n";
inline constexpr const char* kNotConnectedStatus = "Keine Verbindung zum Interface!\n";
inline constexpr const char* kConnectFailedText = "Verbindung zum Interface fehlgeschlagen!\n";
inline constexpr const char* kNoExtensionText =
    "Am ROBO Interface ist kein Erweiterungsmodul (I/O-Extension) angeschlossen.\n\n"
    "Die Motoren 5 bis 8 sind eingestellt, bewegen sich aber nicht, bis eines angeschlossen ist.";

// Exit codes of the ways the connection ends the process.
inline constexpr int kExitCancelled = 0;
inline constexpr int kExitNoJoystick = 1;
inline constexpr int kExitWrongFile = 2;

namespace id {
inline constexpr int kInterfaceList = 1226;
inline constexpr int kExtensionCheck = 1009;
inline constexpr int kStatusLine = 1229;
inline constexpr int kCancel = 2;
}  // namespace id

// The fourteen entries of the interface list, in order.
QStringList interfaceListEntries();

// What "Verbinden" makes of list entry `index`: interfaceKind, portNumber and parallelPort.
void applyInterfaceEntry(int index, ConnectionSettings& connection);
// The list entry that names the interface of `connection` (as a settings file stores it), or -1 when
// none does.
int interfaceEntryOf(const ConnectionSettings& connection);
// Whether the extension box is the user's choice for list entry `index`. The parallel entries leave no
// choice: the parallel driver always serves both modules, so their box stands ticked.
bool extensionIsChosen(int index);

class ConnectionDialog final : public QDialog {
 public:
  ConnectionDialog(SharedState& state, JoystickSource& joystick, InterfaceLink& link, MessageBoxes& boxes,
                   QWidget* parent = nullptr);

  // Resets the connection state, fills the list, finds the joystick (or ends the process with exit
  // code 1) and reads the settings header. True when the stored interface was connected: the dialog is
  // then done without the user.
  bool OnInitDialog();
  // OnInitDialog, then, unless that connected, the dialog until the user connects.
  void run();

  void OnOK();  // "Verbinden" and the Enter key
  bool connectInterface();
  // Closes the dialog on a connection made; first tells of motors 5 to 8 without their module.
  void connected();
  void loadSettingsHeader();
  void reportJoystickFound();
  // Shows `text` on the status line. Its 68 units hold "Nicht Verbunden" but not the texts of an
  // attempt: for those the line grows to the left and, where it would reach under the extension box,
  // drops below that box, so that every status shows in full.
  void showStatus(const char* text);

  QComboBox* interfaceList() const { return interfaceList_; }
  QCheckBox* extensionCheck() const { return extensionCheck_; }
  QLabel* statusLine() const { return statusLine_; }

 protected:
  void accept() override { OnOK(); }
  [[noreturn]] void reject() override;  // "Abbrechen", Escape, the close box: exit code 0

 private:
  void probeJoystick();
  // Enables the extension box for the entries that leave the choice to the user and shows their
  // choice there; the parallel entries show it ticked and disabled.
  void followEntry(int index);

  SharedState& state_;
  JoystickSource& joystick_;
  InterfaceLink& link_;
  MessageBoxes& boxes_;
  JoyCapsRecord caps_;  // the joystick the probe found
  QComboBox* interfaceList_ = nullptr;
  QCheckBox* extensionCheck_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QRect statusPlace_;             // the status line's own place, for texts that fit it
  bool extensionChosen_ = false;  // the user's tick, kept while a parallel entry overrides the box
};

}  // namespace velomat
