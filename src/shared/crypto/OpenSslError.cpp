#include "shared/crypto/OpenSslError.h"

#include <openssl/err.h>

namespace keyvane {

OpenSslError::OpenSslError(std::string call) : call(std::move(call)) {
    // Take the whole queue, so a later call does not report this failure as its own.
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        if (!reason.empty()) {
            reason += "; ";
        }
        reason += text;
    }
    if (reason.empty()) {
        reason = "failed";
    }
}

} // namespace keyvane
