#include "shared/viewmodels/OneLineText.h"

#include <QStringDecoder>

namespace keyvane::views {

namespace {

bool drawsElsewhere(char32_t code) {
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString oneLineText(std::string_view utf8) {
    // A byte order mark at the start is decoded too (QString::fromUtf8 drops it): "\uFEFFalice"
    // must not look like "alice".
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    QString shown;
    shown.reserve(text.size());
    // By code point: the tag characters and other format characters lie above the basic
    // plane, and a character made of two UTF-16 units becomes one replacement.
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text[i].unicode();
        qsizetype units = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        if (drawsElsewhere(code)) {
            shown.append(QChar::ReplacementCharacter);
        } else {
            shown.append(text.constData() + i, units);
        }
        i += units - 1;
    }
    return shown;
}

} // namespace keyvane::views
