#include "decimaltext.h"

#include <charconv>

std::string toDecimalText(int value)
{
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, result.ptr);
}
