// Makes registrations and assertions with the passkey formats for a verifier that nobody here
// wrote (fido2_interop.py drives it). One command a line on standard input, one answer a line:
//   register <rpId>                    -> <credential id> <attestation object>
//   assert <rpId> <client-data hash>   -> <authenticator data> <DER signature>
// All values in hex. The assertion signs with the key of the last registration. Keys are made
// and used on a throw-away virtual token.
#include "TestBytes.h"

#include "credential_ext/passkey_formats/Assertion.h"
#include "credential_ext/passkey_formats/Attestation.h"
#include "credential_ext/passkey_formats/CredentialId.h"
#include "credential_ext/passkey_formats/PublicPoint.h"
#include "credential_ext/passkey_formats/Tlv.h"
#include "shared/errors/Error.h"

#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"

#include "VirtualTokenFixture.h"

#include <chrono>

#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using keyvane::Bytes;

// A passkey on the virtual token: the key pair is generated and signs inside the token, through
// the same managers the extension uses; a metadata object makes it a listed passkey.
class Signer {
public:
    Signer()
        : fixture_(std::vector<keyvane::testing::VirtualTokenSettings>{keyvane::testing::VirtualTokenSettings{}}),
          manager_(std::make_shared<keyvane::Pkcs11Manager>(
              keyvane::Pkcs11Library::load(keyvane::testing::VirtualTokenFixture::modulePath()),
              std::chrono::milliseconds(10))),
          passkeys_(manager_) {
        const auto stream = manager_->startMonitoring();
        const auto event = stream.next(std::chrono::seconds(30));
        if (!event || !event->as<keyvane::Pkcs11TokenEvent::added>()) {
            throw std::runtime_error("the virtual token did not arrive");
        }
        serial_ = event->serial();
        keyvane::TokenLoginManager(manager_).login(serial_, "12345678");
    }
    ~Signer() { manager_->stopMonitoring(); }
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;

    // Answers the public-key object's CKA_EC_POINT, as the token gives it.
    Bytes createKeyPair(const std::string& rpId, const Bytes& keyId) {
        const Bytes point = passkeys_.createKeyPair(serial_, keyId, Bytes(rpId.begin(), rpId.end()));
        credentials_ = keyvane::PasskeyCredentials{keyId, rpId, "interop user", {0x75, 0x73, 0x65, 0x72}, serial_};
        auto object = keyvane::dataObjectTemplate();
        object.dataAttrs[keyvane::Pkcs11DataAttribute::objectId] = keyvane::passkeyObjectId();
        object.dataAttrs[keyvane::Pkcs11DataAttribute::value] =
            keyvane::PasskeyMetadata(keyvane::KeyInfo::from(credentials_)).toData();
        passkeys_.getToken(serial_)->createObject(object);
        return point;
    }

    // Raw r || s over SHA-256 of the data.
    Bytes sign(const Bytes& data) {
        if (credentials_.keyId.empty()) {
            throw std::runtime_error("no key yet");
        }
        return passkeys_.sign(credentials_, data);
    }

private:
    keyvane::testing::VirtualTokenFixture fixture_;
    std::shared_ptr<keyvane::Pkcs11Manager> manager_;
    keyvane::ExtensionPasskeyManager passkeys_;
    std::string serial_;
    keyvane::PasskeyCredentials credentials_;
};

std::string answer(Signer& signer, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    std::string rpId;
    words >> command >> rpId;
    if (command == "register") {
        const Bytes credentialId = keyvane::makeCredentialId();
        const auto point = keyvane::PublicPoint::fromEcPoint(signer.createKeyPair(rpId, credentialId));
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

int run(Signer& signer) {
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

} // namespace

int main() {
    try {
        Signer signer;
        return run(signer);
    } catch (const keyvane::Error& error) {
        std::cerr << error.description() << '\n';
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
    }
    return 1;
}
