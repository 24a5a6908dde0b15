// Token information as a module reports it: the fixed text fields, the serial and the label
// are read from bytes that Keyvane does not control.
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenInfoParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace keyvane;
    CK_TOKEN_INFO info{};
    std::memcpy(&info, data, std::min(size, sizeof info));
    try {
        const auto parsed = token_info_parser::parse(info);
        // A serial always reads as at least ten digits, with an optional sign.
        if (parsed.serial.size() < 10 || parsed.serial.size() > 11) {
            __builtin_trap();
        }
    } catch (const Pkcs11Error&) {
    }
    const std::span<const std::uint8_t> bytes(data, size);
    const auto text = token_info_parser::fixedFieldText(bytes);
    const auto lossy = token_info_parser::decodeLossy(bytes);
    // Valid text decodes to itself; replaced text is always valid.
    const std::span<const std::uint8_t> lossyBytes(reinterpret_cast<const std::uint8_t*>(lossy.data()), lossy.size());
    if (token_info_parser::decodeLossy(lossyBytes) != lossy || !token_info_parser::fixedFieldText(lossyBytes)) {
        __builtin_trap();
    }
    if (text && !token_info_parser::fixedFieldText(
                    std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()))) {
        __builtin_trap();
    }
    token_info_parser::parseHex(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
