#pragma once

#include <string>
#include <string_view>

namespace keyvane::ext {

// Relying-party identifiers and user names arrive from browsers and sit in token records
// written by other programs: the same name may come composed or decomposed ("é" as one code
// point or as "e" and a combining accent). Both are compared in Unicode normalisation form C,
// without case folding.
std::string canonicalText(std::string_view utf8);
bool canonicallyEqual(std::string_view left, std::string_view right);

} // namespace keyvane::ext
