#include "biometrics/BiometricOutcome.h"
#include "biometrics/FprintdStandIn.h"

#include "shared/biometrics/FprintdAuthenticator.h"
#include "shared/biometrics/LAContextWrapper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
// Qt D-Bus hands its messages and events between its own threads inside Qt Core, Qt D-Bus,
// libdbus and GLib (Qt's event loop), which are not instrumented: ThreadSanitizer sees their allocations and frees
// but not the locks that order them. Only what those libraries do themselves is ignored; the check's own
// hand-over (a mutex and a condition variable) is still watched.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "race:SignalSubscription\n"
           "race:keyvane::FprintdSignals::~FprintdSignals\n"
           "race:keyvane::FprintdSignals::metaObject\n";
}
#endif

namespace {

using namespace keyvane;
using namespace std::chrono_literals;
using test_support::biometricOutcome;
using Calls = std::vector<std::string>;

// A scenario of the stand-in with one enrolled finger and the results of each scan.
std::string enrolledWithScans(const std::string& scans) {
    return R"({"fingers": ["right-index-finger"], "scans": )" + scans + "}";
}

// The check as the program runs it: on a worker thread, never the GUI thread.
std::string checkOffTheGuiThread(LAContextWrapperProtocol& wrapper) {
    return std::async(std::launch::async, [&] {
               return biometricOutcome([&] { wrapper.performBiometricAuthentication(); });
           }).get();
}

// A prompt that hands its cancel button to the test once the sensor waits for a finger.
class RecordingPrompt final : public BiometricPromptProtocol {
public:
    void show(const std::string& localizedReason, std::function<void()> cancel) override {
        std::lock_guard lock(mutex_);
        reasons_.push_back(localizedReason);
        cancel_ = std::move(cancel);
        shown_.set_value();
    }
    void hide() override {
        std::lock_guard lock(mutex_);
        ++hidden_;
    }

