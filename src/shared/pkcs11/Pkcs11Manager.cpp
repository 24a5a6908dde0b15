#include "shared/pkcs11/Pkcs11Manager.h"

#include "shared/pkcs11/DeferredPkcs11Manager.h"

#include <vector>

namespace keyvane {

Pkcs11Manager::Pkcs11Manager(std::shared_ptr<Pkcs11Library> library, std::chrono::milliseconds pollInterval)
    : library_(std::move(library)), pollInterval_(pollInterval) {
    try {
        ensureInitialized();
    } catch (const Pkcs11Error&) {
        // Tried again when monitoring starts, whose stream then ends with the module's answer.
    }
}

Pkcs11Manager::Pkcs11Manager(Pkcs11Error loadFailure)
    : loadFailure_(std::move(loadFailure)), pollInterval_(defaultPollInterval) {}

Pkcs11Manager::~Pkcs11Manager() {
    std::unique_lock startLock(startMutex_);
    {
        std::lock_guard lock(mutex_);
        isMonitoringEnabled_ = false;
        ++generation_;
        if (events_) {
            events_->finish();
            events_.reset();
        }
    }
    endProducer(startLock);
    std::vector<Pkcs11Token> forgotten;
    for (auto& [slot, token] : availableTokens_) {
        forgotten.push_back(std::move(token));
    }
    availableTokens_.clear();
    if (library_ && isInitialized_) {
        closeSessions(forgotten);
        library_->finalize();
    }
}

void Pkcs11Manager::ensureInitialized() {
    if (!library_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (isInitialized_) {
            return;
        }
    }
    library_->initialize();
    std::lock_guard lock(mutex_);
    isInitialized_ = true;
}

void Pkcs11Manager::closeSessions(const std::vector<Pkcs11Token>& tokens, bool logOutFirst) {
    for (const auto& token : tokens) {
        if (logOutFirst) {
            library_->logout(token.sessionHandle());
        }
        // A token with a limit on open sessions would otherwise stop appearing after a few
        // stops, removals or swaps.
        library_->closeSession(token.sessionHandle());
    }
}

void Pkcs11Manager::endProducer(std::unique_lock<std::mutex>& startLock) {
    (void)startLock; // held by the caller: nobody starts another producer meanwhile
    wake_.notify_all();
    if (producer_.joinable()) {
        producer_.join();
    }
}

Pkcs11TokenEventStream Pkcs11Manager::startMonitoring() {
    std::unique_lock startLock(startMutex_);
    auto [stream, events] = Pkcs11TokenEventStream::make();
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        // An earlier producer ends before this one starts, so no two ever share the table
        // or split the events between two streams.
        ++generation_;
        if (events_) {
            events_->finish();
        }
        events_ = events;
    }
    endProducer(startLock);
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
        isMonitoringEnabled_ = true;
    }
    producer_ = std::thread([this, generation, events = std::move(events)] { produce(generation, events); });
    return stream;
}

void Pkcs11Manager::stopMonitoring() {
    std::unique_lock startLock(startMutex_);
    std::vector<Pkcs11Token> forgotten;
    {
        std::lock_guard lock(mutex_);
        isMonitoringEnabled_ = false;
        ++generation_;
        if (events_) {
            events_->finish();
            events_.reset();
        }
        // Taken out at once: no producer may enter a token any more (the generation moved on).
        for (auto& [slot, token] : availableTokens_) {
            forgotten.push_back(std::move(token));
        }
        availableTokens_.clear();
    }
    wake_.notify_all();
    closeSessions(forgotten, true);
}

std::shared_ptr<Pkcs11TokenProtocol> Pkcs11Manager::getToken(const std::string& serial) {
    std::lock_guard lock(mutex_);
    for (const auto& [slot, token] : availableTokens_) {
        if (token.serial() == serial) {
            return std::make_shared<Pkcs11Token>(token);
        }
    }
    return nullptr;
}

bool Pkcs11Manager::waitForNextCycle(std::uint64_t generation) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, pollInterval_, [&] { return !isCurrentLocked(generation); });
    return isCurrentLocked(generation);
}

