#pragma once

#include <chrono>
#include <cstdint>

// How closely a run's progress is followed where it is shown, on a terminal
// or in the window: the walk tells its count every progressEntryStep
// entries, and the text is redrawn no more often than every
// progressRedrawInterval, a few times a second.
constexpr std::uint64_t progressEntryStep = 4096;
constexpr std::chrono::milliseconds progressRedrawInterval{250};
