#pragma once

#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

// An error reply of a D-Bus service: its error name (for example
// "net.reactivated.Fprint.Error.AlreadyInUse") and the service's text.
class DBusError final : public ErrorValue<DBusError> {
public:
    DBusError(std::string name, std::string message) : name(std::move(name)), message(std::move(message)) {}
    std::string description() const override { return message.empty() ? name : name + ": " + message; }

    std::string name;
    std::string message;
};

} // namespace keyvane
