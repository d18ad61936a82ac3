#include "mallocarena.h"
#include "startup.h"

int main(int argc, char **argv)
{
    shareOneMallocArena();
    return runVelmora(argc, argv);
}
