#pragma once

// What velmora-map --help prints.
extern const char mapUsageText[];
