// Whole start-ups and ends of the program on the offscreen platform: the joystick probe, the settings
// header, the connection dialog answered as a user answers it, the main window it leads to, and every
// way the program ends (exit codes as death tests).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTextDocument>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/about_dialog.h"
#include "app/connection_dialog.h"
#include "app/end_process.h"
#include "app/main_dialog.h"
#include "config/settings_file.h"
#include "config/settings_store.h"
#include "fake_joystick.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "panel/credits.h"
#include "startup_steps.h"
#include "system_end.h"
#include "ui/qt_message_boxes.h"

namespace velomat {
namespace {

using ::testing::ElementsAre;

TEST_F(StartupTest, without_a_settings_file_the_joystick_is_greeted_and_verbinden_connects_the_first_entry) {
  start();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, kGreeting);
  EXPECT_EQ(boxes.shown[0].caption, "Verbindung erfolgreich");
  EXPECT_EQ(state.connection.interfaceKind, kRoboUsb);
  EXPECT_EQ(state.connection.motorCount, 4);
  EXPECT_EQ(state.joystickCaps, kFound);
  EXPECT_EQ(c().dirAxisList[0]->currentText(), "X");
  EXPECT_EQ(c().dirAxisList[0]->count(), 5);  // X, Y, Z, POV1, POV2
  EXPECT_EQ(c().moduleList->count(), 1);
  EXPECT_NE(dialog->worker(), nullptr);
  EXPECT_FALSE(fs::exists(kSettingsFileName));
}

TEST_F(StartupTest, a_stored_file_reconnects_without_a_choice_and_the_window_shows_what_was_stored) {
  storeSettings({kIntelligentInterface, 3, 1, 0, 8});
  start({});
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_EQ(intInt.calls.size(), 1u);
  EXPECT_EQ(intInt.calls[0], testing::openCall(IntIntPort::SerialWithExtension, 3));
  EXPECT_EQ(intInt.ports, std::vector<IntIntPort>{IntIntPort::SerialWithExtension});
  EXPECT_EQ(c().moduleList->count(), 2);
  EXPECT_EQ(c().moduleList->currentText(), "Hauptmodul");  // stored with the extension shown
  EXPECT_EQ(c().speedSlider[0]->value(), 42);
  EXPECT_TRUE(c().dirFixedRadio[2]->isChecked());
  EXPECT_EQ(c().fixedDirList[2]->currentText(), "R");
  EXPECT_TRUE(c().stopInputCheck->isChecked());
  EXPECT_EQ(c().stopInputList->currentText(), "E16");
}

TEST_F(StartupTest, eight_motors_on_a_robo_interface_without_its_extension_are_told_once_at_the_start) {
  struct Row {
    const char* name;
    ConnectionSettings connection;
    int extensions;
    bool told;
  };
  const Row rows[] = {
      {"ROBO, 8 motors, no extension", {kRoboUsb, -1, 0, 0, 8}, 0, true},
      {"ROBO by radio, 8 motors, no extension", {kRoboRadio, -1, 0, 0, 8}, 0, true},
      {"ROBO, 8 motors, an extension", {kRoboUsb, -1, 0, 0, 8}, 1, false},
      {"ROBO, 4 motors", {kRoboUsb, -1, 0, 0, 4}, 0, false},
      {"Intelligent Interface, 8 motors", {kIntelligentInterface, 1, 1, 0, 8}, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    boxes.shown.clear();
    robo.extensions = row.extensions;
    storeSettings(row.connection);
    start({});
    const auto told = std::count_if(boxes.shown.begin(), boxes.shown.end(), [](const testing::ShownBox& box) {
      return box.text == kNoExtensionText;
    });
    EXPECT_EQ(told, row.told ? 1 : 0);
    EXPECT_EQ(state.connection.motorCount, row.connection.motorCount);  // set as stored
    dialog.reset();
  }
}

// Every entry names one interface, and a stored interface finds its entry again; values a damaged file
// may hold name none, except the kinds the link opens by radio.
TEST(InterfaceEntries, each_entry_maps_to_its_interface_and_back) {
  for (int index = 0; index < interfaceListEntries().size(); ++index) {
    SCOPED_TRACE(interfaceListEntries()[index].toStdString());
    ConnectionSettings connection;
    applyInterfaceEntry(index, connection);
    EXPECT_EQ(interfaceEntryOf(connection), index);
    EXPECT_EQ(extensionIsChosen(index), !connection.parallelPort);
  }
  struct Row {
    ConnectionSettings connection;
    int entry;
  };
  const Row rows[] = {
      {{kRoboSerial, 5, 0, 0, 4}, -1},
      {{kRoboSerial, 0, 0, 0, 4}, -1},
      {{kIntelligentInterface, 0, 0, 0, 4}, -1},
      {{kIntelligentInterface, 5, 0, 1, 8}, -1},
      {{kRoboRadio, 3, 0, 0, 8}, 1},
      {{12, -1, 0, 0, 4}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << "kind " << row.connection.interfaceKind << ", port " << row.connection.portNumber);
    EXPECT_EQ(interfaceEntryOf(row.connection), row.entry);
  }
}

// The box is the user's for the serial Intelligent Interface and the ROBO Interface; on a parallel port
// the driver serves both modules, so the box stands ticked there. The user's tick outlives a look at a
// parallel entry.
TEST_F(StartupTest, the_extension_box_follows_the_chosen_entry_and_keeps_the_users_tick) {
  struct Step {
    const char* entry;
    bool clickBox;  // the user clicks the box after choosing the entry
    bool enabled, ticked;
  };
  const Step steps[] = {
      {"ROBO USB", false, true, false}, {"LPT1", false, false, true},        {"ROBO FUNK", true, true, true},
      {"LPT", true, false, true},       {"IntInt COM2", false, true, true},  {"ROBO COM3", true, true, false},
      {"LPT3", false, false, true},     {"IntInt COM4", false, true, false},
  };
  start({[&](ConnectionDialog& connection) {
    QComboBox* list = connection.interfaceList();
    QCheckBox* box = connection.extensionCheck();
    for (int index = 0; index < list->count(); ++index) {  // every entry, each way
      testing::choose(list, index);
      EXPECT_EQ(box->isEnabled(), index < 10) << list->itemText(index).toStdString();
    }
    testing::choose(list, 0);
    for (const Step& step : steps) {
      SCOPED_TRACE(step.entry);
      testing::choose(list, step.entry);
      if (step.clickBox) testing::click(box);
      EXPECT_EQ(box->isEnabled(), step.enabled);
      EXPECT_EQ(box->isChecked(), step.ticked);
      EXPECT_EQ(box->text(), "Extension- Modul");
    }
    verbinden(connection);
  }});
  EXPECT_EQ(state.connection.portNumber, 4);
  EXPECT_EQ(state.connection.motorCount, 4);
}

// "Verbinden" sets the module up as the box says before it opens: the serial Intelligent Interface is
// opened with it (C2 exchanges) or without (C1), and 8 motors offer the extension module's panels.
TEST_F(StartupTest, verbinden_opens_and_sets_up_the_module_the_box_says) {
  struct Row {
    const char* entry;
    bool tick;
    std::optional<IntIntPort> port;  // at the open; nothing: a ROBO Interface
    uint8_t hasExtension;
    int32_t motorCount;
  };
  const Row rows[] = {
      {"IntInt COM3", true, IntIntPort::SerialWithExtension, 1, 8},
      {"IntInt COM1", false, IntIntPort::Serial, 0, 4},
      {"ROBO USB", true, std::nullopt, 1, 8},
      {"ROBO COM2", true, std::nullopt, 1, 8},
      {"ROBO FUNK", false, std::nullopt, 0, 4},
      {"LPT2", false, IntIntPort::Parallel, 1, 8},  // both modules, ticked or not
  };
  robo.extensions = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    boxes.shown.clear();
    intInt.ports.clear();
    start({[&](ConnectionDialog& connection) {
      testing::choose(connection.interfaceList(), row.entry);
      if (row.tick) testing::click(connection.extensionCheck());
      verbinden(connection);
    }});
    if (row.port) {
      EXPECT_EQ(intInt.ports, std::vector<IntIntPort>{*row.port});
    } else {
      EXPECT_TRUE(intInt.ports.empty());
    }
    EXPECT_EQ(state.connection.hasExtension, row.hasExtension);
    EXPECT_EQ(state.connection.motorCount, row.motorCount);
    ASSERT_EQ(c().moduleList->count(), row.motorCount == 8 ? 2 : 1);
    if (row.motorCount == 8) {
      EXPECT_EQ(c().moduleList->itemText(1), "Extensionmodul");
    }
    EXPECT_EQ(c().endSwitchLeftList[0]->count(), 2 * row.motorCount);  // E1..E8 or E1..E16
    EXPECT_EQ(boxes.shown.size(), 1u);                                 // the greeting only
    dialog.reset();
  }
}

// A stored interface that does not answer is offered again as it was set up: its entry chosen and the
// box ticked for 8 motors, so that "Verbinden" tries the same set-up once more.
TEST_F(StartupTest, a_stored_interface_that_does_not_answer_is_offered_again_with_its_entry_and_tick) {
  struct Row {
    ConnectionSettings stored;
    const char* entry;
    bool enabled, ticked;
    std::optional<IntIntPort> port;  // at each open; nothing: a ROBO Interface
  };
  const Row rows[] = {
      {{kIntelligentInterface, 3, 1, 0, 8}, "IntInt COM3", true, true, IntIntPort::SerialWithExtension},
      {{kIntelligentInterface, 2, 0, 0, 4}, "IntInt COM2", true, false, IntIntPort::Serial},
      {{kRoboSerial, 2, 0, 0, 8}, "ROBO COM2", true, true, std::nullopt},
      {{kRoboUsb, -1, 0, 0, 4}, "ROBO USB", true, false, std::nullopt},
      {{kIntelligentInterface, 4, 0, 1, 4}, "LPT", false, true, IntIntPort::Parallel},
  };
  robo.extensions = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    boxes.shown.clear();
    intInt.ports.clear();
    intInt.openResults = {false};
    robo.opens = 0;
    robo.failingOpens = 1;
    storeSettings(row.stored);
    QString offered;
    bool enabled = false, ticked = false;
    start({[&](ConnectionDialog& connection) {
      offered = connection.interfaceList()->currentText();
      enabled = connection.extensionCheck()->isEnabled();
      ticked = connection.extensionCheck()->isChecked();
      verbinden(connection);
    }});
    EXPECT_EQ(offered.toStdString(), row.entry);
    EXPECT_EQ(enabled, row.enabled);
    EXPECT_EQ(ticked, row.ticked);
    const bool eight = row.ticked;
    EXPECT_EQ(state.connection.motorCount, eight ? 8 : 4);
    EXPECT_EQ(state.connection.hasExtension, eight ? 1 : 0);
    if (row.port) {
      EXPECT_EQ(intInt.ports, (std::vector<IntIntPort>{*row.port, *row.port}));
    } else {
      EXPECT_EQ(robo.opens, 2);
    }
    dialog.reset();
  }
}

