#include "RecordFileFuzzers.h"

#include "shared/identities/IdentityFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto content = keyvane::parseIdentityFile(fuzzText(data, size))) {
        KEYVANE_FUZZ_CHECK(keyvane::parseIdentityFile(keyvane::serializeIdentityFile(*content)) == content);
    }
    return 0;
}
