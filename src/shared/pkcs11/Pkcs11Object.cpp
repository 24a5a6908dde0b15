#include "shared/pkcs11/Pkcs11Object.h"

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Template.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <limits>
#include <new>

namespace keyvane {

namespace {

constexpr const char* getValueFunc = "getValue(forAttr:)";

Pkcs11Error readError(int line, std::optional<std::uint64_t> rv) {
    return Pkcs11Error::internal(getValueFunc, {.rv = rv}, line);
}

// Reads a fixed-size attribute into a buffer of that size with one call.
template <class Value, class Attribute>
Value readFixed(Pkcs11Library& library, std::uint64_t session, std::uint64_t object, Attribute attribute, int line) {
    Pkcs11Template request;
    if constexpr (std::is_same_v<Value, bool>) {
        request.boolAttrs[attribute] = false;
    } else {
        request.ulongAttrs[attribute] = 0;
    }
    return request.withAttributes([&](CK_ATTRIBUTE_PTR list, CK_ULONG count) {
        const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_GetAttributeValue, CK_SESSION_HANDLE(session),
                                      CK_OBJECT_HANDLE(object), list, count);
        if (rv != CKR_OK) {
            throw readError(line, rv);
        }
        if constexpr (std::is_same_v<Value, bool>) {
            return *static_cast<const CK_BBOOL*>(list[0].pValue) != CK_FALSE;
        } else {
            CK_ULONG value = 0;
            std::memcpy(&value, list[0].pValue, sizeof value);
            return static_cast<std::uint64_t>(value);
        }
    });
}

} // namespace

Bytes Pkcs11Object::getValue(Pkcs11DataAttribute attribute) const {
    return library_->run([&] {
        CK_ULONG length = 0;
        {
            Pkcs11Template lengthQuery;
            lengthQuery.dataAttrs[attribute] = std::nullopt;
            lengthQuery.withAttributes([&](CK_ATTRIBUTE_PTR list, CK_ULONG count) {
                const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_GetAttributeValue, CK_SESSION_HANDLE(session_),
                                                CK_OBJECT_HANDLE(object_), list, count);
                if (rv != CKR_OK) {
                    throw readError(sourceLine(), rv);
                }
                length = list[0].ulValueLen;
            });
        }
        if (length > static_cast<CK_ULONG>(std::numeric_limits<std::int64_t>::max())) {
            throw readError(sourceLine(), std::nullopt);
        }
        Pkcs11Template valueQuery;
        try {
            valueQuery.dataAttrs[attribute] = Bytes(length, 0);
        } catch (const std::bad_alloc&) {
            throw readError(sourceLine(), std::nullopt);
        }
        return valueQuery.withAttributes([&](CK_ATTRIBUTE_PTR list, CK_ULONG count) {
            const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_GetAttributeValue, CK_SESSION_HANDLE(session_),
                                            CK_OBJECT_HANDLE(object_), list, count);
            if (rv != CKR_OK) {
                throw readError(sourceLine(), rv);
            }
            // Never read past the buffer, whatever length the module writes back.
            const auto* bytes = static_cast<const std::uint8_t*>(list[0].pValue);
            const std::size_t size = std::min<CK_ULONG>(list[0].ulValueLen, length);
            return Bytes(bytes, bytes + size);
        });
    });
}

std::uint64_t Pkcs11Object::getValue(Pkcs11CkUlongAttribute attribute) const {
    return readFixed<std::uint64_t>(*library_, session_, object_, attribute, sourceLine());
}

bool Pkcs11Object::getValue(Pkcs11BoolAttribute attribute) const {
    return readFixed<bool>(*library_, session_, object_, attribute, sourceLine());
}

void Pkcs11Object::deleteObject() const {
    const CK_RV rv =
        library_->call(&CK_FUNCTION_LIST::C_DestroyObject, CK_SESSION_HANDLE(session_), CK_OBJECT_HANDLE(object_));
    if (rv != CKR_OK) {
        throw Pkcs11Error::internal("delete()", {.rv = rv});
    }
}

} // namespace keyvane
