#pragma once

#include "shared/pkcs11/Pkcs11Attributes.h"
#include "shared/utils/Bytes.h"

#include <cstdint>
#include <memory>

namespace keyvane {

class Pkcs11Library;

// One object on a token, named by its handle and the session in which the handle is valid.
// Every failure is a Pkcs11Error.
class Pkcs11ObjectProtocol {
public:
    virtual ~Pkcs11ObjectProtocol() = default;

    virtual std::uint64_t object() const = 0;
    virtual std::uint64_t session() const = 0;

    virtual Bytes getValue(Pkcs11DataAttribute attribute) const = 0;
    virtual std::uint64_t getValue(Pkcs11CkUlongAttribute attribute) const = 0;
    virtual bool getValue(Pkcs11BoolAttribute attribute) const = 0;
    // Destroys the object on the token (errors name the operation "delete()").
    virtual void deleteObject() const = 0;
};

class Pkcs11Object final : public Pkcs11ObjectProtocol {
public:
    Pkcs11Object(std::uint64_t object, std::uint64_t session, std::shared_ptr<Pkcs11Library> library)
        : object_(object), session_(session), library_(std::move(library)) {}

    std::uint64_t object() const override { return object_; }
    std::uint64_t session() const override { return session_; }

    // Two passes on the executor, as one job: the length, then the value.
    Bytes getValue(Pkcs11DataAttribute attribute) const override;
    std::uint64_t getValue(Pkcs11CkUlongAttribute attribute) const override;
    bool getValue(Pkcs11BoolAttribute attribute) const override;
    void deleteObject() const override;

    // Same object in the same session.
    bool operator==(const Pkcs11Object& other) const {
        return object_ == other.object_ && session_ == other.session_;
    }

private:
    std::uint64_t object_;
    std::uint64_t session_;
    std::shared_ptr<Pkcs11Library> library_;
};

} // namespace keyvane
