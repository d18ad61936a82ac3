#pragma once

#include <atomic>

// While it lives, SIGINT and SIGTERM only ask the run to stop: they set a
// flag that the run watches, so that it can leave the terminal and the
// output as they should be. A second signal ends the program at once.
class Interruption
{
public:
    Interruption();
    ~Interruption();
    Interruption(const Interruption &) = delete;
    Interruption &operator=(const Interruption &) = delete;

    const std::atomic<bool> *flag() const;
    bool requested() const;
    // The shell's status for the signal: 128 and its number.
    int exitStatus() const;
};
