// What the user is told about the settings file when it is there but cannot be used as it is: at the
// start, when it is no regular file or cannot be read, and at the end, when it was not saved.
#pragma once

#include <string>

#include "config/settings_store.h"

namespace velomat {

// At the start, for a path that is no regular file: what it is, and that nothing will be read from it
// or saved to it.
std::string notAFileAtStartText(const ReadResult& file);

// At the start, for a file that could not be read: why, and whether the end of the run overwrites it.
std::string unreadableAtStartText(const ReadResult& file);

// At the end, for a save that failed: why, and whether the old file is as it was.
std::string saveFailedText(const WriteResult& result);

}  // namespace velomat
