#pragma once

#include "shared/dependencies/DependencyRegistry.h"

#include <memory>

namespace keyvane::detail {

// The registered value of an object-store service: using it before the program entry
// installed the real one stops the program with the given message.
template <class Interface>
typename DependencyKey<Interface>::Factory notImplemented(const char* message) {
    return [message]() -> std::shared_ptr<Interface> { dependencyFatal(message); };
}

} // namespace keyvane::detail
