#pragma once

#include "shared/pkcs11/Pkcs11Attributes.h"
#include "shared/utils/Bytes.h"

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace keyvane {

// One C buffer and the function that releases it. The wrapper never releases the buffer by
// itself: its owner (the template) runs the destructor, once.
template <class Pointer>
class WrappedPointer {
public:
    WrappedPointer(Pointer* pointer, std::function<void(Pointer*)> destructor)
        : pointer(pointer), destructor(std::move(destructor)) {}
    WrappedPointer(const WrappedPointer&) = delete;
    WrappedPointer& operator=(const WrappedPointer&) = delete;

    void destroy() {
        if (!isDestroyed) {
            destructor(pointer);
            isDestroyed = true;
        }
    }

    Pointer* const pointer;
    const std::function<void(Pointer*)> destructor;
    bool isDestroyed = false;
};

// The attributes of one object search, object creation or attribute read, turned on demand
// into the contiguous CK_ATTRIBUTE list that the library takes. The template owns every
// buffer that list points to, and keeps them until it is destroyed, so a library that holds
// on to a pointer until the end of the call (or of a two-pass read) always finds it valid.
class Pkcs11Template {
public:
    Pkcs11Template() = default;
    ~Pkcs11Template();
    Pkcs11Template(const Pkcs11Template&) = delete;
    Pkcs11Template& operator=(const Pkcs11Template&) = delete;
    Pkcs11Template(Pkcs11Template&& other) noexcept;
    Pkcs11Template& operator=(Pkcs11Template&& other) noexcept;

    std::map<Pkcs11BoolAttribute, bool> boolAttrs;
    std::map<Pkcs11CkUlongAttribute, std::uint64_t> ulongAttrs;
    // An absent value asks the library for the length.
    std::map<Pkcs11DataAttribute, std::optional<Bytes>> dataAttrs;
    // The buffers handed out so far; released in this order when the template is destroyed.
    mutable std::vector<std::shared_ptr<WrappedPointer<void>>> pointers;

    // Builds the list (Booleans, then integers, then byte strings) in fresh buffers and runs
    // the body with it; the library writes lengths and values back into it. Answers or
    // throws what the body does.
    template <class Body>
    auto withAttributes(Body&& body) const {
        auto attributes = buildAttributes();
        return body(attributes.data(), static_cast<CK_ULONG>(attributes.size()));
    }

    // Equal when the three maps are equal; the buffers are not compared.
    bool operator==(const Pkcs11Template& other) const {
        return boolAttrs == other.boolAttrs && ulongAttrs == other.ulongAttrs && dataAttrs == other.dataAttrs;
    }

private:
    std::vector<CK_ATTRIBUTE> buildAttributes() const;
    void* allocate(std::size_t size) const;
    void releaseAll();
};

// The application bytes that mark Keyvane's passkey data objects: "Keyvane" in UTF-8.
const Bytes& passkeyApplicationData();

// Keyvane's passkey data objects: private token data objects of our application.
Pkcs11Template dataObjectTemplate();
// Keys kept on the token: CKA_CLASS, CKA_TOKEN true and CKA_PRIVATE.
Pkcs11Template keyTemplate(std::uint64_t objectClass, bool isPrivate);
// Private keys kept on the token (also the search for a passkey's key).
Pkcs11Template privateKeyTemplate();
// Public keys kept on the token.
Pkcs11Template publicKeyTemplate();
// Hardware-feature objects of one type.
Pkcs11Template hwFeatureTemplate(std::uint64_t type);

} // namespace keyvane
