// libFuzzer target: whatever bytes stand in "settings.vlm", reading them and running the control cycle
// over what was read never crashes, never reads out of bounds, and a whole settings file is read back
// byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "config/list_texts.h"
#include "config/settings_file.h"
#include "control/control_cycle.h"

namespace {

// A joystick that gives a sample made of the file's last bytes, so the cycle meets every sort of
// value together with every sort of table.
class BytesJoystick final : public velomat::JoystickSource {
 public:
  explicit BytesJoystick(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint32_t joyGetDevCaps(uint32_t, velomat::JoyCapsRecord&) override { return velomat::kJoyErrUnplugged; }
  uint32_t joyGetPosEx(uint32_t, velomat::JoySample& sample) override {
    uint32_t fields[11] = {};
    std::memcpy(fields, bytes_.data(), std::min(bytes_.size(), sizeof fields));
    sample.dwXpos = fields[0] & 0xFFFF;
    sample.dwYpos = fields[1] & 0xFFFF;
    sample.dwZpos = fields[2] & 0xFFFF;
    sample.dwRpos = fields[3] & 0xFFFF;
    sample.dwUpos = fields[4] & 0xFFFF;
    sample.dwVpos = fields[5] & 0xFFFF;
    sample.dwButtons = fields[6];
    sample.dwPOV = fields[7] % 2 ? velomat::kHatCentred : fields[7] % 36001;
    return velomat::kJoyNoError;
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velomat;
  const std::span<const uint8_t> file(data, size);
  const SettingsKind kind = settingsKind(file);

  SharedState state;
  SettingsHeader header;
  decodeHeader(file, header);
  state.joystickCaps = header.caps;
  state.connection = header.connection;
  StopValues stop;
  decodeTables(file, state.table, stop);
  state.stopControls.buttonSel = stop.buttonSel;
  state.stopControls.inputSel = stop.inputSel;

  // Bindings as the load makes them from stored selections, then cycles over the stored table.
  const ListTexts axes = axisListTexts(header.caps.caps), throttles = throttleListTexts(header.caps.caps);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (const auto binding = axisBindingForText(listText(axes, get(state.table.dirAxisSel, slot))))
      bindDirectionAxis(state.table, slot, *binding);
    if (const auto field =
            throttleBindingForText(listText(throttles, get(state.table.throttleAxisSel, slot))))
      set(state.table.throttleAxisRef, slot, *field);
  }
  BytesJoystick joystick(size > kSettingsFileSize ? file.subspan(kSettingsFileSize) : file);
  RunState run;
  for (int cycle = 0; cycle < 3; ++cycle) {
    run.inputOn.fill(static_cast<uint8_t>(cycle & 1));
    controlCycle(run, state, joystick);
    (void)buttonDown(run, state, stop.buttonSel);
    (void)inputOn(run, state, stop.inputSel);
  }

  // A whole settings file holds nothing but its fields: written again it is the same file.
  if (kind == SettingsKind::Settings && size >= kSettingsFileSize) {
    const SettingsBytes again = encodeSettings(header, state.table, stop);
    if (std::memcmp(again.data(), data, kSettingsFileSize) != 0) __builtin_trap();
  }
  return 0;
}
