#pragma once

#include <malloc.h>

// Left to itself, malloc gives each new thread an arena of its own, up to
// eight per core, each reserving 64 MiB of address space. A program's main
// calls this before any walk starts, so that all its threads share the one
// arena there is, and what a scan needs of the address space grows with
// the tree, not with its threads.
inline void shareOneMallocArena()
{
    ::mallopt(M_ARENA_MAX, 1);
}
