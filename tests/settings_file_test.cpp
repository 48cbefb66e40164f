// The settings file at the byte level: layout, round trip, short and foreign files; the store's names
// for its temporary files. What the store does on each system is in settings_store_<system>_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "config/settings_file.h"
#include "config/settings_store.h"
#include "settings_store_steps.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using namespace settings_offset;
using testing::bytesOf;
using testing::SettingsStore;

// Every table byte of both modules, to compare two tables.
std::vector<uint8_t> tableBytes(const ConfigTable& table) {
  std::vector<uint8_t> bytes;
  for (int slot = 0; slot < kSlotCount; ++slot)
    for (auto field : ConfigTable::kFieldOrder) bytes.push_back(get(table.*field, slot));
  return bytes;
}

TEST(SettingsFile, every_field_sits_at_its_offset_little_endian) {
  SettingsHeader header;
  header.caps = {0x12345678, 6, 12};
  header.moduleIndex = 1;
  header.connection = {kRoboSerial, -1, 1, 0, 8};
  ConfigTable table;
  set(table.speedPercent, 0, 100);
  set(table.dirFromAxis, 7, 1);
  set(table.speedAxisSel, 3, 0xAB);
  const SettingsBytes bytes = encodeSettings(header, table, {1, 0, -1, 0x01020304});
  struct Row {
    size_t offset;
    std::vector<uint8_t> expected;
  };
  const Row rows[] = {
      {0, bytesOf("VLM15")},
      {kButtonCount, {12}},
      {kAxisCount, {6}},
      {kCaps, {0x78, 0x56, 0x34, 0x12}},
      {kModuleIndex, {1}},
      {kPortNumber, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kHasExtension, {1}},
      {kParallelPort, {0}},
      {kInterfaceKind, {70, 0, 0, 0}},
      {kMotorCount, {8, 0, 0, 0}},
      {kSlots + 15, {100}},            // speedPercent of slot 0
      {kSlots + 16 * 7, {1}},          // dirFromAxis of slot 7
      {kSlots + 16 * 3 + 14, {0xAB}},  // speedAxisSel of slot 3
      {kStopInputOn, {1, 0, 0, 0}},
      {kStopButtonOn, {0, 0, 0, 0}},
      {kStopInputSel, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kStopButtonSel, {4, 3, 2, 1}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<long>(row.offset),
                                   bytes.begin() + static_cast<long>(row.offset + row.expected.size())),
              row.expected)
        << "offset " << row.offset;
  }
}

TEST(SettingsFile, a_round_trip_reproduces_every_table_byte_and_the_stop_values) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 20; ++trial) {
    ConfigTable table, loaded;
    for (int slot = 0; slot < kSlotCount; ++slot)
      for (auto field : ConfigTable::kFieldOrder) set(table.*field, slot, static_cast<uint8_t>(random()));
    const SettingsHeader header{
        {static_cast<uint32_t>(random()), 3, 9}, 1, {kIntelligentInterface, 3, 1, 0, 8}};
    const StopValues stop{1, 1, static_cast<int32_t>(random() % 17) - 1,
                          static_cast<int32_t>(random() % 33) - 1};
    const SettingsBytes bytes = encodeSettings(header, table, stop);
    ASSERT_EQ(settingsKind(bytes), SettingsKind::Settings);
    SettingsHeader header2;
    StopValues stop2;
    decodeHeader(bytes, header2);
    decodeTables(bytes, loaded, stop2);
    EXPECT_EQ(tableBytes(loaded), tableBytes(table));
    EXPECT_EQ(stop2, stop);
    EXPECT_EQ(header2.caps, header.caps);
    EXPECT_EQ(header2.connection.interfaceKind, kIntelligentInterface);
    EXPECT_EQ(header2.connection.portNumber, 3);
    EXPECT_EQ(header2.connection.motorCount, 8);
  }
}

