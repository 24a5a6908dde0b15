#include "ScenarioRun.h"

#include "TemporaryFolder.h"
#include "shared/localization/LocalizedStrings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace keyvane::uitests {
namespace {

namespace fs = std::filesystem;

bool anyTextWithin(const Screen& screen, const QString& ancestor, const QString& part) {
    for (const auto& item : screen.shown()) {
        if (item.within(ancestor) && item.text.contains(part)) {
            return true;
        }
    }
    return false;
}

int countWithin(const Screen& screen, const QString& prefix, const QString& ancestor) {
    int count = 0;
    for (const auto& item : screen.shownWithPrefix(prefix)) {
        count += item.within(ancestor) ? 1 : 0;
    }
    return count;
}

// The token cards shown in the sidebar, each with the counted passkeys its accessible name
// ends with ("model serial, 3 passkeys").
std::map<QString, QString> tokenCards(const Screen& screen) {
    std::map<QString, QString> cards;
    for (const auto& item : screen.shownWithPrefix("token_card_")) {
        cards[item.objectName.mid(QString("token_card_").size())] = item.accessibleName.section(", ", -1);
    }
    return cards;
}

QString passkeys(int count) { return LocalizedStrings::counted("PasskeysView_AllCount", count); }

bool showsTheMainWindowOnly(const Screen& screen) {
    return screen.shows("macMainView") && screen.shows("sidebarCards") && !screen.shows("loginSheet") &&
           !screen.shows("settingsSheet");
}

// The onboarding in front of the window at the step whose title and main button have these
// keys in the localised table (looked up when the test runs: the table is made before the
// translations can be read).
std::function<bool(const Screen&)> onboardingAt(const char* titleKey, const char* buttonKey) {
    return [titleKey, buttonKey](const Screen& s) {
        const auto* shownTitle = s.find("onboardingTitle");
        const auto* shownButton = s.find("onboardingPrimaryButton");
        return s.shows("onboarding") && shownTitle != nullptr && shownTitle->text == LocalizedStrings::text(titleKey) &&
               shownButton != nullptr && shownButton->accessibleName == LocalizedStrings::text(buttonKey) &&
               !s.shows("loginSheet");
    };
}

// No run of the program leaves its folder behind in the temporary folder it was given.
bool leftNoRunFolder(const fs::path& work) {
    for (const auto& entry : fs::directory_iterator(work)) {
        if (entry.path().filename().string().starts_with("keyvane-ui-test-")) {
            return false;
        }
    }
    return true;
}

// When KEYVANE_UI_SCREENSHOTS names a folder (scripts/screenshots), the screen each scenario
// prepared is kept there as SCENARIO.png.
void keepPicture(const ScenarioRun& run, const std::string& name) {
    const char* folder = std::getenv("KEYVANE_UI_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    fs::create_directories(folder);
    fs::copy_file(run.picture(), fs::path(folder) / (name + ".png"), fs::copy_options::overwrite_existing);
}

struct Scenario {
    std::string name;
    std::string screen; // what the scenario prepares, for failure messages
    std::function<bool(const Screen&)> shows;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class UiScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(UiScenario, PreparesItsScreen) {
    const auto& scenario = GetParam();
    test_support::TemporaryFolder work("keyvane-ui-scenario");
    ScenarioRun run(QString::fromStdString(scenario.name), work.path());
    const auto screen = run.waitFor(scenario.shows);
    ASSERT_TRUE(screen.has_value()) << scenario.screen << " never showed; " << run.lastScreen().summary() << "\n"
                                    << run.errorOutput().toStdString();
    keepPicture(run, scenario.name);
    EXPECT_EQ(run.stop(), 0) << run.errorOutput().toStdString();
    EXPECT_TRUE(leftNoRunFolder(work.path()));
}

const Scenario scenarios[] = {
    {"tokens-list", "the main window with three tokens and two passkeys",
     [](const Screen& s) {
         return showsTheMainWindowOnly(s) &&
                tokenCards(s) == std::map<QString, QString>{{"880055535", passkeys(1)}, {"1152279501", passkeys(0)},
                                                            {"845234789", passkeys(1)}} &&
                s.shownWithPrefix("passkey_").size() == 2 && s.shows("sectionHeader_880055535") &&
                s.shows("sectionHeader_845234789");
     }},
    {"mac-empty-credentials-list", "the main window without tokens or passkeys",
     [](const Screen& s) {
         return showsTheMainWindowOnly(s) && s.shows("allPasskeysCard") && tokenCards(s).empty() &&
                s.shownWithPrefix("passkey_").empty() && s.shows("emptyTitle");
     }},
    {"mac-credentials-list", "the main window with four tokens and eight passkeys",
     [](const Screen& s) {
         const auto* all = s.find("allPasskeysCard");
         return showsTheMainWindowOnly(s) && all != nullptr && all->accessibleName.endsWith(", " + passkeys(8)) &&
                tokenCards(s) == std::map<QString, QString>{{"1152279501", passkeys(3)}, {"1152279502", passkeys(2)},
                                                            {"1152279503", passkeys(0)}, {"1152279504", passkeys(3)}} &&
                !s.shows("sectionHeader_1152279503");
     }},
    {"mac-about-view", "the empty main window, where the About sheet opens from",
     [](const Screen& s) {
         return showsTheMainWindowOnly(s) && tokenCards(s).empty() && s.shows("emptyTitle") && s.shows("menuButton");
     }},
    {"mac-login-waiting-for-any", "the login sheet waiting for any token",
     [](const Screen& s) { return s.shows("loginSheet") && s.shows("noTokenPane") && s.shows("cancelButton"); }},
    {"mac-login-waiting-for-specific", "the login sheet waiting for token 1152279501, the other token's notice open",
     [](const Screen& s) {
         const auto* notice = s.find("otherTokenNoticeCapsule");
         return s.shows("tokenWaitPane") && anyTextWithin(s, "tokenWaitPane", "1152279501") &&
                !anyTextWithin(s, "tokenWaitPane", "1152279502") && s.shows("otherTokenNotice") && notice != nullptr &&
                notice->width > 200;
     }},
    {"mac-login-tokens-list", "the login sheet listing five tokens",
     [](const Screen& s) {
         return s.shows("tokenListPane") && countWithin(s, "tokenRow_", "loginSheet") == 5 &&
                s.shows("tokenRow_1152279501") && s.shows("tokenRow_1152279502") && s.shows("tokenRow_1152279503");
     }},
    {"mac-login-enter-pin", "the login sheet asking for token 1152279501's PIN",
     [](const Screen& s) {
         const auto* message = s.find("connectionMessage");
         return s.shows("pinPane") && s.shows("pinField") && message != nullptr && message->text.contains("1152279501");
     }},
    {"mac-login-enter-master-password", "the login sheet asking for the master password for token 1152279501",
     [](const Screen& s) {
         const auto* message = s.find("connectionMessage");
         return s.shows("masterPasswordPane") && s.shows("masterPassInput") && message != nullptr &&
                message->text.contains("1152279501");
     }},
    {"mac-onboarding-extension", "the onboarding at its first step, turning the extension on",
     onboardingAt("AppName", "Onboarding_AppFunc_Button_Label")},
    {"mac-onboarding-attention", "the onboarding asking for attention",
     onboardingAt("Onboarding_PayAttention_Title", "Onboarding_ContinueButton_Label")},
    {"mac-onboarding-master-password", "the onboarding offering the master password",
     onboardingAt("Onboarding_GrandPassword_Title", "Onboarding_TurnOnButton_Label")},
    {"mac-onboarding-biometry", "the onboarding offering biometric unlock",
     onboardingAt("Onboarding_FastAuth_Title", "Onboarding_TurnOnButton_Label")},
    {"mac-onboarding-completed", "the onboarding's last step",
     onboardingAt("Onboarding_ReadyToGo_Title", "Onboarding_ReadyToGo_Button_Label")},
    {"mac-master-password-view-input", "the settings asking for the current master password",
     [](const Screen& s) { return s.shows("settingsSheet") && s.shows("settingsPrompt"); }},
    {"mac-master-password-view-enabled", "the settings of an enabled master password",
     [](const Screen& s) {
         return s.shows("settingsSheet") && s.shows("enabledBody") && s.shows("changeButton") &&
                s.shows("turnOffButton") && !s.shows("settingsPrompt");
     }},
    {"mac-master-password-view-disabled", "the settings with the master password off",
     [](const Screen& s) {
         return s.shows("settingsSheet") && s.shows("turnOnButton") && !s.shows("enabledBody") && !s.shows("settingsPrompt");
     }},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, UiScenario, ::testing::ValuesIn(scenarios),
                         [](const auto& info) {
                             std::string name;
                             for (char c : info.param.name) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

// The program ends with the failure status itself: a crash on the way out (-1 here) is no
// failure status.
TEST(UiScenarioRun, AnUnknownScenarioStopsTheProgramAndLeavesNothingBehind) {
    for (const char* name : {"nope", "mac-login-enter-PIN", "mac-login-enter-pin ", ""}) {
        test_support::TemporaryFolder work("keyvane-ui-scenario");
        ScenarioRun run(QString::fromUtf8(name), work.path());
        EXPECT_EQ(run.waitForExit(), 1) << '"' << name << '"';
        EXPECT_TRUE(run.errorOutput().contains("Test is not implemented")) << run.errorOutput().toStdString();
        EXPECT_TRUE(leftNoRunFolder(work.path())) << '"' << name << '"';
    }
}

TEST(UiScenarioRun, WithoutAScenarioTheWindowShowsAndNothingIsPresented) {
    test_support::TemporaryFolder work("keyvane-ui-scenario");
    ScenarioRun run(std::nullopt, work.path());
    const auto screen = run.waitFor([](const Screen& s) { return s.shows("macMainView"); });
    ASSERT_TRUE(screen.has_value()) << run.lastScreen().summary() << run.errorOutput().toStdString();
    EXPECT_FALSE(screen->shows("loginSheet"));
    EXPECT_FALSE(screen->shows("settingsSheet"));
    EXPECT_EQ(run.stop(), 0);
    EXPECT_TRUE(leftNoRunFolder(work.path()));
}

} // namespace
} // namespace keyvane::uitests
