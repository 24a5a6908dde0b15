#include "RecordFileFuzzers.h"

#include "shared/utils/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzzText(data, size);
    const auto version = keyvane::Version::parse(text);
    if (version) {
        KEYVANE_FUZZ_CHECK(keyvane::Version::parse(version->encode()) == version);
        KEYVANE_FUZZ_CHECK(text.find(' ') == std::string_view::npos && text.find('-') == std::string_view::npos);
    }
    try {
        KEYVANE_FUZZ_CHECK(keyvane::Version::decode(text) == version);
    } catch (const keyvane::DecodingError&) {
        KEYVANE_FUZZ_CHECK(!version);
    }
    return 0;
}
