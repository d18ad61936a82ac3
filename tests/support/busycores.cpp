#include "busycores.h"

#include "childprocess.h"

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

BusyCores::BusyCores()
{
    cpu_set_t cores;
    const int count = ::sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 1;
    for (int i = 0; i < count; ++i) {
        const pid_t child = startInChild([] {
            // A session of its own, as another program's: the scheduler
            // shares the processors out between sessions first.
            ::setsid();
            for (std::atomic<unsigned> spins = 0;; ++spins) {
            }
            return 0;
        });
        if (child > 0)
            m_children.push_back(child);
    }
}

BusyCores::~BusyCores()
{
    for (const pid_t child : m_children)
        ::kill(child, SIGKILL);
    for (const pid_t child : m_children)
        waitForChild(child);
}
