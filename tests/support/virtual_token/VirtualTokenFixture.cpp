#include "VirtualTokenFixture.h"

#include "ProcessMemory.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace keyvane::testing {
namespace {

namespace fs = std::filesystem;

std::string backingLabel(std::uint64_t slot) {
    return "vt-backing-" + std::to_string(slot);
}

void writeFile(const fs::path& path, const std::string& text) {
    // Replaced by rename so the module never reads a half-written file.
    const auto temporary = path.string() + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << text;
        if (!file) {
            throw std::runtime_error("cannot write " + temporary);
        }
    }
    fs::rename(temporary, path);
}

void run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(arguments[0] + " failed");
    }
}

nlohmann::json slotConfig(const VirtualTokenSettings& settings) {
    nlohmann::json slot = {
        {"slot", settings.slot},
        {"backing_label", backingLabel(settings.slot)},
        {"present", settings.present},
        {"serial", settings.serial},
        {"label", settings.label},
        {"manufacturer", "Keyvane"},
        {"model", settings.model},
        {"hardware_version", {settings.hardwareVersion[0], settings.hardwareVersion[1]}},
        {"firmware_version", {settings.firmwareVersion[0], settings.firmwareVersion[1]}},
        {"token_class", settings.tokenClass},
        {"total_memory", settings.totalMemory ? nlohmann::json(*settings.totalMemory) : nlohmann::json()},
        {"free_memory", settings.freeMemory ? nlohmann::json(*settings.freeMemory) : nlohmann::json()},
        {"model_name", settings.modelName ? nlohmann::json(*settings.modelName) : nlohmann::json()},
        {"pin_retries", settings.pinRetries},
        {"vendor_record", settings.vendorRecord},
        {"hide_mechanisms", settings.hiddenMechanisms},
    };
    if (settings.touch) {
        slot["touch"] = {
            {"mode", settings.touch->mode},
            {"user_present_time_limit", settings.touch->userPresentTimeLimit},
            {"user_action_timeout", settings.touch->userActionTimeout},
            {"delay_ms", settings.touch->delayMs},
            {"outcome", settings.touch->reject ? "reject" : "confirm"},
            {"settings_object", settings.touch->settingsObject},
        };
    }
    for (const auto& [key, value] : settings.extra.items()) {
        if (key == "serial_bytes") {
            slot.erase("serial");
        } else if (key == "label_bytes") {
            slot.erase("label");
        }
        slot[key] = value;
    }
    return slot;
}

}  // namespace

