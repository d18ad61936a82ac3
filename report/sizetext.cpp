#include "sizetext.h"

#include <cstdio>

std::string sizeText(std::uint64_t bytes)
{
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    // 1023.96 KiB would round to "1024.0 KiB": it is shown as 1.0 MiB.
    while (value >= 1023.95 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}
