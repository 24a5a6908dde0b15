#include "Backend.h"

#include "Files.h"
#include "Reply.h"

#include <dlfcn.h>

#include <cstdio>

namespace virtual_token {
namespace {

std::string trimmed(const unsigned char* field, std::size_t width) {
    std::string text(reinterpret_cast<const char*>(field), width);
    const auto end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string{} : text.substr(0, end + 1);
}

std::string hex(CK_RV rv) {
    char text[32];
    std::snprintf(text, sizeof text, "%lx", rv);
    return text;
}

}  // namespace

CK_RV Backend::start(const std::string& path) {
    // Never closed: the backend may keep thread-local or static state past its C_Finalize.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = ::dlerror();
        complain("cannot load the backend " + path + ": " + (error ? error : "unknown error"));
        return CKR_GENERAL_ERROR;
    }
    auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library, "C_GetFunctionList"));
    if (!getFunctionList || getFunctionList(&functions_) != CKR_OK || !functions_) {
        complain("the backend " + path + " has no function list");
        return CKR_GENERAL_ERROR;
    }
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.flags = CKF_OS_LOCKING_OK;
    const CK_RV initialized = functions_->C_Initialize(&arguments);
    if (initialized != CKR_OK && initialized != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        complain("the backend's C_Initialize failed with 0x" + hex(initialized));
        return initialized;
    }
    ownsInitialization_ = initialized == CKR_OK;
    return CKR_OK;
}

void Backend::stop() {
    if (functions_ && ownsInitialization_) {
        functions_->C_Finalize(nullptr);
    }
    ownsInitialization_ = false;
}

std::vector<CK_SLOT_ID> Backend::tokenSlots() const {
    return fetchList<CK_SLOT_ID>(
        [&](CK_SLOT_ID_PTR list, CK_ULONG_PTR count) { return functions_->C_GetSlotList(CK_TRUE, list, count); });
}

std::optional<CK_SLOT_ID> Backend::tokenLabelled(const std::vector<CK_SLOT_ID>& among, const std::string& label) const {
    for (const CK_SLOT_ID candidate : among) {
        CK_TOKEN_INFO info{};
        if (functions_->C_GetTokenInfo(candidate, &info) == CKR_OK && trimmed(info.label, sizeof info.label) == label) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace virtual_token
