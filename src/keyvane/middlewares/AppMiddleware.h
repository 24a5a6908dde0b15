#pragma once

#include "flowkeep/Middleware.h"
#include "keyvane/state/AppAction.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"

#include <optional>

namespace keyvane::app {

using AppMiddleware = flowkeep::Middleware<AppAction>;
using AppActionStream = flowkeep::ActionStream<AppAction>;
using AppActionSink = flowkeep::ActionSink<AppAction>;
using MaybeStream = std::optional<AppActionStream>;

} // namespace keyvane::app
