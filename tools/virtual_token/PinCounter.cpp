#include "PinCounter.h"

#include "Files.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>

namespace virtual_token {

PinCounter::PinCounter(const std::vector<SlotConfig>& slots, std::filesystem::path stateFile)
    : stateFile_(std::move(stateFile)) {
    for (const auto& slot : slots) {
        counters_.push_back({slot.slot, slot.pinRetries, slot.pinRetries});
    }
    load();
}

CK_ULONG PinCounter::left(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return counters_[index].left;
}

CK_FLAGS PinCounter::flags(std::size_t index) const {
    std::lock_guard lock(mutex_);
    const auto& counter = counters_[index];
    if (counter.left == 0) {
        return CKF_USER_PIN_LOCKED;
    }
    if (counter.left == 1) {
        return CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_COUNT_LOW;
    }
    return counter.left < counter.retries ? CKF_USER_PIN_COUNT_LOW : 0;
}

CK_RV PinCounter::login(std::size_t index, CK_USER_TYPE user, const std::function<CK_RV()>& backendLogin) {
    const bool counted = user == CKU_USER;
    if (counted) {
        std::lock_guard lock(mutex_);
        if (counters_[index].left == 0) {
            return CKR_PIN_LOCKED;
        }
    }
    const CK_RV rv = backendLogin();
    if (counted && (rv == CKR_OK || rv == CKR_PIN_INCORRECT)) {
        std::lock_guard lock(mutex_);
        auto& counter = counters_[index];
        if (rv == CKR_OK) {
            counter.left = counter.retries;
        } else if (counter.left > 0) {
            --counter.left;
        }
        saveLocked();
    }
    return rv;
}

CK_RV PinCounter::refillAfter(std::size_t index, const std::function<CK_RV()>& backendCall) {
    const CK_RV rv = backendCall();
    if (rv == CKR_OK) {
        std::lock_guard lock(mutex_);
        counters_[index].left = counters_[index].retries;
        saveLocked();
    }
    return rv;
}

void PinCounter::save() {
    std::lock_guard lock(mutex_);
    saveLocked();
}

void PinCounter::load() {
    if (stateFile_.empty()) {
        return;
    }
    const auto text = readFile(stateFile_);
    if (!text) {
        return;
    }
    try {
        const auto root = nlohmann::json::parse(*text);
        const auto& attempts = root.at("attempts_left");
        for (auto& counter : counters_) {
            const auto key = std::to_string(counter.slot);
            if (attempts.contains(key)) {
                counter.left = std::min<CK_ULONG>(attempts.at(key).get<CK_ULONG>(), counter.retries);
            }
        }
    } catch (const nlohmann::json::exception& error) {
        complain(stateFile_.string() + ": " + error.what() + "; counters start full");
    }
}

// Written beside and renamed into place, so a reader never sees half a file.
void PinCounter::saveLocked() const {
    if (stateFile_.empty()) {
        return;
    }
    nlohmann::json attempts = nlohmann::json::object();
    for (const auto& counter : counters_) {
        attempts[std::to_string(counter.slot)] = counter.left;
    }
    const auto temporary = stateFile_.string() + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << nlohmann::json{{"attempts_left", attempts}}.dump() << '\n';
        if (!file) {
            complain("cannot write " + temporary);
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, stateFile_, error);
    if (error) {
        complain("cannot replace " + stateFile_.string() + ": " + error.message());
    }
}

}  // namespace virtual_token