    std::future<void> shown() { return shown_.get_future(); }
    void pressCancel() {
        std::function<void()> cancel;
        {
            std::lock_guard lock(mutex_);
            cancel = cancel_;
        }
        cancel();
    }
    std::vector<std::string> reasons() {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    int hidden() {
        std::lock_guard lock(mutex_);
        return hidden_;
    }

private:
    std::mutex mutex_;
    std::promise<void> shown_;
    std::function<void()> cancel_;
    std::vector<std::string> reasons_;
    int hidden_ = 0;
};

class FprintdAuthenticatorTest : public ::testing::Test {
protected:
    test_support::PrivateSystemBus bus;
};

TEST_F(FprintdAuthenticatorTest, EveryOutcomeMapsToItsCaseAndLeavesTheDeviceReleased) {
    const Calls verifiedOnce{"Claim", "VerifyStart any", "VerifyStop", "Release"};
    const Calls verifiedThrice{"Claim",           "VerifyStart any", "VerifyStop", "VerifyStart any",
                               "VerifyStop",      "VerifyStart any", "VerifyStop", "Release"};
    const struct {
        const char* name;
        std::string scenario;
        std::chrono::milliseconds fingerTimeout;
        BiometryType type;
        std::string expected;
        Calls calls;
    } cases[] = {
        {"a match", enrolledWithScans(R"([["verify-match"]])"), 30s, BiometryType::touchID, "none", verifiedOnce},
        {"a scan to retry, then a match", enrolledWithScans(R"([["verify-retry-scan", "verify-match"]])"), 30s,
         BiometryType::touchID, "none", verifiedOnce},
        {"a match on the last attempt",
         enrolledWithScans(R"([["verify-no-match"], ["verify-no-match"], ["verify-match"]])"), 30s,
         BiometryType::touchID, "none", verifiedThrice},
        {"no match on every attempt",
         enrolledWithScans(R"([["verify-no-match"], ["verify-no-match"], ["verify-no-match"]])"), 30s,
         BiometryType::touchID, "userRejectedBiometry", verifiedThrice},
        {"the sensor unplugged", enrolledWithScans(R"([["verify-disconnected"]])"), 30s, BiometryType::touchID,
         "general:fprintd verification ended with verify-disconnected", verifiedOnce},
        {"no finger within the time-out", enrolledWithScans("[[]]"), 20ms, BiometryType::touchID,
         "general:No finger on the sensor within 20 ms", verifiedOnce},
        {"permission refused", R"({"fingers": ["right-index-finger"], "claimError": "PermissionDenied"})", 30s,
         BiometryType::touchID, "general:net.reactivated.Fprint.Error.PermissionDenied: Not authorized", {"Claim"}},
        {"no device", R"({"device": false})", 30s, BiometryType::none, "bioNotAvailable", {}},
        {"no enrolled finger", R"({"fingers": []})", 30s, BiometryType::none, "bioNotEnrolled", {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        test_support::FprintdStandIn fprintd(bus, row.scenario);
        LAContextWrapper wrapper(std::make_shared<FprintdAuthenticator>(nullptr, row.fingerTimeout));
        EXPECT_EQ(wrapper.biometryType(), row.type);
        EXPECT_EQ(checkOffTheGuiThread(wrapper), row.expected);
        EXPECT_EQ(fprintd.calls(), row.calls);
        EXPECT_EQ(fprintd.claimedBy(), "");
    }
}

TEST_F(FprintdAuthenticatorTest, TheProgramUsesFprintdWhereItAnswersAndNoBiometryElsewhere) {
    {
        // A bus without fprintd, then no bus at all.
        const auto wrapper = makeLiveLAContextWrapper();
        EXPECT_EQ(wrapper->biometryType(), BiometryType::none);
        EXPECT_EQ(checkOffTheGuiThread(*wrapper), "bioNotAvailable");
        const std::string address = bus.address();
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/keyvane-test-bus", 1);
        EXPECT_EQ(wrapper->biometryType(), BiometryType::none);
        EXPECT_EQ(checkOffTheGuiThread(*wrapper), "bioNotAvailable");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    // fprintd started after the program: found at the next check.
    test_support::FprintdStandIn fprintd(bus, enrolledWithScans(R"([["verify-match"]])"));
    const auto wrapper = makeLiveLAContextWrapper();
    EXPECT_EQ(wrapper->biometryType(), BiometryType::touchID);
    EXPECT_EQ(checkOffTheGuiThread(*wrapper), "none");
    // The registry's test value never asks the computer's fingerprint service.
    EXPECT_EQ(Dependencies::get(laContextWrapper)->biometryType(), BiometryType::none);
}

TEST_F(FprintdAuthenticatorTest, ADeviceClaimedByAnotherProgramIsLeftToIt) {
    test_support::FprintdStandIn fprintd(bus, enrolledWithScans(R"([["verify-match"]])"));
    ASSERT_EQ(fprintd.callDevice("Claim", {QString()}).type(), QDBusMessage::ReplyMessage);
    LAContextWrapper wrapper(std::make_shared<FprintdAuthenticator>());
    EXPECT_EQ(checkOffTheGuiThread(wrapper), "general:net.reactivated.Fprint.Error.AlreadyInUse: Device was already claimed");
    EXPECT_EQ(fprintd.calls(), (Calls{"Claim", "Claim"}));
    EXPECT_EQ(fprintd.claimedBy(), fprintd.observerName());
}

TEST_F(FprintdAuthenticatorTest, TheServiceLeavingMidCheckEndsTheCheck) {
    test_support::FprintdStandIn fprintd(bus, enrolledWithScans(R"([["leave"]])"));
    LAContextWrapper wrapper(std::make_shared<FprintdAuthenticator>());
    EXPECT_EQ(checkOffTheGuiThread(wrapper),
              "general:org.freedesktop.DBus.Error.NameHasNoOwner: fprintd left the bus during the check");
}

TEST_F(FprintdAuthenticatorTest, CancellingThePromptStopsTheScanAndReleasesTheDevice) {
    test_support::FprintdStandIn fprintd(bus, enrolledWithScans("[[]]"));
    const auto prompt = std::make_shared<RecordingPrompt>();
    auto shown = prompt->shown();
    LAContextWrapper wrapper(std::make_shared<FprintdAuthenticator>(prompt));
    auto check = std::async(std::launch::async, [&] {
        return biometricOutcome([&] { wrapper.performBiometricAuthentication(); });
    });
    ASSERT_EQ(shown.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(fprintd.calls(), (Calls{"Claim", "VerifyStart any"}));
    EXPECT_NE(fprintd.claimedBy(), "");
    EXPECT_EQ(prompt->reasons(), Calls{LAContextWrapper::localizedReason});

    prompt->pressCancel();
    EXPECT_EQ(check.get(), "userRejectedBiometry");
    EXPECT_EQ(prompt->hidden(), 1);
    EXPECT_EQ(fprintd.calls(), (Calls{"Claim", "VerifyStart any", "VerifyStop", "Release"}));
    EXPECT_EQ(fprintd.claimedBy(), "");
    // A late press, after the check has ended, does nothing.
    prompt->pressCancel();
}

TEST_F(FprintdAuthenticatorTest, TheCheckNeverWaitsOnTheGuiThread) {
    test_support::FprintdStandIn fprintd(bus, enrolledWithScans(R"([["verify-match"]])"));
    LAContextWrapper wrapper(std::make_shared<FprintdAuthenticator>());
    EXPECT_EQ(biometricOutcome([&] { wrapper.performBiometricAuthentication(); }),
              "general:The biometric check cannot wait on the GUI thread");
    EXPECT_EQ(fprintd.calls(), Calls{});
}

} // namespace
