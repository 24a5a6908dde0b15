#include "keyvane/middlewares/OnChangeMasterPassword.h"
#include "keyvane/middlewares/OnDisableMasterPassword.h"
#include "keyvane/middlewares/OnEnterMasterPasswordSettings.h"
#include "keyvane/middlewares/OnSetBiometry.h"
#include "keyvane/middlewares/OnSetupMasterPassword.h"
#include "shared/biometrics/LaContextError.h"
#include "shared/redux/middlewares/OnCheckHasPinForToken.h"
#include "shared/redux/middlewares/OnValidateBio.h"
#include "shared/redux/middlewares/OnValidateMasterPassword.h"
#include "shared/storage/PinCodeStorageError.h"
#include "LogCapture.h"
#include "MiddlewareHarness.h"
#include "TokenFakes.h"

#include <QCoreApplication>
#include <QTranslator>

namespace keyvane::testing {
namespace {

using ::testing::Return;
using ::testing::Throw;

const SecretText password("correct horse");

// A second language installed while the program runs, holding only the failure sentence: the
// text under the field must come from the translations, not from the code.
class FailureTranslator : public QTranslator {
public:
    QString translate(const char*, const char* key, const char* = nullptr, int = -1) const override {
        return QByteArray(key) == "EnterGrandPass_OperationFailed_Error" ? QStringLiteral("Nicht geprüft.") : QString();
    }
    bool isEmpty() const override { return false; }
};

struct CacheFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    FailureTranslator otherLanguage;
    const std::string failureText = "Nicht geprüft.";

