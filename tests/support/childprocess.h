#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <QByteArray>
#include <QString>

#include <functional>

// Runs `work` in a forked child and gives its result (0 to 255; 255 when it
// throws), or -1 when the child could not be started or did not end
// normally. For what must not touch the test process itself: resource
// limits, giving up root.
int runInChild(const std::function<int()> &work);

// The same in two steps, for a test that acts while the child runs: gives
// the child's process id (-1 when it could not be started), then its result.
pid_t startInChild(const std::function<int()> &work);
int waitForChild(pid_t child);

// Bytes of address space the calling process has mapped, from which an
// address-space limit for a child is reckoned; 0 when it cannot be read.
rlim_t addressSpaceInUse();

// Gives up root for good in the calling process, becoming nobody. Returns
// false when that fails. A process that is not root keeps its identity.
bool dropRoot();

// A copy of `program` in `folder`, which nobody may run wherever the build
// is (a clone in /root, say); empty when it cannot be made.
QString copyNobodyCanRun(const QString &program, const QByteArray &folder);
