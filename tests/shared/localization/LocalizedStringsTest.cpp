#include "shared/localization/LocalizedStrings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace keyvane {
namespace {

// The translations exactly as the library ships them.
QTranslator& shipped() {
    static QTranslator translator;
    static const bool loaded = translator.load(QStringLiteral(":/keyvane/i18n/keyvane_en.qm"));
    EXPECT_TRUE(loaded) << "the English translations are not embedded";
    return translator;
}

TEST(LocalizedStringsTest, EveryKeyHasATranslationInTheShippedFile) {
    std::vector<const char*> keys = LocalizedStrings::constantKeys();
    keys.insert(keys.end(), LocalizedStrings::inPlaceKeys().begin(), LocalizedStrings::inPlaceKeys().end());
    keys.insert(keys.end(), LocalizedStrings::countedKeys().begin(), LocalizedStrings::countedKeys().end());
    EXPECT_EQ(LocalizedStrings::constantKeys().size(), 93u);
    std::set<std::string> distinct;
    for (const char* key : keys) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(distinct.insert(key).second) << "listed twice";
        const bool counted = std::find(LocalizedStrings::countedKeys().begin(), LocalizedStrings::countedKeys().end(),
                                       key) != LocalizedStrings::countedKeys().end();
        const QString text = shipped().translate(nullptr, key, nullptr, counted ? 2 : -1);
        EXPECT_FALSE(text.trimmed().isEmpty());
        EXPECT_NE(text, QString::fromUtf8(key));
    }
}

TEST(LocalizedStringsTest, EachAccessorAnswersTheTextOfItsOwnKey) {
#define KEYVANE_CHECK_ACCESSOR(name, key)                                                                            \
    EXPECT_EQ(LocalizedStrings::name(), shipped().translate(nullptr, key)) << key;
    KEYVANE_LOCALIZED_STRINGS(KEYVANE_CHECK_ACCESSOR)
#undef KEYVANE_CHECK_ACCESSOR
    EXPECT_EQ(LocalizedStrings::appName(), QStringLiteral("Keyvane"));
}

TEST(LocalizedStringsTest, AKeyWithoutTranslationShowsAsTheKey) {
    EXPECT_EQ(LocalizedStrings::text("ChooseVarnel_Title_NotShipped"), QStringLiteral("ChooseVarnel_Title_NotShipped"));
    EXPECT_EQ(LocalizedStrings::format("Missing_%1_Key", {QStringLiteral("x")}), QStringLiteral("Missing_x_Key"));
}

// Answers one fixed word for every key, as a second language installed later would.
class EverythingTranslator : public QTranslator {
public:
    QString translate(const char*, const char*, const char* = nullptr, int = -1) const override {
        return QStringLiteral("Anders");
    }
    bool isEmpty() const override { return false; }
};

TEST(LocalizedStringsTest, AFixedTextKeepsItsFirstReadingWhenTheLanguageChanges) {
    const QString first = LocalizedStrings::alertDoneButtonLabel();
    EverythingTranslator other;
    ASSERT_TRUE(QCoreApplication::installTranslator(&other));
    EXPECT_EQ(LocalizedStrings::alertDoneButtonLabel(), first);
    EXPECT_EQ(&LocalizedStrings::alertDoneButtonLabel(), &LocalizedStrings::alertDoneButtonLabel());
    // Lookups made in place do see the new language.
    EXPECT_EQ(LocalizedStrings::text("Alert_DoneButton_Label"), QStringLiteral("Anders"));
    QCoreApplication::removeTranslator(&other);
    EXPECT_EQ(LocalizedStrings::text("Alert_DoneButton_Label"), first);
}

TEST(LocalizedStringsTest, ConcurrentFirstReadsAnswerOneText) {
    std::vector<const QString*> seen(8, nullptr);
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        readers.emplace_back([&seen, i] { seen[i] = &LocalizedStrings::onboardingReadyToGoAboutAppHintTitle(); });
    }
    for (auto& reader : readers) {
        reader.join();
    }
    for (const auto* text : seen) {
        EXPECT_EQ(text, seen.front());
    }
    EXPECT_EQ(*seen.front(), shipped().translate(nullptr, "Onboarding_ReadyToGo_AboutAppHint_Title"));
}

