// Test main for the GUI suites: a QApplication on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer, so what its own threads and locks do cannot be judged: calls
// made from inside Qt are not checked. The program's threads meet in its own atomics and locks, and
// those stay checked. A race that GLib's allocator reports between two of Qt's painting threads (a block
// freed by one after another made it) is GLib's own; its locks stay seen, as the event loop needs them.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Gui.so.6\nrace:libglib-2.0.so.0\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Qt's font database lets fontconfig go when the application object goes. A test that ends the process
// through exit() on purpose, as a lost display does, ends before that: what fontconfig holds then is
// not the program's.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says for every popup that it cannot raise or grab; nothing a test needs.
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  // The offscreen platform, on the screen a test asks for ("offscreen:configfile=...") or its own.
  if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen")))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  defaultHandler = qInstallMessageHandler(quietOffscreen);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
