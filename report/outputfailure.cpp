#include "outputfailure.h"

#include <cstring>

std::string OutputFailure::text() const
{
    if (error == noFileName)
        return "No file name specified";
    if (error == 0)
        return std::string();
    std::string text = std::strerror(error);
    if (!place.empty())
        text += " in the temporary folder '" + place + '\'';
    if (damaged)
        text += " during the final copy; the earlier report is damaged (part old, part new)";
    return text;
}
