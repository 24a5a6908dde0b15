#pragma once

#include <QString>

#include <string_view>

namespace keyvane::ext::views {

// A user name or relying party as the extension's views show it. These texts come from a
// site, a caller or a token record: a line break or a bidirectional override in one would
// let it draw what looks like another text beside it (a second line under the user name that
// reads like the relying party). Control characters, line and paragraph separators and the
// bidirectional embeddings, overrides and isolates show as U+FFFD; everything else as it is.
QString oneLineText(std::string_view utf8);

} // namespace keyvane::ext::views