TEST_F(StartupTest, another_joystick_than_stored_is_told_and_the_lists_follow_the_one_found) {
  storeSettings({kRoboUsb, -1, 0, 0, 4}, {0, 2, 4});
  start({});
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Anderer Joystick gefunden!");
  EXPECT_EQ(
      boxes.shown[0].text.rfind("\nTreiberbezeichnung: Testknueppel\nAchsen: 3\nButtons: 8\n\nAchtung:\n", 0),
      0u);
  EXPECT_EQ(state.joystickCaps, kFound);
  EXPECT_EQ(c().buttonLeftList[0]->count(), 8);
  EXPECT_EQ(c().dirAxisList[0]->itemText(4), "POV2");
}

// The capability record holds a name of 31 bytes and its terminator; the longest one, with two-byte
// letters up to its last byte, must not cost either box a word of its advice.
TEST_F(StartupTest, the_joystick_boxes_show_their_whole_text_also_with_the_longest_name) {
  const std::string name = "Großer Knüppel für Flugsimul";  // 31 bytes, three letters of two
  ASSERT_EQ(name.size(), static_cast<size_t>(kJoystickNameSize - 1));
  std::strcpy(joystick.caps.szPname, name.c_str());
  const std::string other =
      "\nTreiberbezeichnung: " + name +
      "\nAchsen: 3\nButtons: 8\n\nAchtung:\nWenn dieser Joystick weniger/andere Funktionen als der bisher "
      "gespeicherte hat, kann es ggf. zu Fehlern beim Laden der Einstellungsdatei kommen.\nEvtl. müssen Sie "
      "dann die Einstellungen zurücksetzen oder notfalls auch die Einstellungsdatei \"settings.vlm\" "
      "löschen.";
  struct Row {
    const char* what;
    bool stored;  // a settings file made for another joystick
    std::string text;
  };
  const Row rows[] = {
      {"greeting", false,
       "Verbindung zum Joystick erfolgreich!\n\nTreiberbezeichnung: " + name + "\nAchsen: 3\nButtons: 8"},
      {"other joystick", true, other}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove(kSettingsFileName);
    if (row.stored) storeSettings({kRoboUsb, -1, 0, 0, 4}, {0, 2, 4});
    boxes.shown.clear();
    start(row.stored ? std::deque<Action>{} : std::deque<Action>{verbinden});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, row.text);
    dialog.reset();
  }
}

