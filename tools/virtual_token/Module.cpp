#include "Module.h"

#include "VendorConstants.h"

#include <nlohmann/json.hpp>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef KEYVANE_SOFTHSM2_MODULE
#define KEYVANE_SOFTHSM2_MODULE "/usr/lib/softhsm/libsofthsm2.so"
#endif

namespace virtual_token {
namespace {

static_assert(sizeof(CK_ULONG) == 8, "the vendor record and object handles assume 64-bit CK_ULONG");

// Far above the handles SoftHSM2 hands out, so a virtual handle is never a real one.
constexpr CK_OBJECT_HANDLE virtualHandleBase = 0x7654'0000'0000'0000ULL;

void complain(const std::string& message) {
    std::fprintf(stderr, "keyvane-virtual-token: %s\n", message.c_str());
}

std::string ulongBytes(CK_ULONG value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::string boolBytes(bool value) {
    return std::string(1, value ? '\1' : '\0');
}

std::string trimmed(const unsigned char* field, std::size_t width) {
    std::string text(reinterpret_cast<const char*>(field), width);
    const auto end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string{} : text.substr(0, end + 1);
}

FileStamp stampOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {true, status.st_ino,
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
            static_cast<std::int64_t>(status.st_size)};
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

const std::string* VirtualObject::find(CK_ATTRIBUTE_TYPE type) const {
    for (const auto& [attribute, value] : attributes) {
        if (attribute == type) {
            return &value;
        }
    }
    return nullptr;
}

Module::Module(Config configuration) : config(std::move(configuration)) {
    for (const auto& slot : config.slots) {
        SlotState state;
        state.config = slot;
        state.present = slot.present;
        state.attemptsLeft = slot.pinRetries;
        slots.push_back(std::move(state));
    }
    for (const auto& fault : config.faults) {
        configFaults_.push_back({fault, 0});
    }
    if (!config.log.empty()) {
        logFd_ = ::open(config.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (logFd_ < 0) {
            complain("cannot open the call log " + config.log.string());
        }
    }
    refreshControl();
    for (auto& slot : slots) {
        slot.reportedPresent = slot.present;
        slot.reportedEvents = slot.events;
    }
    loadAttempts();
}

Module::~Module() {
    if (logFd_ >= 0) {
        ::close(logFd_);
    }
}

CK_RV Module::start() {
    std::string path = KEYVANE_SOFTHSM2_MODULE;
    if (!config.backend.empty()) {
        path = config.backend;
    }
    if (const char* override = std::getenv("KEYVANE_VIRTUAL_TOKEN_BACKEND"); override && *override) {
        path = override;
    }
    // Never closed: the backend may keep thread-local or static state past its C_Finalize.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = ::dlerror();
        complain("cannot load the backend " + path + ": " + (error ? error : "unknown error"));
        return CKR_GENERAL_ERROR;
    }
    auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library, "C_GetFunctionList"));
    if (!getFunctionList || getFunctionList(&backend) != CKR_OK || !backend) {
        complain("the backend " + path + " has no function list");
        return CKR_GENERAL_ERROR;
    }
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.flags = CKF_OS_LOCKING_OK;
    const CK_RV initialized = backend->C_Initialize(&arguments);
    if (initialized != CKR_OK && initialized != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        complain("the backend's C_Initialize failed with 0x" + [&] {
            char text[32];
            std::snprintf(text, sizeof text, "%lx", initialized);
            return std::string(text);
        }());
        return initialized;
    }
    ownsBackendInitialization_ = initialized == CKR_OK;

