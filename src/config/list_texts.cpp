#include "config/list_texts.h"

#include <cstdio>

#include "records/connection.h"
#include "records/joystick_records.h"

namespace velomat {

namespace {

ListTexts axisLetters(uint32_t caps) {
  ListTexts list{"X", "Y"};
  if (caps & kJoyCapsHasZ) list.emplace_back("Z");
  if (caps & kJoyCapsHasR) list.emplace_back("R");
  if (caps & kJoyCapsHasU) list.emplace_back("U");
  if (caps & kJoyCapsHasV) list.emplace_back("V");
  return list;
}

ListTexts numbered(const char* format, int count) {
  ListTexts list;
  for (int k = 1; k <= count; ++k) {
    char text[8];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(k));
    list.emplace_back(text);
  }
  return list;
}

}  // namespace

ListTexts axisListTexts(uint32_t caps) {
  ListTexts list = axisLetters(caps);
  if (caps & kJoyCapsHasPov) {
    list.emplace_back("POV1");
    list.emplace_back("POV2");
  }
  return list;
}

ListTexts throttleListTexts(uint32_t caps) {
  return axisLetters(caps);
}

ListTexts buttonListTexts(uint8_t buttonCount) {
  return numbered("%2u", buttonCount);
}

ListTexts inputListTexts(int32_t motorCount) {
  return numbered("E%u", inputCount(motorCount));
}

ListTexts fixedDirListTexts() {
  return {"A", "L", "R"};
}

ListTexts moduleListTexts(bool hasExtension) {
  ListTexts list{"Hauptmodul"};
  if (hasExtension) list.emplace_back("Extensionmodul");
  return list;
}

std::string_view listText(const ListTexts& list, int index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return {};
  return list[static_cast<size_t>(index)];
}

}  // namespace velomat
