// A throw-away virtual token for tests: a temporary folder with its own SoftHSM2 configuration
// and tokens, the virtual token's configuration and control file, and the environment
// variables that make a PKCS#11 client load it. Hot-plug, touch outcome, free memory and
// injected faults are changed through the control file, which the module re-reads on its next
// call, so they also reach a module that is already initialised.
#pragma once

#include "TemporaryFolder.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace keyvane::testing {

struct VirtualTouch {
    std::uint64_t mode = 1;
    std::uint64_t userPresentTimeLimit = 15;
    std::uint64_t userActionTimeout = 30;
    unsigned delayMs = 20;
    bool reject = false;
    // Without it the token asks for touch but has no touch settings object.
    bool settingsObject = true;
};

struct VirtualTokenSettings {
    std::uint64_t slot = 1;
    std::string serial = "12AB34CD";
    std::string label = "Keyvane test token";
    std::string model = "Test token";
    std::array<std::uint8_t, 2> hardwareVersion{60, 1};
    std::array<std::uint8_t, 2> firmwareVersion{30, 2};
    std::uint64_t tokenClass = 9;
    std::optional<std::uint64_t> totalMemory = 131072;
    std::optional<std::uint64_t> freeMemory = 65536;
    std::optional<std::string> modelName = "Keyvane test token";
    std::optional<VirtualTouch> touch;
    std::uint64_t pinRetries = 10;
    bool present = true;
    bool vendorRecord = true;
    std::vector<std::uint64_t> hiddenMechanisms;
    std::string userPin = "12345678";
    std::string soPin = "87654321";
    // Further slot keys of the configuration (e.g. "serial_bytes"), written last.
    nlohmann::json extra = nlohmann::json::object();
};

// What an injected fault does to the calls it is due on: wait, log the call's session out (a
// call on a session only), then answer rv without running the call, or run it without rv.
struct VirtualTokenFault {
    std::optional<std::uint64_t> rv;
    unsigned delayMs = 0;
    bool logout = false;
    std::uint64_t onCall = 1;
    std::uint64_t times = 1;
};

// One line of the module's call log.
struct VirtualTokenCall {
    std::uint64_t sequence = 0;
    std::int64_t threadId = 0;
    std::string function;
    std::string target;  // "slot=N", "session=N" or "-"
    std::uint64_t rv = 0;
};

class VirtualTokenFixture {
public:
    // Creates one SoftHSM2 token per entry and sets KEYVANE_PKCS11_MODULE,
    // KEYVANE_VIRTUAL_TOKEN_CONFIG and SOFTHSM2_CONF; the destructor restores them and removes
    // the folder. Throws std::runtime_error when a token cannot be made.
    explicit VirtualTokenFixture(std::vector<VirtualTokenSettings> tokens = {VirtualTokenSettings{}});
    ~VirtualTokenFixture();
    VirtualTokenFixture(const VirtualTokenFixture&) = delete;
    VirtualTokenFixture& operator=(const VirtualTokenFixture&) = delete;

    static std::filesystem::path modulePath();
    // The kernel thread id, as the call log records it.
    static std::int64_t currentThreadId();

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path configPath() const { return directory_ / "virtual-token.json"; }
    std::filesystem::path controlPath() const { return directory_ / "control.json"; }

    // Hot-plug: each call is one arrival or removal that C_WaitForSlotEvent reports.
    void plug(std::uint64_t slot);
    void unplug(std::uint64_t slot);

    void setTouchOutcome(std::uint64_t slot, bool reject);
    void setTouchDelay(std::uint64_t slot, unsigned milliseconds);
    void setFreeMemory(std::uint64_t slot, std::uint64_t bytes);

    // The Nth call of the function counted from the module's next call (1 = the next call of
    // that function) answers rv without running, and so do the times-1 calls after it
    // (times 0: every call from then on).
    void injectFault(const std::string& function, std::uint64_t rv, std::uint64_t onCall = 1,
                     std::uint64_t times = 1);
    void injectFault(const std::string& function, const VirtualTokenFault& fault);
    // The Nth call of the function logs its session's token out, then runs.
    void injectLogout(const std::string& function, std::uint64_t onCall = 1);
    // The Nth call of the function (and the times-1 after it) waits, then runs, or answers rv.
    void injectDelay(const std::string& function, unsigned milliseconds, std::uint64_t onCall = 1,
                     std::uint64_t times = 1, std::optional<std::uint64_t> rv = std::nullopt);
    void clearFaults();

    std::vector<VirtualTokenCall> callLog() const;
    void clearCallLog();

private:
    nlohmann::json& controlSlot(std::uint64_t slot);
    void writeControl();

    keyvane::test_support::TemporaryFolder folder_{"keyvane-virtual-token"};
    std::filesystem::path directory_ = folder_.path();
    nlohmann::json control_;
    std::map<std::uint64_t, bool> present_;
    std::map<std::string, std::optional<std::string>> savedEnvironment_;
    std::uint64_t faultId_ = 0;
};

}  // namespace keyvane::testing
