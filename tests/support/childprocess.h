#pragma once

#include <functional>

// Runs `work` in a forked child and gives its result (0 to 255; 255 when it
// throws), or -1 when the child could not be started or did not end
// normally. For what must not touch the test process itself: resource
// limits, giving up root.
int runInChild(const std::function<int()> &work);

// Gives up root for good in the calling process, becoming nobody. Returns
// false when that fails. A process that is not root keeps its identity.
bool dropRoot();

// Whether this build runs under AddressSanitizer, whose shadow memory takes
// more address space than any limit a test sets leaves room for.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif
