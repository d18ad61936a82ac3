#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

// A huge page on this machine: from this size on, memory is taken in
// aligned pieces the kernel may back with huge pages.
constexpr std::size_t hugePageBytes = 2 << 20;

// Memory for a buffer that may grow large. It is mapped from the system,
// from 2 MiB on in aligned regions the kernel may back with huge pages (a
// page fault is dear, and a huge page takes one where small pages take
// 512), grown by moving its pages rather than copying them, and given back
// to the system as soon as it is released. Throws std::bad_alloc when no
// memory can be had.
class LargeBuffer
{
public:
    LargeBuffer() = default;
    LargeBuffer(LargeBuffer &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr))
        , m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    LargeBuffer &operator=(LargeBuffer &&other) noexcept;
    ~LargeBuffer() { release(); }

    char *data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }

    // Makes room for at least `bytes`, keeping what the buffer holds.
    void reserve(std::size_t bytes);
    void release();

private:
    char *m_data = nullptr;
    std::size_t m_capacity = 0;
};

// A vector of plain values in a LargeBuffer.
template <typename T>
class LargeVector
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T &operator[](std::size_t index) { return data()[index]; }
    const T &operator[](std::size_t index) const { return data()[index]; }
    T &back() { return data()[m_size - 1]; }

    // Room for `count` values at once: for a size known ahead, memory taken
    // in one piece, from huge pages where it is large enough.
    void reserve(std::size_t count) { m_buffer.reserve(count * sizeof(T)); }

    T &emplace_back()
    {
        if ((m_size + 1) * sizeof(T) > m_buffer.capacity())
            m_buffer.reserve((m_size + 1) * sizeof(T));
        return *new (data() + m_size++) T();
    }
    void truncate(std::size_t size) { m_size = size; }

private:
    T *data() const { return reinterpret_cast<T *>(m_buffer.data()); }

    LargeBuffer m_buffer;
    std::size_t m_size = 0;
};
