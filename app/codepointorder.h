#pragma once

#include <QStringView>

// Whether `a` comes before `b` by character code: by Unicode code point, the
// order of their UTF-8 bytes too. Comparing UTF-16 code units would put a
// character beyond U+FFFF, held as a surrogate pair, before U+E000 to U+FFFF.
bool precedesByCodePoint(QStringView a, QStringView b);
