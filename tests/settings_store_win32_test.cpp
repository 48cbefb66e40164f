// The settings store on Windows: a save that fails at any step, a file that is read-only, hidden or held
// open by another program, a folder in the file's place, and saves killed at random moments.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "config/settings_file.h"
#include "config/settings_messages.h"
#include "config/settings_store.h"
#include "settings_store_steps.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;
using testing::joined;
using testing::SettingsStore;

constexpr const wchar_t* kLoopVariable = L"VELOMAT_TEST_SAVE_LOOP";

// Beside the old file, the old file is let go before the new one replaces it (a failing close of it
// changes nothing), and the rename is the last call; in place (a folder that refuses new files) everything
// from the first write on may have touched it.
TEST_F(SettingsStore, a_save_that_fails_at_any_step_says_so_and_leaves_what_it_promises) {
  const std::vector<uint8_t> old = bytesOf("VLM15 the old settings"), fresh(kSettingsFileSize, 0x5A);
  const std::vector<std::string> writes(4, "write");  // 170 bytes, 50 at a time
  const testing::SaveCalls rows[] = {
      {"beside the old file", false,
       joined(joined({"open", "create", "close"}, writes), {"fsync", "close", "rename"}), SIZE_MAX, SIZE_MAX,
       2},
      {"in place", true, joined(joined({"open", "create"}, writes), {"ftruncate", "fsync", "close"}), 3,
       SIZE_MAX},
  };
  for (const testing::SaveCalls& row : rows)
    testing::expectEveryFailingCallKeepsItsPromise(*this, row, old, fresh);
}

// What another program or the user did to the file before the save, and what the save makes of it.
TEST_F(SettingsStore, a_read_only_hidden_held_or_folder_file_is_saved_or_kept_and_told) {
  const std::vector<uint8_t> old = bytesOf("VLM15 the old settings"), fresh(kSettingsFileSize, 0x5A);
  const std::string file = "Die Einstellungsdatei \"settings.vlm\"";
  const std::string kept = ").\nDie bisherige Datei ist unverändert.";
  const std::string held = "die Datei ist in einem anderen Programm geöffnet";
  // Opens the file as another program would, with the given sharing; the handle is closed after the save.
  const auto holdWith = [](DWORD share) {
    return [share](const fs::path& at) {
      return ::CreateFileW(at.wstring().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    };
  };
  const auto setAttributes = [](DWORD attributes) {
    return [attributes](const fs::path& at) {
      ::SetFileAttributesW(at.wstring().c_str(), attributes);
      return INVALID_HANDLE_VALUE;
    };
  };
  struct Row {
    const char* what;
    std::function<HANDLE(const fs::path&)> before;
    bool saved;
    std::string told;       // saveFailedText when the save failed
    DWORD attributesAfter;  // those of the file after the save, the archive mark aside
  };
  const Row rows[] = {
      {"a read-only file", setAttributes(FILE_ATTRIBUTE_READONLY), false,
       file + " konnte nicht geschrieben werden (öffnen: " + std::strerror(EACCES) + kept,
       FILE_ATTRIBUTE_READONLY},
      {"a hidden file", setAttributes(FILE_ATTRIBUTE_HIDDEN), true, "", FILE_ATTRIBUTE_HIDDEN},
      {"held by a program that shares nothing", holdWith(0), false,
       file + " konnte nicht geschrieben werden (öffnen: " + held + kept, 0},
      {"held by a program that lets others read", holdWith(FILE_SHARE_READ), false,
       file + " konnte nicht geschrieben werden (öffnen: " + held + kept, 0},
      // Written in place: the program lets others write the file, not replace it.
      {"held by a program that lets others read and write but not delete",
       holdWith(FILE_SHARE_READ | FILE_SHARE_WRITE), true, "", 0},
      {"held by a program that shares everything",
       holdWith(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE), true, "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ::SetFileAttributesW(path.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(replaceFile(path.string(), old).ok);
    HANDLE other = row.before(path);
    const WriteResult result = replaceFile(path.string(), fresh);
    if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
    EXPECT_EQ(result.ok, row.saved);
    EXPECT_EQ(result.ok ? "" : saveFailedText(result), row.told);
    EXPECT_EQ(contents(), row.saved ? fresh : old);
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.vlm"});  // no stray file
    const DWORD attributes = ::GetFileAttributesW(path.wstring().c_str());
    EXPECT_EQ(attributes & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL), row.attributesAfter);
  }
  // A folder in the file's place is neither read nor replaced.
  ::SetFileAttributesW(path.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove(path);
  fs::create_directory(path);
  const WriteResult result = replaceFile(path.string(), fresh);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.notAFile, FileKind::Directory);
  EXPECT_EQ(readSettingsFile(path.string(), 1000).status, ReadResult::Status::NotAFile);
  EXPECT_TRUE(fs::is_directory(path) && fs::is_empty(path));
}

// The child of the test below: saves the old and the new 170 bytes in turn, without a pause, until
// it is killed. Runs only when the test starts it.
TEST(SaveLoop, DISABLED_saves_the_old_and_the_new_file_in_turn_until_killed) {
  wchar_t named[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(kLoopVariable, named, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const std::string file = fs::path(named).string();
  for (unsigned n = 0;; ++n) replaceFile(file, n % 2 == 0 ? SettingsStore::newFile : SettingsStore::oldFile);
}

// A child saves the old and the new 170 bytes in turn and is ended by TerminateProcess, as the task
// manager ends a program, at a random moment; the file is the old or the new one every time, and the
// next save finds nothing in its way.
TEST_F(SettingsStore, a_save_killed_at_any_moment_leaves_the_old_or_the_new_file_and_nothing_in_the_way) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ASSERT_TRUE(::SetEnvironmentVariableW(kLoopVariable, path.wstring().c_str()));
  std::mt19937 random(std::random_device{}());
  int killedMidSave = 0;  // rounds that left a temporary file: the kill came during a save
  constexpr int kRounds = 40;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(replaceFile(path.string(), oldFile).ok);  // the child's first save shows it saves
    std::wstring command = std::wstring(L"\"") + self +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=SaveLoop.* --gtest_brief=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &child));
    // The kill comes once the child saves: after its first save, which writes the new bytes.
    bool saving = false;
    for (int wait = 0; wait < 30000 && !saving; ++wait) {
      saving = contents() == newFile;
      if (!saving) ::Sleep(1);
    }
    ::Sleep(random() % 20);
    ::TerminateProcess(child.hProcess, 1);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ASSERT_TRUE(saving) << "round " << round << ": the child never saved";
    if (expectOldOrNewFile(round)) ++killedMidSave;
  }
  ::SetEnvironmentVariableW(kLoopVariable, nullptr);
  RecordProperty("rounds_killed_mid_save", killedMidSave);
  EXPECT_GT(killedMidSave, 0) << "no kill came during a save";  // about two rounds in three do
  expectTheNextSaveWhole();
}

}  // namespace
}  // namespace velomat
