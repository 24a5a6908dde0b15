// Renders every shared view in its main states, light and dark, to PNG files named after the
// view and the state: scripts/screenshots runs it for people to look at, and a test checks
// that each picture was written and is not blank (the pictures are never compared).
//
// Usage: keyvane_screenshots FOLDER         render into FOLDER
//        keyvane_screenshots --check FOLDER  answer 0 when every expected picture is there
#include "QmlWarnings.h"
#include "SceneHarness.h"
#include "../viewmodels/ViewModelFixture.h"

#include "keyvane/viewmodels/AboutViewModel.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/viewmodels/OnboardingViewModel.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/biometrics/LAContextWrapper.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/viewmodels/BiometricPromptModel.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "shared/viewmodels/SettingsSheetModel.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QSet>
#include <QTest>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace keyvane;
using namespace keyvane::views;
using namespace keyvane::views::testing;
using Display = LoginDisplayViewState;

struct Shot {
    QString name;
    std::function<AppState()> state;
    // What happens on screen after the sheet appears, before the picture.
    std::function<void(StoreFixture&, SceneHarness&)> act = [](StoreFixture&, SceneHarness&) {};
    // For the settings sheet: what the user did on it.
    std::function<void(SettingsSheetModel&)> settingsAct = {};
    // For the fingerprint prompt: the check that shows it.
    std::function<void(BiometricPromptModel&)> promptAct = {};
    // For the main window: what the user did in it.
    std::function<void(app::MainWindowModel&)> windowAct = {};
    // A view of its own: makes its model (kept in `model`) and the scene that shows it.
    std::function<std::unique_ptr<SceneHarness>(StoreFixture&, int appearance, std::unique_ptr<QObject>& model)>
        makeScene = {};
};

AppState settings(MasterPasswordState masterPassword, bool prompt) {
    AppState state;
    state.masterPasswordState = masterPassword;
    state.navigationState.showSettings = true;
    state.navigationState.masterPassInputState.isShown = prompt;
    if (masterPassword != MasterPasswordState::disabled) {
        state.pinCacheState.protection = DeviceKeyBackend::tpm;
    }
    return state;
}

AppState login(Display display, MasterPasswordState masterPassword = MasterPasswordState::disabled) {
    AppState state;
    state.loginViewState.loginDisplayViewState = std::move(display);
    state.masterPasswordState = masterPassword;
    return state;
}

const TokenInfo first{"", "Varnel 3 NFC", "0A1B2C3D", "3.1.5.0", 65536, 40000, true};
const TokenInfo second{"", "Varnel Bio", "77F00D42", "2.0.1.1", 65536, 51200, true};
const TokenInfo unsupported{"", "Смарт-карта ГОСТ", "D00D0001", "1.0.0.0", 32768, 1000, false};

// Two tokens with passkeys and one without, as the main window lists them.
AppState withPasskeys() {
    AppState state;
    const TokenInfo labelled{"Рабочий", "Varnel 3 NFC", "0A1B2C3D", "3.1.5.0", 65536, 40000, true};
    state.credentialListState.tokens = {labelled, second, unsupported};
    const auto passkey = [](std::uint8_t id, const std::string& serial, const char* site, const char* user) {
        return PasskeyCredentials{Bytes{id}, site, user, Bytes{id}, serial};
    };
    state.credentialListState.credentials = {
        passkey(1, "0A1B2C3D", "mail.example.com", "alice@example.com"),
        passkey(2, "0A1B2C3D", "shop.example.org", "alice"),
        passkey(3, "0A1B2C3D", "bank.example", "Алиса Петрова"),
        passkey(4, "77F00D42", "code.example.net", "alice.dev"),
        passkey(5, "77F00D42", "video.example", "a.petrova"),
    };
    return state;
}

void type(SceneHarness& scene, const char* text) {
    for (const char* c = text; *c != 0; ++c) {
        QTest::keyClick(&scene.window(), *c);
    }
}

