// One initialised virtual token module: the units that make it up, its control file and the
// one thing every entry point does around its work (re-read the control file, apply a due
// fault, log the call). Each unit owns its state and its lock; the module's own lock only makes
// reading and applying a control-file change one step, and orders it with the module's end.
//
// Lock order: the control lock, then any unit's lock. A unit never calls another unit or the
// backend while it holds its own lock, so backend calls, touch waits and blocking slot-event
// waits hold up nobody. The store's lock of all processes (SharedStore) is taken around a
// call's work, after the control file was applied and with no lock of ours held; it is held
// across backend calls but never across a wait of ours.
#pragma once

#include "Backend.h"
#include "CallLog.h"
#include "Config.h"
#include "ControlFile.h"
#include "Faults.h"
#include "Objects.h"
#include "PinCounter.h"
#include "Sessions.h"
#include "SharedStore.h"
#include "Signing.h"
#include "Slots.h"

#include <mutex>
#include <optional>
#include <string>

namespace virtual_token {

class Module {
public:
    // Reads the control file and the PIN counters; the backend is not loaded yet.
    explicit Module(Config config);
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads and initialises the backend and finds each slot's backing token; a failure leaves a
    // message on stderr and answers the return value for C_Initialize.
    CK_RV start();
    // Ends blocking slot-event waits, saves the PIN counters and finalises the backend.
    void stop();

    // Applies a change of the control file (hot-plug, touch, memory, faults).
    void refreshControl();
    // Counts one call of the function and carries out a fault that is due: its wait, the
    // logout of the session's token (a call without a session then fails), and the return
    // value to answer instead of running the call, if it has one.
    std::optional<CK_RV> injectedFault(const std::string& function, std::optional<CK_SESSION_HANDLE> session);
    void record(const char* function, const std::string& target, CK_RV rv);

    CK_RV info(CK_INFO& info) const;
    CK_RV waitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID& slot);

    const Backend& backend() const { return backend_; }
    Slots& slots() { return slots_; }
    Sessions& sessions() { return sessions_; }
    Objects& objects() { return objects_; }
    Signing& signing() { return signing_; }
    const SharedStore& store() const { return store_; }

private:
    CK_RV startBackend();

    const Config config_;
    CallLog log_;
    Faults faults_;
    Backend backend_;
    PinCounter pins_;
    Slots slots_;
    Objects objects_;
    Signing signing_;
    Sessions sessions_;
    SharedStore store_;
    std::mutex controlMutex_;
    ControlFile control_;
};

}  // namespace virtual_token
