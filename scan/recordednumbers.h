#pragma once

#include <cstddef>
#include <cstdint>

// Numbers in a recording take seven bits a byte, lowest first, the high bit
// set on every byte but the last: small numbers, the most common, take one.
constexpr std::size_t maximumNumberBytes = 10;

inline std::uint64_t readNumber(const char *&at)
{
    std::uint64_t number = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        number |= std::uint64_t(byte & 0x7F) << shift;
        if (byte < 0x80)
            return number;
    }
}

inline char *writeNumber(char *at, std::uint64_t number)
{
    while (number >= 0x80) {
        *at++ = char(0x80 | (number & 0x7F));
        number >>= 7;
    }
    *at++ = char(number);
    return at;
}

// A signed number goes as 2n for n >= 0 and as -2n - 1 below, so that
// small ones of either sign stay short.
inline char *writeSignedNumber(char *at, std::int64_t number)
{
    return writeNumber(at, (std::uint64_t(number) << 1) ^ std::uint64_t(number >> 63));
}

inline std::int64_t readSignedNumber(const char *&at)
{
    const std::uint64_t folded = readNumber(at);
    return std::int64_t(folded >> 1) ^ -std::int64_t(folded & 1);
}
