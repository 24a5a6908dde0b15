#include "credential_ext/viewmodels/OneLineText.h"

namespace keyvane::ext::views {

namespace {

bool drawsElsewhere(QChar character) {
    const auto code = character.unicode();
    switch (character.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        // Left-to-right and right-to-left embeddings, pop, overrides; then the isolates.
        return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    }
}

} // namespace

QString oneLineText(std::string_view utf8) {
    auto text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (auto& character : text) {
        if (drawsElsewhere(character)) {
            character = QChar::ReplacementCharacter;
        }
    }
    return text;
}

} // namespace keyvane::ext::views
