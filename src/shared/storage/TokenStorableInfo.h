#pragma once

#include "shared/model/TokenInfo.h"

#include <cstdint>
#include <optional>
#include <string>

namespace keyvane {

// The record of a token that was seen. Records are identified by their persistent
// identifier, never by their fields: a record that is not stored yet equals no record.
struct TokenStorableInfo {
    std::optional<std::int64_t> persistentId;
    std::optional<std::string> label;
    std::string model;
    std::string serial;
    std::string version;
    std::uint64_t totalMemory = 0;
    std::optional<std::uint64_t> availableMemory;

    TokenStorableInfo() = default;
    // A new record; the supported flag is not kept.
    explicit TokenStorableInfo(const TokenInfo& tokenInfo)
        : label(tokenInfo.label), model(tokenInfo.model), serial(tokenInfo.serial), version(tokenInfo.version),
          totalMemory(tokenInfo.totalMemory), availableMemory(tokenInfo.availableMemory) {}

    // A stored token is one the program could log in to: supported is always true.
    TokenInfo toTokenInfo() const {
        return TokenInfo{label, model, serial, version, totalMemory, availableMemory, true};
    }

    bool operator==(const TokenStorableInfo& other) const {
        return persistentId && other.persistentId && *persistentId == *other.persistentId;
    }
};

} // namespace keyvane
