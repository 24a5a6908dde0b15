#include "shared/pkcs11/Pkcs11Template.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace keyvane {

Pkcs11Template::~Pkcs11Template() { releaseAll(); }

Pkcs11Template::Pkcs11Template(Pkcs11Template&& other) noexcept
    : boolAttrs(std::move(other.boolAttrs)),
      ulongAttrs(std::move(other.ulongAttrs)),
      dataAttrs(std::move(other.dataAttrs)),
      pointers(std::move(other.pointers)) {
    other.pointers.clear();
}

Pkcs11Template& Pkcs11Template::operator=(Pkcs11Template&& other) noexcept {
    if (this != &other) {
        releaseAll();
        boolAttrs = std::move(other.boolAttrs);
        ulongAttrs = std::move(other.ulongAttrs);
        dataAttrs = std::move(other.dataAttrs);
        pointers = std::move(other.pointers);
        other.pointers.clear();
    }
    return *this;
}

void Pkcs11Template::releaseAll() {
    for (const auto& wrapped : pointers) {
        wrapped->destroy();
    }
    pointers.clear();
}

void* Pkcs11Template::allocate(std::size_t size) const {
    // An empty value still gets a real buffer: a NULL value pointer would turn the attribute
    // into a length query, and the library would not see an empty value.
    void* buffer = std::malloc(size == 0 ? 1 : size);
    if (buffer == nullptr) {
        throw std::bad_alloc();
    }
    pointers.push_back(std::make_shared<WrappedPointer<void>>(buffer, [](void* pointer) { std::free(pointer); }));
    return buffer;
}

std::vector<CK_ATTRIBUTE> Pkcs11Template::buildAttributes() const {
    std::vector<CK_ATTRIBUTE> attributes;
    attributes.reserve(boolAttrs.size() + ulongAttrs.size() + dataAttrs.size());
    for (const auto& [attribute, value] : boolAttrs) {
        auto* buffer = static_cast<CK_BBOOL*>(allocate(sizeof(CK_BBOOL)));
        *buffer = value ? CK_TRUE : CK_FALSE;
        attributes.push_back({attributeType(attribute), buffer, sizeof(CK_BBOOL)});
    }
    for (const auto& [attribute, value] : ulongAttrs) {
        const CK_ULONG number = value;
        void* buffer = allocate(sizeof number);
        std::memcpy(buffer, &number, sizeof number);
        attributes.push_back({attributeType(attribute), buffer, sizeof number});
    }
    for (const auto& [attribute, value] : dataAttrs) {
        if (!value) {
            attributes.push_back({attributeType(attribute), nullptr, 0});
            continue;
        }
        void* buffer = allocate(value->size());
        if (!value->empty()) {
            std::memcpy(buffer, value->data(), value->size());
        }
        attributes.push_back({attributeType(attribute), buffer, static_cast<CK_ULONG>(value->size())});
    }
    return attributes;
}

const Bytes& passkeyApplicationData() {
    static const Bytes data{'K', 'e', 'y', 'v', 'a', 'n', 'e'};
    return data;
}

Pkcs11Template dataObjectTemplate() {
    Pkcs11Template result;
    result.ulongAttrs[Pkcs11CkUlongAttribute::classObject] = CKO_DATA;
    result.boolAttrs[Pkcs11BoolAttribute::token] = true;
    result.boolAttrs[Pkcs11BoolAttribute::privateness] = true;
    result.dataAttrs[Pkcs11DataAttribute::application] = passkeyApplicationData();
    return result;
}

Pkcs11Template keyTemplate(std::uint64_t objectClass, bool isPrivate) {
    Pkcs11Template result;
    result.ulongAttrs[Pkcs11CkUlongAttribute::classObject] = objectClass;
    result.boolAttrs[Pkcs11BoolAttribute::token] = true;
    result.boolAttrs[Pkcs11BoolAttribute::privateness] = isPrivate;
    return result;
}

Pkcs11Template privateKeyTemplate() { return keyTemplate(CKO_PRIVATE_KEY, true); }

Pkcs11Template publicKeyTemplate() { return keyTemplate(CKO_PUBLIC_KEY, false); }

Pkcs11Template hwFeatureTemplate(std::uint64_t type) {
    Pkcs11Template result;
    result.ulongAttrs[Pkcs11CkUlongAttribute::classObject] = CKO_HW_FEATURE;
    result.ulongAttrs[Pkcs11CkUlongAttribute::hwFeatureType] = type;
    return result;
}

} // namespace keyvane
