#include "Slots.h"

#include "Files.h"
#include "PinCounter.h"
#include "Reply.h"
#include "VendorConstants.h"

#include <algorithm>
#include <cstring>

namespace virtual_token {

Slots::Slots(const std::vector<SlotConfig>& configs, const Backend& backend, PinCounter& pins)
    : backend_(backend), pins_(pins) {
    for (const auto& config : configs) {
        Slot slot;
        slot.config = config;
        slot.present = config.present;
        slots_.push_back(std::move(slot));
    }
}

bool Slots::bind() {
    const auto backingSlots = backend_.tokenSlots();
    std::vector<CK_SLOT_ID> found;
    for (const auto& slot : slots_) {
        const auto backing = backend_.tokenLabelled(backingSlots, slot.config.backingLabel);
        if (!backing) {
            complain("no backing token labelled \"" + slot.config.backingLabel + "\" for slot " +
                     std::to_string(slot.config.slot));
            return false;
        }
        found.push_back(*backing);
    }
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        slots_[i].backing = found[i];
    }
    return true;
}

std::vector<std::size_t> Slots::applyControl(const std::map<CK_SLOT_ID, ControlSlot>& control) {
    std::vector<std::size_t> left;
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            auto& slot = slots_[i];
            const auto entry = control.find(slot.config.slot);
            slot.control = entry == control.end() ? ControlSlot{} : entry->second;
            const bool present = slot.control.present.value_or(slot.config.present);
            const bool replugged = slot.control.events != slot.events;
            if (slot.present && (!present || replugged)) {
                left.push_back(i);
            }
            changed = changed || present != slot.present || replugged;
            slot.present = present;
            slot.events = slot.control.events;
        }
    }
    if (changed) {
        changed_.notify_all();
    }
    return left;
}

void Slots::markReported() {
    std::lock_guard lock(mutex_);
    for (auto& slot : slots_) {
        slot.reportedPresent = slot.present;
        slot.reportedEvents = slot.events;
    }
}

std::optional<std::size_t> Slots::find(CK_SLOT_ID slot) const {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].config.slot == slot) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t Slots::index(CK_SLOT_ID slot) const {
    const auto found = find(slot);
    if (!found) {
        throw Failure{CKR_SLOT_ID_INVALID};
    }
    return *found;
}

std::size_t Slots::presentIndex(CK_SLOT_ID slot) const {
    const auto found = index(slot);
    std::lock_guard lock(mutex_);
    if (!slots_[found].present) {
        throw Failure{CKR_TOKEN_NOT_PRESENT};
    }
    return found;
}

bool Slots::mechanismHidden(std::size_t index, CK_MECHANISM_TYPE mechanism) const {
    const auto& config = slots_[index].config;
    if (mechanism == CKM_ECDSA_SHA256 && !config.ecdsaSha256) {
        return true;
    }
    return std::find(config.hiddenMechanisms.begin(), config.hiddenMechanisms.end(), mechanism) !=
           config.hiddenMechanisms.end();
}

void Slots::requireMechanism(std::size_t index, CK_MECHANISM_TYPE mechanism) const {
    if (mechanismHidden(index, mechanism)) {
        throw Failure{CKR_MECHANISM_INVALID};
    }
}

std::optional<Touch> Slots::touch(std::size_t index) const {
    std::lock_guard lock(mutex_);
    const auto& slot = slots_[index];
    if (!slot.config.touch) {
        return std::nullopt;
    }
    return Touch{slot.control.touchDelayMs.value_or(slot.config.touch->delayMs),
                 slot.control.touchReject.value_or(slot.config.touch->reject)};
}

std::vector<CK_SLOT_ID> Slots::list(bool tokenPresent) const {
    std::lock_guard lock(mutex_);
    std::vector<CK_SLOT_ID> ids;
    for (const auto& slot : slots_) {
        if (!tokenPresent || slot.present) {
            ids.push_back(slot.config.slot);
        }
    }
    return ids;
}

void Slots::slotInfo(CK_SLOT_ID slot, CK_SLOT_INFO& info) const {
    const auto found = index(slot);
    std::lock_guard lock(mutex_);
    const auto& state = slots_[found];
    info = CK_SLOT_INFO{};
    setField(info.slotDescription, "Keyvane virtual slot " + std::to_string(slot));
    setField(info.manufacturerID, "Keyvane");
    info.flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (state.present ? CKF_TOKEN_PRESENT : 0);
    info.hardwareVersion = state.config.hardwareVersion.value_or(CK_VERSION{1, 0});
    info.firmwareVersion = state.config.firmwareVersion.value_or(CK_VERSION{1, 0});
}

