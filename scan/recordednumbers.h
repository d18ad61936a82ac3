#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Where numbers come in a set of known size, as an entry's metadata does,
// each takes as few whole bytes as hold it (none for 0), lowest first, and
// a four-bit length ahead of the set says how many: reading one is a load
// and a mask, with no loop. Each is written and read as a whole 64-bit
// word: room for every number of the set at its full eight bytes, where it
// starts, is room for those words.
constexpr std::size_t maximumPackedBytes = sizeof(std::uint64_t);

inline unsigned packedLength(std::uint64_t number)
{
    return unsigned(std::bit_width(number) + 7) / 8;
}

inline char *writePackedNumber(char *at, std::uint64_t number, unsigned length)
{
    if constexpr (std::endian::native == std::endian::big)
        number = __builtin_bswap64(number);
    std::memcpy(at, &number, sizeof number);
    return at + length;
}

inline std::uint64_t readPackedNumber(const char *&at, unsigned length)
{
    static constexpr std::uint64_t lowBytes[] = {0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFF'FFFFFFFF,
                                                 0xFFFF'FFFFFFFF, 0xFFFFFF'FFFFFFFF, ~std::uint64_t(0)};
    std::uint64_t number;
    std::memcpy(&number, at, sizeof number);
    if constexpr (std::endian::native == std::endian::big)
        number = __builtin_bswap64(number);
    at += length;
    return number & lowBytes[length];
}

// A signed number goes as 2n for n >= 0 and as -2n - 1 below, so that
// small ones of either sign stay short.
inline std::uint64_t foldSign(std::int64_t number)
{
    return (std::uint64_t(number) << 1) ^ std::uint64_t(number >> 63);
}

inline std::int64_t unfoldSign(std::uint64_t folded)
{
    return std::int64_t(folded >> 1) ^ -std::int64_t(folded & 1);
}
