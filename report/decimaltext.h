#pragma once

#include <string>

// A count as decimal digits, with a minus sign when negative.
std::string toDecimalText(int value);
