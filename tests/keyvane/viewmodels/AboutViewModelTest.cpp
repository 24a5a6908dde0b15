#include "keyvane/viewmodels/AboutViewModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <QSignalSpy>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <vector>

namespace keyvane::views::testing {
namespace {

using namespace keyvane::app;

class RecordingOpener final : public UrlOpener {
public:
    void open(const QUrl& url) override { opened.push_back(url.toString()); }
    std::vector<QString> opened;
};

const AboutConfiguration configuration{"docs.example.test", "4711", "privacy.example.test", "terms.example.test",
                                       "+7 (999) 123-45-67"};

TEST(AboutSheet, TheVersionLineNamesVersionBuildAndCommit) {
    struct Case {
        BuildInfo build;
        const char* argument;
    };
    const std::vector<Case> cases = {
        {{"2.0.1", "57", "9f3e2aa"}, "2.0.1(57) 9f3e2aa"},
        {{"2.0.1", "57", std::nullopt}, "2.0.1(57) "},
        // Without either half of version and build, that part goes; the commit stays.
        {{"2.0.1", std::nullopt, "9f3e2aa"}, " 9f3e2aa"},
        {{std::nullopt, "57", "9f3e2aa"}, " 9f3e2aa"},
        {{std::nullopt, std::nullopt, std::nullopt}, " "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(versionLine(c.build), LocalizedStrings::format("AboutAppView_Version", {QString::fromUtf8(c.argument)}));
    }
    EXPECT_EQ(versionLine({"1.4.0", "213", "abc123"}), QStringLiteral("Version 1.4.0(213) abc123"));
}

TEST(AboutSheet, TheTelephoneLinkKeepsTheDigitsInOrder) {
    struct Case {
        const char* display;
        const char* url;
    };
    for (const auto& c : std::vector<Case>{{"+7 (999) 123-45-67", "tel:+79991234567"},
                                           {"+1 (555) 010-0100", "tel:+15550100100"},
                                           {"88005553535", "tel:+88005553535"}}) {
        EXPECT_EQ(telephoneUrl(c.display).toString(), QString::fromUtf8(c.url));
    }
}

TEST(AboutSheet, EachButtonOpensItsAddressAndLeavesTheSheetOpen) {
    RecordingOpener opener;
    AboutViewModel about({"1.0.0", "1", "abc"}, configuration, opener);
    QSignalSpy closes(&about, &AboutViewModel::closeRequested);

    const auto links = about.links();
    ASSERT_EQ(links.size(), 3);
    const std::vector<QString> labels = {LocalizedStrings::aboutAppViewLinkButtonFAQLabel(),
                                         LocalizedStrings::aboutAppViewLinkButtonPrivacyPolicyLabel(),
                                         LocalizedStrings::aboutAppViewLinkButtonUserAgreementLabel()};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(links[i].toMap().value(QStringLiteral("label")).toString(), labels[static_cast<std::size_t>(i)]);
        about.openLink(i);
    }
    about.openLink(3); // the telephone is no link button
    about.openLink(-1);
    about.call();
    EXPECT_EQ(opener.opened, (std::vector<QString>{"https://docs.example.test/pages/viewpage.action?pageId=4711",
                                                   "https://privacy.example.test/company/policy/keyvane.html",
                                                   "https://terms.example.test/products/all/keyvane/agreement/",
                                                   "tel:+79991234567"}));
    EXPECT_EQ(closes.count(), 0);
    about.close();
    EXPECT_EQ(closes.count(), 1);
    EXPECT_EQ(linkTitle(LinkButton::phone, configuration), QStringLiteral("+7 (999) 123-45-67"));
}

} // namespace
} // namespace keyvane::views::testing
