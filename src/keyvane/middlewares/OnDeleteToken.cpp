#include "keyvane/middlewares/OnDeleteToken.h"

namespace keyvane::app {

OnDeleteToken::OnDeleteToken()
    : pinCodeStorage_(Dependencies::get(keyvane::pinCodeStorage)),
      pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)),
      tokenStorage_(Dependencies::get(keyvane::tokenStorage)),
      credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
      credentialIdentityStore_(Dependencies::get(keyvane::credentialIdentityStore)) {}

MaybeStream OnDeleteToken::process(const AppAction& action) {
    const auto* deletion = action.as<AppAction::deleteToken>();
    if (deletion == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([pins = pinCodeStorage_, cache = pinCodeCacheManager_, tokens = tokenStorage_,
                                         credentials = credentialsStorage_, identities = credentialIdentityStore_,
                                         serial = deletion->serial](const AppActionSink& sink) {
        try {
            cache->deletePin(serial);
            tokens->deleteToken(serial);
            auto tokenList = tokens->listTokens();
            identities->update([&] { return credentials->fetchAllCredentials(); });
            auto passkeys = credentials->fetchAllCredentials();
            sink.yield(AppAction::updateTokenList{std::move(tokenList)});
            sink.yield(AppAction::updateCredentialsList{std::move(passkeys)});
            sink.yield(AppAction::setPinCacheHasPins{pins->hasPins()});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::app
