#pragma once

#include "treerecording.h"
#include "walkrules.h"

#include <atomic>
#include <string>

// Lists the tree below `rootPath` into a recording, with `threads` threads
// reading directories at once, as many as the free descriptors allow; with
// 0, one per core to begin with, and more, up to 16, while they read from
// the disk or mostly wait. Replaying the recording visits what
// walkTree visits of a tree that does not change meanwhile. Progress is
// reported from the calling thread. Once `cancel` is set, the scan ends
// soon, with what it has so far. With `rules`, every walk enters, lists
// and orders as they say.
//
// A thread stuck in a call to a file system that no longer answers may
// never end: once the scan is cancelled (or has failed), its threads are
// waited for only briefly. Those still at work are left behind, with all
// they use of the scan's own, and the scan gives nothing; then
// `walkersLeftBehind`, where given, is set, and what `rules` point to
// (the exclusions) must be kept for as long as the process lives.
//
// Throws what the walks throw: std::bad_alloc when memory runs out, and
// std::system_error when no descriptor can be had for a long while.
TreeRecording scanTree(const std::string &rootPath, const WalkProgress *progress = nullptr, unsigned threads = 0,
                       const std::atomic<bool> *cancel = nullptr, const WalkRules *rules = nullptr,
                       bool *walkersLeftBehind = nullptr);