TEST_F(StartupTest, a_file_that_is_no_settings_file_gives_the_defaults_and_the_end_writes_a_good_one) {
  struct Row {
    const char* contents;
    bool told;  // the wrong-file message
  };
  const Row rows[] = {{"VLM14 von einer alten Version", true},
                      {"VLM", true},
                      {"", true},
                      {"DELETED - Bitte starten Sie Velomat neu.", false},
                      {"DELETxyz", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.contents);
    writeFile(row.contents);
    boxes.shown.clear();
    boxes.answers = {BoxAnswer::Ok, BoxAnswer::Ok};
    start();
    ASSERT_EQ(boxes.shown.size(), row.told ? 2u : 1u);
    if (row.told) {
      EXPECT_EQ(boxes.shown[0].text, kWrongFileText);
      EXPECT_EQ(boxes.shown[0].caption, "Achtung");
      EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::OkCancel);
    }
    EXPECT_EQ(boxes.shown.back().text, kGreeting);
    EXPECT_EQ(c().speedSlider[0]->value(), 100);
    dialog->close();  // the close box saves
    EXPECT_EQ(fileBytes().size(), kSettingsFileSize);
    EXPECT_EQ(settingsKind(fileBytes()), SettingsKind::Settings);
    dialog.reset();
  }
}

