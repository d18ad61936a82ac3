#pragma once

#include "entrytable.h"
#include "largebuffer.h"
#include "walkrules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Puts a directory's entries in order. It keeps its working memory from one
// directory to the next, so that a walk pays for it once.
class EntrySorter
{
public:
    // Puts the entries of `table` from `first` to its end in `order`; in the
    // file system's order they stay as they are.
    void sort(EntryTable &table, std::size_t first, EntryOrder order);

    struct Keyed
    {
        std::uint64_t key; // eight bytes of the name, the first highest
        std::uint32_t index;
    };

private:
    LargeVector<Keyed> m_keyed;
    std::vector<std::uint32_t> m_counts; // for sorting by counting
    LargeVector<std::uint32_t> m_order;  // where each entry comes from
    LargeBuffer m_scratch;               // for sorting by counting, then for moving the entries
};

// The version order: the names are compared from their start, a byte at a
// time, except where both hold a run of ASCII digits at the same place,
// which compares by its value (leading zeros aside) and then counts as one.
// A name that ends first comes first. Names that this finds equal, which
// differ only in leading zeros, are in byte order: "file007" before "file7"
// before "file08" before "file10". Bytes compare by their value, so "B"
// comes before "a", whatever the locale.
bool comesBeforeByVersion(std::string_view a, std::string_view b);
