#pragma once

#include "entrytable.h"
#include "walkrules.h"

#include <cstddef>
#include <string_view>

// Puts the entries of `table` from `first` to `end` in `order`; in the file
// system's order they stay as they are.
void sortEntries(EntryTable &table, std::size_t first, std::size_t end, EntryOrder order);

// The version order: the names are compared from their start, a byte at a
// time, except where both hold a run of ASCII digits at the same place,
// which compares by its value (leading zeros aside) and then counts as one.
// A name that ends first comes first. Names that this finds equal, which
// differ only in leading zeros, are in byte order: "file007" before "file7"
// before "file08" before "file10". Bytes compare by their value, so "B"
// comes before "a", whatever the locale.
bool comesBeforeByVersion(std::string_view a, std::string_view b);
