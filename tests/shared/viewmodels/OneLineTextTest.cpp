#include "shared/viewmodels/OneLineText.h"

#include <gtest/gtest.h>

#include <string>

namespace keyvane::views {
namespace {

// What a site, a caller or a token can put into a name, and how the views show it. Whatever
// would draw a second line, reorder the text around it or hide between two letters shows as
// one visible replacement per character; letters of every script, marks, symbols and markup
// (which the labels show as plain text) stay as they are.
TEST(OneLineText, CharactersThatDrawElsewhereShowAsAReplacement) {
    const struct {
        const char* why;
        std::string text;
        std::string shown;
    } cases[] = {
        {"line feed", "ann\nbank.example", "ann\uFFFDbank.example"},
        {"carriage return, tab", "ann\r\n\t", "ann\uFFFD\uFFFD\uFFFD"},
        {"next line", "ann\u0085x", "ann\uFFFDx"},
        {"line and paragraph separators", "ann\u2028x\u2029", "ann\uFFFDx\uFFFD"},
        {"right-to-left marks reverse a domain", "\u200Fcom\u200F.\u200Fbank", "\uFFFDcom\uFFFD.\uFFFDbank"},
        {"left-to-right mark", "a\u200Eb", "a\uFFFDb"},
        {"Arabic letter mark", "a\u061Cb", "a\uFFFDb"},
        {"right-to-left override", "ann\u202Eelpmaxe", "ann\uFFFDelpmaxe"},
        {"embedding and pop", "\u202Ax\u202C", "\uFFFDx\uFFFD"},
        {"isolates", "\u2066x\u2067y\u2068z\u2069", "\uFFFDx\uFFFDy\uFFFDz\uFFFD"},
        {"zero-width space, non-joiner, joiner", "p\u200Ba\u200Cy\u200Dpal", "p\uFFFDa\uFFFDy\uFFFDpal"},
        {"word joiner to invisible plus", "a\u2060b\u2061c\u2062d\u2063e\u2064f", "a\uFFFDb\uFFFDc\uFFFDd\uFFFDe\uFFFDf"},
        {"byte order mark", "\uFEFFalice", "\uFFFDalice"},
        {"soft hyphen", "ali\u00ADce", "ali\uFFFDce"},
        {"Mongolian vowel separator", "a\u180Eb", "a\uFFFDb"},
        {"tag characters, above the basic plane, one replacement each", "bank\U000E0041\U000E007F", "bank\uFFFD\uFFFD"},
        {"joined emoji: the joiner too", "\U0001F469\u200D\U0001F4BB", "\U0001F469\uFFFD\U0001F4BB"},
        {"bytes that are not UTF-8", "a\xC0" "b", "a\uFFFD" "b"},
        {"letters of several scripts", "Zo\u00EB \u674E \u0639\u0631\u0628\u064A", "Zo\u00EB \u674E \u0639\u0631\u0628\u064A"},
        {"combining mark, emoji", "e\u0301 \U0001F469", "e\u0301 \U0001F469"},
        {"markup stays text", "<b>x</b>&amp;<br>", "<b>x</b>&amp;<br>"},
        {"nothing", "", ""},
    };
    for (const auto& [why, text, shown] : cases) {
        EXPECT_EQ(oneLineText(text), QString::fromStdString(shown)) << why;
    }
}

} // namespace
} // namespace keyvane::views
