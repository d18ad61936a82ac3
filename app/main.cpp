#include "startup.h"

int main(int argc, char **argv)
{
    return runVelmora(argc, argv);
}
