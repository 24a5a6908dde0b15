#include "credential_ext/middlewares/OnCreatePasskey.h"

#include "credential_ext/middlewares/RecordsRefresh.h"
#include "credential_ext/passkey_formats/Attestation.h"
#include "credential_ext/passkey_formats/CredentialId.h"
#include "credential_ext/state/CanonicalText.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/redux/ExtensionError.h"

#include <QDebug>

#include <algorithm>
#include <optional>

namespace keyvane::ext {

namespace {

constexpr const char* ceremonyFunction = "finishRegistration(serial:regInfo:)";

Bytes utf8(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Writes the passkey's metadata object on the token. Every failure leaves as a
// PasskeyManagerError.
void writeMetadata(PasskeyManagerProtocol& passkeys, const std::string& serial, const RegistrationState& request,
                   const Bytes& credentialId) {
    PasskeyManagerError::mapping([&] {
        const auto token = passkeys.getToken(serial);
        if (!token) {
            throw PasskeyManagerError(PasskeyManagerError::tokenNotFound{});
        }
        auto metadata = dataObjectTemplate();
        metadata.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
        const KeyInfo keyInfo{request.relyingPartyId, request.username, request.userHandle, credentialId, {}};
        metadata.dataAttrs[Pkcs11DataAttribute::value] = PasskeyMetadata(keyInfo).toData();
        token->createObject(metadata);
    });
}

// Takes a passkey that the site will never receive off the token: its metadata object and
// key through the passkey service, then a key left without metadata (another program's listing
// may have removed the metadata as an orphan before the key existed). Best effort: the
// failure that brought us here is what the user sees.
void removePasskey(PasskeyManagerProtocol& passkeys, const std::string& serial, const Bytes& credentialId) {
    try {
        passkeys.deleteCredentials({credentialId}, serial);
    } catch (...) {
    }
    try {
        if (const auto token = passkeys.getToken(serial)) {
            auto keyTemplate = privateKeyTemplate();
            keyTemplate.dataAttrs[Pkcs11DataAttribute::id] = credentialId;
            for (const auto& key : token->findObjects(keyTemplate)) {
                key.deleteObject();
            }
        }
    } catch (...) {
    }
}

// The records and identities named a passkey that is gone again. Best effort.
void refreshRecords(PasskeyManagerProtocol& passkeys, CredentialsStorageProtocol& records,
                    CredentialIdentityStoreProtocol& identities, const std::string& serial) {
    try {
        refreshTokenRecords(passkeys, records, identities, serial);
    } catch (...) {
    }
}

// Thrown inside the ceremony once the request has been answered cancelled.
struct RequestCancelled {};

} // namespace

OnCreatePasskey::OnCreatePasskey(std::shared_ptr<RegistrationOutcome> outcome)
    : passkeyManager_(Dependencies::get(keyvane::passkeyManager)),
      credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
      credentialIdentityStore_(Dependencies::get(keyvane::credentialIdentityStore)),
      outcome_(std::move(outcome)) {}

MaybeStream OnCreatePasskey::process(const AppAction& action) {
    const auto* finish = action.as<AppAction::finishRegistration>();
    if (finish == nullptr) {
        return std::nullopt;
    }
    auto running = guard_.tryHold();
    if (!running) {
        return std::nullopt; // a registration runs already; it answers the request
    }
    return flowkeep::runTask<AppAction>([running, passkeys = passkeyManager_, records = credentialsStorage_,
                                         identities = credentialIdentityStore_, outcome = outcome_, serial = finish->serial,
                                         request = finish->regInfo](const ExtActionSink& sink) {
        const CeremonyGuard::Release release(running);
        if (!outcome->begin()) {
            return; // the request is over: nothing is written for it
        }
        // Declared first, so the outcome learns of the end after the clean-up below.
        const std::unique_ptr<RegistrationOutcome, void (*)(RegistrationOutcome*)> ended(
            outcome.get(), [](RegistrationOutcome* settled) { settled->end(); });
        const auto stopIfCancelled = [&] {
            if (outcome->isCancelled()) {
                throw RequestCancelled{};
            }
        };
        // Held from before the metadata object is written to the end of the work on the token:
        // another program's listing in between must not take the metadata object, whose key
        // does not exist yet, for an orphan.
        std::unique_ptr<RegistrationHold> incomplete;
        std::optional<Bytes> written; // the new passkey's identifier once its first object exists
        bool recordsTouched = false;
        try {
            const auto existing = passkeys->getCredentials(serial);
            const bool duplicate = std::any_of(existing.begin(), existing.end(), [&](const PasskeyCredentials& passkey) {
                return canonicallyEqual(passkey.username, request.username) &&
                       canonicallyEqual(passkey.relyingPartyId, request.relyingPartyId);
            });
            if (duplicate) {
                throw ExtensionError(ExtensionError::credsAlreadyExists{});
            }

            stopIfCancelled();
            incomplete = passkeys->holdForRegistration(serial);
            const Bytes credentialId = makeCredentialId();
            written = credentialId;
            writeMetadata(*passkeys, serial, request, credentialId);
            const Bytes ecPoint =
                passkeys->createKeyPair(serial, credentialId, utf8(request.relyingPartyId + ":" + request.username));
            const auto attestation =
                Attestation::make(request.relyingPartyId, credentialId, PublicPoint::fromEcPoint(ecPoint));
            const Bytes attestationObject = attestation.makeAttestationObject();
            stopIfCancelled();

            // Should the metadata object be gone all the same (a program that does not respect
            // the hold, a reset), the site would get a passkey that no token keeps. Complete only
            // when the token lists it. The token is read and its records written as one step for
            // other programs.
            records->withTokenRecordsLocked(serial, [&] {
                const auto listed = passkeys->getCredentials(serial);
                if (std::none_of(listed.begin(), listed.end(),
                                 [&](const PasskeyCredentials& passkey) { return passkey.keyId == credentialId; })) {
                    throw PasskeyManagerError::general(ceremonyFunction, "The new passkey is not listed on the token");
                }
                stopIfCancelled();
                sink.yield(AppAction::dismissLoginView{});
                recordsTouched = true;
                records->updateCredentials(listed, serial);
            });
            identities->update([&] { return records->fetchAllCredentials(); });
            const ASPasskeyRegistrationCredential credential{request.relyingPartyId, request.clientDataHash,
                                                             credentialId, attestationObject};
            // From here on the registration answers the request, even if a cancellation follows.
            if (!outcome->commit(credential)) {
                throw RequestCancelled{};
            }
            sink.yield(AppAction::completeRegistrationRequest{credential});
        } catch (const RequestCancelled&) {
            // The request was answered cancelled: the site never gets this passkey.
            qWarning().noquote() << "The registration was cancelled while it ran; its passkey is removed";
            if (written) {
                removePasskey(*passkeys, serial, *written);
                if (recordsTouched) {
                    refreshRecords(*passkeys, *records, *identities, serial);
                }
            }
        } catch (...) {
            const auto failure = AnyError::fromCurrentException();
            qWarning().noquote() << "The registration failed:" << QString::fromStdString(failure.description());
            if (written) {
                removePasskey(*passkeys, serial, *written);
                if (recordsTouched) {
                    refreshRecords(*passkeys, *records, *identities, serial);
                }
            }
            if (failure.is<PasskeyManagerError>()) {
                // The token did not do what was asked: its login is no longer trusted.
                sink.yield(AppAction::setPassAuth{LoginAuthStatus::unknown});
                sink.yield(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
            }
            sink.yield(AppAction::handleError{failure});
        }
    });
}

} // namespace keyvane::ext
