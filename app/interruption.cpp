#include "interruption.h"

namespace {

std::atomic<bool> stopRequested{false};
volatile std::sig_atomic_t receivedSignal = 0;

void requestStop(int signal)
{
    receivedSignal = signal;
    stopRequested = true;
}

// The write that went beyond the limit fails with EFBIG, and says so.
void letWriteFail(int)
{
}

} // namespace

Interruption::Interruption()
{
    static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");
    for (std::size_t i = 0; i < std::size(handled); ++i) {
        ::sigaction(handled[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        sigemptyset(&action.sa_mask);
        if (handled[i] == SIGXFSZ) {
            action.sa_handler = letWriteFail;
            action.sa_flags = SA_RESTART;
        } else {
            // No SA_RESTART: a read or write that waits is interrupted, so
            // the run notices soon.
            action.sa_handler = requestStop;
            action.sa_flags = SA_RESETHAND;
        }
        ::sigaction(handled[i], &action, nullptr);
    }
}

Interruption::~Interruption()
{
    for (std::size_t i = 0; i < std::size(handled); ++i)
        ::sigaction(handled[i], &m_previous[i], nullptr);
}

const std::atomic<bool> *Interruption::flag() const
{
    return &stopRequested;
}

bool Interruption::requested() const
{
    return stopRequested;
}

int Interruption::exitStatus() const
{
    return 128 + receivedSignal;
}
