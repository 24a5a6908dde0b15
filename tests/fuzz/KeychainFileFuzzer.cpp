#include "RecordFileFuzzers.h"

#include "shared/keychain/KeychainFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzzText(data, size);
    if (const auto items = keyvane::parseKeychainFile(text)) {
        KEYVANE_FUZZ_CHECK(keyvane::parseKeychainFile(keyvane::serializeKeychainFile(*items)).has_value());
        for (const auto& [key, item] : *items) {
            if (const auto bytes = keyvane::KeychainCoding<keyvane::Bytes>::decode(item.data)) {
                const auto again = keyvane::KeychainCoding<keyvane::Bytes>::encode(*bytes);
                KEYVANE_FUZZ_CHECK(again && keyvane::KeychainCoding<keyvane::Bytes>::decode(*again) == bytes);
            }
            keyvane::KeychainCoding<std::int64_t>::decode(item.data);
        }
    }
    keyvane::KeychainCoding<keyvane::Bytes>::decode(std::string(text));
    keyvane::KeychainCoding<std::int64_t>::decode(std::string(text));
    return 0;
}
