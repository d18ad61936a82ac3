#include "entryorder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct Keyed
{
    std::uint64_t key; // eight bytes of the name, the first highest
    std::uint32_t index;
};

std::uint64_t eightBytesAt(std::string_view name, std::size_t at)
{
    std::uint64_t key = 0;
    for (std::size_t i = at; i < at + 8; ++i)
        key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0U);
    return key;
}

// Sorts by the bytes of the names from `depth` on, eight at a time: most
// names differ within the first eight, and only those that do not are
// compared further. A name has no zero byte, so a zero last byte in equal
// keys means the names ended there alike.
void sortByName(const EntryTable &table, Keyed *begin, Keyed *end, std::size_t depth)
{
    for (Keyed *k = begin; k != end; ++k)
        k->key = eightBytesAt(table.name(table[k->index]), depth);
    std::sort(begin, end, [](const Keyed &a, const Keyed &b) { return a.key < b.key; });
    for (Keyed *run = begin; run != end;) {
        Keyed *runEnd = run + 1;
        while (runEnd != end && runEnd->key == run->key)
            ++runEnd;
        if (runEnd - run > 1 && (run->key & 0xFF) != 0)
            sortByName(table, run, runEnd, depth + 8);
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

void sortEntries(EntryTable &table, std::size_t first, std::size_t end, EntryOrder order)
{
    if (order == EntryOrder::FileSystem || end - first < 2)
        return;
    std::vector<Keyed> keyed(end - first);
    for (std::size_t i = 0; i < keyed.size(); ++i)
        keyed[i].index = std::uint32_t(first + i);
    if (order == EntryOrder::Name) {
        sortByName(table, keyed.data(), keyed.data() + keyed.size(), 0);
    } else {
        std::sort(keyed.begin(), keyed.end(), [&table](const Keyed &a, const Keyed &b) {
            return comesBeforeByVersion(table.name(table[a.index]), table.name(table[b.index]));
        });
    }
    const std::vector<EntryRecord> listed(&table[first], &table[first] + keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        table[first + i] = listed[keyed[i].index - first];
}

