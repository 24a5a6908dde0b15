// Makes registrations and assertions with the passkey formats for a verifier that nobody here
// wrote (fido2_interop.py drives it). One command a line on standard input, one answer a line:
//   register <rpId>                    -> <credential id> <attestation object>
//   assert <rpId> <client-data hash>   -> <authenticator data> <DER signature>
// All values in hex. The assertion signs with the key of the last registration.
#include "TestBytes.h"

#include "credential_ext/passkey_formats/Assertion.h"
#include "credential_ext/passkey_formats/Attestation.h"
#include "credential_ext/passkey_formats/CredentialId.h"
#include "credential_ext/passkey_formats/PublicPoint.h"
#include "credential_ext/passkey_formats/Tlv.h"
#include "shared/errors/Error.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using keyvane::Bytes;

// What the formats need of a token: a key pair under an identifier, answered as the public-key
// object's CKA_EC_POINT, and raw r || s signatures of SHA-256 over the data.
class Signer {
public:
    virtual ~Signer() = default;
    virtual Bytes createKeyPair(const Bytes& keyId) = 0;
    virtual Bytes sign(const Bytes& data) = 0;
};

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

// A P-256 key made by OpenSSL, answering in the shapes a PKCS#11 token uses.
class SoftwareSigner final : public Signer {
public:
    Bytes createKeyPair(const Bytes&) override {
        key_.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
        check(key_ != nullptr, "key generation failed");
        Bytes point(65);
        std::size_t length = 0;
        check(EVP_PKEY_get_octet_string_param(key_.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(),
                                              &length) == 1 &&
                  length == point.size(),
              "public point not readable");
        return keyvane::testing::concat({{0x04, 0x41}, point}); // CKA_EC_POINT is a DER octet string
    }

    Bytes sign(const Bytes& data) override {
        check(key_ != nullptr, "no key yet");
        const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
        check(context && EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) == 1,
              "sign init failed");
        std::size_t length = 0;
        check(EVP_DigestSign(context.get(), nullptr, &length, data.data(), data.size()) == 1, "sign size failed");
        Bytes der(length);
        check(EVP_DigestSign(context.get(), der.data(), &length, data.data(), data.size()) == 1, "sign failed");
        const unsigned char* cursor = der.data();
        const std::unique_ptr<ECDSA_SIG, SignatureFree> signature(
            d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
        check(signature != nullptr, "signature not parsable");
        Bytes raw(64);
        check(BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), raw.data(), 32) == 32 &&
                  BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), raw.data() + 32, 32) == 32,
              "signature too wide");
        return raw;
    }

private:
    std::unique_ptr<EVP_PKEY, KeyFree> key_;
};

std::string answer(Signer& signer, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    std::string rpId;
    words >> command >> rpId;
    if (command == "register") {
        const Bytes credentialId = keyvane::makeCredentialId();
        const auto point = keyvane::PublicPoint::fromEcPoint(signer.createKeyPair(credentialId));
        const auto attestation = keyvane::Attestation::make(rpId, credentialId, point);
        return keyvane::testing::toHex(credentialId) + " " + keyvane::testing::toHex(attestation.makeAttestationObject());
    }
    if (command == "assert") {
        std::string clientDataHash;
        words >> clientDataHash;
        const Bytes authenticatorData = keyvane::Assertion(rpId).authenticatorData();
        Bytes signed_ = authenticatorData;
        const Bytes hash = keyvane::testing::hex(clientDataHash);
        signed_.insert(signed_.end(), hash.begin(), hash.end());
        return keyvane::testing::toHex(authenticatorData) + " " +
               keyvane::testing::toHex(keyvane::derSignature(signer.sign(signed_)));
    }
    throw std::runtime_error("unknown command: " + command);
}

} // namespace

int main() {
    SoftwareSigner signer;
    std::string line;
    while (std::getline(std::cin, line)) {
        try {
            std::cout << answer(signer, line) << std::endl;
        } catch (const keyvane::Error& error) {
            std::cerr << error.description() << '\n';
            return 1;
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return 1;
        }
    }
    return 0;
}
