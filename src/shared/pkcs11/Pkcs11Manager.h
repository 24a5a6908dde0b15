#pragma once

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/Pkcs11Token.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace keyvane {

// Owns the module's initialisation, the table of open tokens by slot and the monitoring
// producer: a thread of its own that scans the slots once, then polls for slot events every
// pollInterval. The wait between polls happens on that thread, never on the PKCS#11 executor,
// so token operations run freely meanwhile.
//
// Modules that do not answer the slot-event poll (CKR_FUNCTION_NOT_SUPPORTED) are watched by
// comparing the list of slots with a token on each cycle instead.
class Pkcs11Manager final : public Pkcs11ManagerProtocol {
public:
    static constexpr std::chrono::milliseconds defaultPollInterval{500};

    // Initialises the module at once; a failure is retried when monitoring starts, and a second
    // failure ends that monitoring stream with the module's path and return value.
    explicit Pkcs11Manager(std::shared_ptr<Pkcs11Library> library,
                           std::chrono::milliseconds pollInterval = defaultPollInterval);
    // A manager without a module (it could not be loaded): every monitoring stream ends at once
    // with the loading error, and no token is ever found.
    explicit Pkcs11Manager(Pkcs11Error loadFailure);
    // Ends monitoring, waits for the producer to leave, then finalises the module.
    ~Pkcs11Manager() override;

    Pkcs11Manager(const Pkcs11Manager&) = delete;
    Pkcs11Manager& operator=(const Pkcs11Manager&) = delete;

    Pkcs11TokenEventStream startMonitoring() override;
    void stopMonitoring() override;
    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override;

private:
    using Continuation = Pkcs11TokenEventStream::Continuation;

    void produce(std::uint64_t generation, const Continuation& events);
    // Initialises the module unless that was done; a failure is thrown.
    void ensureInitialized();
    // Closes the sessions of tokens that left the table (or never entered it), logging out
    // first when asked. Results are ignored: the token may be gone already. Never called with
    // the mutex held.
    void closeSessions(const std::vector<Pkcs11Token>& tokens, bool logOutFirst = false);
    // Whether the producer of this generation may still change the table. Mutex held.
    bool isCurrentLocked(std::uint64_t generation) const {
        return isMonitoringEnabled_ && generation_ == generation;
    }
    // Waits one poll interval; false when the producer must end.
    bool waitForNextCycle(std::uint64_t generation);
    // A token arrived in the slot: opened, entered and announced. Failures are dropped. A token
    // already known in the slot is replaced and its session closed.
    void handleArrival(std::uint64_t generation, const Continuation& events, CK_SLOT_ID slot);
    // Something happened in the slot: the token known there leaves first, then the one present
    // now (if it opens) arrives, so a swap within one cycle reads as a removal and an arrival.
    void handleSlotEvent(std::uint64_t generation, const Continuation& events, CK_SLOT_ID slot);
    // One cycle of the slot-list comparison.
    void compareSlotLists(std::uint64_t generation, const Continuation& events, std::set<CK_SLOT_ID>& seen);
    void endProducer(std::unique_lock<std::mutex>& startLock);

    std::shared_ptr<Pkcs11Library> library_;
    std::optional<Pkcs11Error> loadFailure_;
    const std::chrono::milliseconds pollInterval_;

    // Serialises start, stop and destruction, and guards producer_.
    std::mutex startMutex_;
    std::thread producer_;

    // Guards everything below; never held across a library call.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::uint64_t, Pkcs11Token> availableTokens_;
    bool isMonitoringEnabled_ = false;
    bool isInitialized_ = false;
    std::uint64_t generation_ = 0; // the producer that may feed the table and the stream
    std::optional<Continuation> events_;
};

} // namespace keyvane