// Counted texts take the plural form the count needs, never "1 passkeys".
TEST(LocalizedStringsTest, CountedTextsTakeThePluralFormOfTheirCount) {
    struct Case {
        const char* key;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {"PasskeysView_AllCount", 0, "0 passkeys"},
        {"PasskeysView_AllCount", 1, "1 passkey"},
        {"PasskeysView_AllCount", 2, "2 passkeys"},
        {"PasskeysView_AllCount", 21, "21 passkeys"},
        {"Alert_KeysDelete_Title", 3, "Delete 3 passkeys?"},
        {"EnterPinCode_InvalidPinMessage", 1, "Wrong PIN. 1\u00a0attempt left."},
        {"EnterPinCode_InvalidPinMessage", 2, "Wrong PIN. 2\u00a0attempts left."},
        {"EnterGrandPass_Title_Error", 1, "Wrong master password. 1\u00a0attempt left."},
        {"VarnelTouchAuthorizationView_Footnote", 1, "1 second left"},
        {"VarnelTouchAuthorizationView_Footnote", 30, "30 seconds left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LocalizedStrings::counted(c.key, c.count), QString::fromUtf8(c.expected)) << c.key << " " << c.count;
    }
    // Without a translation the key shows, with the count in it where it asks for one.
    EXPECT_EQ(LocalizedStrings::counted("Missing_%n_Key", 4), QStringLiteral("Missing_4_Key"));
}

// Every translation that ships, not only English, holds each counted text as a plural message
// whose every form places the count with %n, and no other text takes %n.
TEST(LocalizedStringsTest, EveryTranslationHoldsCountedTextsAsPluralForms) {
    const std::set<std::string> counted(LocalizedStrings::countedKeys().begin(), LocalizedStrings::countedKeys().end());
    const QDir folder(QStringLiteral(KEYVANE_TRANSLATIONS_DIR));
    const auto files = folder.entryList({QStringLiteral("*.ts")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const auto& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        std::set<std::string> plural;
        std::string id;
        bool numerus = false;
        int forms = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QStringLiteral("message")) {
                id = xml.attributes().value(QStringLiteral("id")).toString().toStdString();
                numerus = xml.attributes().value(QStringLiteral("numerus")) == QStringLiteral("yes");
                forms = 0;
            } else if (xml.isStartElement() && xml.name() == QStringLiteral("numerusform")) {
                ++forms;
                EXPECT_TRUE(xml.readElementText().contains(QStringLiteral("%n"))) << id << " form " << forms;
            } else if (xml.isStartElement() && xml.name() == QStringLiteral("translation") && !numerus) {
                EXPECT_FALSE(xml.readElementText().contains(QStringLiteral("%n"))) << id << " counts but is not plural";
            } else if (xml.isEndElement() && xml.name() == QStringLiteral("message")) {
                if (numerus) {
                    plural.insert(id);
                    EXPECT_GE(forms, 1) << id;
                }
            }
        }
        ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_EQ(plural, counted);
    }
}

TEST(LocalizedStringsTest, FreeMemoryPutsTheAvailableAmountFirst) {
    EXPECT_EQ(LocalizedStrings::aboutDeviceInfoFreeMemoryValue(QStringLiteral("12 KB"), QStringLiteral("64 KB")),
              QStringLiteral("12 KB of 64 KB"));
}

TEST(LocalizedStringsTest, ArgumentsAreNeverSubstitutedAgain) {
    struct Case {
        const char* format;
        QStringList arguments;
        const char* expected;
    };
    const Case cases[] = {
        // A token label or model that itself looks like a placeholder.
        {"%1 of %2 free", {"%2", "%1"}, "%2 of %1 free"},
        {"%1 of %2 free", {"50%", "100% %1"}, "50% of 100% %1 free"},
        // Numbered placeholders may appear in another order in a translation.
        {"%2 total, %1 free", {"12 KB", "64 KB"}, "64 KB total, 12 KB free"},
        // A placeholder without an argument, and text that only resembles one, stay as written.
        {"%1 and %3", {"a"}, "a and %3"},
        {"%0 %10 %", {"a"}, "%0 %10 %"},
        {"%%1", {"a"}, "%a"},
        {"", {"a"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LocalizedStrings::substitute(QString::fromUtf8(c.format), c.arguments), QString::fromUtf8(c.expected))
            << c.format;
    }
    EXPECT_EQ(LocalizedStrings::format("VarnelAwait_Description", {QStringLiteral("Модель %1 0042")}),
              QStringLiteral("Connect the token Модель %1 0042"));
}

} // namespace
} // namespace keyvane
