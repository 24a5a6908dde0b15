#pragma once

#include "shared/errors/CaseEnum.h"
#include "shared/model/TokenInfo.h"

#include <ostream>
#include <string>

namespace keyvane {

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
