// The user PIN retry counter of each slot. Real hardware keeps it on the token, so with a state
// file the counters survive restarts of the library and are shared with later processes.
#pragma once

#include "Config.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <vector>

namespace virtual_token {

class PinCounter {
public:
    // Starts every counter full, then reads the state file if there is one.
    PinCounter(const std::vector<SlotConfig>& slots, std::filesystem::path stateFile);

    CK_ULONG left(std::size_t slotIndex) const;
    // The token flags that follow the counter (count low, final try, locked).
    CK_FLAGS flags(std::size_t slotIndex) const;

    // A login: a user login at zero answers CKR_PIN_LOCKED without reaching the token; otherwise
    // the backend's login runs (outside the lock) and a wrong user PIN spends one attempt, a
    // good one refills the counter.
    CK_RV login(std::size_t slotIndex, CK_USER_TYPE user, const std::function<CK_RV()>& backendLogin);
    // A new user PIN (C_InitPIN, C_InitToken): the backend's call runs and, when it succeeds,
    // unlocks the user.
    CK_RV refillAfter(std::size_t slotIndex, const std::function<CK_RV()>& backendCall);

    void save();

private:
    struct Counter {
        CK_SLOT_ID slot = 0;
        CK_ULONG retries = 0;
        CK_ULONG left = 0;
    };

    void load();
    void saveLocked() const;

    const std::filesystem::path stateFile_;
    mutable std::mutex mutex_;
    std::vector<Counter> counters_;
};

}  // namespace virtual_token