std::vector<Shot> shots() {
    const auto connected = [](std::vector<TokenInfo> tokens) {
        return [tokens](StoreFixture& fixture, SceneHarness&) {
            std::vector<TokenMonitoringEvent> events;
            for (const auto& token : tokens) {
                events.push_back(TokenMonitoringEvent::addConnectedToken{token});
            }
            fixture.driveTokenEvents(std::move(events));
        };
    };
    return {
        {"login_no-token", [] { return login(Display::waitForAnyToken{}); }},
        {"login_token-list", [] { return login(Display::tokenList{}); }, connected({first, second, unsupported})},
        {"login_token-list-unfolded", [] { return login(Display::tokenList{}); },
         [connected](StoreFixture& fixture, SceneHarness& scene) {
             connected({first, second, unsupported})(fixture, scene);
             if (auto* fold = scene.find("unsupportedFoldButton")) {
                 fold->metaObject()->invokeMethod(fold, "clicked");
             }
         }},
        {"login_token-list-unsupported-only", [] { return login(Display::tokenList{}); }, connected({unsupported})},
        {"login_token-wait", [] { return login(Display::waitForSpecificToken{first}); }},
        {"login_token-wait-other-token", [] { return login(Display::waitForSpecificToken{first}); },
         [connected](StoreFixture& fixture, SceneHarness& scene) {
             connected({second})(fixture, scene);
             fixture.executor.advance(LoginSheetModel::noticeStep);
         }},
        {"login_pin", [] { return login(Display::enterPin{first}); }},
        {"login_pin-wrong", [] { return login(Display::enterPin{first}); },
         [](StoreFixture& fixture, SceneHarness& scene) {
             fixture.drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{2}});
             type(scene, "1234");
         }},
        {"login_master-password", [] { return login(Display::enterMasterPassword{first}, MasterPasswordState::enabled); },
         [](StoreFixture&, SceneHarness& scene) { type(scene, "123"); }},
        {"login_master-password-wrong",
         [] {
             auto state = login(Display::enterMasterPassword{first}, MasterPasswordState::enabled);
             state.loginViewState.masterPassAuthError = MasterPassAuthError::invalidPass{3};
             return state;
         }},
        {"login_touch", [] { return login(Display::waitForTouch{30}); }},
        {"settings_off", [] { return settings(MasterPasswordState::disabled, false); }, {}, [](SettingsSheetModel&) {}},
        {"settings_on", [] { return settings(MasterPasswordState::enabledWithBio, false); }, {}, [](SettingsSheetModel&) {}},
        {"settings_prompt",
         [] {
             auto state = settings(MasterPasswordState::enabled, true);
             state.navigationState.masterPassInputState.error = MasterPassAuthError::invalidPass{4};
             return state;
         },
         {}, [](SettingsSheetModel&) {}},
        {"settings_new-password", [] { return settings(MasterPasswordState::disabled, false); }, {},
         [](SettingsSheetModel& sheet) {
             sheet.turnOn();
             sheet.doubleInput()->type(QStringLiteral("1234"));
         }},
        {"settings_turn-off", [] { return settings(MasterPasswordState::enabled, false); }, {},
         [](SettingsSheetModel& sheet) { sheet.askToTurnOff(); }},
        {"biometric-prompt_waiting", [] { return AppState{}; }, {}, {},
         [](BiometricPromptModel& prompt) { prompt.show(LAContextWrapper::localizedReason, [] {}); }},
        {"login_alert-pin-locked",
         [] {
             auto state = login(Display::enterPin{first});
             state.navigationState.alert = AppAlert::pinLocked;
             return state;
         }},
        // The main window.
        {"window_empty", [] { return AppState{}; }, {}, {}, {}, [](app::MainWindowModel&) {}},
        {"window_passkeys", withPasskeys, {}, {}, {}, [](app::MainWindowModel&) {}},
        {"window_selection", withPasskeys, {}, {}, {},
         [](app::MainWindowModel& window) {
             window.chooseRow(1);
             window.toggleRow(3);
         }},
        {"window_menu", withPasskeys,
         [](StoreFixture&, SceneHarness& scene) {
             if (auto* button = scene.find(QStringLiteral("menuButton"))) {
                 button->forceActiveFocus();
                 QTest::keyClick(&scene.window(), Qt::Key_Down);
             }
         },
         {}, {}, [](app::MainWindowModel&) {}},
        {"window_search-not-found", withPasskeys, {}, {}, {},
         [](app::MainWindowModel& window) { window.setSearchText(QStringLiteral("nowhere")); }},
        {"window_token-details", withPasskeys, {}, {}, {}, [](app::MainWindowModel& window) { window.chooseCard(1); }},
        {"window_token-without-passkeys", withPasskeys, {}, {}, {},
         [](app::MainWindowModel& window) { window.chooseCard(3); }},
        {"window_delete-confirmation", withPasskeys, {}, {}, {},
         [](app::MainWindowModel& window) {
             window.chooseRow(1);
             window.toggleRow(2);
             window.deletePressed();
         }},
        {"window_token-delete-confirmation", withPasskeys, {}, {}, {},
         [](app::MainWindowModel& window) {
             window.chooseCard(2);
             window.tokenDetails()->deletePressed();
         }},
        {"window_alert",
         [] {
             auto state = withPasskeys();
             state.navigationState.alert = AppAlert::connectionLost;
             return state;
         },
         {}, {}, {}, [](app::MainWindowModel&) {}},
    };
}

