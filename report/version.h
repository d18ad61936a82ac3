#pragma once

#include <string>

// The product version shown in the window title, the About box and by velmora-map.
extern const std::string versionText;