    void SetUp() override {
        LocalizedStrings::installTranslations(); // the shipped texts first, as the program does
        ASSERT_TRUE(QCoreApplication::installTranslator(&otherLanguage));
    }
    void TearDown() override { QCoreApplication::removeTranslator(&otherLanguage); }
};

// How auth(with:) answers in a case: a result, or a PIN-cache failure.
struct AuthCase {
    std::optional<AuthResult> result;
    Actions settings;
    Actions login;
};

TEST_F(CacheFixture, BothMasterPasswordChecksAnswerEachOutcomeInOrder) {
    const AuthResult blocked = AuthResult::masterPasswordBlocked{};
    const AuthCase cases[] = {
        {AuthResult::success{},
         {describe(AppAction::hideMasterPasswordInput{}), describe(AppAction::finishEnterMasterPasswordSettings{})},
         {describe(AppAction::setPassAuth{LoginAuthStatus::passedByMasterPassword})}},
        {AuthResult::invalidMasterPassword{4},
         {describe(AppAction::updateMasterPasswordError{MasterPassAuthError::invalidPass{4}})},
         {describe(AppAction::setMasterPassAuthError{MasterPassAuthError::invalidPass{4}})}},
        {blocked,
         {describe(AppAction::updateMasterPasswordState{MasterPasswordState::disabled}),
          describe(AppAction::hideMasterPasswordInput{}), describe(AppAction::handleError{blocked})},
         {describe(AppAction::updateMasterPasswordState{MasterPasswordState::disabled}),
          describe(AppAction::handleError{blocked})}},
        {std::nullopt,
         {describe(AppAction::updateMasterPasswordError{MasterPassAuthError::text{failureText}})},
         {describe(AppAction::setMasterPassAuthError{MasterPassAuthError::text{failureText}})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result ? c.result->description() : "failure");
        Services services;
        if (c.result) {
            EXPECT_CALL(*services.cache, auth(password.reveal())).Times(2).WillRepeatedly(Return(*c.result));
        } else {
            EXPECT_CALL(*services.cache, auth(password.reveal())).Times(2).WillRepeatedly(Throw(cacheError("auth(with:)")));
        }
        EXPECT_CALL(*services.cache, eraseCache()).Times(0);
        auto settings = services.make<app::OnEnterMasterPasswordSettings>();
        auto login = services.make<OnValidateMasterPassword<AppAction>>();
        LogCapture log;
        EXPECT_EQ(runToEnd<AppAction>(clock, *settings, AppAction::enterMasterPasswordSettings{password}), c.settings);
        EXPECT_EQ(runToEnd<AppAction>(clock, *login, AppAction::validateMasterPassword{password}), c.login);
        // A failed check shows only the sentence; what failed is in the log, whole.
        if (!c.result) {
            EXPECT_NE(log.text().find("auth(with:)"), std::string::npos) << log.text();
            EXPECT_EQ(log.text().find(password.reveal()), std::string::npos);
        }
    }
}

TEST_F(CacheFixture, SetupChangeAndDisable) {
    const auto failure = cacheError("initCache(with:)");
    const auto bioFailure = LaContextError(LaContextError::generalError{"setBioEnabled(_:)", 0, std::nullopt});
    struct Case {
        std::string name;
        std::function<void(Services&)> script;
        AppAction action;
        Actions expected;
    };
    const Case cases[] = {
        {"setup", [](Services& s) { EXPECT_CALL(*s.cache, initCache(password.reveal())); },
         AppAction::setupMasterPassword{password}, {describe(AppAction::updateMasterPasswordState{MasterPasswordState::enabled})}},
        {"setup", [](Services& s) {
             EXPECT_CALL(*s.cache, initCache(password.reveal()));
             EXPECT_CALL(*s.cache, protection()).WillOnce(Return(DeviceKeyBackend::tpm));
         },
         AppAction::setupMasterPassword{password},
         {describe(AppAction::updateMasterPasswordState{MasterPasswordState::enabled, DeviceKeyBackend::tpm})}},
        // A failed set-up leaves the old cache whole (nothing to say) or erases it (the state
        // follows).
        {"setup fails, the old cache whole",
         [&](Services& s) {
             EXPECT_CALL(*s.cache, initCache(password.reveal())).WillOnce(Throw(failure));
             EXPECT_CALL(*s.cache, isMasterPasswordSet()).WillOnce(Return(true));
         },
         AppAction::setupMasterPassword{password}, {describe(AppAction::handleError{failure})}},
        {"setup fails, the cache erased",
         [&](Services& s) {
             EXPECT_CALL(*s.cache, initCache(password.reveal())).WillOnce(Throw(failure));
             EXPECT_CALL(*s.cache, isMasterPasswordSet()).WillOnce(Return(false));
         },
         AppAction::setupMasterPassword{password},
         {describe(AppAction::handleError{failure}), describe(AppAction::updateMasterPasswordState{MasterPasswordState::disabled})}},
        {"change", [](Services& s) { EXPECT_CALL(*s.cache, changePassword(password.reveal())); },
         AppAction::changeMasterPassword{password}, {}},
        {"change fails",
         [&](Services& s) { EXPECT_CALL(*s.cache, changePassword(password.reveal())).WillOnce(Throw(failure)); },
         AppAction::changeMasterPassword{password}, {describe(AppAction::handleError{failure})}},
        {"disable",
         [](Services& s) {
             ::testing::InSequence order;
             EXPECT_CALL(*s.cache, eraseCache());
             EXPECT_CALL(*s.biometrics, setBioEnabled(false));
         },
         AppAction::disableMasterPassword{}, {describe(AppAction::updateMasterPasswordState{MasterPasswordState::disabled})}},
        {"disable, erasure fails",
         [&](Services& s) {
             EXPECT_CALL(*s.cache, eraseCache()).WillOnce(Throw(failure));
             EXPECT_CALL(*s.biometrics, setBioEnabled(::testing::_)).Times(0);
         },
         AppAction::disableMasterPassword{}, {describe(AppAction::handleError{failure})}},
        // The cache is already gone: the state follows it after the alert.
        {"disable, preference fails",
         [&](Services& s) { EXPECT_CALL(*s.biometrics, setBioEnabled(false)).WillOnce(Throw(bioFailure)); },
         AppAction::disableMasterPassword{},
         {describe(AppAction::handleError{bioFailure}), describe(AppAction::updateMasterPasswordState{MasterPasswordState::disabled})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Services services;
        c.script(services);
        std::vector<std::unique_ptr<app::AppMiddleware>> middlewares;
        middlewares.push_back(services.make<app::OnSetupMasterPassword>());
        middlewares.push_back(services.make<app::OnChangeMasterPassword>());
        middlewares.push_back(services.make<app::OnDisableMasterPassword>());
        int streams = 0;
        for (auto& middleware : middlewares) {
            if (auto stream = middleware->process(c.action)) {
                ++streams;
                EXPECT_EQ(Forwarded<AppAction>(clock, std::move(*stream)).waitUntilFinished(), c.expected);
            }
        }
        EXPECT_EQ(streams, 1);
    }
}

TEST_F(CacheFixture, BiometricUnlockIsOnlyAStatus) {
    for (bool passes : {true, false}) {
        Services services;
        if (passes) {
            EXPECT_CALL(*services.cache, auth());
        } else {
            EXPECT_CALL(*services.cache, auth()).WillOnce(Throw(cacheError("auth()")));
        }
        auto middleware = services.make<OnValidateBio<AppAction>>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::validateBio{}),
                  Actions{describe(AppAction::setPassAuth{passes ? LoginAuthStatus::passedByBiometry : LoginAuthStatus::failed})});
    }
}

TEST_F(CacheFixture, SettingBiometryAnswersEachOutcome) {
    const auto onboarded = describe(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
    const auto typeAction = describe(AppAction::updateBiometryType{BiometryType::touchID});
    const auto notAvailable = describe(AppAction::handleError{LaContextError(LaContextError::bioNotAvailable{})});
    const auto general = LaContextError(LaContextError::generalError{"setBioEnabled(_:)", 0, std::nullopt});
    struct Case {
        bool enabled;
        bool onboarding;
        std::optional<LaContextError> failure;
        Actions expected;
    };
    const Case cases[] = {
        {true, false, std::nullopt, {describe(AppAction::updateMasterPasswordState{MasterPasswordState::enabledWithBio})}},
        {false, false, std::nullopt, {describe(AppAction::updateMasterPasswordState{MasterPasswordState::enabled})}},
        {true, true, std::nullopt, {onboarded, describe(AppAction::updateMasterPasswordState{MasterPasswordState::enabledWithBio})}},
        {true, false, LaContextError::userRejectedBiometry{}, {typeAction}},
        {true, true, LaContextError::userRejectedBiometry{}, {onboarded, typeAction}},
        {true, false, LaContextError::bioNotEnrolled{}, {typeAction, notAvailable}},
        {true, true, LaContextError::bioNotEnrolled{}, {onboarded, typeAction, notAvailable}},
        {true, true, LaContextError::bioNotAvailable{}, {notAvailable}},
        {true, true, general, {describe(AppAction::handleError{general})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.failure ? c.failure->description() : "success") + (c.onboarding ? " onboarding" : ""));
        Services services;
        if (c.failure) {
            EXPECT_CALL(*services.biometrics, setBioEnabled(c.enabled)).WillOnce(Throw(*c.failure));
        } else {
            EXPECT_CALL(*services.biometrics, setBioEnabled(c.enabled));
        }
        ON_CALL(*services.biometrics, biometryType()).WillByDefault(Return(BiometryType::touchID));
        auto middleware = services.make<app::OnSetBiometry>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::setBiometry{c.enabled, c.onboarding}), c.expected);
    }
}

// A PIN kept under the serial counts only when it was saved for this very token: another token
// that shares the serial shown (it keeps 32 bits of the serial number), or an entry saved
// before the full number was kept, has no PIN here.
TEST_F(CacheFixture, StoredPinCheckAnswersExistAbsentOrTheError) {
    const auto failure = PinCodeStorageError(PinCodeStorageError::generalError{"getPin(for:)", 0, std::nullopt});
    const auto entry = [](std::optional<std::string> serialNumber) {
        return std::optional(PinEntry("A1", Bytes{1, 2, 3}, std::move(serialNumber)));
    };
    struct Case {
        std::function<void(MockPinCodeStorage&)> script;
        std::string expected;
    };
    const Case cases[] = {
        {[&](MockPinCodeStorage& s) { EXPECT_CALL(s, getPin("A1")).WillOnce(Return(entry("full-A1"))); },
         describe(AppAction::setPinExist{StoredPinState::exist})},
        {[&](MockPinCodeStorage& s) { EXPECT_CALL(s, getPin("A1")).WillOnce(Return(entry("another-A1"))); },
         describe(AppAction::setPinExist{StoredPinState::absent})},
        {[&](MockPinCodeStorage& s) { EXPECT_CALL(s, getPin("A1")).WillOnce(Return(entry(std::nullopt))); },
         describe(AppAction::setPinExist{StoredPinState::absent})},
        {[](MockPinCodeStorage& s) { EXPECT_CALL(s, getPin("A1")).WillOnce(Return(std::nullopt)); },
         describe(AppAction::setPinExist{StoredPinState::absent})},
        {[&](MockPinCodeStorage& s) { EXPECT_CALL(s, getPin("A1")).WillOnce(Throw(failure)); },
         describe(AppAction::handleError{failure})},
    };
    for (const auto& c : cases) {
        TokenServices services;
        services.manager->plug("A1");
        c.script(*services.pins);
        EXPECT_CALL(*services.cache, isMasterPasswordSet()).Times(0);
        auto middleware = services.make<OnCheckHasPinForToken<AppAction>>();
        EXPECT_FALSE(middleware->process(AppAction::validateBio{}));
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::checkHasPinForToken{"A1"}), Actions{c.expected});
    }
}

} // namespace
} // namespace keyvane::testing
