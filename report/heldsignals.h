#pragma once

#include <csignal>

// While it lives, no signal that would end or stop the process acts on it:
// the calling thread holds them back, and any such signal whose action is
// still the default is only noted, whichever thread takes it. When the object
// goes, each takes effect as it would have: a held one is delivered, a noted
// one raised again. Faults of the program itself (SIGSEGV, SIGBUS, ...) are
// not held. One object at a time, in one thread.
class HeldSignals
{
public:
    HeldSignals();
    ~HeldSignals();
    HeldSignals(const HeldSignals &) = delete;
    HeldSignals &operator=(const HeldSignals &) = delete;

private:
    sigset_t m_previousMask;
    struct sigaction m_previous[NSIG];
    bool m_replaced[NSIG] = {};
};