VirtualTokenFixture::VirtualTokenFixture(std::vector<VirtualTokenSettings> tokens) {
    fs::create_directory(directory_ / "tokens");

    for (const char* name : {"KEYVANE_PKCS11_MODULE", "KEYVANE_VIRTUAL_TOKEN_CONFIG", "SOFTHSM2_CONF"}) {
        const char* value = std::getenv(name);
        savedEnvironment_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    const auto softhsmConf = directory_ / "softhsm2.conf";
    writeFile(softhsmConf, "directories.tokendir = " + (directory_ / "tokens").string() +
                               "\nobjectstore.backend = file\nlog.level = ERROR\n");
    ::setenv("SOFTHSM2_CONF", softhsmConf.c_str(), 1);
    ::setenv("KEYVANE_VIRTUAL_TOKEN_CONFIG", configPath().c_str(), 1);
    ::setenv("KEYVANE_PKCS11_MODULE", modulePath().c_str(), 1);

    nlohmann::json slots = nlohmann::json::array();
    for (auto& settings : tokens) {
        // The PINs are copied once each, straight into their places (the list never grows), and
        // wiped after use with the settings' own: a test that searches the process's memory for
        // a PIN finds only the copies the program made.
        std::vector<std::string> arguments;
        arguments.reserve(9);
        for (const std::string& argument : {std::string(KEYVANE_SOFTHSM2_UTIL), std::string("--init-token"),
                                            std::string("--free"), std::string("--label"), backingLabel(settings.slot),
                                            std::string("--so-pin")}) {
            arguments.push_back(argument);
        }
        arguments.push_back(settings.soPin);
        arguments.emplace_back("--pin");
        arguments.push_back(settings.userPin);
        run(arguments);
        for (auto& argument : arguments) {
            test_support::wipe(argument);
        }
        test_support::wipe(settings.userPin);
        test_support::wipe(settings.soPin);
        slots.push_back(slotConfig(settings));
        present_[settings.slot] = settings.present;
    }
    control_ = {{"slots", nlohmann::json::object()}, {"faults", nlohmann::json::array()}};
    writeControl();
    const nlohmann::json config = {
        {"control", "control.json"}, {"state", "state.json"}, {"log", "calls.log"}, {"slots", slots}};
    writeFile(configPath(), config.dump(2) + "\n");
}

VirtualTokenFixture::~VirtualTokenFixture() {
    for (const auto& [name, value] : savedEnvironment_) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
}

fs::path VirtualTokenFixture::modulePath() {
    return KEYVANE_VIRTUAL_TOKEN_MODULE_PATH;
}

std::int64_t VirtualTokenFixture::currentThreadId() {
    return static_cast<std::int64_t>(::syscall(SYS_gettid));
}

nlohmann::json& VirtualTokenFixture::controlSlot(std::uint64_t slot) {
    auto& entry = control_["slots"][std::to_string(slot)];
    if (!entry.is_object()) {
        entry = {{"events", 0}};
    }
    return entry;
}

void VirtualTokenFixture::plug(std::uint64_t slot) {
    auto& entry = controlSlot(slot);
    entry["present"] = true;
    entry["events"] = entry["events"].get<std::uint64_t>() + 1;
    writeControl();
}

void VirtualTokenFixture::unplug(std::uint64_t slot) {
    auto& entry = controlSlot(slot);
    entry["present"] = false;
    entry["events"] = entry["events"].get<std::uint64_t>() + 1;
    writeControl();
}

void VirtualTokenFixture::setTouchOutcome(std::uint64_t slot, bool reject) {
    controlSlot(slot)["touch_outcome"] = reject ? "reject" : "confirm";
    writeControl();
}

void VirtualTokenFixture::setTouchDelay(std::uint64_t slot, unsigned milliseconds) {
    controlSlot(slot)["touch_delay_ms"] = milliseconds;
    writeControl();
}

void VirtualTokenFixture::setFreeMemory(std::uint64_t slot, std::uint64_t bytes) {
    controlSlot(slot)["free_memory"] = bytes;
    writeControl();
}

void VirtualTokenFixture::injectFault(const std::string& function, std::uint64_t rv, std::uint64_t onCall,
                                      std::uint64_t times) {
    VirtualTokenFault fault;
    fault.rv = rv;
    fault.onCall = onCall;
    fault.times = times;
    injectFault(function, fault);
}

void VirtualTokenFixture::injectLogout(const std::string& function, std::uint64_t onCall) {
    VirtualTokenFault fault;
    fault.logout = true;
    fault.onCall = onCall;
    injectFault(function, fault);
}

void VirtualTokenFixture::injectDelay(const std::string& function, unsigned milliseconds, std::uint64_t onCall,
                                      std::uint64_t times, std::optional<std::uint64_t> rv) {
    VirtualTokenFault fault;
    fault.rv = rv;
    fault.delayMs = milliseconds;
    fault.onCall = onCall;
    fault.times = times;
    injectFault(function, fault);
}

void VirtualTokenFixture::injectFault(const std::string& function, const VirtualTokenFault& fault) {
    // The id makes each injection a new fault, counted afresh, even when it repeats one.
    nlohmann::json rule = {{"function", function}, {"call", fault.onCall}, {"times", fault.times}, {"id", ++faultId_}};
    if (fault.rv) {
        rule["rv"] = *fault.rv;
    }
    if (fault.delayMs > 0) {
        rule["delay_ms"] = fault.delayMs;
    }
    if (fault.logout) {
        rule["logout"] = true;
    }
    control_["faults"].push_back(std::move(rule));
    writeControl();
}

void VirtualTokenFixture::clearFaults() {
    control_["faults"] = nlohmann::json::array();
    writeControl();
}

void VirtualTokenFixture::writeControl() {
    writeFile(controlPath(), control_.dump(2) + "\n");
}

std::vector<VirtualTokenCall> VirtualTokenFixture::callLog() const {
    std::vector<VirtualTokenCall> calls;
    std::ifstream file(directory_ / "calls.log");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        VirtualTokenCall call;
        std::string rv;
        fields >> call.sequence >> call.threadId >> call.function >> call.target >> rv;
        call.rv = std::stoull(rv, nullptr, 16);
        calls.push_back(std::move(call));
    }
    return calls;
}

void VirtualTokenFixture::clearCallLog() {
    // Truncated in place: the module keeps the file open and appends.
    std::ofstream(directory_ / "calls.log", std::ios::trunc);
}

}  // namespace keyvane::testing