    CK_ULONG count = 0;
    CK_RV rv = backend->C_GetSlotList(CK_TRUE, nullptr, &count);
    std::vector<CK_SLOT_ID> backingSlots(count);
    if (rv == CKR_OK && count > 0) {
        rv = backend->C_GetSlotList(CK_TRUE, backingSlots.data(), &count);
        backingSlots.resize(count);
    }
    if (rv != CKR_OK) {
        complain("the backend cannot list its slots");
        stop();
        return rv;
    }
    for (auto& slot : slots) {
        bool found = false;
        for (const CK_SLOT_ID candidate : backingSlots) {
            CK_TOKEN_INFO info{};
            if (backend->C_GetTokenInfo(candidate, &info) == CKR_OK &&
                trimmed(info.label, sizeof info.label) == slot.config.backingLabel) {
                slot.backing = candidate;
                found = true;
                break;
            }
        }
        if (!found) {
            complain("no backing token labelled \"" + slot.config.backingLabel + "\" for slot " +
                     std::to_string(slot.config.slot));
            stop();
            return CKR_GENERAL_ERROR;
        }
    }
    return CKR_OK;
}

void Module::stop() {
    {
        std::lock_guard lock(mutex);
        finalized = true;
        saveAttempts();
    }
    slotEvent.notify_all();
    if (backend && ownsBackendInitialization_) {
        backend->C_Finalize(nullptr);
    }
    ownsBackendInitialization_ = false;
}

void Module::refreshControl() {
    if (config.control.empty()) {
        return;
    }
    const auto stamp = stampOf(config.control);
    if (stamp == controlStamp_) {
        return;
    }
    Control control;
    if (stamp.exists) {
        const auto text = readFile(config.control);
        if (!text) {
            return;
        }
        try {
            control = parseControl(*text);
        } catch (const ConfigError& error) {
            // Keep the previous state; the stamp is kept so the message is not repeated.
            controlStamp_ = stamp;
            complain(config.control.string() + ": " + error.what());
            return;
        }
    }
    controlStamp_ = stamp;
    applyControl(control);
}

void Module::applyControl(const Control& control) {
    // A fault keeps its count across reloads as long as its entry is unchanged, so rewriting
    // the file to plug a token does not restart a pending fault.
    std::vector<ActiveFault> faults;
    for (const auto& rule : control.faults) {
        ActiveFault fault{rule, 0};
        for (const auto& previous : controlFaults_) {
            if (previous.rule.key == rule.key) {
                fault.seen = previous.seen;
            }
        }
        faults.push_back(std::move(fault));
    }
    controlFaults_ = std::move(faults);

    bool changed = false;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        auto& slot = slots[i];
        const auto entry = control.slots.find(slot.config.slot);
        slot.control = entry == control.slots.end() ? ControlSlot{} : entry->second;
        const bool present = slot.control.present.value_or(slot.config.present);
        const bool replugged = slot.control.events != slot.events;
        if (slot.present && (!present || replugged)) {
            // A token that left takes its sessions and its login with it.
            invalidateSessions(i);
        }
        changed = changed || present != slot.present || replugged;
        slot.present = present;
        slot.events = slot.control.events;
    }
    if (changed) {
        slotEvent.notify_all();
    }
}

void Module::invalidateSessions(std::size_t index) {
    for (auto it = sessions.begin(); it != sessions.end();) {
        if (it->second.slotIndex == index) {
            removedSessions.insert(it->first);
            it = sessions.erase(it);
        } else {
            ++it;
        }
    }
    if (backend && !finalized) {
        backend->C_CloseAllSessions(slots[index].backing);
    }
}

std::optional<CK_RV> Module::takeFault(const std::string& function) {
    std::optional<CK_RV> result;
    for (auto* list : {&configFaults_, &controlFaults_}) {
        for (auto& fault : *list) {
            if (fault.rule.function != function) {
                continue;
            }
            ++fault.seen;
            const bool due = fault.seen >= fault.rule.call &&
                             (fault.rule.times == 0 || fault.seen < fault.rule.call + fault.rule.times);
            if (due && !result) {
                result = fault.rule.rv;
            }
        }
    }
    return result;
}

void Module::log(const char* function, const std::string& target, CK_RV rv) {
    std::lock_guard lock(logMutex_);
    if (logFd_ < 0) {
        return;
    }
    char line[256];
    const int length = std::snprintf(line, sizeof line, "%llu\t%ld\t%s\t%s\t0x%lx\n",
                                      static_cast<unsigned long long>(++logSequence_),
                                      static_cast<long>(::syscall(SYS_gettid)), function,
                                      target.empty() ? "-" : target.c_str(), rv);
    if (length > 0) {
        // One write per line so that lines from several threads never interleave.
        [[maybe_unused]] const auto written =
            ::write(logFd_, line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
    }
}

std::optional<std::size_t> Module::slotIndex(CK_SLOT_ID slot) const {
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].config.slot == slot) {
            return i;
        }
    }
    return std::nullopt;
}