void Pkcs11Manager::produce(std::uint64_t generation, const Continuation& events) {
    try {
        if (loadFailure_) {
            throw *loadFailure_;
        }
        ensureInitialized();

        std::set<CK_SLOT_ID> seen; // slots with a token, for the slot-list comparison
        for (const auto slot : library_->getSlotList()) {
            if (!library_->isTokenPresent(slot)) {
                continue;
            }
            seen.insert(slot);
            handleArrival(generation, events, slot);
        }

        bool pollsSlotEvents = true;
        while (waitForNextCycle(generation)) {
            if (pollsSlotEvents) {
                std::optional<CK_SLOT_ID> slot;
                try {
                    slot = library_->pollSlotEvent();
                } catch (const Pkcs11Error& error) {
                    const auto* internal = error.as<Pkcs11Error::internalError>();
                    if (internal == nullptr || internal->rv != CKR_FUNCTION_NOT_SUPPORTED) {
                        throw;
                    }
                    pollsSlotEvents = false;
                }
                if (slot) {
                    handleSlotEvent(generation, events, *slot);
                }
            }
            if (!pollsSlotEvents) {
                compareSlotLists(generation, events, seen);
            }
        }
        events.finish();
    } catch (const Pkcs11Error& error) {
        events.finish(error);
    } catch (const std::exception& error) {
        events.finish(Pkcs11Error::internal("startMonitoring()", {.desc = error.what()}));
    }
}

void Pkcs11Manager::handleArrival(std::uint64_t generation, const Continuation& events, CK_SLOT_ID slot) {
    std::optional<Pkcs11Token> token;
    try {
        token = Pkcs11Token::open(library_, slot);
    } catch (const std::exception&) {
        return; // an unsupported or unreadable token is never listed
    }
    std::vector<Pkcs11Token> forgotten;
    {
        std::lock_guard lock(mutex_);
        if (!isCurrentLocked(generation)) {
            forgotten.push_back(std::move(*token)); // opened after a stop: nobody will use it
        } else {
            if (const auto known = availableTokens_.find(slot); known != availableTokens_.end()) {
                forgotten.push_back(std::move(known->second));
            }
            availableTokens_.insert_or_assign(slot, *token);
            events.yield(pkcs11_token_event::added{token->serial()});
        }
    }
    closeSessions(forgotten);
}

void Pkcs11Manager::handleSlotEvent(std::uint64_t generation, const Continuation& events, CK_SLOT_ID slot) {
    std::optional<Pkcs11Token> token;
    if (library_->isTokenPresent(slot)) {
        try {
            token = Pkcs11Token::open(library_, slot);
        } catch (const std::exception&) {
            // Not listed; whatever was known in the slot still leaves below, since the event
            // says the slot changed and its old session is gone.
        }
    }
    std::vector<Pkcs11Token> forgotten;
    {
        std::lock_guard lock(mutex_);
        if (!isCurrentLocked(generation)) {
            if (token) {
                forgotten.push_back(std::move(*token));
            }
        } else {
            if (const auto known = availableTokens_.find(slot); known != availableTokens_.end()) {
                const std::string serial = known->second.serial();
                forgotten.push_back(std::move(known->second));
                availableTokens_.erase(known);
                events.yield(pkcs11_token_event::removed{serial});
            }
            if (token) {
                availableTokens_.insert_or_assign(slot, *token);
                events.yield(pkcs11_token_event::added{token->serial()});
            }
        }
    }
    closeSessions(forgotten);
}

void Pkcs11Manager::compareSlotLists(std::uint64_t generation, const Continuation& events,
                                     std::set<CK_SLOT_ID>& seen) {
    const auto list = library_->getSlotList();
    const std::set<CK_SLOT_ID> present(list.begin(), list.end());
    for (const auto slot : seen) {
        if (present.count(slot) == 0) {
            handleSlotEvent(generation, events, slot); // no token now: a removal at most
        }
    }
    for (const auto slot : present) {
        if (seen.count(slot) == 0) {
            handleArrival(generation, events, slot);
        }
    }
    seen = present;
}

std::shared_ptr<Pkcs11ManagerProtocol> makeLivePkcs11Manager() {
    return std::make_shared<DeferredPkcs11Manager>([]() -> std::shared_ptr<Pkcs11ManagerProtocol> {
        try {
            return std::make_shared<Pkcs11Manager>(Pkcs11Library::load(Pkcs11Library::configuredModulePath()));
        } catch (const Pkcs11Error& error) {
            return std::make_shared<Pkcs11Manager>(error);
        }
    });
}

} // namespace keyvane
