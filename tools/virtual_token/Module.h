// The state of one initialised virtual token module: the backing SoftHSM2 module, the virtual
// slots with their presence and PIN retry counters, the open sessions with the operations that
// are emulated here, injected faults and the call log.
#pragma once

#include "Config.h"

#include <p11-kit/pkcs11.h>
#include <openssl/evp.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace virtual_token {

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

// A read-only object that exists only in this module (the hardware-feature objects).
struct VirtualObject {
    CK_OBJECT_HANDLE handle = 0;
    std::vector<std::pair<CK_ATTRIBUTE_TYPE, std::string>> attributes;

    const std::string* find(CK_ATTRIBUTE_TYPE type) const;
};

struct SlotState {
    SlotConfig config;
    CK_SLOT_ID backing = 0;
    bool present = true;
    std::uint64_t events = 0;
    // What C_WaitForSlotEvent last told the caller about this slot.
    bool reportedPresent = true;
    std::uint64_t reportedEvents = 0;
    CK_ULONG attemptsLeft = 0;
    ControlSlot control;
};

struct SessionState {
    std::size_t slotIndex = 0;
    bool finding = false;
    std::deque<CK_OBJECT_HANDLE> pendingVirtual;
    // Set while a sign or verify operation hashes here and lets the backend handle the digest.
    Digest signHash;
    Digest verifyHash;
};

struct ActiveFault {
    FaultRule rule;
    std::uint64_t seen = 0;
};

struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

class Module {
public:
    explicit Module(Config config);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads and initialises the backend and finds each slot's backing token; a failure leaves a
    // message on stderr and answers the return value for C_Initialize.
    CK_RV start();
    void stop();

    // Called at the start of every entry point, with the lock held.
    void refreshControl();
    std::optional<CK_RV> takeFault(const std::string& function);
    void log(const char* function, const std::string& target, CK_RV rv);

    std::optional<std::size_t> slotIndex(CK_SLOT_ID slot) const;
    std::vector<VirtualObject> virtualObjects(std::size_t slotIndex) const;
    bool mechanismHidden(std::size_t slotIndex, CK_MECHANISM_TYPE mechanism) const;
    void invalidateSessions(std::size_t slotIndex);
    void saveAttempts();

    bool touchRejects(const SlotState& slot) const;
    unsigned touchDelayMs(const SlotState& slot) const;

    std::mutex mutex;
    std::condition_variable slotEvent;
    bool finalized = false;
    Config config;
    CK_FUNCTION_LIST_PTR backend = nullptr;
    std::vector<SlotState> slots;
    std::map<CK_SESSION_HANDLE, SessionState> sessions;
    std::set<CK_SESSION_HANDLE> removedSessions;

private:
    void applyControl(const Control& control);
    void loadAttempts();

    bool ownsBackendInitialization_ = false;
    FileStamp controlStamp_;
    std::vector<ActiveFault> configFaults_;
    std::vector<ActiveFault> controlFaults_;
    std::mutex logMutex_;
    int logFd_ = -1;
    std::uint64_t logSequence_ = 0;
};

// Used by the entry points for the process's current module (empty when not initialised).
std::shared_ptr<Module> currentModule();

}  // namespace virtual_token