TEST(SettingsFile, the_first_five_bytes_tell_settings_marker_and_other_files) {
  const std::pair<std::string_view, SettingsKind> rows[] = {
      {"VLM15", SettingsKind::Settings},
      {"VLM15 and more", SettingsKind::Settings},
      {kResetMarkerText, SettingsKind::ResetMarker},
      {"DELETxyz", SettingsKind::ResetMarker},
      {"VLM14", SettingsKind::Other},
      {"vlm15", SettingsKind::Other},
      {"VLM1", SettingsKind::Other},
      {"DELE", SettingsKind::Other},
      {"", SettingsKind::Other},
  };
  for (auto [text, kind] : rows) EXPECT_EQ(settingsKind(bytesOf(text)), kind) << text;
}

// A short file gives only the fields it holds whole; every other field keeps what it had.
TEST(SettingsFile, a_short_file_gives_only_its_whole_fields) {
  ConfigTable source;
  for (int slot = 0; slot < kSlotCount; ++slot)
    for (auto field : ConfigTable::kFieldOrder) set(source.*field, slot, 0x11);
  const SettingsHeader stored{
      {0x22222222, 0x22, 0x22}, 0x22, {0x22222222, 0x22222222, 0x22, 0x22, 0x22222222}};
  const SettingsBytes full = encodeSettings(stored, source, {0x33333333, 0x33333333, 0x33333333, 0x33333333});
  for (size_t length = 0; length <= kSettingsFileSize; ++length) {
    SCOPED_TRACE(length);
    const std::span<const uint8_t> file(full.data(), length);
    SettingsHeader header{{7, 7, 7}, 7, {7, 7, 7, 7, 7}};
    decodeHeader(file, header);
    const auto whole = [&](size_t offset, size_t size) { return offset + size <= length; };
    EXPECT_EQ(header.caps.buttonCount, whole(kButtonCount, 1) ? 0x22 : 7);
    EXPECT_EQ(header.caps.caps, whole(kCaps, 4) ? 0x22222222u : 7u);
    EXPECT_EQ(header.connection.portNumber, whole(kPortNumber, 4) ? 0x22222222 : 7);
    EXPECT_EQ(header.connection.motorCount, whole(kMotorCount, 4) ? 0x22222222 : 7);

    ConfigTable table;
    StopValues stop{7, 7, 7, 7};
    decodeTables(file, table, stop);
    const std::vector<uint8_t> bytes = tableBytes(table);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], whole(kSlots + i, 1) ? 0x11 : 0) << i;
    EXPECT_EQ(stop.inputOn, whole(kStopInputOn, 4) ? 0x33333333 : 7);
    EXPECT_EQ(stop.buttonSel, whole(kStopButtonSel, 4) ? 0x33333333 : 7);
  }
}

// Names a save makes for its temporary file, one after the other: a name that is taken is skipped,
// whatever stands there, and what stands there stays.
TEST_F(SettingsStore, a_temporary_name_that_is_taken_is_passed_over_and_left_alone) {
  testing::FailingFileSystem first(-1);
  ASSERT_TRUE(replaceFile(path.string(), bytesOf("VLM15 first"), first).ok);
  ASSERT_EQ(first.created.size(), 1u);
  // The next five names this process would take, each taken by a folder that no save removes.
  const std::string used = first.created[0];
  const size_t dash = used.rfind('-');
  const unsigned next = static_cast<unsigned>(std::stoul(used.substr(dash + 1))) + 1;
  for (unsigned n = next; n < next + 5; ++n)
    fs::create_directory(used.substr(0, dash + 1) + std::to_string(n));
  testing::FailingFileSystem second(-1);
  ASSERT_TRUE(replaceFile(path.string(), bytesOf("VLM15 second"), second).ok);
  EXPECT_EQ(second.created.size(), 6u);
  EXPECT_EQ(contents(), bytesOf("VLM15 second"));
  EXPECT_EQ(entries().size(), 6u);  // the file and the five folders
}

}  // namespace
}  // namespace velomat
