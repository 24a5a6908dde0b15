#include "SharedStore.h"

#include "Files.h"
#include "Reply.h"
#include "Slots.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <set>

namespace virtual_token {

namespace {

// The lock of one call: its own open file description, so that threads of one process are
// ordered by it as processes are.
class StoreLock {
public:
    StoreLock(const std::filesystem::path& path, bool exclusive)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (fd_ < 0) {
            complain("the store's lock " + path.string() + " cannot be opened");
            throw Failure{CKR_GENERAL_ERROR};
        }
        while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                complain("the store's lock " + path.string() + " cannot be taken");
                throw Failure{CKR_GENERAL_ERROR};
            }
        }
    }
    ~StoreLock() { ::close(fd_); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_;
};

}  // namespace

SharedStore::SharedStore(const Backend& backend, const Slots& slots, std::filesystem::path lockPath)
    : backend_(backend), slots_(slots), lockPath_(std::move(lockPath)) {}

SharedStore::Access SharedStore::accessOf(const std::string& function) {
    static const std::set<std::string> writes = {
        "C_CreateObject", "C_CopyObject",  "C_DestroyObject", "C_SetAttributeValue", "C_GenerateKey",
        "C_GenerateKeyPair", "C_UnwrapKey", "C_DeriveKey",  "C_Login",             "C_InitPIN",
        "C_SetPIN",
    };
    // A blocking slot-event wait, and a signature that waits for the touch.
    static const std::set<std::string> waits = {"C_WaitForSlotEvent", "C_Sign", "C_SignFinal"};
    if (writes.contains(function)) {
        return Access::write;
    }
    return waits.contains(function) ? Access::none : Access::read;
}

CK_RV SharedStore::run(Access access, std::optional<std::size_t> slotIndex, const std::function<CK_RV()>& call) const {
    if (access == Access::none) {
        return call();
    }
    const StoreLock lock(lockPath_, access == Access::write);
    if (access == Access::write && slotIndex) {
        refreshView(*slotIndex);
    }
    return call();
}

void SharedStore::refreshView(std::size_t slotIndex) const {
    // A search of a session of its own (the caller's may have one running) makes the backend
    // look at the store's change counter and re-read the store when it moved.
    CK_SESSION_HANDLE session = 0;
    if (backend_->C_OpenSession(slots_.backing(slotIndex), CKF_SERIAL_SESSION, nullptr, nullptr, &session) != CKR_OK) {
        return;  // the write itself will meet what is wrong
    }
    if (backend_->C_FindObjectsInit(session, nullptr, 0) == CKR_OK) {
        backend_->C_FindObjectsFinal(session);
    }
    backend_->C_CloseSession(session);
}

}  // namespace virtual_token
