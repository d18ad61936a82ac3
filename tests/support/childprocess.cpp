#include "childprocess.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int runInChild(const std::function<int()> &work)
{
    return waitForChild(startInChild(work));
}

pid_t startInChild(const std::function<int()> &work)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int result = work();
        std::fflush(nullptr);
        ::_exit(result);
    }
    return child;
}

int waitForChild(pid_t child)
{
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool dropRoot()
{
    if (::geteuid() != 0)
        return true;
    const gid_t nobodyGroup = 65534;
    const uid_t nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(nobodyGroup) == 0 && ::setuid(nobody) == 0
        && ::geteuid() == nobody;
}
