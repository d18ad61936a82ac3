#pragma once

#include <sys/types.h>

#include <functional>

// Runs `work` in a forked child and gives its result (0 to 255), or -1 when
// the child could not be started or did not end normally. For what must not
// touch the test process itself: resource limits, giving up root.
int runInChild(const std::function<int()> &work);

// The same in two steps, for a test that acts while the child runs: gives
// the child's process id (-1 when it could not be started), then its result.
pid_t startInChild(const std::function<int()> &work);
int waitForChild(pid_t child);

// Gives up root for good in the calling process, becoming nobody. Returns
// false when that fails. A process that is not root keeps its identity.
bool dropRoot();
