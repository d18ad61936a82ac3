#include "interruption.h"

namespace {

std::atomic<bool> stopRequested{false};
volatile std::sig_atomic_t receivedSignal = 0;

void requestStop(int signal)
{
    // The first signal says how the run ended; those after it only hurry it.
    if (receivedSignal == 0)
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
            // the run notices soon. The handler stays: a second signal must
            // not end the program with its temporary file left behind.
            action.sa_handler = requestStop;
            for (const int other : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
                sigaddset(&action.sa_mask, other);
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
