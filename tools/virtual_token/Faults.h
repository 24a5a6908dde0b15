// Injected faults: a rule makes the call-th call of a function (and the times-1 after it) wait,
// log its session's token out, and answer a return value without running, or any of these
// (FaultRule). Rules of the configuration count from C_Initialize;
// rules of the control file count from when they were loaded, and an unchanged rule keeps its
// count when the file is rewritten for other reasons (plugging a token, say).
#pragma once

#include "Config.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace virtual_token {

class Faults {
public:
    explicit Faults(const std::vector<FaultRule>& configured);

    void replaceControlled(const std::vector<FaultRule>& rules);

    // Counts one call of the function; the rule that acts on it when one is due (the first
    // of them when several are).
    std::optional<FaultRule> take(const std::string& function);

private:
    struct Active {
        FaultRule rule;
        std::uint64_t seen = 0;
    };

    std::mutex mutex_;
    std::vector<Active> configured_;
    std::vector<Active> controlled_;
};

}  // namespace virtual_token
