#pragma once

#include <cstddef>

// How many more file descriptors the process may open now: its limit less
// those already open.
std::size_t freeDescriptorCount();

// The fewest descriptors a walk can work with: the directory being read and
// the one being opened below it.
constexpr std::size_t minimumWalkDescriptors = 2;
