#include "keyvane/viewmodels/AboutViewModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <QUrlQuery>
#include <QVariantMap>

#include <array>

namespace keyvane::app {

namespace {

constexpr std::array<LinkButton, 3> linkButtons = {LinkButton::instruction, LinkButton::privacyPolicy,
                                                   LinkButton::licenseAgreement};

QUrl webPage(const std::string& host, const char* path) {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromStdString(host));
    url.setPath(QString::fromUtf8(path));
    return url;
}

} // namespace

QString linkTitle(LinkButton link, const AboutConfiguration& configuration) {
    switch (link) {
    case LinkButton::instruction:
        return LocalizedStrings::aboutAppViewLinkButtonFAQLabel();
    case LinkButton::privacyPolicy:
        return LocalizedStrings::aboutAppViewLinkButtonPrivacyPolicyLabel();
    case LinkButton::licenseAgreement:
        return LocalizedStrings::aboutAppViewLinkButtonUserAgreementLabel();
    case LinkButton::phone:
        break;
    }
    return QString::fromStdString(configuration.supportPhone);
}

QUrl linkUrl(LinkButton link, const AboutConfiguration& configuration) {
    switch (link) {
    case LinkButton::instruction: {
        QUrl url = webPage(configuration.documentationHost, "/pages/viewpage.action");
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("pageId"), QString::fromStdString(configuration.documentationPageId));
        url.setQuery(query);
        return url;
    }
    case LinkButton::privacyPolicy:
        return webPage(configuration.privacyPolicyHost, "/company/policy/keyvane.html");
    case LinkButton::licenseAgreement:
        return webPage(configuration.userAgreementHost, "/products/all/keyvane/agreement/");
    case LinkButton::phone:
        break;
    }
    return telephoneUrl(configuration.supportPhone);
}

QUrl telephoneUrl(const std::string& displayText) {
    std::string kept;
    for (const char c : displayText) {
        if (c != '+' && c != '-' && c != '(' && c != ')' && c != ' ') {
            kept += c;
        }
    }
    return QUrl(QString::fromStdString("tel:+" + kept));
}

std::optional<std::string> versionAndBuild(const BuildInfo& info) {
    if (!info.appVersion || !info.buildNumber) {
        return std::nullopt;
    }
    return *info.appVersion + "(" + *info.buildNumber + ")";
}

QString versionLine(const BuildInfo& info) {
    const std::string argument = versionAndBuild(info).value_or("") + " " + info.commitHash.value_or("");
    return LocalizedStrings::format("AboutAppView_Version", {QString::fromStdString(argument)});
}

AboutViewModel::AboutViewModel(BuildInfo build, AboutConfiguration configuration, UrlOpener& opener, QObject* parent)
    : QObject(parent), build_(std::move(build)), configuration_(std::move(configuration)), opener_(opener) {}

QVariantList AboutViewModel::links() const {
    QVariantList links;
    for (const auto link : linkButtons) {
        links.append(QVariantMap{{QStringLiteral("label"), linkTitle(link, configuration_)},
                                 {QStringLiteral("identifier"), static_cast<int>(link)}});
    }
    return links;
}

void AboutViewModel::openLink(int index) {
    if (index >= 0 && index < static_cast<int>(linkButtons.size())) {
        opener_.open(linkUrl(linkButtons[static_cast<std::size_t>(index)], configuration_));
    }
}

void AboutViewModel::call() {
    opener_.open(linkUrl(LinkButton::phone, configuration_));
}

} // namespace keyvane::app
