// Token objects are written by whatever else holds the token: the reader must take any bytes,
// and what it accepts must write back and read again as the same record.
#include "shared/passkeys/PasskeyMetadata.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keyvane::PasskeyMetadata metadata;
    try {
        metadata = keyvane::PasskeyMetadata::from(std::span(data, size));
    } catch (const keyvane::PasskeyMetadataError&) {
        return 0;
    }
    if (metadata.keyInfo == keyvane::KeyInfo{}) {
        return 0; // nothing worth writing; the writer refuses it on purpose
    }
    const auto written = metadata.toData(); // must not throw for a record that was read
    if (keyvane::PasskeyMetadata::from(written) != metadata) {
        __builtin_trap();
    }
    return 0;
}
