// The SoftHSM2 module behind the virtual slots. Loaded and initialised (for OS locking) at
// C_Initialize and read-only afterwards, so every unit calls it without a lock of ours: it does
// its own locking.
#pragma once

#include <p11-kit/pkcs11.h>

#include <optional>
#include <string>
#include <vector>

namespace virtual_token {

class Backend {
public:
    // Loads the module at path and initialises it; a failure leaves a message on stderr and
    // answers the return value for C_Initialize.
    CK_RV start(const std::string& path);
    // Finalises the module if this module initialised it (another user may have done so first).
    void stop();

    bool loaded() const { return functions_ != nullptr; }
    CK_FUNCTION_LIST* operator->() const { return functions_; }

    // The backend's slots with a token; throws Failure when the backend cannot list them.
    std::vector<CK_SLOT_ID> tokenSlots() const;
    // The first of these slots whose token has this label.
    std::optional<CK_SLOT_ID> tokenLabelled(const std::vector<CK_SLOT_ID>& among, const std::string& label) const;

private:
    CK_FUNCTION_LIST_PTR functions_ = nullptr;
    bool ownsInitialization_ = false;
};

}  // namespace virtual_token
