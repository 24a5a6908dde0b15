// The vendor record and the model decision that rests on it, from any bytes a module writes.
#include "shared/pkcs11/ExtendedTokenInfo.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenModel.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The hardware-feature object: its model name is the tail of the input.
class InputObject final : public keyvane::Pkcs11ObjectProtocol {
public:
    explicit InputObject(keyvane::Bytes name) : name_(std::move(name)) {}
    std::uint64_t object() const override { return 0; }
    std::uint64_t session() const override { return 0; }
    keyvane::Bytes getValue(keyvane::Pkcs11DataAttribute) const override { return name_; }
    std::uint64_t getValue(keyvane::Pkcs11CkUlongAttribute) const override { return 0; }
    bool getValue(keyvane::Pkcs11BoolAttribute) const override { return false; }
    void deleteObject() const override {}

private:
    keyvane::Bytes name_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace keyvane;
    const auto record = ExtendedTokenInfo::parse(std::span(data, size));
    if (!record) {
        return 0;
    }
    CK_TOKEN_INFO info{};
    std::memcpy(&info, data, std::min(size, sizeof info));
    std::vector<CK_MECHANISM_TYPE> mechanisms;
    if ((record->flags & 1) != 0) {
        mechanisms.push_back(CKM_EC_KEY_PAIR_GEN);
    }
    const InputObject feature(Bytes(data + 216, data + size));
    try {
        const auto model = getTokenModel(info, *record, mechanisms, feature);
        if (model.isSupported != !mechanisms.empty()) {
            __builtin_trap();
        }
    } catch (const Pkcs11Error& error) {
        if (record->tokenClass == 1 || record->tokenClass == 9) {
            __builtin_trap(); // only an unsupported class is refused here
        }
    }
    return 0;
}