// A view of the main window's module over its model.
std::unique_ptr<SceneHarness> mainWindowScene(const QString& viewType, QObject* model, QSize size, int appearance) {
    return std::make_unique<SceneHarness>(
        QStringLiteral("Keyvane.MainWindow"), [](QQmlEngine& engine) { app::installMainWindowViews(engine); }, viewType,
        QVariantMap{{QStringLiteral("model"), QVariant::fromValue(model)}}, size, appearance);
}

// The onboarding layer at each step, and the About sheet.
class OnboardingScene : public QObject {
public:
    explicit OnboardingScene(StoreFixture& fixture) : port(fixture.store), model(port, fixture.executor) {}
    app::StoreOnboardingPort<AppState, AppAction> port;
    app::OnboardingViewModel model;
};

class NoOpener final : public app::UrlOpener {
public:
    void open(const QUrl&) override {}
};

std::vector<Shot> onboardingShots() {
    const auto onboarding = [](std::optional<OnboardingStatus> status, BiometryType biometry,
                               std::function<void(app::OnboardingViewModel&)> act = {}) {
        return [status, biometry, act](StoreFixture& fixture, int appearance, std::unique_ptr<QObject>& model) {
            fixture.drive(AppAction::updateBiometryType{biometry});
            fixture.drive(AppAction::firstLaunch{});
            if (status) {
                fixture.drive(AppAction::updateOnboardingStatus{*status});
            }
            auto scene = std::make_unique<OnboardingScene>(fixture);
            fixture.executor.advance(std::chrono::seconds(1)); // the logo's first-start sequence
            if (act) {
                act(scene->model);
            }
            auto harness = mainWindowScene(QStringLiteral("MacOnboardingView"), &scene->model, QSize(720, 520), appearance);
            model = std::move(scene);
            return harness;
        };
    };
    return {
        {"onboarding_1-extension", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::enableExtension, BiometryType::touchID)},
        {"onboarding_2-pay-attention", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::payAttention, BiometryType::touchID)},
        {"onboarding_3-master-password", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::masterPassword, BiometryType::touchID)},
        {"onboarding_3-master-password-sheet", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::masterPassword, BiometryType::touchID,
                    [](app::OnboardingViewModel& model) {
                        model.pressPrimary();
                        model.masterPasswordInput()->type(QStringLiteral("123"));
                    })},
        {"onboarding_4-biometry", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::biometry, BiometryType::touchID)},
        {"onboarding_4-biometry-no-sensor", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::biometry, BiometryType::none)},
        {"onboarding_5-completed", [] { return AppState{}; }, {}, {}, {}, {},
         onboarding(OnboardingStatus::completed, BiometryType::touchID)},
        {"about", [] { return AppState{}; }, {}, {}, {}, {},
         [](StoreFixture&, int appearance, std::unique_ptr<QObject>& model) {
             static NoOpener opener;
             auto about = std::make_unique<app::AboutViewModel>(
                 app::BuildInfo{"0.1.0", "151", "5547086bc8"},
                 app::AboutConfiguration{"docs.placeholder-address.example", "0", "privacy.placeholder-address.example",
                                    "terms.placeholder-address.example", "+1 (555) 010-0100"},
                 opener);
             auto harness = mainWindowScene(QStringLiteral("MacAboutView"), about.get(), QSize(416, 464), appearance);
             model = std::move(about);
             return harness;
         }},
    };
}

