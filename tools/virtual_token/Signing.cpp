#include "Signing.h"

#include "Slots.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace virtual_token {
namespace {

// Whether a single-part call ended the operation (it stays for a length query or a short buffer).
bool operationEnded(CK_RV rv, const void* output) {
    return rv == CKR_OK ? output != nullptr : rv != CKR_BUFFER_TOO_SMALL;
}

}  // namespace

Signing::Signing(const Backend& backend, const Slots& slots) : backend_(backend), slots_(slots) {}

Signing::Digest Signing::newSha256() {
    Digest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 unavailable");
    }
    return digest;
}

Signing::Sha256 Signing::finishCopy(const EVP_MD_CTX* context) {
    Digest copy(EVP_MD_CTX_new());
    Sha256 digest{};
    unsigned length = 0;
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), context) != 1 ||
        EVP_DigestFinal_ex(copy.get(), digest.data(), &length) != 1 || length != digest.size()) {
        throw std::runtime_error("SHA-256 failed");
    }
    return digest;
}

Signing::Sha256 Signing::sha256(const unsigned char* data, CK_ULONG length) {
    auto context = newSha256();
    if (length > 0 && EVP_DigestUpdate(context.get(), data, length) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
    return finishCopy(context.get());
}

template <typename BackendInit>
CK_RV Signing::start(CK_SESSION_HANDLE session, std::size_t index, Operation operation,
                     CK_MECHANISM_PTR mechanism, BackendInit&& backendInit) {
    slots_.requireMechanism(index, mechanism->mechanism);
    const bool hashing = mechanism->mechanism == CKM_ECDSA_SHA256;
    CK_MECHANISM ecdsa{CKM_ECDSA, nullptr, 0};
    const CK_RV rv = backendInit(hashing ? &ecdsa : mechanism);
    // A refused start (an operation already active, say) leaves that operation as it was.
    if (rv != CKR_OK) {
        return rv;
    }
    std::lock_guard lock(mutex_);
    running_[session].of(operation) = hashing ? newSha256() : Digest{};
    return rv;
}

bool Signing::hashed(CK_SESSION_HANDLE session, Operation operation) {
    std::lock_guard lock(mutex_);
    const auto it = running_.find(session);
    return it != running_.end() && it->second.of(operation);
}

std::optional<Signing::Sha256> Signing::runningDigest(CK_SESSION_HANDLE session, Operation operation) {
    std::lock_guard lock(mutex_);
    const auto it = running_.find(session);
    if (it == running_.end() || !it->second.of(operation)) {
        return std::nullopt;
    }
    return finishCopy(it->second.of(operation).get());
}

std::optional<CK_RV> Signing::update(CK_SESSION_HANDLE session, Operation operation, CK_BYTE_PTR part,
                                     CK_ULONG length) {
    std::lock_guard lock(mutex_);
    const auto it = running_.find(session);
    if (it == running_.end() || !it->second.of(operation)) {
        return std::nullopt;
    }
    if (!part && length > 0) {
        return CKR_ARGUMENTS_BAD;
    }
    if (length > 0 && EVP_DigestUpdate(it->second.of(operation).get(), part, length) != 1) {
        return CKR_GENERAL_ERROR;
    }
    return CKR_OK;
}

void Signing::end(CK_SESSION_HANDLE session, Operation operation) {
    std::lock_guard lock(mutex_);
    if (const auto it = running_.find(session); it != running_.end()) {
        it->second.of(operation).reset();
    }
}

void Signing::forget(CK_SESSION_HANDLE session) {
    std::lock_guard lock(mutex_);
    running_.erase(session);
}

CK_RV Signing::signDigest(CK_SESSION_HANDLE session, Sha256 digest, CK_BYTE_PTR signature,
                          CK_ULONG_PTR signatureLength) {
    const CK_RV rv = backend_->C_Sign(session, digest.data(), digest.size(), signature, signatureLength);
    if (operationEnded(rv, signature)) {
        end(session, Operation::sign);
    }
    return rv;
}

CK_RV Signing::touched(std::size_t index, CK_RV rv, CK_BYTE_PTR signature, CK_ULONG_PTR length) const {
    // Length queries and failures never wait.
    if (rv != CKR_OK || !signature) {
        return rv;
    }
    const auto touch = slots_.touch(index);
    if (!touch) {
        return CKR_OK;
    }
    if (touch->delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(touch->delayMs));
    }
    if (touch->reject) {
        std::memset(signature, 0, *length);
        *length = 0;
        return CKR_FUNCTION_REJECTED;
    }
    return CKR_OK;
}

CK_RV Signing::signInit(CK_SESSION_HANDLE session, std::size_t index, CK_MECHANISM_PTR mechanism,
                        CK_OBJECT_HANDLE key) {
    return start(session, index, Operation::sign, mechanism,
                 [&](CK_MECHANISM_PTR used) { return backend_->C_SignInit(session, used, key); });
}

CK_RV Signing::sign(CK_SESSION_HANDLE session, std::size_t index, CK_BYTE_PTR data, CK_ULONG dataLength,
                    CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength) {
    CK_RV rv = CKR_OK;
    if (hashed(session, Operation::sign)) {
        if (!data && dataLength > 0) {
            return CKR_ARGUMENTS_BAD;
        }
        rv = signDigest(session, sha256(data, dataLength), signature, signatureLength);
    } else {
        rv = backend_->C_Sign(session, data, dataLength, signature, signatureLength);
    }
    return touched(index, rv, signature, signatureLength);
}

CK_RV Signing::signUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    if (auto rv = update(session, Operation::sign, part, length)) {
        return *rv;
    }
    return backend_->C_SignUpdate(session, part, length);
}

CK_RV Signing::signFinal(CK_SESSION_HANDLE session, std::size_t index, CK_BYTE_PTR signature,
                         CK_ULONG_PTR signatureLength) {
    CK_RV rv = CKR_OK;
    if (auto digest = runningDigest(session, Operation::sign)) {
        rv = signDigest(session, *digest, signature, signatureLength);
    } else {
        rv = backend_->C_SignFinal(session, signature, signatureLength);
    }
    return touched(index, rv, signature, signatureLength);
}

CK_RV Signing::verifyInit(CK_SESSION_HANDLE session, std::size_t index, CK_MECHANISM_PTR mechanism,
                          CK_OBJECT_HANDLE key) {
    return start(session, index, Operation::verify, mechanism,
                 [&](CK_MECHANISM_PTR used) { return backend_->C_VerifyInit(session, used, key); });
}

CK_RV Signing::verify(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
                      CK_ULONG signatureLength) {
    if (hashed(session, Operation::verify)) {
        if (!data && dataLength > 0) {
            return CKR_ARGUMENTS_BAD;
        }
        auto digest = sha256(data, dataLength);
        end(session, Operation::verify);
        return backend_->C_Verify(session, digest.data(), digest.size(), signature, signatureLength);
    }
    return backend_->C_Verify(session, data, dataLength, signature, signatureLength);
}

CK_RV Signing::verifyUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    if (auto rv = update(session, Operation::verify, part, length)) {
        return *rv;
    }
    return backend_->C_VerifyUpdate(session, part, length);
}

CK_RV Signing::verifyFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG signatureLength) {
    if (auto digest = runningDigest(session, Operation::verify)) {
        end(session, Operation::verify);
        return backend_->C_Verify(session, digest->data(), digest->size(), signature, signatureLength);
    }
    return backend_->C_VerifyFinal(session, signature, signatureLength);
}

}  // namespace virtual_token
