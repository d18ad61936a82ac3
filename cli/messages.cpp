#include "messages.h"

#include <cstdio>
#include <iostream>

void complain(const std::string &message)
{
    std::cerr << "velmora-map: " << message << std::endl;
}

std::string inQuotes(const std::string &path)
{
    return '\'' + path + '\'';
}

bool writeToStandardOutput(std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}
