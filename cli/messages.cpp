#include "messages.h"

#include <cstdio>
#include <iostream>

namespace {

std::ostream *messages = &std::cerr;

} // namespace

void complain(const std::string &message)
{
    *messages << "velmora-map: " << message << std::endl;
}

void sendMessagesToStandardOutput()
{
    messages = &std::cout;
}

std::string inQuotes(const std::string &path)
{
    return '\'' + path + '\'';
}

bool writeToStandardOutput(std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}
