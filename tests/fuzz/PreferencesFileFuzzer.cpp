#include "RecordFileFuzzers.h"

#include "shared/preferences/PreferencesFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto preferences = keyvane::parsePreferencesFile(fuzzText(data, size))) {
        const auto again = keyvane::parsePreferencesFile(keyvane::serializePreferencesFile(*preferences));
        KEYVANE_FUZZ_CHECK(again.has_value());
        // Booleans and integers keep their type through a write.
        for (const auto& [key, value] : *preferences) {
            if (std::holds_alternative<bool>(value) || std::holds_alternative<std::int64_t>(value)) {
                KEYVANE_FUZZ_CHECK(again->count(key) == 1 && again->at(key) == value);
            }
        }
    }
    return 0;
}
