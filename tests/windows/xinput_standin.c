/* A stand-in for xinput1_4.dll that the Windows end-to-end check puts beside velomat.exe under Wine
 * (WINEDLLOVERRIDES="xinput1_4=n"): it reports one connected gamepad, user 0, so that SDL finds a
 * joystick on a machine that has none. VELOMAT_STANDIN_LX and VELOMAT_STANDIN_LY (-32768..32767) set
 * the left stick, VELOMAT_STANDIN_BUTTONS the button bits; each is read again at every query, so a
 * script can move the stick while the program runs by rewriting the file that
 * VELOMAT_STANDIN_FILE names ("LX LY BUTTONS"). */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <xinput.h>

static void readStick(XINPUT_GAMEPAD *pad) {
  const char *name = getenv("VELOMAT_STANDIN_FILE");
  int lx = 0, ly = 0, buttons = 0;
  const char *v;
  if ((v = getenv("VELOMAT_STANDIN_LX")) != NULL) lx = atoi(v);
  if ((v = getenv("VELOMAT_STANDIN_LY")) != NULL) ly = atoi(v);
  if ((v = getenv("VELOMAT_STANDIN_BUTTONS")) != NULL) buttons = atoi(v);
  if (name != NULL) {
    FILE *f = fopen(name, "r");
    if (f != NULL) {
      if (fscanf(f, "%d %d %d", &lx, &ly, &buttons) != 3) lx = ly = buttons = 0;
      fclose(f);
    }
  }
  ZeroMemory(pad, sizeof *pad);
  pad->sThumbLX = (SHORT)lx;
  pad->sThumbLY = (SHORT)ly;
  pad->wButtons = (WORD)buttons;
}

static DWORD packet;

DWORD WINAPI XInputGetState(DWORD user, XINPUT_STATE *state) {
  if (user != 0) return ERROR_DEVICE_NOT_CONNECTED;
  if (state == NULL) return ERROR_BAD_ARGUMENTS;
  state->dwPacketNumber = ++packet;
  readStick(&state->Gamepad);
  return ERROR_SUCCESS;
}

DWORD WINAPI XInputGetStateEx(DWORD user, XINPUT_STATE *state) {
  return XInputGetState(user, state);
}

DWORD WINAPI XInputSetState(DWORD user, XINPUT_VIBRATION *vibration) {
  (void)vibration;
  return user == 0 ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
}

DWORD WINAPI XInputGetCapabilities(DWORD user, DWORD flags, XINPUT_CAPABILITIES *caps) {
  (void)flags;
  if (user != 0) return ERROR_DEVICE_NOT_CONNECTED;
  if (caps == NULL) return ERROR_BAD_ARGUMENTS;
  ZeroMemory(caps, sizeof *caps);
  caps->Type = XINPUT_DEVTYPE_GAMEPAD;
  caps->SubType = XINPUT_DEVSUBTYPE_GAMEPAD;
  caps->Gamepad.wButtons = 0xF3FF;
  caps->Gamepad.bLeftTrigger = caps->Gamepad.bRightTrigger = 0xFF;
  caps->Gamepad.sThumbLX = caps->Gamepad.sThumbLY = (SHORT)0xFFC0;
  caps->Gamepad.sThumbRX = caps->Gamepad.sThumbRY = (SHORT)0xFFC0;
  return ERROR_SUCCESS;
}

void WINAPI XInputEnable(BOOL enable) {
  (void)enable;
}

DWORD WINAPI XInputGetBatteryInformation(DWORD user, BYTE type, XINPUT_BATTERY_INFORMATION *info) {
  (void)type;
  if (user != 0) return ERROR_DEVICE_NOT_CONNECTED;
  if (info == NULL) return ERROR_BAD_ARGUMENTS;
  info->BatteryType = BATTERY_TYPE_WIRED;
  info->BatteryLevel = BATTERY_LEVEL_FULL;
  return ERROR_SUCCESS;
}
