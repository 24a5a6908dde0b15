#include "Module.h"

#include "Files.h"
#include "Reply.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#ifndef KEYVANE_SOFTHSM2_MODULE
#define KEYVANE_SOFTHSM2_MODULE "/usr/lib/softhsm/libsofthsm2.so"
#endif

namespace virtual_token {

Module::Module(Config config)
    : config_(std::move(config)),
      log_(config_.log),
      faults_(config_.faults),
      pins_(config_.slots, config_.state),
      slots_(config_.slots, backend_, pins_),
      objects_(backend_, slots_),
      signing_(backend_, slots_),
      sessions_(backend_, slots_, pins_, {&objects_, &signing_}),
      store_(backend_, slots_, config_.path.parent_path() / "store.lock"),
      control_(config_.control) {
    refreshControl();
    slots_.markReported();
}

CK_RV Module::start() {
    // The backend reads every token's files as it starts: not while another process writes them.
    return store_.run(SharedStore::Access::read, std::nullopt, [&] { return startBackend(); });
}

CK_RV Module::startBackend() {
    std::string path = KEYVANE_SOFTHSM2_MODULE;
    if (!config_.backend.empty()) {
        path = config_.backend;
    }
    if (const char* override = std::getenv("KEYVANE_VIRTUAL_TOKEN_BACKEND"); override && *override) {
        path = override;
    }
    if (const CK_RV rv = backend_.start(path); rv != CKR_OK) {
        return rv;
    }
    try {
        if (!slots_.bind()) {
            stop();
            return CKR_GENERAL_ERROR;
        }
    } catch (const Failure& failure) {
        complain("the backend cannot list its slots");
        stop();
        return failure.rv;
    }
    return CKR_OK;
}

void Module::stop() {
    {
        // A control-file change applied from here on closes no backend session.
        std::lock_guard lock(controlMutex_);
        slots_.finish();
    }
    pins_.save();
    backend_.stop();
}

void Module::refreshControl() {
    std::lock_guard lock(controlMutex_);
    const auto control = control_.changed();
    if (!control) {
        return;
    }
    faults_.replaceControlled(control->faults);
    for (const auto index : slots_.applyControl(control->slots)) {
        sessions_.tokenLeft(index);
    }
}

std::optional<CK_RV> Module::injectedFault(const std::string& function, std::optional<CK_SESSION_HANDLE> session) {
    const auto fault = faults_.take(function);
    if (!fault) {
        return std::nullopt;
    }
    if (fault->delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(fault->delayMs));
    }
    if (fault->logout) {
        if (!session) {
            complain("a logout fault on " + function + ", which takes no session");
            return CKR_GENERAL_ERROR;
        }
        sessions_.logOut(*session);
    }
    return fault->rv;
}

void Module::record(const char* function, const std::string& target, CK_RV rv) {
    log_.record(function, target, rv);
}

CK_RV Module::info(CK_INFO& info) const {
    const CK_RV rv = backend_->C_GetInfo(&info);
    if (rv == CKR_OK) {
        info.cryptokiVersion = {2, 40};
        setField(info.manufacturerID, "Keyvane");
        setField(info.libraryDescription, "Keyvane virtual token");
        info.libraryVersion = {0, 1};
    }
    return rv;
}

CK_RV Module::waitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID& slot) {
    while (true) {
        refreshControl();
        if (const auto rv = slots_.nextEvent(!(flags & CKF_DONT_BLOCK), slot)) {
            return *rv;
        }
    }
}

}  // namespace virtual_token
