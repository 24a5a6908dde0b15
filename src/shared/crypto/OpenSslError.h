#pragma once

#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

// A failed OpenSSL call: which call, and the library's own error text (never key material).
class OpenSslError final : public ErrorValue<OpenSslError> {
public:
    explicit OpenSslError(std::string call);
    std::string description() const override { return "OpenSslError in " + call + ": " + reason; }

    std::string call;
    std::string reason;
};

} // namespace keyvane
