#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

// A broken round trip is a finding: stop so libFuzzer keeps the input.
#define KEYVANE_FUZZ_CHECK(condition) \
    do {                              \
        if (!(condition)) {           \
            std::abort();             \
        }                             \
    } while (false)

inline std::string_view fuzzText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
