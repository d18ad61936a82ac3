#pragma once

#include "treerecording.h"

#include <string>

// Lists the tree below `rootPath` into a recording, with up to `threads`
// threads reading directories at once (0: one per core, at most four).
// Replaying the recording visits what walkTree visits of a tree that does
// not change meanwhile. Progress is reported from the calling thread.
TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress = nullptr, unsigned threads = 0);
