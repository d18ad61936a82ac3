#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

// Owns one file descriptor and closes it when it goes out of scope.
class ScopedDescriptor
{
public:
    ScopedDescriptor() = default;
    explicit ScopedDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ScopedDescriptor(ScopedDescriptor &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    ScopedDescriptor &operator=(ScopedDescriptor &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ScopedDescriptor(const ScopedDescriptor &) = delete;
    ScopedDescriptor &operator=(const ScopedDescriptor &) = delete;
    ~ScopedDescriptor() { reset(); }

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

    // Closes it now, for a caller that must know whether the close failed:
    // some file systems report a failed write only then. Gives false with
    // errno set on such a failure; the descriptor is gone either way, and
    // an interrupted close is no failure.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd = -1;
};
