#pragma once

#include "flowkeep/SerialExecutor.h"
#include "shared/errors/Error.h"
#include "shared/pkcs11/Pkcs11Functions.h"

#include <array>
#include <exception>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

namespace keyvane {

namespace detail {
template <class T>
struct Outcome {
    T value;
};
template <>
struct Outcome<void> {};
} // namespace detail

// One PKCS#11 module and the one thread on which every call into it runs.
//
// Calls are made one at a time on the executor; a whole token operation (an opening, a
// search from Init to Final, a login with its follow-up queries) runs as one job, so two
// operations never interleave on a shared session. Jobs may nest: a call made from the
// executor's own thread runs at once.
//
// The module is never unloaded: a loaded library is never finished while the program runs.
class Pkcs11Library {
public:
    // The path names the module in errors.
    explicit Pkcs11Library(Pkcs11Functions functions, std::string path = "<in-process module>");
    ~Pkcs11Library();

    Pkcs11Library(const Pkcs11Library&) = delete;
    Pkcs11Library& operator=(const Pkcs11Library&) = delete;

    // The module named by KEYVANE_PKCS11_MODULE, else the program's default (ModuleLocations).
    static std::string configuredModulePath();

    // Loads a module: dlopen, C_GetFunctionList, and the vendor function when it has one.
    // A module that cannot be loaded is a Pkcs11Error naming the module and the loader's
    // reason. Does not initialise it.
    static std::shared_ptr<Pkcs11Library> load(const std::string& path);

    // C_Initialize for operating-system locking. "Already initialised" counts as success;
    // any other failure is a Pkcs11Error naming the module's path, with its return value.
    void initialize();
    // C_Finalize; the result is ignored.
    void finalize();

    // The slots that hold a token (C_GetSlotList, token present).
    std::vector<CK_SLOT_ID> getSlotList();
    // Whether C_GetSlotInfo tells of a token in the slot; a failed query counts as no token.
    bool isTokenPresent(CK_SLOT_ID slot);
    // One slot event without waiting (C_WaitForSlotEvent with CKF_DONT_BLOCK): the slot, or
    // nothing when there is no event. Other failures are a Pkcs11Error.
    std::optional<CK_SLOT_ID> pollSlotEvent();
    // C_Logout and C_CloseSession, results ignored: for sessions that are given up.
    void logout(CK_SESSION_HANDLE session);
    void closeSession(CK_SESSION_HANDLE session);

    bool hasVendorFunction() const { return functions_.getTokenInfoExtended != nullptr; }
    // The vendor record of the slot, zero-filled with its size in the first word before the
    // call; the library's return value beside it.
    std::pair<CK_RV, std::array<std::uint8_t, 256>> getTokenInfoExtended(CK_SLOT_ID slot);

    // Calls one function of the list on the executor. A module that leaves an entry empty
    // answers CKR_FUNCTION_NOT_SUPPORTED rather than crashing.
    template <class Fn, class... Args>
    CK_RV call(Fn CK_FUNCTION_LIST::*member, Args... args) {
        return run([&]() -> CK_RV {
            const auto function = functions_.list->*member;
            if (function == nullptr) {
                return CKR_FUNCTION_NOT_SUPPORTED;
            }
            return function(args...);
        });
    }

    // Runs a job on the executor and waits for its result or exception. Errors of ours
    // cross threads as copies rather than as one shared exception object.
    template <class F>
    auto run(F&& job) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        if (executor_->isCurrent()) {
            return job();
        }
        std::shared_ptr<const Error> failure;
        std::exception_ptr foreign;
        const auto guarded = [&]() -> std::optional<detail::Outcome<Result>> {
            try {
                if constexpr (std::is_void_v<Result>) {
                    job();
                    return detail::Outcome<Result>{};
                } else {
                    return detail::Outcome<Result>{job()};
                }
            } catch (const Error& error) {
                failure = error.clone();
            } catch (...) {
                foreign = std::current_exception();
            }
            return std::nullopt;
        };
        auto outcome = executor_->run(guarded);
        if (failure) {
            failure->raise();
        }
        if (foreign) {
            std::rethrow_exception(foreign);
        }
        if constexpr (!std::is_void_v<Result>) {
            return std::move(outcome->value);
        }
    }

    bool isExecutorThread() const { return executor_->isCurrent(); }
    const std::string& path() const { return path_; }

private:
    Pkcs11Functions functions_;
    std::string path_;
    std::unique_ptr<flowkeep::SerialExecutor> executor_;
};

} // namespace keyvane
