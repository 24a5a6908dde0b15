// The open sessions: the slot each belongs to, and the handles of sessions that a removed token
// took with it (they answer CKR_DEVICE_REMOVED, as a real token's do). Units that keep state per
// session (a search, a running hash) are told when a session ends. Owns its lock; the backend is
// called outside it.
#pragma once

#include "Backend.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace virtual_token {

class PinCounter;
class Slots;

// A unit with state per session, dropped when the session ends or its handle is handed out anew.
class SessionScoped {
public:
    virtual void forget(CK_SESSION_HANDLE session) = 0;

protected:
    ~SessionScoped() = default;
};

class Sessions {
public:
    Sessions(const Backend& backend, const Slots& slots, PinCounter& pins, std::vector<SessionScoped*> scoped);

    // The slot index of an open session; throws Failure with CKR_DEVICE_REMOVED or
    // CKR_SESSION_HANDLE_INVALID.
    std::size_t slotOf(CK_SESSION_HANDLE session) const;

    CK_RV open(CK_SLOT_ID slot, CK_FLAGS flags, CK_SESSION_HANDLE& session);
    CK_RV close(CK_SESSION_HANDLE session);
    CK_RV closeAll(CK_SLOT_ID slot);
    CK_RV info(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_SESSION_INFO_PTR info) const;

    // Logins go through the slot's PIN retry counter.
    CK_RV login(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin,
                CK_ULONG pinLength);
    // Logs the session's token out, as another application sharing the login would (or the
    // token's own timeout). Answers the backend's return value.
    CK_RV logOut(CK_SESSION_HANDLE session);
    CK_RV initPin(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength);

    // A token that left takes its sessions and its login with it: the handles answer
    // CKR_DEVICE_REMOVED from now on and the backend's sessions close (unless the module ended).
    void tokenLeft(std::size_t slotIndex);

private:
    // Takes the slot's sessions out of the table; removed: their handles answer
    // CKR_DEVICE_REMOVED from now on.
    std::vector<CK_SESSION_HANDLE> drop(std::size_t slotIndex, bool removed);
    void forget(const std::vector<CK_SESSION_HANDLE>& sessions);

    const Backend& backend_;
    const Slots& slots_;
    PinCounter& pins_;
    const std::vector<SessionScoped*> scoped_;
    mutable std::mutex mutex_;
    std::map<CK_SESSION_HANDLE, std::size_t> open_;
    std::set<CK_SESSION_HANDLE> removed_;
};

}  // namespace virtual_token
