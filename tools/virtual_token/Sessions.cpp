#include "Sessions.h"

#include "PinCounter.h"
#include "Reply.h"
#include "Slots.h"

namespace virtual_token {

Sessions::Sessions(const Backend& backend, const Slots& slots, PinCounter& pins, std::vector<SessionScoped*> scoped)
    : backend_(backend), slots_(slots), pins_(pins), scoped_(std::move(scoped)) {}

std::size_t Sessions::slotOf(CK_SESSION_HANDLE session) const {
    std::lock_guard lock(mutex_);
    if (const auto it = open_.find(session); it != open_.end()) {
        return it->second;
    }
    throw Failure{removed_.contains(session) ? CKR_DEVICE_REMOVED : CKR_SESSION_HANDLE_INVALID};
}

CK_RV Sessions::open(CK_SLOT_ID slot, CK_FLAGS flags, CK_SESSION_HANDLE& session) {
    const auto index = slots_.presentIndex(slot);
    // Notification callbacks are not forwarded: the backend would call them with its own
    // handles, and no caller of this module relies on them.
    const CK_RV rv = backend_->C_OpenSession(slots_.backing(index), flags, nullptr, nullptr, &session);
    if (rv == CKR_OK) {
        // A handle that the backend hands out again starts with nothing of its earlier session.
        forget({session});
        std::lock_guard lock(mutex_);
        removed_.erase(session);
        open_[session] = index;
    }
    return rv;
}

CK_RV Sessions::close(CK_SESSION_HANDLE session) {
    const CK_RV rv = backend_->C_CloseSession(session);
    {
        std::lock_guard lock(mutex_);
        open_.erase(session);
    }
    forget({session});
    return rv;
}

CK_RV Sessions::closeAll(CK_SLOT_ID slot) {
    const auto index = slots_.presentIndex(slot);
    const CK_RV rv = backend_->C_CloseAllSessions(slots_.backing(index));
    forget(drop(index, false));
    return rv;
}

CK_RV Sessions::info(CK_SESSION_HANDLE session, std::size_t index, CK_SESSION_INFO_PTR info) const {
    const CK_RV rv = backend_->C_GetSessionInfo(session, info);
    if (rv == CKR_OK) {
        info->slotID = slots_.id(index);
    }
    return rv;
}

CK_RV Sessions::login(CK_SESSION_HANDLE session, std::size_t index, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin,
                      CK_ULONG pinLength) {
    return pins_.login(index, user, [&] { return backend_->C_Login(session, user, pin, pinLength); });
}

CK_RV Sessions::logOut(CK_SESSION_HANDLE session) {
    return backend_->C_Logout(session);
}

CK_RV Sessions::initPin(CK_SESSION_HANDLE session, std::size_t index, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    // A new user PIN set by the security officer unlocks the user.
    return pins_.refillAfter(index, [&] { return backend_->C_InitPIN(session, pin, pinLength); });
}

void Sessions::tokenLeft(std::size_t index) {
    forget(drop(index, true));
    if (backend_.loaded() && !slots_.finished()) {
        backend_->C_CloseAllSessions(slots_.backing(index));
    }
}

std::vector<CK_SESSION_HANDLE> Sessions::drop(std::size_t index, bool removed) {
    std::vector<CK_SESSION_HANDLE> dropped;
    std::lock_guard lock(mutex_);
    std::erase_if(open_, [&](const auto& entry) {
        if (entry.second != index) {
            return false;
        }
        dropped.push_back(entry.first);
        if (removed) {
            removed_.insert(entry.first);
        }
        return true;
    });
    return dropped;
}

void Sessions::forget(const std::vector<CK_SESSION_HANDLE>& sessions) {
    for (const auto session : sessions) {
        for (auto* unit : scoped_) {
            unit->forget(session);
        }
    }
}

}  // namespace virtual_token
