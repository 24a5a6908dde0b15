#include "Faults.h"

namespace virtual_token {

Faults::Faults(const std::vector<FaultRule>& configured) {
    for (const auto& rule : configured) {
        configured_.push_back({rule, 0});
    }
}

void Faults::replaceControlled(const std::vector<FaultRule>& rules) {
    std::lock_guard lock(mutex_);
    std::vector<Active> faults;
    for (const auto& rule : rules) {
        Active fault{rule, 0};
        for (const auto& previous : controlled_) {
            if (previous.rule.key == rule.key) {
                fault.seen = previous.seen;
            }
        }
        faults.push_back(std::move(fault));
    }
    controlled_ = std::move(faults);
}

std::optional<FaultRule> Faults::take(const std::string& function) {
    std::lock_guard lock(mutex_);
    std::optional<FaultRule> result;
    for (auto* list : {&configured_, &controlled_}) {
        for (auto& fault : *list) {
            if (fault.rule.function != function) {
                continue;
            }
            ++fault.seen;
            const bool due = fault.seen >= fault.rule.call &&
                             (fault.rule.times == 0 || fault.seen < fault.rule.call + fault.rule.times);
            if (due && !result) {
                result = fault.rule;
            }
        }
    }
    return result;
}

}  // namespace virtual_token
