#include "entryorder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using Keyed = EntrySorter::Keyed;

std::uint64_t eightBytesAt(std::string_view name, std::size_t at)
{
    if (at + 8 <= name.size()) {
        std::uint64_t bytes;
        std::memcpy(&bytes, name.data() + at, 8);
        return __builtin_bswap64(bytes); // the first byte highest, on this little-endian machine
    }
    std::uint64_t key = 0;
    for (std::size_t i = at; i < at + 8; ++i)
        key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0U);
    return key;
}

// Below this many, comparing is quicker than counting.
constexpr std::size_t fewestToCount = 4096;
constexpr unsigned digitBits = 16;

// Sorts by key, sixteen bits at a time from the lowest, through `spare`,
// which has room for as many; `counts` is kept from one call to the next.
void countingSortByKey(Keyed *begin, Keyed *end, Keyed *spare, std::vector<std::uint32_t> &counts)
{
    const std::size_t size = std::size_t(end - begin);
    Keyed *from = begin;
    Keyed *to = spare;
    for (unsigned shift = 0; shift < 64; shift += digitBits) {
        const auto digit = [shift](const Keyed &keyed) { return std::size_t(keyed.key >> shift) & ((1U << digitBits) - 1); };
        counts.assign(std::size_t(1) << digitBits, 0);
        for (const Keyed *k = from; k != from + size; ++k)
            ++counts[digit(*k)];
        if (counts[digit(*from)] == size)
            continue; // all alike in these bits
        std::uint32_t before = 0;
        for (std::uint32_t &count : counts)
            before += std::exchange(count, before);
        for (const Keyed *k = from; k != from + size; ++k)
            to[counts[digit(*k)]++] = *k;
        std::swap(from, to);
    }
    if (from != begin)
        std::copy(from, from + size, begin);
}

// Sorts by the bytes of the names from `depth` on, eight at a time: most
// names differ within the first eight, and only those that do not are
// compared further. A name has no zero byte, so a zero last byte in equal
// keys means the names ended there alike.
void sortByName(const EntryTable &table, Keyed *begin, Keyed *end, std::size_t depth, Keyed *spare,
                std::vector<std::uint32_t> &counts)
{
    for (Keyed *k = begin; k != end; ++k)
        k->key = eightBytesAt(table.name(table[k->index]), depth);
    if (std::size_t(end - begin) >= fewestToCount)
        countingSortByKey(begin, end, spare, counts);
    else
        std::sort(begin, end, [](const Keyed &a, const Keyed &b) { return a.key < b.key; });
    for (Keyed *run = begin; run != end;) {
        Keyed *runEnd = run + 1;
        while (runEnd != end && runEnd->key == run->key)
            ++runEnd;
        if (runEnd - run > 1 && (run->key & 0xFF) != 0)
            sortByName(table, run, runEnd, depth + 8, spare, counts);
        run = runEnd;
    }
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t digitsEnd(std::string_view name, std::size_t at)
{
    while (at < name.size() && isDigit(name[at]))
        ++at;
    return at;
}

std::size_t zerosEnd(std::string_view name, std::size_t at, std::size_t end)
{
    while (at < end && name[at] == '0')
        ++at;
    return at;
}

} // namespace

bool comesBeforeByVersion(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isDigit(a[i]) || !isDigit(b[j])) {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
            continue;
        }
        const std::size_t aEnd = digitsEnd(a, i);
        const std::size_t bEnd = digitsEnd(b, j);
        const std::string_view aValue = a.substr(zerosEnd(a, i, aEnd), aEnd - zerosEnd(a, i, aEnd));
        const std::string_view bValue = b.substr(zerosEnd(b, j, bEnd), bEnd - zerosEnd(b, j, bEnd));
        if (aValue.size() != bValue.size())
            return aValue.size() < bValue.size();
        if (aValue != bValue)
            return aValue < bValue;
        i = aEnd;
        j = bEnd;
    }
    if (i < a.size() || j < b.size())
        return i == a.size();
    return a < b;
}

void EntrySorter::sort(EntryTable &table, std::size_t first, EntryOrder order)
{
    const std::size_t count = table.size() - first;
    if (order == EntryOrder::FileSystem || count < 2)
        return;
    m_keyed.truncate(0);
    m_keyed.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        m_keyed.emplace_back().index = std::uint32_t(first + i);
    Keyed *const begin = &m_keyed[0];
    Keyed *const end = begin + count;
    if (order == EntryOrder::Name) {
        m_scratch.reserve(count * sizeof(Keyed));
        sortByName(table, begin, end, 0, reinterpret_cast<Keyed *>(m_scratch.data()), m_counts);
    } else {
        std::sort(begin, end, [&table](const Keyed &a, const Keyed &b) {
            return comesBeforeByVersion(table.name(table[a.index]), table.name(table[b.index]));
        });
    }
    m_order.truncate(0);
    m_order.reserve(count);
    for (const Keyed *k = begin; k != end; ++k)
        m_order.emplace_back() = std::uint32_t(k->index - first);
    table.reorder(first, &m_order[0], m_scratch);
}
