#include "shared/errors/Error.h"

namespace keyvane {

AnyError AnyError::fromCurrentException() { return from(std::current_exception()); }

AnyError AnyError::from(const std::exception_ptr& exception) {
    if (!exception) {
        return AnyError(TextError("no error"));
    }
    try {
        std::rethrow_exception(exception);
    } catch (const Error& error) {
        return AnyError(error.clone());
    } catch (const std::exception& error) {
        return AnyError(ForeignError(typeid(error).name(), error.what()));
    } catch (...) {
        return AnyError(ForeignError("unknown", "an exception of an unknown type"));
    }
}

std::string describeGeneralError(const std::string& errorType, const std::string& function, SourceLine line,
                                 const std::optional<AnyError>& underlying) {
    std::string text = errorType + ".generalError in " + function + " (line " + std::to_string(line) + ")";
    if (underlying) {
        text += ": " + underlying->description();
    }
    return text;
}

} // namespace keyvane
