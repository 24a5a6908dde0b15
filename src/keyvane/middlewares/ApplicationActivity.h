#pragma once

#include "flowkeep/Subscription.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace keyvane::app {

// The program's "became active" notification: the entry posts it when the application turns
// active; observers are called on the posting thread (the main thread in the program).
class ApplicationActivity {
public:
    static ApplicationActivity& shared();

    flowkeep::Subscription subscribe(std::function<void()> observer);
    void postBecameActive();

private:
    struct Observers {
        std::mutex mutex;
        std::map<std::uint64_t, std::function<void()>> observers;
        std::uint64_t next = 0;
    };
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

} // namespace keyvane::app
