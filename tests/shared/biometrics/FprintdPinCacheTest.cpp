#include "biometrics/FprintdStandIn.h"
#include "crypto/SoftwareTpm.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/biometrics/LaContextError.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/pin_cache/PinCodeCacheManager.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace keyvane;

// The biometric unlock of the PIN cache as the login window takes it: the check on a worker
// thread, then the cached PIN.
std::string unlockAndReadPin(PinCodeCacheManager& cache, const std::string& serial) {
    return std::async(std::launch::async, [&]() -> std::string {
               try {
                   cache.auth();
               } catch (const PinCodeCacheError& error) {
                   const auto& cause = error.as<PinCodeCacheError::generalError>()->error;
                   const auto* check = cause ? cause->as<LaContextError>() : nullptr;
                   return check && check->is<LaContextError::userRejectedBiometry>() ? "rejected" : error.description();
               }
               return cache.getPin(serial, "SN-" + serial);
           }).get();
}

TEST(FprintdPinCacheTest, AMatchingFingerUnlocksTheCachedPin) {
    test_support::DeviceKeyBackendUnderTest deviceKey{"file"};
    test_support::TemporaryGroupDirectory group;
    test_support::PrivateSystemBus bus;
    test_support::FprintdStandIn fprintd(
        bus, R"({"fingers": ["left-thumb"], "scans": [["verify-no-match"], ["verify-no-match"], ["verify-no-match"],
                                                     ["verify-match"]]})");
    Dependencies::install(pinCodeStorage, std::shared_ptr<PinCodeStorageProtocol>(std::make_shared<PinCodeStorage>(
                                              std::make_shared<ModelContainer>())));
    // The program's own choice of backend, which finds the stand-in on the bus.
    Dependencies::install(laContextWrapper, makeLiveLAContextWrapper());
    PinCodeCacheManager cache;
    cache.initCache("master");
    cache.savePin("S", "2468", "SN-S");

    EXPECT_EQ(unlockAndReadPin(cache, "S"), "rejected");
    EXPECT_EQ(unlockAndReadPin(cache, "S"), "2468");
    EXPECT_EQ(fprintd.claimedBy(), "");
}

} // namespace
