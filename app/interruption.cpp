#include "interruption.h"

#include <csignal>
#include <initializer_list>

namespace {

std::atomic<bool> stopRequested{false};
volatile std::sig_atomic_t receivedSignal = 0;

void requestStop(int signal)
{
    receivedSignal = signal;
    stopRequested = true;
}

void handle(int signal, void (*handler)(int), int flags)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

Interruption::Interruption()
{
    static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");
    // No SA_RESTART: a read or write that waits is interrupted, so the run
    // notices soon.
    for (int signal : {SIGINT, SIGTERM})
        handle(signal, requestStop, SA_RESETHAND);
}

Interruption::~Interruption()
{
    for (int signal : {SIGINT, SIGTERM})
        handle(signal, SIG_DFL, 0);
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
