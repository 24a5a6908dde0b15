#pragma once

#include <QString>

#include <string_view>

namespace keyvane::views {

// A text from outside as the views show it on one line: a user name or relying party (the
// site's choice), a token's model, serial or label, whatever a record holds. A line break, a
// bidirectional control or an invisible format character in one would let it draw what looks
// like another text: a second line under the user name that reads like the relying party,
// "\u200Fcom\u200F.\u200Fbank" drawn as "bank.com", a zero-width character that makes two
// names look alike. Control characters (category Cc), line and paragraph separators and every
// format character (category Cf: the bidirectional marks, embeddings, overrides and isolates,
// the zero-width characters, the byte order mark, the tag characters) show as one U+FFFD
// each; everything else as it is. Bytes that are not UTF-8 show as U+FFFD too.
QString oneLineText(std::string_view utf8);

} // namespace keyvane::views
