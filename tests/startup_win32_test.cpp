// Windows' own requests to end, as the toolkit hands them to the program's native event filters: the
// end of the session, and WM_CLOSE (the close box, `taskkill` without /F) for a window a box blocks.
#include <gtest/gtest.h>
#include <windows.h>

#include <QByteArray>

#include "app/end_requests_win32.h"

namespace velomat {
namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x10072), kOther = reinterpret_cast<HWND>(0x10099);

// WM_CLOSE for the main window is handed on (the program then ends as "Ende" does) only while a box
// blocks it; every other message goes on to the toolkit.
TEST(BlockedWindowCloses, only_the_windows_own_close_while_a_box_blocks_it_is_taken) {
  struct Row {
    const char* what;
    QByteArray type;
    UINT message;
    HWND window;
    bool blocked, taken;
  };
  const Row rows[] = {
      {"close, a box up", "windows_generic_MSG", WM_CLOSE, kWindow, true, true},
      {"close, no box up", "windows_generic_MSG", WM_CLOSE, kWindow, false, false},
      {"another window's close", "windows_generic_MSG", WM_CLOSE, kOther, true, false},
      {"another message", "windows_generic_MSG", WM_DESTROY, kWindow, true, false},
      {"another platform's event", "xcb_generic_event_t", WM_CLOSE, kWindow, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int closes = 0;
    BlockedWindowCloses filter(
        kWindow, [&row] { return row.blocked; }, [&closes] { ++closes; });
    MSG message{};
    message.hwnd = row.window;
    message.message = row.message;
    qintptr result = -1;
    EXPECT_EQ(filter.nativeEventFilter(row.type, &message, &result), row.taken);
    EXPECT_EQ(closes, row.taken ? 1 : 0);
  }
}

// A session that ends: the question is agreed to without ending anything, the end itself ends the
// program once however many windows are told, and an end called off ends nothing.
TEST(SessionEndRequests, the_session_end_ends_the_program_once_and_the_question_alone_never) {
  struct Row {
    const char* what;
    std::vector<std::pair<UINT, WPARAM>> messages;
    int ends;
    qintptr lastResult;
  };
  const Row rows[] = {
      {"asked only", {{WM_QUERYENDSESSION, 0}}, 0, TRUE},
      {"asked, then called off", {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, FALSE}}, 0, 0},
      {"asked, then ended", {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}, 1, 0},
      {"ended, told to two windows", {{WM_ENDSESSION, TRUE}, {WM_ENDSESSION, TRUE}}, 1, 0},
      {"other messages", {{WM_CLOSE, 0}, {WM_DESTROY, 0}}, 0, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int ends = 0;
    SessionEndRequests filter([&ends] { ++ends; });
    qintptr result = -1;
    for (const auto& [message, wParam] : row.messages) {
      MSG msg{};
      msg.hwnd = kWindow;
      msg.message = message;
      msg.wParam = wParam;
      const bool taken = filter.nativeEventFilter("windows_generic_MSG", &msg, &result);
      EXPECT_EQ(taken, message == WM_QUERYENDSESSION || message == WM_ENDSESSION);
    }
    EXPECT_EQ(ends, row.ends);
    EXPECT_EQ(result, row.lastResult);
  }
}

}  // namespace
}  // namespace velomat
