// The virtual token's configuration (read once per C_Initialize) and its control file (re-read
// whenever it changes, so another process or a test can plug tokens and inject faults).
#pragma once

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace virtual_token {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TouchConfig {
    CK_ULONG mode = 1;
    CK_ULONG userPresentTimeLimit = 0;
    CK_ULONG userActionTimeout = 0;
    unsigned delayMs = 0;
    bool reject = false;
    bool settingsObject = true;
};

struct SlotConfig {
    CK_SLOT_ID slot = 0;
    std::string backingLabel;
    bool present = true;
    // Raw field contents, already padded to the field's width; absent = the backing token's.
    std::optional<std::string> serialField;
    std::optional<std::string> labelField;
    std::optional<std::string> manufacturerField;
    std::optional<std::string> modelField;
    std::optional<CK_VERSION> hardwareVersion;
    std::optional<CK_VERSION> firmwareVersion;
    CK_ULONG tokenClass = 1;
    CK_ULONG totalMemory = CK_UNAVAILABLE_INFORMATION;
    CK_ULONG freeMemory = CK_UNAVAILABLE_INFORMATION;
    bool vendorRecord = true;
    CK_ULONG vendorFlags = 0;
    std::optional<std::string> modelName;
    CK_ULONG pinRetries = 10;
    std::optional<TouchConfig> touch;
    std::vector<CK_MECHANISM_TYPE> hiddenMechanisms;
    bool ecdsaSha256 = true;
};

// What a due fault does, in this order: wait, log the calling session's token out, then answer
// its return value without running the call (or, without one, run the call).
struct FaultRule {
    std::string function;
    std::uint64_t call = 1;   // 1 = the first call counted after the fault was loaded
    std::uint64_t times = 1;  // 0 = every call from then on
    std::optional<CK_RV> rv;
    unsigned delayMs = 0;
    bool logout = false;      // only for functions that take a session
    std::string key;          // identity across control-file reloads
};

struct Config {
    std::filesystem::path path;
    std::string backend;
    std::filesystem::path control;
    std::filesystem::path state;
    std::filesystem::path log;
    std::vector<SlotConfig> slots;
    std::vector<FaultRule> faults;
};

struct ControlSlot {
    std::optional<bool> present;
    std::uint64_t events = 0;
    std::optional<bool> touchReject;
    std::optional<unsigned> touchDelayMs;
    std::optional<CK_ULONG> freeMemory;
};

struct Control {
    std::map<CK_SLOT_ID, ControlSlot> slots;
    std::vector<FaultRule> faults;
};

// Throws ConfigError with a message that names the offending entry.
Config readConfig(const std::filesystem::path& path);
Control parseControl(const std::string& text);

}  // namespace virtual_token
