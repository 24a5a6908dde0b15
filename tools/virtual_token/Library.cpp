#include "Library.h"

#include "Files.h"

#include <cstdlib>
#include <exception>

namespace virtual_token {

Library& Library::instance() {
    static Library library;
    return library;
}

std::shared_ptr<Module> Library::current() {
    std::lock_guard lock(mutex_);
    return module_;
}

CK_RV Library::initialize(CK_RV arguments) {
    std::lock_guard lock(mutex_);
    if (module_) {
        module_->record("C_Initialize", "", CKR_CRYPTOKI_ALREADY_INITIALIZED);
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    }
    if (arguments != CKR_OK) {
        return arguments;
    }
    const char* path = std::getenv("KEYVANE_VIRTUAL_TOKEN_CONFIG");
    if (!path || !*path) {
        complain("KEYVANE_VIRTUAL_TOKEN_CONFIG names no configuration");
        return CKR_GENERAL_ERROR;
    }
    std::shared_ptr<Module> created;
    try {
        created = std::make_shared<Module>(readConfig(path));
    } catch (const std::exception& error) {
        complain(error.what());
        return CKR_GENERAL_ERROR;
    }
    const auto injected = created->injectedFault("C_Initialize", std::nullopt);
    const CK_RV rv = injected ? *injected : created->start();
    created->record("C_Initialize", "", rv);
    if (rv == CKR_OK) {
        module_ = std::move(created);
    }
    return rv;
}

CK_RV Library::finalize(CK_RV arguments) {
    std::shared_ptr<Module> finished;
    {
        std::lock_guard lock(mutex_);
        if (!module_) {
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        }
        if (arguments != CKR_OK) {
            return arguments;
        }
        if (const auto injected = module_->injectedFault("C_Finalize", std::nullopt)) {
            module_->record("C_Finalize", "", *injected);
            return *injected;
        }
        finished = std::move(module_);
    }
    finished->stop();
    finished->record("C_Finalize", "", CKR_OK);
    return CKR_OK;
}

}  // namespace virtual_token
