#include "keyvane/app/ProgramInfo.h"

// Generated at configure time and, for the commit, at build time; included here only, so a
// new commit recompiles this file alone.
#include "keyvane/app/BuildCommit.h"
#include "keyvane/app/BuildInfo.h"

#include <optional>
#include <string>

namespace keyvane::app {

namespace {

std::optional<std::string> known(const char* value) {
    return *value != 0 ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace

BuildInfo programBuildInfo() {
    return {known(generated::appVersion), known(generated::buildNumber), known(generated::commitHash)};
}

AboutConfiguration programAboutConfiguration() {
    return {generated::documentationHost, generated::documentationPageId, generated::privacyPolicyHost,
            generated::userAgreementHost, generated::supportPhone};
}

} // namespace keyvane::app
