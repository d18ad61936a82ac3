#pragma once

#include <cstdint>
#include <string>

// A number of bytes as a person reads it: "512 B", "1.0 KiB", "3.2 GiB",
// in powers of 1024, one decimal from KiB up, rounded to nearest.
std::string sizeText(std::uint64_t bytes);