TEST_F(StartupTest, without_a_joystick_retry_asks_joystick_one_again) {
  joystick.present = {false, false};
  joystick.recordAsked = true;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Ok};
  boxes.onShow = [&](const testing::ShownBox& box) {
    if (box.text == kNoJoystickText) joystick.present = {true, true};  // plugged in while the box is up
  };
  start();
  EXPECT_THAT(joystick.asked, ElementsAre("caps 0", "sample 0", "caps 1", "sample 1", "caps 1", "sample 1"));
  EXPECT_EQ(state.joystickId, 1u);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].caption, "Verbindung fehlgeschlagen");
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::RetryCancel);
}

TEST_F(StartupTest, the_about_box_opens_from_the_credits_button_and_from_the_window_menu) {
  start();
  // The window menu: the live view with its shortcut, then the About box.
  ASSERT_EQ(dialog->actions().size(), 2);
  EXPECT_EQ(dialog->actions()[0]->text(), "&Joystick und Interface...");
  EXPECT_EQ(dialog->actions()[0]->shortcut(), QKeySequence("Ctrl+J"));
  EXPECT_TRUE(dialog->actions()[0]->isShortcutVisibleInContextMenu());
  EXPECT_EQ(dialog->actions()[1]->text(), "Inf&o über Velomat...");
  EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_FALSE(dialog->windowIcon().isNull());
  const std::function<void()> opens[] = {
      [&] { testing::click(dialogItem(dialog.get(), id::kCreditsButton)); },
      [&] { dialog->actions()[1]->trigger(); }};
  for (const auto& open : opens) {
    QStringList texts;
    QString caption;
    QTimer::singleShot(20, [&] {
      QWidget* about = QApplication::activeModalWidget();
      ASSERT_NE(about, nullptr);
      caption = about->windowTitle();
      for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
      QTest::keyClick(about, Qt::Key_Escape);
    });
    open();
    EXPECT_EQ(caption, "Info über Velomat");
    EXPECT_TRUE(texts.contains("Velomat Version 1.5"));
    EXPECT_TRUE(texts.contains("Echtzeit-\nJoystick-\nVersion!"));
  }
}