std::vector<Shot> allShots() {
    auto all = shots();
    for (auto& shot : onboardingShots()) {
        all.push_back(std::move(shot));
    }
    return all;
}

const std::vector<std::pair<QString, int>> appearances = {{"light", 1}, {"dark", 2}};

QString fileName(const Shot& shot, const QString& appearance) {
    return shot.name + "_" + appearance + ".png";
}

int render(const QDir& folder) {
    for (const auto& shot : allShots()) {
        for (const auto& [appearance, value] : appearances) {
            StoreFixture fixture(shot.state());
            std::unique_ptr<QObject> model;
            std::unique_ptr<SceneHarness> harness;
            if (shot.makeScene) {
                harness = shot.makeScene(fixture, value, model);
            } else if (shot.windowAct) {
                auto window = std::make_unique<app::MainWindowModel>(fixture.store, fixture.executor);
                shot.windowAct(*window);
                harness = std::make_unique<SceneHarness>(
                    QStringLiteral("Keyvane.MainWindow"), [](QQmlEngine& engine) { app::installMainWindowViews(engine); },
                    QStringLiteral("MacMainView"), QVariantMap{{QStringLiteral("model"), QVariant::fromValue(window.get())}},
                    QSize(1000, 620), value);
                model = std::move(window);
            } else if (shot.promptAct) {
                auto prompt = std::make_unique<BiometricPromptModel>(fixture.executor);
                shot.promptAct(*prompt);
                harness = std::make_unique<SceneHarness>(QStringLiteral("BiometricPromptView"),
                                                         QVariantMap{{QStringLiteral("prompt"), QVariant::fromValue(prompt.get())}},
                                                         QSize(320, 240), value);
                model = std::move(prompt);
            } else if (shot.settingsAct) {
                auto sheet = std::make_unique<SettingsSheetModel>(fixture.port, fixture.settingsPort, fixture.executor);
                shot.settingsAct(*sheet);
                harness = std::make_unique<SceneHarness>(QStringLiteral("MasterPasswordSettingsSheet"),
                                                         QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                                         QSize(464, 512), value);
                model = std::move(sheet);
            } else {
                auto sheet = std::make_unique<LoginSheetModel>(fixture.port, fixture.executor, [](const QString&) {});
                harness = std::make_unique<SceneHarness>(QStringLiteral("LoginSheet"),
                                                         QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                                         QSize(416, 395), value);
                model = std::move(sheet);
            }
            auto& scene = *harness;
            fixture.executor.runUntilIdle();
            if (shot.act) {
                shot.act(fixture, scene);
            }
            fixture.executor.runUntilIdle();
            // Let the views' own transitions finish before the picture.
            QTest::qWait(300);
            const QString path = folder.filePath(fileName(shot, appearance));
            if (!scene.render().save(path)) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(path));
                return 1;
            }
            std::printf("%s\n", qPrintable(path));
            harness.reset();
        }
    }
    return 0;
}

int check(const QDir& folder) {
    int missing = 0;
    for (const auto& shot : allShots()) {
        for (const auto& [appearance, value] : appearances) {
            missing += pictureDrawn(folder.filePath(fileName(shot, appearance))) ? 0 : 1;
        }
    }
    return missing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    Dependencies::setContext(DependencyContext::test);
    QGuiApplication application(argc, argv);
    // One pinned font that covers Latin and Cyrillic, so pictures look the same everywhere.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    const auto arguments = QGuiApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--check")) {
        return check(QDir(arguments[2]));
    }
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: keyvane_screenshots [--check] FOLDER\n");
        return 2;
    }
    QDir folder(arguments[1]);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(arguments[1]));
        return 1;
    }
    // A picture drawn while QML warned may show a broken view: the run fails.
    int warnings = 0;
    failOnQmlWarnings([&warnings](const QString&) { ++warnings; });
    const int status = render(folder);
    return status != 0 || warnings > 0 ? 1 : 0;
}
