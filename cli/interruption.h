#pragma once

#include <atomic>
#include <csignal>
#include <iterator>

// While it lives, SIGINT, SIGTERM, SIGHUP and SIGQUIT only ask the run to
// stop: they set a flag that the run watches, so that it can leave the
// terminal and the output as they should be, its temporary file removed.
// Once a run has begun to stop, a further signal only asks again, which may
// cut a wait short; it never ends the program before that. A signal the
// program was started with ignored (nohup) stays ignored. SIGXFSZ does not
// end the program: a write beyond the file size limit fails as writes do,
// with "File too large".
class Interruption
{
public:
    Interruption();
    ~Interruption();
    Interruption(const Interruption &) = delete;
    Interruption &operator=(const Interruption &) = delete;

    const std::atomic<bool> *flag() const;
    bool requested() const;
    // The shell's status for the first signal: 128 and its number.
    int exitStatus() const;

private:
    static constexpr int handled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};
    struct sigaction m_previous[std::size(handled)];
};
