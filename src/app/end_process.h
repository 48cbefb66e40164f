// How the program ends its process: at once, from wherever the end is decided.
#pragma once

namespace velomat {

// Ends the process at once with `code`: no destructors run, so a worker still in a run cannot trip over
// objects torn down under it.
[[noreturn]] void endProcess(int code);

}  // namespace velomat
