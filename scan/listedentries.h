#pragma once

// Which entries a map lists. Its counts take in every file either way.
enum class ListedEntries : unsigned char {
    DirectoriesOnly,
    FilesAndDirectories,
};
