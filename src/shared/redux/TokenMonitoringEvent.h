#pragma once

#include "shared/errors/CaseEnum.h"
#include "shared/model/TokenInfo.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace keyvane {

// Numbers the monitoring runs of one store, so that token lists of a run that has ended never
// reach the state: a list is delivered in a later main-thread step than the one that gathered
// it, and a stop may come in between. Every startMonitoring begins a new run and every
// stopMonitoring retires the current one; the reducer and the monitoring middlewares count
// the same actions from the same start, so they agree on the number.
using TokenMonitoringRun = std::uint64_t;

inline TokenMonitoringRun nextTokenMonitoringRun(TokenMonitoringRun run) { return run + 1; }

namespace token_monitoring_event {
// A token was found in a slot, with its information as read when it arrived.
struct addConnectedToken {
    TokenInfo token;
    bool operator==(const addConnectedToken&) const = default;
};
// The serial of a token that left its slot.
struct removeToken {
    std::string serial;
    bool operator==(const removeToken&) const = default;
};
} // namespace token_monitoring_event

class TokenMonitoringEvent final
    : public CaseEnum<token_monitoring_event::addConnectedToken, token_monitoring_event::removeToken> {
public:
    using CaseEnum::CaseEnum;
    using addConnectedToken = token_monitoring_event::addConnectedToken;
    using removeToken = token_monitoring_event::removeToken;

    friend std::ostream& operator<<(std::ostream& out, const TokenMonitoringEvent& event);
};

} // namespace keyvane
