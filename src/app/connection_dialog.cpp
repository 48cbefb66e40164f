#include "app/connection_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/end_process.h"
#include "config/settings_file.h"
#include "config/settings_messages.h"
#include "config/settings_store.h"
#include "panel/panel_controls.h"
#include "ui/classic_style.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_units.h"

namespace velomat {

namespace {

constexpr int kWidth = 135;
constexpr int kHeight = 58;

constexpr ControlEntry kControls[] = {
    {id::kEndButton, ControlKind::DefaultButton, "Verbinden", 78, 4, 52, 18},
    {id::kCancel, ControlKind::Button, "Abbrechen", 80, 27, 50, 14},
    {id::kNone, ControlKind::Text, "Interface 1 an:", 11, 5, 53, 9},
    {id::kInterfaceList, ControlKind::List, "", 11, 14, 61, 107},
    {id::kExtensionCheck, ControlKind::MultiLineCheck, "Extension- Modul", 11, 33, 50, 16},
    {id::kStatusLine, ControlKind::RightText, "Nicht Verbunden", 62, 47, 68, 8},
};

// The list entries: ROBO Interface over USB and radio, on the serial ports, then the Intelligent
// Interface on the serial and the parallel ports.
constexpr int kRoboUsbEntry = 0;
constexpr int kRoboRadioEntry = 1;
constexpr int kRoboSerialEntries = 2;       // 2..5: "ROBO COM1" .. "ROBO COM4"
constexpr int kIntIntSerialEntries = 6;     // 6..9: "IntInt COM1" .. "IntInt COM4"
constexpr int kIntIntParallelEntries = 10;  // 10..13: "LPT1" .. "LPT3", "LPT"

// The greeting is formatted into a buffer of 256 bytes, which it cannot fill: the driver name has at
// most 31 bytes.
std::string greeting(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// The other-joystick message is longer than that buffer: it is formatted whole, its advice to reset the
// settings or delete the file included, whatever the joystick's name.
std::string whole(const char* format, auto... values) {
  const int size = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<size_t>(std::max(size, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, format, values...);
  return text;
}

}  // namespace

QStringList interfaceListEntries() {
  QStringList entries{"ROBO USB", "ROBO FUNK"};
  for (int n = 1; n <= 4; ++n) entries << QString::asprintf("ROBO COM%d", n);
  for (int n = 1; n <= 4; ++n) entries << QString::asprintf("IntInt COM%1d", n);
  for (int n = 1; n <= 3; ++n) entries << QString::asprintf("LPT%1d", n);
  entries << "LPT";
  return entries;
}

void applyInterfaceEntry(int index, ConnectionSettings& connection) {
  connection.parallelPort = 0;
  if (index == kRoboUsbEntry) {
    connection.interfaceKind = kRoboUsb;
    connection.portNumber = -1;
  } else if (index == kRoboRadioEntry) {
    connection.interfaceKind = kRoboRadio;
    connection.portNumber = -1;
  } else if (index >= kRoboSerialEntries && index < kIntIntSerialEntries) {
    connection.interfaceKind = kRoboSerial;
    connection.portNumber = index - kRoboSerialEntries + 1;
  } else if (index >= kIntIntSerialEntries && index < kIntIntParallelEntries) {
    connection.interfaceKind = kIntelligentInterface;
    connection.portNumber = index - kIntIntSerialEntries + 1;
  } else {
    // Every other index is a parallel port; "LPT" (the last entry) is port 4.
    connection.interfaceKind = kIntelligentInterface;
    connection.portNumber = index - kIntIntParallelEntries + 1;
    connection.parallelPort = 1;
  }
}

int interfaceEntryOf(const ConnectionSettings& connection) {
  const int port = connection.portNumber;
  const bool portInRange = port >= 1 && port <= 4;
  if (connection.isIntelligentInterface()) {
    if (!portInRange) return -1;
    return (connection.parallelPort ? kIntIntParallelEntries : kIntIntSerialEntries) + port - 1;
  }
  if (connection.interfaceKind == kRoboUsb) return kRoboUsbEntry;
  if (connection.interfaceKind == kRoboSerial) return portInRange ? kRoboSerialEntries + port - 1 : -1;
  return kRoboRadioEntry;  // the link opens every other kind by radio
}

bool extensionIsChosen(int index) {
  return index >= 0 && index < kIntIntParallelEntries;
}

ConnectionDialog::ConnectionDialog(SharedState& state, JoystickSource& joystick, InterfaceLink& link,
                                   MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), state_(state), joystick_(joystick), link_(link), boxes_(boxes) {
  const DialogUnits units = setUpDialog(*this, kConnectionDialogCaption, kWidth, kHeight);
  for (const ControlEntry& entry : kControls) createControl(entry, 0, this, units);
  applyClassicStyle(this);

  interfaceList_ = qobject_cast<QComboBox*>(dialogItem(this, id::kInterfaceList));
  extensionCheck_ = qobject_cast<QCheckBox*>(dialogItem(this, id::kExtensionCheck));
  statusLine_ = qobject_cast<QLabel*>(dialogItem(this, id::kStatusLine));
  statusPlace_ = statusLine_->geometry();
  extensionCheck_->setEnabled(false);  // until the list has an entry that leaves the choice
  QObject::connect(interfaceList_, &QComboBox::currentIndexChanged, this,
                   [this](int index) { followEntry(index); });
  QObject::connect(extensionCheck_, &QAbstractButton::toggled, this, [this](bool ticked) {
    if (extensionCheck_->isEnabled()) extensionChosen_ = ticked;
  });
  auto* connect = qobject_cast<QPushButton*>(dialogItem(this, id::kEndButton));
  auto* cancel = qobject_cast<QPushButton*>(dialogItem(this, id::kCancel));
  QObject::connect(connect, &QAbstractButton::clicked, this, [this] { OnOK(); });
  QObject::connect(cancel, &QAbstractButton::clicked, this, [this] { reject(); });
}

void ConnectionDialog::followEntry(int index) {
  const bool chosen = extensionIsChosen(index);
  extensionCheck_->setEnabled(chosen);
  extensionCheck_->setChecked(chosen ? extensionChosen_ : true);
  extensionCheck_->setToolTip(QString::fromUtf8(
      chosen ? "Motoren 5 bis 8 und E9 bis E16: am Intelligent Interface das Extensionmodul,\n"
               "am ROBO Interface die erste I/O-Extension."
             : "Am Parallelport bedient Velomat immer beide Module: Motoren 5 bis 8 und E9 bis E16."));
}

bool ConnectionDialog::OnInitDialog() {
  ConnectionSettings& connection = state_.connection;
  connection.portNumber = -1;
  connection.hasExtension = 0;
  connection.interfaceKind = kRoboUsb;
  connection.motorCount = 4;
  extensionChosen_ = false;
  interfaceList_->clear();
  interfaceList_->addItems(interfaceListEntries());
  interfaceList_->setCurrentIndex(0);
  connection.parallelPort = 0;
  state_.joystickId = 0;
  probeJoystick();
  loadSettingsHeader();
  return result() == QDialog::Accepted;
}

void ConnectionDialog::run() {
  if (OnInitDialog()) return;
  // The main window, its parent, is not shown yet: the dialog stands in the screen's middle, where the
  // boxes before it stood, not over the corner where the main window will be.
  if (parentWidget() == nullptr || !parentWidget()->isVisible()) {
    move(screen()->availableGeometry().center() - rect().center());
  }
  exec();
}

void ConnectionDialog::probeJoystick() {
  for (;;) {
    // Both calls every time, whatever the first one says.
    const uint32_t capsResult = joystick_.joyGetDevCaps(state_.joystickId, caps_);
    const uint32_t sampleResult = joystick_.joyGetPosEx(state_.joystickId, state_.joySample);
    if (capsResult == kJoyNoError && sampleResult == kJoyNoError) return;
    if (state_.joystickId == 0) {
      state_.joystickId = 1;
      continue;
    }
    // Retry asks joystick 1 again; joystick 0 waits for the next start.
    if (boxes_.show(kNoJoystickText, kNoJoystickCaption, BoxButtons::RetryCancel) != BoxAnswer::Retry) {
      endProcess(kExitNoJoystick);
    }
  }
}

void ConnectionDialog::loadSettingsHeader() {
  const ReadResult file = readSettingsFile(kSettingsFileName, kSettingsFileSize);
  switch (file.status) {
    case ReadResult::Status::Read:
      break;
    case ReadResult::Status::Missing:
      reportJoystickFound();
      return;
    case ReadResult::Status::NotAFile:
      // Nothing to read and nothing a save may replace: told, then as without a file.
      boxes_.show(notAFileAtStartText(file), "Achtung", BoxButtons::Ok);
      reportJoystickFound();
      return;
    case ReadResult::Status::Unreadable:
      // A file the end will overwrite gets the wrong file's way out: Cancel keeps it as it is.
      if (!file.writable) {
        boxes_.show(unreadableAtStartText(file), "Achtung", BoxButtons::Ok);
      } else if (boxes_.show(unreadableAtStartText(file), "Achtung", BoxButtons::OkCancel) != BoxAnswer::Ok) {
        endProcess(kExitWrongFile);
      }
      reportJoystickFound();
      return;
  }
  switch (settingsKind(file.bytes)) {
    case SettingsKind::ResetMarker:
      reportJoystickFound();
      return;
    case SettingsKind::Other:
      if (boxes_.show(kWrongFileText, "Achtung", BoxButtons::OkCancel) != BoxAnswer::Ok)
        endProcess(kExitWrongFile);
      reportJoystickFound();
      return;
    case SettingsKind::Settings:
      break;
  }

  // The stored header goes straight into the live values.
  SettingsHeader header{state_.joystickCaps, state_.table.moduleIndex.load(std::memory_order_relaxed),
                        state_.connection};
  decodeHeader(file.bytes, header);
  state_.joystickCaps = header.caps;
  state_.table.moduleIndex.store(header.moduleIndex, std::memory_order_relaxed);
  state_.connection = header.connection;
  // Should the stored interface not answer, the dialog offers it again as it was set up: its entry
  // chosen and the box ticked for 8 motors.
  extensionChosen_ = state_.connection.motorCount == 8;
  if (const int entry = interfaceEntryOf(state_.connection); entry >= 0)
    interfaceList_->setCurrentIndex(entry);
  followEntry(interfaceList_->currentIndex());

  // The lists follow the joystick found; another joystick than stored is told.
  const JoystickCaps& stored = state_.joystickCaps;
  if (stored.buttonCount != caps_.wNumButtons || stored.axisCount != caps_.wNumAxes ||
      stored.caps != caps_.wCaps) {
    state_.joystickCaps = JoystickCaps::fromRecord(caps_);
    boxes_.show(
        whole("\nTreiberbezeichnung: %s\nAchsen: %u\nButtons: %u\n\nAchtung:\nWenn dieser Joystick "
              "weniger/andere Funktionen als der bisher gespeicherte hat, kann es ggf. zu Fehlern beim "
              "Laden der Einstellungsdatei kommen.\nEvtl. müssen Sie dann die Einstellungen "
              "zurücksetzen oder notfalls auch die Einstellungsdatei \"settings.vlm\" löschen.",
              caps_.szPname, caps_.wNumAxes, caps_.wNumButtons & 0xFF),
        kOtherJoystickCaption, BoxButtons::Ok);
  }
  if (connectInterface()) connected();
}

void ConnectionDialog::reportJoystickFound() {
  state_.joystickCaps = JoystickCaps::fromRecord(caps_);
  boxes_.show(
      greeting("Verbindung zum Joystick erfolgreich!\n\nTreiberbezeichnung: %s\nAchsen: %u\nButtons: %u",
               caps_.szPname, caps_.wNumAxes, static_cast<unsigned>(state_.joystickCaps.buttonCount)),
      kJoystickFoundCaption, BoxButtons::Ok);
}

void ConnectionDialog::showStatus(const char* text) {
  const QString shown = QString::fromUtf8(text);
  statusLine_->setText(shown);
  // The texts end in a line break, which draws nothing.
  const int needed =
      statusLine_->fontMetrics().boundingRect(QRect(), Qt::AlignRight, shown.trimmed()).width();
  QRect place = statusPlace_;
  if (needed > place.width()) {
    // As far as the dialog's left edge but for two units: the longest status needs nearly all of it.
    place.setLeft(std::max(DialogUnits(font()).x(2), place.right() + 1 - needed));
    if (place.left() <= extensionCheck_->geometry().right())
      place.moveTop(std::max(place.top(), extensionCheck_->geometry().bottom() + 1));
  }
  statusLine_->setGeometry(place);
}

bool ConnectionDialog::connectInterface() {
  showStatus(kConnectingStatus);
  repaint();  // the open blocks the dialog while it runs; the line may have moved
  if (link_.openInterface()) {
    showStatus(kConnectedStatus);
    return true;
  }
  showStatus(kNotConnectedStatus);
  // Where the port said why, the user is told that too: another program may hold it.
  const std::string reason = link_.openFailureReason();
  boxes_.show(reason.empty() ? std::string(kConnectFailedText) : kConnectFailedText + ("\n" + reason), {},
              BoxButtons::Ok);
  return false;
}

void ConnectionDialog::OnOK() {
  ConnectionSettings& connection = state_.connection;
  applyInterfaceEntry(interfaceList_->currentIndex(), connection);
  // Read before the open: a serial Intelligent Interface is opened with its module (C2 exchanges)
  // only when the box says it has one, and motors 5 to 8 exist only with the box ticked.
  const bool extension = extensionCheck_->isChecked();
  connection.hasExtension = extension ? 1 : 0;
  connection.motorCount = extension ? 8 : 4;
  if (!connectInterface()) return;  // the dialog stays for another choice
  connected();
}

void ConnectionDialog::connected() {
  // Told once, at the start, rather than driving nothing in silence during every run.
  if (link_.extensionMissing()) boxes_.show(kNoExtensionText, {}, BoxButtons::Ok);
  QDialog::accept();
}

void ConnectionDialog::reject() {
  endProcess(kExitCancelled);
}

}  // namespace velomat
