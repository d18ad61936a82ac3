#pragma once

#include <sys/types.h>

#include <vector>

// While it lives, every core that this process may use is kept busy by a
// child process of its own that spins at normal priority: a desktop under
// load.
class BusyCores
{
public:
    BusyCores();
    ~BusyCores();
    BusyCores(const BusyCores &) = delete;
    BusyCores &operator=(const BusyCores &) = delete;

    int count() const { return int(m_children.size()); }

private:
    std::vector<pid_t> m_children;
};
