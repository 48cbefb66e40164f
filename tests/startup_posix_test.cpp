// Start-ups and ends that only a POSIX system has: the settings file where users keep it (modes,
// links, folders they may not write), run by an ordinary user in a child process, and X11's close
// requests for a window that a box blocks.
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QMessageBox>
#include <QThreadPool>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "app/close_request.h"
#include "startup_steps.h"

namespace velomat {
namespace {

// The main window's close box while a box blocks it: the window manager's WM_DELETE_WINDOW for that
// window is handed on (the program then ends as "Ende" does) only while a box blocks it; every other
// message goes on to the toolkit.
TEST(BlockedCloseRequests, only_the_windows_own_delete_request_while_a_box_blocks_it_is_taken) {
  constexpr uint32_t kDelete = 301, kTakeFocus = 302, kWindow = 0x400007, kOther = 0x400099;
  struct Row {
    const char* what;
    QByteArray type;
    uint8_t response;
    uint32_t window, atom;
    bool blocked, taken;
  };
  const Row rows[] = {
      {"close box, a box up", "xcb_generic_event_t", XCB_CLIENT_MESSAGE, kWindow, kDelete, true, true},
      {"the same from the server's own event", "xcb_generic_event_t", XCB_CLIENT_MESSAGE | 0x80, kWindow,
       kDelete, true, true},
      {"close box, no box up", "xcb_generic_event_t", XCB_CLIENT_MESSAGE, kWindow, kDelete, false, false},
      {"another window's close box", "xcb_generic_event_t", XCB_CLIENT_MESSAGE, kOther, kDelete, true, false},
      {"another request", "xcb_generic_event_t", XCB_CLIENT_MESSAGE, kWindow, kTakeFocus, true, false},
      {"another event", "xcb_generic_event_t", XCB_KEY_PRESS, kWindow, kDelete, true, false},
      {"another platform's message", "windows_generic_MSG", XCB_CLIENT_MESSAGE, kWindow, kDelete, true,
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int closes = 0;
    BlockedCloseRequests filter(
        kDelete, kWindow, [&row] { return row.blocked; }, [&closes] { ++closes; });
    xcb_client_message_event_t event{};
    event.response_type = row.response;
    event.format = 32;
    event.window = row.window;
    event.data.data32[0] = row.atom;
    EXPECT_EQ(filter.nativeEventFilter(row.type, &event, nullptr), row.taken);
    EXPECT_EQ(closes, row.taken ? 1 : 0);
  }
}

// The settings file where users keep it. Each row prepares the working folder, then a child process
// run as an ordinary user starts the program, answers every box with OK, chooses "Verbinden" where the
// connection dialog waits, and presses "Ende"; the row checks what the user was shown, the exit code
// and what lies on disk afterwards.

// An ordinary user's ids, taken by the child when the tests run as root (root ignores file rights).
constexpr uid_t kUserId = 65534;
constexpr gid_t kGroupId = 65534;
// A child that has not ended after this long hangs and is killed. A whole start and end takes well
// under a second, a few under the sanitizers on a busy machine; this is no measure of speed.
constexpr std::chrono::seconds kChildBound{60};

struct ChildEnd {
  bool ended = false;  // false: killed, by its alarm at the bound or otherwise
  int exitCode = -1;
  std::vector<std::string> shown;  // every box's text, and "Ende" where "Ende" was pressed
};

// One message through the pipe, ended by a zero byte; a message shorter than the pipe's buffer goes
// whole in one write.
void tell(int out, const std::string& text) {
  const std::string message = text + '\0';
  EXPECT_EQ(::write(out, message.data(), message.size()), static_cast<ssize_t>(message.size()));
}

// Runs `body` in a child process as an ordinary user. The child tells what it shows through the pipe
// end it is given and ends the process itself; its alarm kills it when it has not ended after the bound.
ChildEnd runAsUser(const std::function<void(int)>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  // The child has only the thread that forks: the pool's idle threads, which it would count on and whose
  // locks it would inherit, are told to end, and the fork waits until they are gone.
  QThreadPool::globalInstance()->waitForDone();
  const auto poolThreads = [] {
    int count = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
      std::string name;
      std::getline(std::ifstream(task.path() / "comm"), name);
      count += name == "Thread (pooled)";
    }
    return count;
  };
  if (!waitedFor([&] { return poolThreads() == 0; })) {
    ADD_FAILURE() << "the thread pool's idle threads did not end";
    ::close(channel[0]);
    ::close(channel[1]);
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    ::close(channel[0]);
    ::alarm(static_cast<unsigned>(kChildBound.count()));
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kGroupId) != 0 || setuid(kUserId) != 0))
      _exit(120);
    umask(022);
    body(channel[1]);
    _exit(121);
  }
  ::close(channel[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ChildEnd end{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), {}};
  std::string received;
  char chunk[4096];
  for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;)
    received.append(chunk, static_cast<size_t>(n));
  ::close(channel[0]);
  for (size_t at = 0, next; (next = received.find('\0', at)) != std::string::npos; at = next + 1)
    end.shown.push_back(received.substr(at, next - at));
  return end;
}

