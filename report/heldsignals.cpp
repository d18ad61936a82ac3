#include "heldsignals.h"

#include <pthread.h>

namespace {

volatile std::sig_atomic_t noted[NSIG];

void note(int signal)
{
    noted[signal] = 1;
}

bool isFault(int signal)
{
    switch (signal) {
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGTRAP:
    case SIGSYS:
    case SIGABRT:
        return true;
    default:
        return false;
    }
}

// Signals whose default action leaves the process running.
bool isHarmless(int signal)
{
    return signal == SIGCHLD || signal == SIGCONT || signal == SIGURG || signal == SIGWINCH;
}

} // namespace

HeldSignals::HeldSignals()
{
    sigset_t held;
    sigfillset(&held);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (isFault(signal))
            sigdelset(&held, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &held, &m_previousMask);

    // Another thread may take a signal this one holds; there the default
    // action would end the whole process.
    struct sigaction noting = {};
    noting.sa_handler = note;
    noting.sa_flags = SA_RESTART;
    sigfillset(&noting.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal == SIGKILL || signal == SIGSTOP || isFault(signal) || isHarmless(signal))
            continue;
        struct sigaction current;
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
            continue;
        noted[signal] = 0;
        m_replaced[signal] = ::sigaction(signal, &noting, &m_previous[signal]) == 0;
    }
}

HeldSignals::~HeldSignals()
{
    for (int signal = 1; signal < NSIG; ++signal) {
        if (m_replaced[signal])
            ::sigaction(signal, &m_previous[signal], nullptr);
    }
    ::pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (m_replaced[signal] && noted[signal])
            ::raise(signal);
    }
}
