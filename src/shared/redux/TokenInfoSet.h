#pragma once

#include "shared/model/TokenInfo.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace keyvane {

// The tokens connected now: at most one member per serial. A token announced again (its free
// memory read anew, say) replaces the member with its serial instead of standing beside it,
// so a removal by serial always takes the token away and the count is the number of tokens.
// Members keep the order in which their serials first arrived.
class TokenInfoSet {
public:
    using const_iterator = std::vector<TokenInfo>::const_iterator;

    TokenInfoSet() = default;
    TokenInfoSet(std::initializer_list<TokenInfo> tokens) {
        for (const auto& token : tokens) {
            insert(token);
        }
    }

    // Replaces the member with the token's serial, in its place, or adds the token at the end.
    void insert(TokenInfo token) {
        if (auto member = position(token.serial); member != members_.end()) {
            *member = std::move(token);
        } else {
            members_.push_back(std::move(token));
        }
    }

    // Removes every member with this serial; answers whether there was one.
    bool remove(std::string_view serial) {
        return std::erase_if(members_, [serial](const TokenInfo& token) { return token.serial == serial; }) > 0;
    }

    const TokenInfo* find(std::string_view serial) const {
        auto member = std::find_if(members_.begin(), members_.end(),
                                   [serial](const TokenInfo& token) { return token.serial == serial; });
        return member == members_.end() ? nullptr : &*member;
    }
    bool contains(std::string_view serial) const { return find(serial) != nullptr; }

    std::size_t size() const { return members_.size(); }
    bool empty() const { return members_.empty(); }
    void clear() { members_.clear(); }
    const_iterator begin() const { return members_.begin(); }
    const_iterator end() const { return members_.end(); }

    // Set equality: the same serials, each with equal fields, in any order.
    bool operator==(const TokenInfoSet& other) const {
        return size() == other.size() && std::all_of(members_.begin(), members_.end(), [&](const TokenInfo& token) {
                   const auto* match = other.find(token.serial);
                   return match != nullptr && *match == token;
               });
    }

private:
    std::vector<TokenInfo>::iterator position(std::string_view serial) {
        return std::find_if(members_.begin(), members_.end(),
                            [serial](const TokenInfo& token) { return token.serial == serial; });
    }

    std::vector<TokenInfo> members_;
};

} // namespace keyvane
