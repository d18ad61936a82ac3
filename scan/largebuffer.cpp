#include "largebuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

constexpr std::size_t smallest = 64 << 10;

std::size_t roundUp(std::size_t bytes, std::size_t unit)
{
    return (bytes + unit - 1) / unit * unit;
}

void *mapAnonymous(std::size_t bytes)
{
    void *memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    return memory;
}

// A mapping of `bytes`, a multiple of the huge page size, that starts on a
// huge page boundary.
char *mapAligned(std::size_t bytes)
{
    auto *mapped = static_cast<char *>(mapAnonymous(bytes + hugePageBytes));
    const auto address = reinterpret_cast<std::uintptr_t>(mapped);
    char *aligned = mapped + (roundUp(address, hugePageBytes) - address);
    if (aligned > mapped)
        ::munmap(mapped, std::size_t(aligned - mapped));
    ::munmap(aligned + bytes, std::size_t(mapped + bytes + hugePageBytes - (aligned + bytes)));
    return aligned;
}

} // namespace

LargeBuffer &LargeBuffer::operator=(LargeBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void LargeBuffer::reserve(std::size_t bytes)
{
    if (bytes <= m_capacity)
        return;
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    // Growing fourfold keeps the number of moves small.
    std::size_t capacity = std::max({bytes, 4 * m_capacity, smallest});
    capacity = capacity >= hugePageBytes ? roundUp(capacity, hugePageBytes) : roundUp(capacity, page);

    char *grown = capacity >= hugePageBytes ? mapAligned(capacity) : static_cast<char *>(mapAnonymous(capacity));
    if (m_data) {
        // The pages move to the start of the new region; nothing is copied.
        if (::mremap(m_data, m_capacity, m_capacity, MREMAP_MAYMOVE | MREMAP_FIXED, grown) == MAP_FAILED) {
            std::memcpy(grown, m_data, m_capacity);
            ::munmap(m_data, m_capacity);
        }
    }
    if (capacity >= hugePageBytes)
        ::madvise(grown, capacity, MADV_HUGEPAGE);
    m_data = grown;
    m_capacity = capacity;
}

void LargeBuffer::release()
{
    if (m_data)
        ::munmap(m_data, m_capacity);
    m_data = nullptr;
    m_capacity = 0;
}
