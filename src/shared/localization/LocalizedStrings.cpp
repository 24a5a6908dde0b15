#include "shared/localization/LocalizedStrings.h"

#include <QCoreApplication>
#include <QLocale>
#include <QThread>
#include <QTranslator>

#include <mutex>

namespace keyvane {

namespace {

constexpr auto translationsFolder = ":/keyvane/i18n";

struct Translations {
    QTranslator translator;
    std::once_flag loadOnce;
    std::mutex installMutex;
    // The application the translator was handed to; lookups go through qtTrId only then, so
    // translators that the application installs later (another language) take precedence.
    QCoreApplication* installedIn = nullptr;
};

Translations& translations() {
    static Translations instance;
    return instance;
}

void loadShipped(QTranslator& translator) {
    if (translator.load(QLocale(), QStringLiteral("keyvane"), QStringLiteral("_"), QString::fromUtf8(translationsFolder))) {
        return;
    }
    // English is always shipped and holds every key.
    (void)translator.load(QString::fromUtf8(translationsFolder) + QStringLiteral("/keyvane_en.qm"));
}

// A count of -1 asks for no plural form.
QString lookup(const char* key, int count = -1) {
    LocalizedStrings::installTranslations();
    auto& shared = translations();
    QString text;
    bool throughApplication = false;
    {
        std::lock_guard lock(shared.installMutex);
        throughApplication = shared.installedIn != nullptr && shared.installedIn == QCoreApplication::instance();
    }
    if (throughApplication) {
        text = qtTrId(key, count);
    } else {
        text = shared.translator.translate(nullptr, key, nullptr, count);
    }
    // qtTrId answers the key itself when no translator has it; translate() answers nothing.
    return text.isEmpty() ? QString::fromUtf8(key) : text;
}

} // namespace

void LocalizedStrings::installTranslations() {
    auto& shared = translations();
    std::call_once(shared.loadOnce, [&] { loadShipped(shared.translator); });
    auto* application = QCoreApplication::instance();
    // Installing sends a language-change event to the application object, which is only
    // allowed on its own thread; elsewhere lookups read the translator directly.
    if (application == nullptr || QThread::currentThread() != application->thread()) {
        return;
    }
    std::lock_guard lock(shared.installMutex);
    if (shared.installedIn != application) {
        QCoreApplication::installTranslator(&shared.translator);
        shared.installedIn = application;
    }
}

#define KEYVANE_DEFINE_LOCALIZED_STRING(name, key)                                                                    \
    const QString& LocalizedStrings::name() {                                                                        \
        static const QString text = lookup(key);                                                                     \
        return text;                                                                                                 \
    }
KEYVANE_LOCALIZED_STRINGS(KEYVANE_DEFINE_LOCALIZED_STRING)
#undef KEYVANE_DEFINE_LOCALIZED_STRING

QString LocalizedStrings::aboutDeviceInfoFreeMemoryValue(const QString& available, const QString& total) {
    return format("AboutDeviceInfo_FreeMemory_Value", {available, total});
}

QString LocalizedStrings::text(const char* key) { return lookup(key); }

QString LocalizedStrings::format(const char* key, const QStringList& arguments) {
    return substitute(lookup(key), arguments);
}

QString LocalizedStrings::counted(const char* key, int count) {
    // qtTrId puts the count in for %n itself; the translator alone does not, and a text that
    // already holds the number has no %n left.
    return lookup(key, count).replace(QStringLiteral("%n"), QString::number(count));
}

QString LocalizedStrings::substitute(const QString& format, const QStringList& arguments) {
    QString result;
    result.reserve(format.size());
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < format.size() && format.at(i + 1).isDigit() && format.at(i + 1) != u'0') {
            qsizetype end = i + 1;
            int number = 0;
            // At most two digits: "%10" is the tenth argument, "%100" the tenth followed by "0".
            while (end < format.size() && end < i + 3 && format.at(end).isDigit()) {
                number = number * 10 + format.at(end).digitValue();
                ++end;
            }
            if (number >= 1 && number <= arguments.size()) {
                result += arguments.at(number - 1);
            } else {
                result += QStringView(format).mid(i, end - i);
            }
            i = end;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}

const std::vector<const char*>& LocalizedStrings::constantKeys() {
#define KEYVANE_LIST_LOCALIZED_KEY(name, key) key,
    static const std::vector<const char*> keys{KEYVANE_LOCALIZED_STRINGS(KEYVANE_LIST_LOCALIZED_KEY)};
#undef KEYVANE_LIST_LOCALIZED_KEY
    return keys;
}

const std::vector<const char*>& LocalizedStrings::inPlaceKeys() {
    static const std::vector<const char*> keys{
        "AboutDeviceInfo_FreeMemory_Value",
        "EnterGrandPass_OperationFailed_Error",
        "EnterPinCode_InvalidPinMessage_Unknown",
        "EnterPinCode_ConnectionMessage",
        "VarnelAwait_Description",
        "%lld",
        "AboutAppView_Version",
        "ExtensionTurnOn_Confirmation_Title",
        "ExtensionTurnOn_Confirmation_Description",
        "ExtensionTurnOn_Confirmation_AllowButton_Label",
        "GrandPassView_Protection_Tpm",
        "GrandPassView_Protection_File",
        "BiometricPrompt_Title",
    };
    return keys;
}

const std::vector<const char*>& LocalizedStrings::countedKeys() {
    static const std::vector<const char*> keys{
        "EnterGrandPass_Title_Error", "EnterPinCode_InvalidPinMessage", "VarnelTouchAuthorizationView_Footnote",
        "Alert_KeysDelete_Title",     "KeysChoose_DeleteButton",        "PasskeysView_AllCount",
        "PasskeysView_SelectedCount",
    };
    return keys;
}

} // namespace keyvane
