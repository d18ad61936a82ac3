#include "reportopener.h"

#include "absolutepath.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

extern char **environ;

bool openReport(const std::string &path)
{
    const std::string report = path.c_str();
    if (report.empty())
        return false;
    // A relative path would be taken from the opener's or the browser's
    // working directory, and one that begins with "-" for an option.
    const std::string argument = absolutePath(report);

    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return false;
    // The opener starts with default signal handling and outlives this
    // program, as a program started from the desktop would.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    char program[] = "xdg-open";
    char *const arguments[] = {program, const_cast<char *>(argument.c_str()), nullptr};
    pid_t opener = 0;
    const int result = ::posix_spawnp(&opener, program, nullptr, &attributes, arguments, environ);
    ::posix_spawnattr_destroy(&attributes);
    if (result != 0)
        return false;
    // Nothing waits for the opener's result, but it must not linger as a
    // zombie. Where no thread can be started to reap it, it does until this
    // program ends: the report is open all the same.
    try {
        std::thread([opener] {
            while (::waitpid(opener, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error &) {
    }
    return true;
}
