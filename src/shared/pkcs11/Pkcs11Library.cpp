#include "shared/pkcs11/Pkcs11Library.h"

#include "shared/pkcs11/ModuleLocations.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Vendor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace keyvane {

namespace {

[[noreturn]] void failLoading(const std::string& path, const std::string& reason, int line,
                              std::optional<std::uint64_t> rv = std::nullopt) {
    throw Pkcs11Error::internal("loadModule(path:)",
                                {.rv = rv, .desc = "cannot load the PKCS#11 module '" + path + "': " + reason}, line);
}

std::string loaderReason() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

} // namespace

Pkcs11Library::Pkcs11Library(Pkcs11Functions functions, std::string path)
    : functions_(functions), path_(std::move(path)), executor_(std::make_unique<flowkeep::SerialExecutor>("pkcs11")) {}

Pkcs11Library::~Pkcs11Library() { executor_->stop(); }

std::string Pkcs11Library::configuredModulePath() {
    if (const char* path = std::getenv("KEYVANE_PKCS11_MODULE"); path != nullptr && *path != '\0') {
        return path;
    }
    return ModuleLocations::ofThisProgram().defaultModule.string();
}

std::shared_ptr<Pkcs11Library> Pkcs11Library::load(const std::string& path) {
    if (path.empty()) {
        failLoading(path, "no module is configured (set KEYVANE_PKCS11_MODULE)", sourceLine());
    }
    dlerror();
    // Never closed: the library stays loaded for the life of the process.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        failLoading(path, loaderReason(), sourceLine());
    }
    dlerror();
    auto* getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
    if (getFunctionList == nullptr) {
        failLoading(path, "it has no C_GetFunctionList: " + loaderReason(), sourceLine());
    }
    Pkcs11Functions functions;
    if (const CK_RV rv = getFunctionList(&functions.list); rv != CKR_OK || functions.list == nullptr) {
        failLoading(path, "C_GetFunctionList failed", sourceLine(), rv);
    }
    functions.getTokenInfoExtended = reinterpret_cast<Pkcs11GetTokenInfoExtended>(
        dlsym(handle, pkcs11_vendor::getTokenInfoExtendedSymbol));
    dlerror();
    return std::make_shared<Pkcs11Library>(functions, path);
}

void Pkcs11Library::initialize() {
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.flags = CKF_OS_LOCKING_OK;
    const CK_RV rv = call(&CK_FUNCTION_LIST::C_Initialize, static_cast<CK_VOID_PTR>(&arguments));
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        throw Pkcs11Error::internal("initialize()",
                                    {.rv = rv, .desc = "the PKCS#11 module '" + path_ + "' failed to initialise"});
    }
}

void Pkcs11Library::finalize() { call(&CK_FUNCTION_LIST::C_Finalize, static_cast<CK_VOID_PTR>(nullptr)); }

std::vector<CK_SLOT_ID> Pkcs11Library::getSlotList() {
    return run([&] {
        // A token that arrives between the two calls makes the list too short for the second
        // one: count again rather than give up monitoring.
        constexpr int attempts = 8;
        for (int attempt = 1;; ++attempt) {
            CK_ULONG count = 0;
            if (const CK_RV rv =
                    call(&CK_FUNCTION_LIST::C_GetSlotList, CK_BBOOL(CK_TRUE), CK_SLOT_ID_PTR(nullptr), &count);
                rv != CKR_OK) {
                throw Pkcs11Error::internal("startMonitoring()", {.rv = rv});
            }
            std::vector<CK_SLOT_ID> slots(count);
            if (count == 0) {
                return slots;
            }
            const CK_RV rv = call(&CK_FUNCTION_LIST::C_GetSlotList, CK_BBOOL(CK_TRUE), slots.data(), &count);
            if (rv == CKR_BUFFER_TOO_SMALL && attempt < attempts) {
                continue;
            }
            if (rv != CKR_OK) {
                throw Pkcs11Error::internal("startMonitoring()", {.rv = rv});
            }
            // A module may answer fewer slots the second time; never more than the list holds.
            slots.resize(std::min<std::size_t>(count, slots.size()));
            return slots;
        }
    });
}

bool Pkcs11Library::isTokenPresent(CK_SLOT_ID slot) {
    CK_SLOT_INFO info{};
    return call(&CK_FUNCTION_LIST::C_GetSlotInfo, slot, &info) == CKR_OK && (info.flags & CKF_TOKEN_PRESENT) != 0;
}

std::optional<CK_SLOT_ID> Pkcs11Library::pollSlotEvent() {
    CK_SLOT_ID slot = 0;
    const CK_RV rv =
        call(&CK_FUNCTION_LIST::C_WaitForSlotEvent, CK_FLAGS(CKF_DONT_BLOCK), &slot, static_cast<CK_VOID_PTR>(nullptr));
    if (rv == CKR_NO_EVENT) {
        return std::nullopt;
    }
    if (rv != CKR_OK) {
        throw Pkcs11Error::internal("startMonitoring()", {.rv = rv});
    }
    return slot;
}

void Pkcs11Library::logout(CK_SESSION_HANDLE session) { call(&CK_FUNCTION_LIST::C_Logout, session); }

void Pkcs11Library::closeSession(CK_SESSION_HANDLE session) { call(&CK_FUNCTION_LIST::C_CloseSession, session); }

std::pair<CK_RV, std::array<std::uint8_t, 256>> Pkcs11Library::getTokenInfoExtended(CK_SLOT_ID slot) {
    std::array<std::uint8_t, pkcs11_vendor::extendedInfoSize> record{};
    const std::uint64_t size = record.size();
    std::memcpy(record.data(), &size, sizeof size);
    if (functions_.getTokenInfoExtended == nullptr) {
        return {CKR_FUNCTION_NOT_SUPPORTED, record};
    }
    const CK_RV rv = run([&] { return functions_.getTokenInfoExtended(slot, record.data()); });
    return {rv, record};
}

} // namespace keyvane