// Everything in `folder`, the folder included, becomes the ordinary user's when the tests run as root.
void giveToUser(const fs::path& folder) {
  if (geteuid() != 0) return;
  ASSERT_EQ(::lchown(folder.c_str(), kUserId, kGroupId), 0);
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    ASSERT_EQ(::lchown(entry.path().c_str(), kUserId, kGroupId), 0);
}

void put(const fs::path& path, const std::vector<uint8_t>& bytes, fs::perms mode) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  fs::permissions(path, mode);
}

// The file's bytes, also when its owner may not read it.
std::vector<uint8_t> bytesAt(const fs::path& path) {
  if (!fs::is_regular_file(path)) return {};
  const fs::perms mode = fs::status(path).permissions();
  fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  fs::permissions(path, mode);
  return bytes;
}

// Where the symbolic link at `path` leads; empty when there is no link.
fs::path linkAt(const fs::path& path) {
  return fs::is_symlink(path) ? fs::read_symlink(path) : fs::path();
}

fs::perms modeOf(const fs::path& path) {
  return fs::status(path).permissions();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A file the end of the run wrote: 170 bytes of settings, the main module shown (stored files have
// the extension module) and motor 1 at `speed` percent.
void expectSaved(const fs::path& path, uint8_t speed) {
  const std::vector<uint8_t> bytes = bytesAt(path);
  ASSERT_EQ(bytes.size(), kSettingsFileSize) << path;
  EXPECT_EQ(settingsKind(bytes), SettingsKind::Settings);
  EXPECT_EQ(bytes[settings_offset::kModuleIndex], 0) << path;
  EXPECT_EQ(bytes[settings_offset::kSlots + 15], speed) << path;
}

struct FileRow {
  const char* what;
  std::function<void()> prepare;        // in the working folder, before the child
  std::function<void()> prepareAsUser;  // in the child, as the user, before the start
  bool choose;                          // the connection dialog waits for "Verbinden"
  std::vector<std::string> shown;       // every box, and "Ende" where the user presses it
  std::function<void()> onDisk;
  int exitCode = 0;
  std::deque<BoxAnswer> answers = std::deque<BoxAnswer>(8, BoxAnswer::Ok);
};

TEST_F(StartupTest, the_settings_file_where_users_keep_it_from_the_start_to_ende) {
  using enum fs::perms;
  const std::vector<uint8_t> stored = storedBytes({kRoboUsb, -1, 0, 0, 4});
  const std::string file = "Die Einstellungsdatei \"settings.vlm\"", denied = std::strerror(EACCES);
  const auto atStart = [](const std::string& what) {
    return what +
           ".\nVelomat liest sie nicht und beginnt mit den Grundeinstellungen. "
           "Beim Beenden von Velomat werden die Einstellungen nicht gespeichert.";
  };
  const auto atEnd = [](const std::string& what) {
    return what + ".\nDie Einstellungen wurden nicht gespeichert.";
  };
  const auto keep = [&stored](fs::perms mode) {
    return [&stored, mode] { put("settings.vlm", stored, mode); };
  };
  const fs::perms rw_r_r = owner_read | owner_write | group_read | others_read;
  const std::vector<std::string> onlyTheFile{"settings.vlm"};
  const auto savedWithMode = [onlyTheFile](fs::perms mode, uint8_t speed) {
    return [=] {
      expectSaved("settings.vlm", speed);
      EXPECT_EQ(modeOf("settings.vlm"), mode);
      EXPECT_EQ(namesIn("."), onlyTheFile);
    };
  };
  const std::string fifo = file + " ist keine gewöhnliche Datei, sondern eine benannte Pipe (FIFO)",
                    folder = file + " ist ein Verzeichnis",
                    zero = file +
                           " (ein Verweis auf \"/dev/zero\") ist keine gewöhnliche Datei, sondern ein Gerät",
                    socket = file + " ist keine gewöhnliche Datei, sondern ein Socket";

  const FileRow rows[] = {
      {"a regular file", keep(rw_r_r), {}, false, {"Ende"}, savedWithMode(rw_r_r, 42)},
      {"a FIFO",
       [] { ASSERT_EQ(mkfifo("settings.vlm", 0644), 0); },
       {},
       true,
       {atStart(fifo), kGreeting, "Ende", atEnd(fifo)},
       [&] {
         EXPECT_TRUE(fs::is_fifo("settings.vlm"));
         EXPECT_EQ(namesIn("."), onlyTheFile);
       }},
      {"a directory",
       [] { fs::create_directory("settings.vlm"); },
       {},
       true,
       {atStart(folder), kGreeting, "Ende", atEnd(folder)},
       [] { EXPECT_TRUE(fs::is_directory("settings.vlm") && fs::is_empty("settings.vlm")); }},
      {"a link to /dev/zero",
       [] { fs::create_symlink("/dev/zero", "settings.vlm"); },
       {},
       true,
       {atStart(zero), kGreeting, "Ende", atEnd(zero)},
       [] { EXPECT_EQ(linkAt("settings.vlm"), "/dev/zero"); }},
      {"a socket",
       [] {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strcpy(address.sun_path, "settings.vlm");
         ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
         ::close(fd);
       },
       {},
       true,
       {atStart(socket), kGreeting, "Ende", atEnd(socket)},
       [] { EXPECT_TRUE(fs::is_socket("settings.vlm")); }},
      {"a file the user may not read (0200)",
       keep(owner_write),
       {},
       true,
       {file + " konnte nicht gelesen werden (" + denied +
            ").\nAlle Einstellungen werden zurückgesetzt und die Datei wird beim Beenden von Velomat "
            "überschrieben.",
        kGreeting, "Ende"},
       savedWithMode(owner_write, 100)},
      {"a file the user may not read, Cancel",
       keep(owner_write),
       {},
       true,
       {file + " konnte nicht gelesen werden (" + denied +
        ").\nAlle Einstellungen werden zurückgesetzt und die Datei wird beim Beenden von Velomat "
        "überschrieben."},
       [&] {
         EXPECT_EQ(bytesAt("settings.vlm"), stored);
         EXPECT_EQ(modeOf("settings.vlm"), owner_write);
       },
       kExitWrongFile,
       {BoxAnswer::Cancel}},
      {"a read-only file (0444)",
       keep(owner_read | group_read | others_read),
       {},
       false,
       {"Ende", file + " konnte nicht geschrieben werden (öffnen: " + denied +
                    ").\nDie bisherige Datei ist unverändert."},
       [&] {
         EXPECT_EQ(bytesAt("settings.vlm"), stored);
         EXPECT_EQ(modeOf("settings.vlm"), owner_read | group_read | others_read);
         EXPECT_EQ(namesIn("."), onlyTheFile);
       }},
      {"a file of mode 0600",
       keep(owner_read | owner_write),
       {},
       false,
       {"Ende"},
       savedWithMode(owner_read | owner_write, 42)},
      {"a symbolic link",
       [&] {
         fs::create_directory("elsewhere");
         put("elsewhere/real.vlm", stored, rw_r_r);
         fs::create_symlink("elsewhere/real.vlm", "settings.vlm");
       },
       {},
       false,
       {"Ende"},
       [] {
         EXPECT_EQ(linkAt("settings.vlm"), "elsewhere/real.vlm");
         expectSaved("elsewhere/real.vlm", 42);
         EXPECT_EQ(namesIn("elsewhere"), std::vector<std::string>{"real.vlm"});
       }},
      {"a dangling link",
       [] {
         fs::create_directory("elsewhere");
         fs::create_symlink("elsewhere/real.vlm", "settings.vlm");
       },
       {},
       true,
       {kGreeting, "Ende"},
       [&] {
         EXPECT_EQ(linkAt("settings.vlm"), "elsewhere/real.vlm");
         expectSaved("elsewhere/real.vlm", 100);
         EXPECT_EQ(modeOf("elsewhere/real.vlm"), rw_r_r);
       }},
      {"a writable file in a read-only folder",
       [&] {
         keep(rw_r_r)();
         fs::permissions(".", owner_read | owner_exec | group_read | group_exec | others_read | others_exec);
       },
       {},
       false,
       {"Ende"},
       savedWithMode(rw_r_r, 42)},
      {"a file beside the left-overs of killed saves",
       [&] {
         keep(rw_r_r)();
         for (const char* name :
              {"settings.vlm.tmp-99999999-0", "settings.vlm.bak", "settings.vlm.tmp-notizen"})
           put(name, {'V', 'L', 'M', '1', '5'}, rw_r_r);
       },
       [] {  // the names a save of this process picks first, left by an earlier process with its pid
         for (int n = 0; n < 4; ++n)
           put("settings.vlm.tmp-" + std::to_string(getpid()) + "-" + std::to_string(n), {'x'}, rw_r_r);
       },
       false,
       {"Ende"},
       [] {
         expectSaved("settings.vlm", 42);
         EXPECT_EQ(namesIn("."), (std::vector<std::string>{"settings.vlm", "settings.vlm.bak",
                                                           "settings.vlm.tmp-notizen"}));
       }},
      {"a file with a second name",
       [&] {
         keep(rw_r_r)();
         fs::create_hard_link("settings.vlm", "zweitname.vlm");
       },
       {},
       false,
       {"Ende"},
       [] {
         expectSaved("settings.vlm", 42);
         expectSaved("zweitname.vlm", 42);
         EXPECT_EQ(fs::hard_link_count("settings.vlm"), 2u);
       }},
  };
  const fs::path working = fs::current_path();
  int number = 0;
  for (const FileRow& row : rows) {
    SCOPED_TRACE(row.what);
    const fs::path here = working / ("row-" + std::to_string(++number));
    fs::create_directory(here);
    fs::current_path(here);
    row.prepare();
    giveToUser(here);
    const ChildEnd end = runAsUser([&](int out) {
      if (row.prepareAsUser) row.prepareAsUser();
      boxes.answers = row.answers;
      boxes.onShow = [out](const testing::ShownBox& box) { tell(out, box.text); };
      start(row.choose ? std::deque<Action>{verbinden} : std::deque<Action>{});
      tell(out, ::testing::Test::HasFailure() ? "Ende, nach Fehlern beim Start" : "Ende");
      testing::click(dialogItem(dialog.get(), id::kEndButton));
    });
    EXPECT_TRUE(end.ended) << "killed by signal " << -end.exitCode
                           << (-end.exitCode == SIGALRM ? ": it hung" : "");
    EXPECT_EQ(end.exitCode, row.exitCode);
    EXPECT_EQ(end.shown, row.shown);
    row.onDisk();
    fs::permissions(here, owner_all, fs::perm_options::add);  // a read-only folder, to be removed
    fs::current_path(working);
  }
}

}  // namespace
}  // namespace velomat
