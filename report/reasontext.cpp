#include "reasontext.h"

#include <cstring>
#include <locale.h>
#include <string.h>

std::string notEnteredText(NotEnteredReason reason)
{
    switch (reason) {
    case NotEnteredReason::Loop:
        return "loop";
    case NotEnteredReason::PseudoFileSystem:
        return "pseudo file system";
    case NotEnteredReason::OtherFileSystem:
        break;
    }
    return "other file system";
}

std::string unreadableText(int error)
{
    static const locale_t plain = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return std::string("unreadable: ") + (plain ? ::strerror_l(error, plain) : std::strerror(error));
}
