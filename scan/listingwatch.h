#pragma once

#include "directoryidentity.h"

#include <atomic>

// Told of each directory a walk is about to list, on the walking thread.
// Tests watch a scan's work through it, not only its result: a directory
// listed twice, or not at all, leaves the output the same. Nothing is told
// unless a watch is set.
using ListingWatch = void (*)(const DirectoryIdentity &listed);

inline std::atomic<ListingWatch> listingWatch{nullptr};