CK_RV Slots::tokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO& info) const {
    const auto found = presentIndex(slot);
    const CK_RV rv = backend_->C_GetTokenInfo(backing(found), &info);
    if (rv != CKR_OK) {
        return rv;
    }
    const auto& config = slots_[found].config;
    const auto copyField = [](auto& field, const std::optional<std::string>& value) {
        if (value) {
            std::memcpy(field, value->data(), sizeof field);
        }
    };
    copyField(info.serialNumber, config.serialField);
    copyField(info.label, config.labelField);
    copyField(info.manufacturerID, config.manufacturerField);
    copyField(info.model, config.modelField);
    info.hardwareVersion = config.hardwareVersion.value_or(info.hardwareVersion);
    info.firmwareVersion = config.firmwareVersion.value_or(info.firmwareVersion);
    info.ulTotalPublicMemory = config.totalMemory;
    {
        std::lock_guard lock(mutex_);
        info.ulFreePublicMemory = slots_[found].control.freeMemory.value_or(config.freeMemory);
    }
    // The PIN counter flags follow this module's counter, not the backend's.
    info.flags &= ~(CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_LOCKED);
    info.flags |= pins_.flags(found);
    return CKR_OK;
}

std::vector<CK_MECHANISM_TYPE> Slots::mechanisms(CK_SLOT_ID slot) const {
    const auto found = presentIndex(slot);
    auto mechanisms = fetchList<CK_MECHANISM_TYPE>([&](CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count) {
        return backend_->C_GetMechanismList(backing(found), list, count);
    });
    const bool hasEcdsa = std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA) != mechanisms.end();
    if (hasEcdsa && std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA_SHA256) == mechanisms.end()) {
        mechanisms.push_back(CKM_ECDSA_SHA256);
    }
    std::erase_if(mechanisms, [&](CK_MECHANISM_TYPE type) { return mechanismHidden(found, type); });
    return mechanisms;
}

CK_RV Slots::mechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO& info) const {
    const auto found = presentIndex(slot);
    requireMechanism(found, type);
    const CK_RV rv = backend_->C_GetMechanismInfo(backing(found), type, &info);
    if (rv == CKR_MECHANISM_INVALID && type == CKM_ECDSA_SHA256) {
        // Signing and verifying go through CKM_ECDSA, so it has the same key sizes.
        const CK_RV ecdsa = backend_->C_GetMechanismInfo(backing(found), CKM_ECDSA, &info);
        if (ecdsa == CKR_OK) {
            info.flags &= CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_EC_F_P | CKF_EC_NAMEDCURVE | CKF_EC_UNCOMPRESS;
        }
        return ecdsa;
    }
    return rv;
}

CK_RV Slots::initToken(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength, CK_UTF8CHAR_PTR label) {
    const auto found = presentIndex(slot);
    return pins_.refillAfter(found, [&] { return backend_->C_InitToken(backing(found), pin, pinLength, label); });
}

CK_RV Slots::extendedInfo(CK_SLOT_ID slot, CK_BYTE_PTR record) const {
    const auto found = presentIndex(slot);
    const auto& config = slots_[found].config;
    if (!config.vendorRecord) {
        return CKR_FUNCTION_NOT_SUPPORTED;
    }
    const auto put = [&](std::size_t offset, CK_ULONG value) { std::memcpy(record + offset, &value, sizeof value); };
    put(VT_EXTENDED_INFO_SIZE_OFFSET, VT_EXTENDED_INFO_SIZE);
    put(VT_EXTENDED_INFO_FLAGS_OFFSET, config.vendorFlags | (config.touch ? VT_EXTENDED_FLAG_TOUCH : 0));
    put(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET, pins_.left(found));
    put(VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET, config.tokenClass);
    return CKR_OK;
}

std::optional<CK_RV> Slots::nextEvent(bool block, CK_SLOT_ID& reported) {
    std::unique_lock lock(mutex_);
    for (auto& slot : slots_) {
        if (slot.present != slot.reportedPresent || slot.events != slot.reportedEvents) {
            slot.reportedPresent = slot.present;
            slot.reportedEvents = slot.events;
            reported = slot.config.slot;
            return CKR_OK;
        }
    }
    if (!block) {
        return CKR_NO_EVENT;
    }
    if (finished_) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    changed_.wait_for(lock, pollInterval);
    return std::nullopt;
}

void Slots::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool Slots::finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

}  // namespace virtual_token