// Takes the addresses the desktop is asked to open, in place of the mail program and the browser.
class OpenedUrls final : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;
  Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

TEST(AboutBox, its_e_mail_and_web_addresses_open_the_mail_program_and_the_browser) {
  OpenedUrls desktop;
  for (const char* scheme : {"mailto", "https"}) QDesktopServices::setUrlHandler(scheme, &desktop, "open");
  AboutDialog about;
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  struct Row {
    const char* line;
    const char* opens;
  };
  const Row rows[] = {{kAuthorContact, "mailto:velomat-team@example.org"},
                      {kAuthorWeb, "https://velomat.example.org"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    QLabel* line = nullptr;
    for (QLabel* label : about.findChildren<QLabel*>()) {
      QTextDocument shown;
      shown.setHtml(label->text());
      if (shown.toPlainText() == row.line) line = label;
    }
    ASSERT_NE(line, nullptr);
    desktop.urls.clear();
    // A click on the address's first letters.
    const QPoint at(line->contentsRect().left() + 4, line->contentsRect().center().y());
    QTest::mouseClick(line, Qt::LeftButton, {}, at);
    EXPECT_EQ(desktop.urls, QList<QUrl>{QUrl(row.opens)});
  }
  for (const char* scheme : {"mailto", "https"}) QDesktopServices::unsetUrlHandler(scheme);
}

TEST_F(StartupTest, the_connection_dialog_stands_in_the_screens_middle_like_the_greeting_before_it) {
  shown = &qtBoxes;
  QPoint greeting, connection;
  QRect screen;
  auto* user = new QTimer(qApp);
  QObject::connect(user, &QTimer::timeout, [&greeting, user] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    greeting = box->frameGeometry().center();
    user->deleteLater();
    box->button(QMessageBox::Ok)->click();
  });
  user->start(5);
  start({[&](ConnectionDialog& dialogShown) {
    connection = dialogShown.frameGeometry().center();
    screen = dialogShown.screen()->availableGeometry();
    verbinden(dialogShown);
  }});
  ASSERT_FALSE(greeting.isNull());
  EXPECT_LE((connection - greeting).manhattanLength(), 4)
      << "greeting at " << greeting.x() << "," << greeting.y() << ", dialog at " << connection.x() << ","
      << connection.y();
  EXPECT_LE((connection - screen.center()).manhattanLength(), 60);
}

TEST_F(StartupTest, a_failed_open_keeps_the_dialog_open_for_another_choice) {
  intInt.openResults = {false};
  QString statusAfterFailure;
  start({choose("IntInt COM1"), [&](ConnectionDialog& connection) {
           statusAfterFailure = connection.statusLine()->text();
           choose("IntInt COM2")(connection);
         }});
  EXPECT_EQ(statusAfterFailure, kNotConnectedStatus);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, kConnectFailedText);
  EXPECT_EQ(boxes.shown[1].caption, "");  // the program's title
  ASSERT_EQ(intInt.calls.size(), 2u);
  EXPECT_EQ(intInt.calls[1], testing::openCall(IntIntPort::Serial, 2));
  EXPECT_EQ(state.connection.portNumber, 2);
}

