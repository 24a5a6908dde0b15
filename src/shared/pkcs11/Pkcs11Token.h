#pragma once

#include "shared/pkcs11/Pkcs11Object.h"
#include "shared/pkcs11/Pkcs11Template.h"
#include "shared/pkcs11/Pkcs11TokenInteractionType.h"
#include "shared/pkcs11/Pkcs11TokenVersion.h"
#include "shared/model/TokenInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace keyvane {

class Pkcs11Library;

// The two objects of a freshly generated key pair.
struct Pkcs11KeyPair {
    Pkcs11Object publicKey;
    Pkcs11Object privateKey;
};

// One connected token with its open read/write session. Every failure is a Pkcs11Error.
class Pkcs11TokenProtocol {
public:
    virtual ~Pkcs11TokenProtocol() = default;

    virtual std::uint64_t slot() const = 0;
    virtual std::uint64_t sessionHandle() const = 0;
    virtual const std::optional<std::string>& label() const = 0;
    virtual const std::string& serial() const = 0;
    // The full serial number as the token reports it (see ParsedTokenInfo::serialNumber).
    virtual const std::string& serialNumber() const = 0;
    virtual const std::string& model() const = 0;
    virtual const Pkcs11TokenInteractionType& interactionType() const = 0;
    virtual bool isSupported() const = 0;
    virtual const Pkcs11TokenVersion& tokenVersion() const = 0;
    // Absent when the token does not report it.
    virtual std::optional<std::uint64_t> totalMemory() const = 0;

    // The objects that match, in the order found; the search is always ended once started.
    virtual std::vector<Pkcs11Object> findObjects(const Pkcs11Template& objectTemplate) const = 0;
    virtual Pkcs11Object createObject(const Pkcs11Template& objectTemplate) const = 0;
    // Verifies the PIN on the token, also when the session was already logged in.
    virtual void login(const std::string& pin) const = 0;
    // Absent when the token does not report it.
    virtual std::optional<std::uint64_t> getFreeMemory() const = 0;
    // Whether the session is logged in as the user (C_GetSessionInfo).
    virtual bool isLoggedIn() const = 0;
    // Runs the operation's token calls as one job on the library's executor, so that no other
    // call (a logout, another operation on the session) comes in between. Exceptions pass
    // through. Without a library behind the token, the operation simply runs.
    virtual void runAsOneJob(const std::function<void()>& operation) const { operation(); }

    // C_GenerateKeyPair with CKM_EC_KEY_PAIR_GEN on the session.
    virtual Pkcs11KeyPair generateKeyPair(const Pkcs11Template& publicKeyTemplate,
                                          const Pkcs11Template& privateKeyTemplate) const = 0;
    // ECDSA over SHA-256 with the private key: CKM_ECDSA_SHA256 where the token offers it,
    // else the digest made here and CKM_ECDSA. Answers the raw signature (r||s for P-256).
    // A touch that did not come in time is touchTimeExpired.
    virtual Bytes sign(const Bytes& data, const Pkcs11ObjectProtocol& key) const = 0;
};

// A token as opened by Pkcs11Token::open. Copies share the session.
class Pkcs11Token final : public Pkcs11TokenProtocol {
public:
    // Opens the token in a slot: reads what Keyvane shows of it, its model and its touch
    // settings, and opens its session. One job on the library's executor. A session opened
    // by a failed attempt is closed again.
    static Pkcs11Token open(std::shared_ptr<Pkcs11Library> library, std::uint64_t slot);

    std::uint64_t slot() const override { return slot_; }
    std::uint64_t sessionHandle() const override { return sessionHandle_; }
    const std::optional<std::string>& label() const override { return label_; }
    const std::string& serial() const override { return serial_; }
    const std::string& serialNumber() const override { return serialNumber_; }
    const std::string& model() const override { return model_; }
    const Pkcs11TokenInteractionType& interactionType() const override { return interactionType_; }
    bool isSupported() const override { return isSupported_; }
    const Pkcs11TokenVersion& tokenVersion() const override { return tokenVersion_; }
    std::optional<std::uint64_t> totalMemory() const override { return totalMemory_; }

    std::vector<Pkcs11Object> findObjects(const Pkcs11Template& objectTemplate) const override;
    Pkcs11Object createObject(const Pkcs11Template& objectTemplate) const override;
    void login(const std::string& pin) const override;
    std::optional<std::uint64_t> getFreeMemory() const override;
    bool isLoggedIn() const override;
    void runAsOneJob(const std::function<void()>& operation) const override;
    Pkcs11KeyPair generateKeyPair(const Pkcs11Template& publicKeyTemplate,
                                  const Pkcs11Template& privateKeyTemplate) const override;
    Bytes sign(const Bytes& data, const Pkcs11ObjectProtocol& key) const override;

    // The mechanisms the token offered when it was opened.
    const std::vector<std::uint64_t>& mechanisms() const { return mechanisms_; }

    const std::shared_ptr<Pkcs11Library>& library() const { return library_; }

private:
    explicit Pkcs11Token(std::shared_ptr<Pkcs11Library> library) : library_(std::move(library)) {}
    void openOnExecutor();
    std::optional<std::uint64_t> attemptsLeftAfterWrongPin() const;

    std::shared_ptr<Pkcs11Library> library_;
    std::uint64_t slot_ = 0;
    std::uint64_t sessionHandle_ = 0;
    std::optional<std::string> label_;
    std::string serial_;
    std::string serialNumber_;
    std::string model_;
    Pkcs11TokenInteractionType interactionType_;
    bool isSupported_ = false;
    Pkcs11TokenVersion tokenVersion_;
    std::optional<std::uint64_t> totalMemory_;
    std::vector<std::uint64_t> mechanisms_;
};

// What the state and the records keep of an open token. A token that does not tell its total
// memory shows 0: the field is not optional. The available memory is left for the caller to
// read (getFreeMemory), since it is a library call.
inline TokenInfo makeTokenInfo(const Pkcs11TokenProtocol& token,
                               std::optional<std::uint64_t> availableMemory = std::nullopt) {
    return TokenInfo{token.label(),
                     token.model(),
                     token.serial(),
                     token.tokenVersion().versionString(),
                     token.totalMemory().value_or(0),
                     availableMemory,
                     token.isSupported()};
}

} // namespace keyvane
