#pragma once
// The process-wide choice of colour engine.
//
//   1 (the default): colour conversions go through LittleCMS transforms built
//     from the profiles, so any profile LittleCMS accepts can be used;
//   0: the program's own path of tone tables and 3x3 matrices, which only
//     RGB matrix/TRC profiles can drive; CColorProfile::Open then refuses
//     every other profile.
//
// The global settings load it at start-up (before the monitor profile is
// opened) and the preferences may change it; readers look at it each time
// they decide, so a plain load is all they need.

#include <atomic>

inline std::atomic<int> UseOsCmm{1};
