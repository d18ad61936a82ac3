#include "version.h"

const std::string versionText = "1.0.0";
