// Signing and verifying. CKM_ECDSA_SHA256 is emulated: the module keeps the running SHA-256 of
// the session's operation and has the backend sign or verify the digest with CKM_ECDSA. On a
// touch token a finished signature waits for the touch: the configured delay, then the user's
// verdict (a rejection discards the signature). Owns its lock (the running hashes); the backend
// and the touch wait run outside it.
#pragma once

#include "Backend.h"
#include "Sessions.h"

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace virtual_token {

class Slots;

class Signing final : public SessionScoped {
public:
    Signing(const Backend& backend, const Slots& slots);

    CK_RV signInit(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_MECHANISM_PTR mechanism,
                   CK_OBJECT_HANDLE key);
    CK_RV sign(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_BYTE_PTR data, CK_ULONG dataLength,
               CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength);
    CK_RV signUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length);
    CK_RV signFinal(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_BYTE_PTR signature,
                    CK_ULONG_PTR signatureLength);

    CK_RV verifyInit(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_MECHANISM_PTR mechanism,
                     CK_OBJECT_HANDLE key);
    CK_RV verify(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
                 CK_ULONG signatureLength);
    CK_RV verifyUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length);
    CK_RV verifyFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG signatureLength);

    void forget(CK_SESSION_HANDLE session) override;

private:
    struct DigestDeleter {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;
    using Sha256 = std::array<unsigned char, 32>;
    enum class Operation { sign, verify };
    // The running hash of each kind of operation; empty while the backend does the hashing.
    struct Running {
        Digest sign;
        Digest verify;
        Digest& of(Operation operation) { return operation == Operation::sign ? sign : verify; }
    };

    template <typename BackendInit>
    CK_RV start(CK_SESSION_HANDLE session, std::size_t slotIndex, Operation operation, CK_MECHANISM_PTR mechanism,
                BackendInit&& backendInit);
    bool hashed(CK_SESSION_HANDLE session, Operation operation);
    // The digest of what the operation hashed so far, or nothing when the backend hashes.
    std::optional<Sha256> runningDigest(CK_SESSION_HANDLE session, Operation operation);
    // Feeds a part into the running hash; nothing when the backend hashes, which then takes it.
    std::optional<CK_RV> update(CK_SESSION_HANDLE session, Operation operation, CK_BYTE_PTR part, CK_ULONG length);
    void end(CK_SESSION_HANDLE session, Operation operation);
    // Has the backend sign a digest with CKM_ECDSA; the operation ends unless the call was a
    // length query or the buffer was short.
    CK_RV signDigest(CK_SESSION_HANDLE session, Sha256 digest, CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength);
    // The touch that a finished signature waits for: the delay, then the user's verdict.
    CK_RV touched(std::size_t slotIndex, CK_RV rv, CK_BYTE_PTR signature, CK_ULONG_PTR length) const;

    static Digest newSha256();
    static Sha256 finishCopy(const EVP_MD_CTX* context);
    static Sha256 sha256(const unsigned char* data, CK_ULONG length);

    const Backend& backend_;
    const Slots& slots_;
    std::mutex mutex_;
    std::map<CK_SESSION_HANDLE, Running> running_;
};

}  // namespace virtual_token
