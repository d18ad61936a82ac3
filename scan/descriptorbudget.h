#pragma once

#include <cstddef>

// How many more file descriptors the process may open now: its limit less
// those already open.
std::size_t freeDescriptorCount();

// The fewest descriptors a walk can work with: the directory being read and
// the one being opened below it.
constexpr std::size_t minimumWalkDescriptors = 2;

// The most descriptors one walk holds at once: enough to keep reopening
// rare on deep paths.
constexpr std::size_t mostWalkDescriptors = 32;
