#include "mapcommand.h"

int main(int argc, char **argv)
{
    return runMapCommand(argc, argv);
}