// A port that another program holds says so beside the failure: the user can do something about it.
TEST_F(StartupTest, a_port_another_program_holds_is_named_in_the_failure) {
  intInt.openResults = {false};
  intInt.whyNotOpened = PortOpenError::InUse;
  start({choose("IntInt COM3"), [&](ConnectionDialog& connection) {
           intInt.whyNotOpened = PortOpenError::None;
           choose("IntInt COM2")(connection);
         }});
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, std::string(kConnectFailedText) +
                                     "\nCOM3 wird von einem anderen Programm benutzt.\n"
                                     "Beenden Sie das andere Programm und versuchen Sie es noch einmal.");
  ASSERT_EQ(intInt.calls.size(), 2u);
  EXPECT_EQ(intInt.calls[1], testing::openCall(IntIntPort::Serial, 2));
  EXPECT_EQ(state.connection.portNumber, 2);
}

TEST_F(StartupTest, the_ways_out_of_the_connection_end_the_process_with_their_exit_codes) {
  GTEST_FLAG_SET(death_test_style, "fast");  // no thread runs yet; the child shares the folder
  struct Row {
    const char* what;
    const char* file;  // nullptr: none
    bool joystick;
    std::deque<BoxAnswer> answers;
    int code;
  };
  const Row rows[] = {
      {"Cancel in the dialog", nullptr, true, {BoxAnswer::Ok}, 0},
      {"no joystick, Cancel", nullptr, false, {BoxAnswer::Cancel}, 1},
      {"wrong file, Cancel", "VLM14 alt", true, {BoxAnswer::Cancel}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.file != nullptr) writeFile(row.file);
    joystick.present = {row.joystick, row.joystick};
    boxes.answers = row.answers;
    const auto cancel = [](ConnectionDialog& connection) {
      QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(&connection, id::kCancel)), Qt::LeftButton);
    };
    EXPECT_EXIT(start({cancel}), ::testing::ExitedWithCode(row.code), "");
    // Nothing was saved: no file, or the file as it was, byte for byte.
    if (row.file == nullptr) {
      EXPECT_FALSE(fs::exists(kSettingsFileName));
    } else {
      EXPECT_EQ(fileBytes(), std::vector<uint8_t>(row.file, row.file + std::strlen(row.file)));
    }
  }
}

TEST_F(StartupTest, the_close_box_during_a_run_switches_off_closes_the_interface_and_saves_once) {
  joystick.next.dwXpos = 0;  // motor 1 runs
  start();
  QTest::mouseClick(c().startButton, Qt::LeftButton);
  ASSERT_TRUE(waitedFor([this] { return robo.exchanges.load() >= 20; }))
      << "the run made fewer than 20 exchanges";
  dialog->close();
  EXPECT_THAT(robo.events(), ElementsAre("all off", "close"));
  EXPECT_EQ(files.renames, 1);
  EXPECT_EQ(fileBytes().size(), kSettingsFileSize);
}

// Enter in "Verbindung zum Interface verloren" during a run is "NOT-AUS", never "Wiederholen": the stop
// is asked for and the box stays; the "Wiederholen" after it, the line back, sends only the all-off words.
TEST_F(StartupTest, enter_in_the_lost_connection_box_during_a_run_is_not_aus_and_the_box_stays) {
  const auto servedUntil = [](const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < giveUp) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  };
  storeSettings({kRoboUsb, -1, 0, 0, 4});  // connects at once, without a box
  shown = &qtBoxes;
  joystick.next.dwXpos = 0;  // motor 1 runs
  robo.hookAt = 20;
  robo.failures = 1;  // the line fails once, then answers again
  start({});
  bool answered = false;
  testing::whenModalShows([&](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), kLostConnectionText);
    QTest::keyClick(box->focusWidget() != nullptr ? box->focusWidget() : box, Qt::Key_Return);
    EXPECT_EQ(state.stopRequested.load(), 1);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(c().statusText->text(), "Bereit");
    for (QAbstractButton* button : box->buttons()) {
      if (button->text().remove('&') == "Wiederholen") button->click();
    }
    answered = true;
  });
  testing::click(c().startButton);
  ASSERT_TRUE(servedUntil([&] { return answered && dialog->worker()->finishedRuns() == 1; }));
  EXPECT_THAT(robo.events(), ElementsAre("hook", "failed", "all off"));
}

