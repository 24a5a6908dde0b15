// The virtual slots and their tokens: each slot's configuration, its backing SoftHSM2 token,
// its presence (hot-plug through the control file) with what C_WaitForSlotEvent last reported,
// and the control file's per-slot overrides (touch outcome and delay, free memory). Owns its
// lock; the backend is called outside it.
#pragma once

#include "Backend.h"
#include "Config.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace virtual_token {

class PinCounter;

// What a finished signature waits for on a touch token.
struct Touch {
    unsigned delayMs = 0;
    bool reject = false;
};

class Slots {
public:
    Slots(const std::vector<SlotConfig>& configs, const Backend& backend, PinCounter& pins);

    // Finds each slot's backing token by label; false (with a message on stderr) when one is
    // missing. Throws Failure when the backend cannot list its slots.
    bool bind();

    // Applies the control file's slot entries; answers the slots whose token left (removed, or
    // removed and put back) and so takes its sessions and login with it.
    std::vector<std::size_t> applyControl(const std::map<CK_SLOT_ID, ControlSlot>& control);
    // The presence as it is now counts as reported, so a configured absence is no event.
    void markReported();

    // Lookups; they throw Failure with CKR_SLOT_ID_INVALID or CKR_TOKEN_NOT_PRESENT.
    std::size_t index(CK_SLOT_ID slot) const;
    std::size_t presentIndex(CK_SLOT_ID slot) const;

    // Fixed once bound, so read without the lock.
    CK_SLOT_ID id(std::size_t index) const { return slots_[index].config.slot; }
    CK_SLOT_ID backing(std::size_t index) const { return slots_[index].backing; }
    const SlotConfig& config(std::size_t index) const { return slots_[index].config; }
    std::size_t count() const { return slots_.size(); }
    bool mechanismHidden(std::size_t index, CK_MECHANISM_TYPE mechanism) const;
    // Throws Failure(CKR_MECHANISM_INVALID) for a mechanism that the slot hides.
    void requireMechanism(std::size_t index, CK_MECHANISM_TYPE mechanism) const;
    // Nothing for a token without touch.
    std::optional<Touch> touch(std::size_t index) const;

    std::vector<CK_SLOT_ID> list(bool tokenPresent) const;
    void slotInfo(CK_SLOT_ID slot, CK_SLOT_INFO& info) const;
    CK_RV tokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO& info) const;
    // The backend's mechanisms as this slot shows them: hidden ones removed, ECDSA-SHA256 added.
    std::vector<CK_MECHANISM_TYPE> mechanisms(CK_SLOT_ID slot) const;
    CK_RV mechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO& info) const;
    // A new token in the slot: a new user PIN unlocks the user.
    CK_RV initToken(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength, CK_UTF8CHAR_PTR label);
    // The vendor record (C_EX_GetTokenInfoExtended); the caller checked its size.
    CK_RV extendedInfo(CK_SLOT_ID slot, CK_BYTE_PTR record) const;

    // One round of C_WaitForSlotEvent: the first slot whose presence changed since it was last
    // reported; else CKR_NO_EVENT when not blocking, or CKR_CRYPTOKI_NOT_INITIALIZED once the
    // module finished; else waits up to pollInterval for a change and answers nothing, so that
    // the caller re-reads the control file (which changes from outside the process) and asks again.
    std::optional<CK_RV> nextEvent(bool block, CK_SLOT_ID& slot);
    static constexpr std::chrono::milliseconds pollInterval{20};

    // Ends blocking waits for good.
    void finish();
    bool finished() const;

private:
    struct Slot {
        SlotConfig config;
        CK_SLOT_ID backing = 0;
        bool present = true;
        std::uint64_t events = 0;
        bool reportedPresent = true;
        std::uint64_t reportedEvents = 0;
        ControlSlot control;
    };

    std::optional<std::size_t> find(CK_SLOT_ID slot) const;

    const Backend& backend_;
    PinCounter& pins_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    bool finished_ = false;
};

}  // namespace virtual_token
