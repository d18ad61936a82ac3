#pragma once

// The three stages of a map run, in order, as the window's three labels show
// them and as progress names them, in the window and on the terminal: the
// tree is listed and counted, mapped into the report as it is written to its
// file, and the file is written in place.
enum class MapStage { Counting, Mapping, Writing };

constexpr MapStage mapStages[] = {MapStage::Counting, MapStage::Mapping, MapStage::Writing};

// The stage's name as progress gives it: "counting", "mapping", "writing".
constexpr const char *stageName(MapStage stage)
{
    switch (stage) {
    case MapStage::Counting:
        return "counting";
    case MapStage::Mapping:
        return "mapping";
    case MapStage::Writing:
        break;
    }
    return "writing";
}
