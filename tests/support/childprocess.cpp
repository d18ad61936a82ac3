#include "childprocess.h"

#include <QFile>
#include <QFileInfo>

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
        // An exception must not carry the child back into the test run.
        int result = 255;
        try {
            result = work();
        } catch (...) {
        }
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

rlim_t addressSpaceInUse()
{
    std::FILE *status = std::fopen("/proc/self/status", "re");
    if (!status)
        return 0;
    unsigned long long kibibytes = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) && std::sscanf(line, "VmSize: %llu kB", &kibibytes) != 1) {
    }
    std::fclose(status);
    return rlim_t(kibibytes) << 10;
}

QString copyNobodyCanRun(const QString &program, const QByteArray &folder)
{
    const QString copy = QFile::decodeName(folder) + '/' + QFileInfo(program).fileName();
    if (!QFile::copy(program, copy) || !QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOther | QFile::ReadOther))
        return {};
    return copy;
}
