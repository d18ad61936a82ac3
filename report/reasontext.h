#pragma once

#include "treevisitor.h"

#include <string>

// Why a directory is not in a map whole, as the JSON document and the
// browsable page state it: "loop", "pseudo file system", "other file
// system", or "unreadable: " and the system's reason. Reasons are read by
// scripts, so they do not follow the user's language.
std::string notEnteredText(NotEnteredReason reason);
std::string unreadableText(int error);