// The buttons that end the process during a run, their boxes answered as the row says: each must switch
// off, close the interface once and write the file once, in that order, and end with exit code 0. The
// whole run is the death test's child's, which starts anew for each row and leaves its file in the folder.
TEST_F(StartupTest, every_button_that_ends_a_run_switches_off_closes_once_writes_once_and_ends_with_0) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the run's thread must be there in the child
  struct Row {
    const char* what;
    int button;
    std::deque<BoxAnswer> answers;
    size_t fileSize;
  };
  const Row rows[] = {{"Ende", id::kEndButton, {}, kSettingsFileSize},
                      {"reset", id::kResetButton, {BoxAnswer::No, BoxAnswer::Ok}, kResetMarkerText.size()}};
  const auto inOrder = [](const std::string& err) {
    const size_t off = err.find("driver: all off"), close = err.find("driver: close"),
                 written = err.find("file: settings.vlm written");
    return count(err, "driver: all off") == 1 && count(err, "driver: close") == 1 &&
           count(err, "file: ") == 1 && off < close && close < written && written != std::string::npos;
  };
  const auto endDuringARun = [this](const Row& row) {
    fs::remove(kSettingsFileName);  // the row before left its file: this start asks for the interface
    joystick.next.dwXpos = 0;       // motor 1 runs
    start();
    testing::click(c().startButton);
    waitedOrEnded([this] { return robo.exchanges.load() >= 20; }, "20 exchanges of the run");
    boxes.answers = row.answers;
    testing::click(dialogItem(dialog.get(), row.button));
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EXIT(endDuringARun(row), ::testing::ExitedWithCode(0), ::testing::Truly(inOrder));
    EXPECT_EQ(fileBytes().size(), row.fileSize);  // the child's file
  }
}

// What a user answers to the Qt message boxes that come up, in order, by button text, or "END" for the
// system's request to end (SIGTERM, the end of the session) while the box is up; each box is told on
// stderr ("box: <text>") as it comes.
void answerBoxes(std::deque<QString> answers) {
  auto* user = new QTimer(qApp);
  QObject::connect(user, &QTimer::timeout, [answers = std::move(answers)]() mutable {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->property("seen").toBool()) return;
    box->setProperty("seen", true);
    std::fprintf(stderr, "box: %s\n", box->text().toUtf8().constData());
    const QString answer = answers.empty() ? QStringLiteral("OK") : answers.front();
    if (!answers.empty()) answers.pop_front();
    if (answer == "END") testing::systemEnds().front().ask();
    for (QAbstractButton* button : box->buttons()) {
      if (button->text().remove('&') == answer)
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    }
  });
  user->start(5);
}

// The driver's story after the hook, as its lines on stderr tell it.
struct Story {
  std::vector<std::string> exchanges;  // "on", "all off", "failed"
  bool closed = false, saved = false, askedRetry = false;
  int toldMotorsMayRun = 0;  // boxes that say so
  explicit Story(const std::string& err) {
    std::istringstream lines(err.substr(std::min(err.find("driver: hook"), err.size())));
    for (std::string line; std::getline(lines, line);) {
      if (line == "driver: on" || line == "driver: all off" || line == "driver: failed") {
        exchanges.push_back(line.substr(8));
      }
      closed |= line == "driver: close";
      saved |= line == "file: settings.vlm written";
      toldMotorsMayRun += line.rfind(std::string("box: ") + "Das Interface hat den Befehl", 0) == 0 ? 1 : 0;
      askedRetry |= line == std::string("box: ") + kLostConnectionText;
    }
  }
};

using Act = std::function<void(StartupTest&)>;

// One way to end the program during a run, and what it must do.
struct EndRow {
  std::string what;
  int failures;                 // exchanges that fail from the one under way on
  Act act;                      // what the user does during that exchange (nullptr: nothing)
  bool waitsForStop;            // the exchange fails only once the GUI thread has asked the stop
  std::deque<QString> answers;  // to the boxes that come up
  int code;
  bool switchesOff, closes, saves, asksRetry;
};

