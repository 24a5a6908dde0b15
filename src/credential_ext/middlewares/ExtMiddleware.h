#pragma once

#include "credential_ext/state/AppAction.h"
#include "flowkeep/Middleware.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"

#include <atomic>
#include <memory>
#include <optional>

namespace keyvane::ext {

using ExtMiddleware = flowkeep::Middleware<AppAction>;
using ExtActionStream = flowkeep::ActionStream<AppAction>;
using ExtActionSink = flowkeep::ActionSink<AppAction>;
using MaybeStream = std::optional<ExtActionStream>;

// Lets one ceremony of a middleware run at a time. A second confirmation while one runs is
// refused rather than run beside it: two registrations would each write a passkey and two
// sign-ins would each wait for a touch, while the request can take only one answer.
class CeremonyGuard {
public:
    using Flag = std::shared_ptr<std::atomic<bool>>;

    // The running flag, taken, when no ceremony runs; else nothing.
    Flag tryHold() {
        bool expected = false;
        return running_->compare_exchange_strong(expected, true) ? running_ : nullptr;
    }

    bool isRunning() const { return running_->load(); }

    // Opens the guard when the ceremony's work ends, before its stream finishes, so that a
    // retry sent after the outcome is never taken for a second confirmation.
    class Release {
    public:
        explicit Release(Flag flag) : flag_(std::move(flag)) {}
        ~Release() { flag_->store(false); }
        Release(const Release&) = delete;
        Release& operator=(const Release&) = delete;

    private:
        Flag flag_;
    };

private:
    Flag running_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace keyvane::ext
