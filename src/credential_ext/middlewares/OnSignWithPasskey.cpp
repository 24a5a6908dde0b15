#include "credential_ext/middlewares/OnSignWithPasskey.h"

#include "credential_ext/middlewares/RecordsRefresh.h"
#include "credential_ext/passkey_formats/Assertion.h"
#include "credential_ext/passkey_formats/Tlv.h"
#include "shared/redux/ExtensionError.h"

namespace keyvane::ext {

OnSignWithPasskey::OnSignWithPasskey(AuthState request)
    : request_(std::move(request)), pkcsManager_(Dependencies::get(keyvane::pkcs11Manager)),
      passkeyManager_(Dependencies::get(keyvane::passkeyManager)),
      tokenStorage_(Dependencies::get(keyvane::tokenStorage)),
      credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
      credentialIdentityStore_(Dependencies::get(keyvane::credentialIdentityStore)) {}

MaybeStream OnSignWithPasskey::process(const AppAction& action) {
    const auto* finish = action.as<AppAction::finishAuthentication>();
    if (finish == nullptr) {
        return std::nullopt;
    }
    auto running = guard_.tryHold();
    if (!running) {
        return std::nullopt; // a sign-in runs already; it answers the request
    }
    return flowkeep::runTask<AppAction>([running, request = request_, manager = pkcsManager_, passkeys = passkeyManager_,
                                         tokens = tokenStorage_, records = credentialsStorage_,
                                         identities = credentialIdentityStore_, passkey = finish->cred,
                                         hash = finish->hash](const ExtActionSink& sink) {
        const CeremonyGuard::Release release(running);
        try {
            if (!request.admits(passkey)) {
                throw ExtensionError(ExtensionError::credsNotFound{});
            }
            const Bytes authenticatorData = Assertion(request.relyingPartyId).authenticatorData();
            Bytes toSign = authenticatorData;
            toSign.insert(toSign.end(), hash.begin(), hash.end());

            const auto token = manager->getToken(passkey.tokenSerial);
            if (!token) {
                return; // pulled out after the login: the sheet waits for it again
            }
            if (const auto* touch = token->interactionType().touchInfo()) {
                sink.yield(AppAction::waitForTouch{touch->userActionTimeout});
            }
            // The records, the published identities and the lists follow the token on every
            // sign-in, also when the signing then fails.
            refreshTokenRecords(*passkeys, *records, *identities, passkey.tokenSerial);
            auto all = records->fetchAllCredentials();
            auto tokenList = tokens->listTokens();
            sink.yield(AppAction::updateCredentialsList{std::move(all)});
            sink.yield(AppAction::updateTokenList{std::move(tokenList)});

            const Bytes signature = derSignature(passkeys->sign(passkey, toSign));
            sink.yield(AppAction::dismissLoginView{});
            sink.yield(AppAction::completeAuthenticationRequest{ASPasskeyAssertionCredential{
                passkey.userHandle, request.relyingPartyId, signature, hash, authenticatorData, passkey.keyId}});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::ext
