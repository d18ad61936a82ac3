#include "commandline.h"
#include "interruption.h"
#include "mallocarena.h"
#include "mapcommand.h"

#include <clocale>

int main(int argc, char **argv)
{
    // Messages follow the user's language; paths stay the bytes given.
    std::setlocale(LC_ALL, "");
    shareOneMallocArena();
    MapOptions options;
    std::vector<std::string> excludePatterns;
    if (const std::optional<int> settled = readCommandLine(argc, argv, options, excludePatterns))
        return *settled;
    // From here on, a signal asks the run to stop, so that it can leave no
    // temporary file behind.
    const Interruption interruption;
    return runMapCommand(options, std::move(excludePatterns), interruption);
}