std::vector<VirtualObject> Module::virtualObjects(std::size_t index) const {
    const auto& config = slots[index].config;
    std::vector<VirtualObject> objects;
    const auto common = [](CK_ULONG featureType) {
        return std::vector<std::pair<CK_ATTRIBUTE_TYPE, std::string>>{
            {CKA_CLASS, ulongBytes(CKO_HW_FEATURE)},
            {CKA_HW_FEATURE_TYPE, ulongBytes(featureType)},
            {CKA_TOKEN, boolBytes(true)},
            {CKA_PRIVATE, boolBytes(false)},
            {CKA_MODIFIABLE, boolBytes(false)},
        };
    };
    if (config.modelName) {
        VirtualObject model{virtualHandleBase + index * 4 + 1, common(VT_HW_FEATURE_MODEL)};
        model.attributes.emplace_back(VT_ATTR_MODEL_NAME, *config.modelName);
        objects.push_back(std::move(model));
    }
    if (config.touch && config.touch->settingsObject) {
        VirtualObject touch{virtualHandleBase + index * 4 + 2, common(VT_HW_FEATURE_TOUCH_SETTINGS)};
        touch.attributes.emplace_back(VT_ATTR_TOUCH_MODE, ulongBytes(config.touch->mode));
        touch.attributes.emplace_back(VT_ATTR_TOUCH_USER_PRESENT_TIME_LIMIT,
                                      ulongBytes(config.touch->userPresentTimeLimit));
        touch.attributes.emplace_back(VT_ATTR_TOUCH_USER_ACTION_TIMEOUT,
                                      ulongBytes(config.touch->userActionTimeout));
        objects.push_back(std::move(touch));
    }
    return objects;
}

bool Module::mechanismHidden(std::size_t index, CK_MECHANISM_TYPE mechanism) const {
    const auto& config = slots[index].config;
    if (mechanism == CKM_ECDSA_SHA256 && !config.ecdsaSha256) {
        return true;
    }
    return std::find(config.hiddenMechanisms.begin(), config.hiddenMechanisms.end(), mechanism) !=
           config.hiddenMechanisms.end();
}

bool Module::touchRejects(const SlotState& slot) const {
    return slot.control.touchReject.value_or(slot.config.touch && slot.config.touch->reject);
}

unsigned Module::touchDelayMs(const SlotState& slot) const {
    return slot.control.touchDelayMs.value_or(slot.config.touch ? slot.config.touch->delayMs : 0);
}

// The counters live on the token in real hardware; a state file keeps them across processes.
void Module::loadAttempts() {
    if (config.state.empty()) {
        return;
    }
    const auto text = readFile(config.state);
    if (!text) {
        return;
    }
    try {
        const auto root = nlohmann::json::parse(*text);
        const auto& attempts = root.at("attempts_left");
        for (auto& slot : slots) {
            const auto key = std::to_string(slot.config.slot);
            if (attempts.contains(key)) {
                slot.attemptsLeft = std::min<CK_ULONG>(attempts.at(key).get<CK_ULONG>(), slot.config.pinRetries);
            }
        }
    } catch (const nlohmann::json::exception& error) {
        complain(config.state.string() + ": " + error.what() + "; counters start full");
    }
}

void Module::saveAttempts() {
    if (config.state.empty()) {
        return;
    }
    nlohmann::json attempts = nlohmann::json::object();
    for (const auto& slot : slots) {
        attempts[std::to_string(slot.config.slot)] = slot.attemptsLeft;
    }
    const auto temporary = config.state.string() + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << nlohmann::json{{"attempts_left", attempts}}.dump() << '\n';
        if (!file) {
            complain("cannot write " + temporary);
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, config.state, error);
    if (error) {
        complain("cannot replace " + config.state.string() + ": " + error.message());
    }
}

}  // namespace virtual_token
