#include "mapfailure.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace {

struct Explanation
{
    MapFailure failure;
    std::string_view commandLine; // "@" stands for the root in quotes
    std::string_view window;      // "%" stands, in both, for the system's text
};

// One row for each failure, in the order of MapFailure.
constexpr Explanation explanations[] = {
    {MapFailure::None, "cannot map @", ""},
    {MapFailure::OutOfMemory, "not enough memory to map @", "The tree is too large to map in the memory available"},
    {MapFailure::TooManyEntries, "@ has more entries than a report can count",
     "The tree has more entries than a report can count"},
    {MapFailure::OutOfDescriptors, "cannot map @: %", "No file descriptor was free to read the tree"},
    {MapFailure::Cancelled, "cannot map @", ""},
    {MapFailure::NotWritten, "cannot map @", ""},
    {MapFailure::SystemError, "cannot map @: %", "The tree could not be read: %"},
};

constexpr bool oneRowEachInOrder()
{
    for (std::size_t i = 0; i < std::size(explanations); ++i) {
        if (explanations[i].failure != MapFailure(i))
            return false;
    }
    return std::size(explanations) == std::size_t(MapFailure::SystemError) + 1;
}
static_assert(oneRowEachInOrder());

// The text with its stand-ins replaced; what replaces them is not read again.
std::string filled(std::string_view text, const std::string &root, const std::string &systemText)
{
    std::string message;
    for (const char character : text) {
        if (character == '@')
            message.append(1, '\'').append(root).append(1, '\'');
        else if (character == '%')
            message.append(systemText);
        else
            message.push_back(character);
    }
    return message;
}

} // namespace

MapFailure failureFor(const std::error_code &code)
{
    if (code == std::errc::too_many_files_open || code == std::errc::too_many_files_open_in_system)
        return MapFailure::OutOfDescriptors;
    return MapFailure::SystemError;
}

std::string commandLineMessage(MapFailure failure, const std::string &root, const std::string &systemText)
{
    return filled(explanations[std::size_t(failure)].commandLine, root, systemText);
}

std::string windowMessage(MapFailure failure, const std::string &systemText)
{
    return filled(explanations[std::size_t(failure)].window, {}, systemText);
}