// The program's start and a run; during its 21st exchange the row's user acts. Runs in the death
// test's child and ends with the process, as the program's main does.
void runUntilTheEnd(StartupTest& t, const EndRow& row) {
  t.storeSettings({kRoboUsb, -1, 0, 0, 4});  // connects at once, without a box
  t.shown = &t.qtBoxes;
  t.joystick.next.dwXpos = 0;  // motor 1 runs
  t.robo.hookAt = 20;
  t.robo.failures = row.failures;
  t.robo.hook = [&t, &row] {
    if (row.act) QMetaObject::invokeMethod(t.dialog.get(), [&t, &row] { row.act(t); });
    if (row.waitsForStop)
      waitedOrEnded([&t] { return t.state.stopRequested.load() != 0; }, "the stop the user asked for");
  };
  t.start({});
  answerBoxes(row.answers);
  testing::click(t.c().startButton);
  QTimer::singleShot(20000, [] {
    std::fprintf(stderr, "the program did not end\n");
    endProcess(99);
  });
  t.dialog->exec();  // as the program's main does
  endProcess(0);
}

// Every way the program ends during a run, also while the line to the interface fails: the all-off
// exchange is the last one that reaches the interface and no motor word follows it, or the user was
// told that the motors may still run; the interface is closed and the settings saved where the way
// promises it; the exit code is the way's own.
TEST_F(StartupTest, every_end_during_a_run_switches_off_or_tells_the_user) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the run's thread must be there in the child
  constexpr int kGlitch = 1, kLost = LoudRobo::kStaysLost;
  const Act ende = [](StartupTest& t) { testing::click(dialogItem(t.dialog.get(), id::kEndButton)); };
  const Act closeBox = [](StartupTest& t) { t.dialog->close(); };
  const Act escape = [](StartupTest& t) { QTest::keyClick(t.dialog.get(), Qt::Key_Escape); };
  std::vector<EndRow> rows = {
      {"Ende, the line fails once", kGlitch, ende, true, {}, 0, true, true, true, false},
      {"close box, the line fails once", kGlitch, closeBox, true, {}, 0, true, true, true, false},
      {"Escape, the line fails once", kGlitch, escape, true, {}, 0, true, true, true, false},
      {"Ende, the line stays lost", kLost, ende, true, {"OK"}, 0, false, true, true, false},
      {"Cancel in the lost-connection box, the line comes back",
       kGlitch,
       nullptr,
       false,
       {"Abbrechen"},
       0,
       true,
       false,
       false,
       true},
      {"Cancel in the lost-connection box, the line stays lost",
       kLost,
       nullptr,
       false,
       {"Abbrechen", "OK"},
       0,
       false,
       false,
       false,
       true},
      {testing::systemEnds().front().what + " while the lost-connection box is up, the line stays lost",
       kLost,
       nullptr,
       false,
       {"END", "OK"},
       0,
       false,
       true,
       true,
       true},
      {"exit() (a lost display)",
       0,
       [](StartupTest&) { std::exit(1); },
       false,
       {},
       1,
       true,
       false,
       true,
       false},
  };
  // Each way the system asks the program to end (signals, the end of the session) during a run.
  for (const testing::SystemEnd& end : testing::systemEnds()) {
    rows.push_back(
        {end.what, 0, [ask = end.ask](StartupTest&) { ask(); }, false, {}, 0, true, true, true, false});
  }
  for (const EndRow& row : rows) {
    SCOPED_TRACE(row.what);
    const auto story = [&row](const std::string& err) {
      const Story told(err);
      const bool offLast = !told.exchanges.empty() && told.exchanges.back() == "all off";
      const auto firstOff = std::find(told.exchanges.begin(), told.exchanges.end(), "all off");
      const bool onAfterOff = std::find(firstOff, told.exchanges.end(), "on") != told.exchanges.end();
      return offLast == row.switchesOff && told.toldMotorsMayRun == (row.switchesOff ? 0 : 1) &&
             !onAfterOff && told.closed == row.closes && told.saved == row.saves &&
             told.askedRetry == row.asksRetry;
    };
    EXPECT_EXIT(runUntilTheEnd(*this, row), ::testing::ExitedWithCode(row.code), ::testing::Truly(story));
  }
}

}  // namespace
}  // namespace velomat

#include "startup_test.moc"
