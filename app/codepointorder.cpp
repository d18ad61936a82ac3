#include "codepointorder.h"

#include <algorithm>

namespace {

// A code unit moved so that units compare as the code points they begin:
// surrogates, which begin those beyond U+FFFF, after U+E000 to U+FFFF.
char16_t codePointRank(char16_t unit)
{
    if (unit < 0xD800)
        return unit;
    return unit >= 0xE000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
}

} // namespace

bool precedesByCodePoint(QStringView a, QStringView b)
{
    const auto [inA, inB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (inB == b.end())
        return false;
    if (inA == a.end())
        return true;
    return codePointRank(inA->unicode()) < codePointRank(inB->unicode());
}
