#include "shared/pkcs11/Pkcs11Token.h"

#include "shared/pkcs11/ExtendedTokenInfo.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Vendor.h"
#include "shared/pkcs11/TokenInfoParser.h"
#include "shared/pkcs11/TokenModel.h"
#include "shared/utils/SecureMemory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string.h> // explicit_bzero

#include <openssl/sha.h>

namespace keyvane {

namespace {

constexpr CK_ULONG searchBatchSize = 16;

// Runs a token operation; an error that is not the layer's own becomes one, named after the
// operation, without a return value.
template <class F>
auto asLayerError(const char* func, int line, F&& operation) {
    try {
        return operation();
    } catch (const Pkcs11Error&) {
        throw;
    } catch (...) {
        throw Pkcs11Error::internal(func, {}, line);
    }
}

} // namespace

Pkcs11Token Pkcs11Token::open(std::shared_ptr<Pkcs11Library> library, std::uint64_t slot) {
    Pkcs11Token token(std::move(library));
    token.slot_ = slot;
    token.library_->run([&] { token.openOnExecutor(); });
    return token;
}

void Pkcs11Token::openOnExecutor() {
    constexpr const char* func = "init(with:)";
    auto& library = *library_;

    CK_TOKEN_INFO info{};
    if (const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_GetTokenInfo, CK_SLOT_ID(slot_), &info); rv != CKR_OK) {
        throw Pkcs11Error::internal(func, {.rv = rv});
    }
    const ParsedTokenInfo parsed = token_info_parser::parse(info);
    label_ = parsed.label;
    serial_ = parsed.serial;
    serialNumber_ = parsed.serialNumber;
    tokenVersion_ = parsed.version;
    totalMemory_ = parsed.totalMemory;

    // Modules without the vendor function are read through standard calls alone.
    std::optional<ExtendedTokenInfo> extended;
    if (library.hasVendorFunction()) {
        const auto [rv, record] = library.getTokenInfoExtended(slot_);
        if (rv != CKR_OK) {
            throw Pkcs11Error::internal(func, {.rv = rv});
        }
        extended = ExtendedTokenInfo::parse(record);
    }

    CK_ULONG count = 0;
    if (const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_GetMechanismList, CK_SLOT_ID(slot_),
                                      CK_MECHANISM_TYPE_PTR(nullptr), &count);
        rv != CKR_OK) {
        throw Pkcs11Error::internal(func, {.rv = rv});
    }
    std::vector<CK_MECHANISM_TYPE> mechanisms(count);
    if (count > 0) {
        if (const CK_RV rv =
                library.call(&CK_FUNCTION_LIST::C_GetMechanismList, CK_SLOT_ID(slot_), mechanisms.data(), &count);
            rv != CKR_OK) {
            throw Pkcs11Error::internal(func, {.rv = rv});
        }
        mechanisms.resize(std::min<std::size_t>(count, mechanisms.size()));
    }
    mechanisms_.assign(mechanisms.begin(), mechanisms.end());

    CK_SESSION_HANDLE session = 0;
    if (const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_OpenSession, CK_SLOT_ID(slot_),
                                      CK_FLAGS(CKF_SERIAL_SESSION | CKF_RW_SESSION), CK_VOID_PTR(nullptr),
                                      CK_NOTIFY(nullptr), &session);
        rv != CKR_OK) {
        throw Pkcs11Error::internal(func, {.rv = rv});
    }
    sessionHandle_ = session;

    try {
        if (!extended) {
            const TokenModel model = getGenericTokenModel(parsed, mechanisms);
            model_ = model.model;
            // A token that was never initialised has no user PIN to log in with: it is shown,
            // but cannot hold passkeys until its owner sets it up.
            isSupported_ = model.isSupported && (info.flags & CKF_TOKEN_INITIALIZED) != 0;
            return;
        }
        const auto hwFeatures = findObjects(hwFeatureTemplate(pkcs11_vendor::hwFeatureModelName));
        if (hwFeatures.empty()) {
            throw Pkcs11Error::internal(func);
        }
        if (extended->needsTouch()) {
            const auto touchObjects = findObjects(hwFeatureTemplate(pkcs11_vendor::hwFeatureTouchSettings));
            if (touchObjects.empty()) {
                throw Pkcs11Error::internal(func);
            }
            Pkcs11TouchTokenInfo touch;
            try {
                const auto& settings = touchObjects.front();
                touch.touchMode = settings.getValue(Pkcs11CkUlongAttribute::touchMode);
                touch.userPresentTimeLimit = settings.getValue(Pkcs11CkUlongAttribute::touchUserPresentTimeLimit);
                touch.userActionTimeout = settings.getValue(Pkcs11CkUlongAttribute::touchUserActionTimeout);
            } catch (...) {
                throw Pkcs11Error::internal(func);
            }
            interactionType_ = Pkcs11TokenInteractionType::touch{touch};
        }
        const TokenModel model = getTokenModel(info, *extended, mechanisms, hwFeatures.front());
        model_ = model.model;
        isSupported_ = model.isSupported;
    } catch (...) {
        // Nobody will ever use this session: the token is not listed.
        library.closeSession(session);
        throw;
    }
}

std::vector<Pkcs11Object> Pkcs11Token::findObjects(const Pkcs11Template& objectTemplate) const {
    constexpr const char* func = "findObjects(withTemplate:)";
    return asLayerError(func, sourceLine(), [&] {
        return library_->run([&] {
            return objectTemplate.withAttributes([&](CK_ATTRIBUTE_PTR list, CK_ULONG count) {
                auto& library = *library_;
                const auto session = CK_SESSION_HANDLE(sessionHandle_);
                CK_RV started = library.call(&CK_FUNCTION_LIST::C_FindObjectsInit, session, list, count);
                if (started == CKR_OPERATION_ACTIVE) {
                    // An earlier search whose end failed is still open on the session; unless it
                    // is ended, no search on this session would ever start again.
                    library.call(&CK_FUNCTION_LIST::C_FindObjectsFinal, session);
                    started = library.call(&CK_FUNCTION_LIST::C_FindObjectsInit, session, list, count);
                }
                if (started != CKR_OK) {
                    throw Pkcs11Error::internal(func, {.rv = started}); // never started: nothing to end
                }
                std::vector<Pkcs11Object> found;
                try {
                    for (;;) {
                        std::array<CK_OBJECT_HANDLE, searchBatchSize> batch{};
                        CK_ULONG answered = 0;
                        const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_FindObjects, session, batch.data(),
                                                      searchBatchSize, &answered);
                        if (rv != CKR_OK) {
                            throw Pkcs11Error::internal(func, {.rv = rv});
                        }
                        if (answered > searchBatchSize) {
                            throw Pkcs11Error::internal(func); // more than the buffer holds
                        }
                        for (CK_ULONG index = 0; index < answered; ++index) {
                            found.emplace_back(batch[index], sessionHandle_, library_);
                        }
                        if (answered != searchBatchSize) {
                            break;
                        }
                    }
                } catch (...) {
                    library.call(&CK_FUNCTION_LIST::C_FindObjectsFinal, session);
                    throw;
                }
                library.call(&CK_FUNCTION_LIST::C_FindObjectsFinal, session);
                return found;
            });
        });
    });
}

Pkcs11Object Pkcs11Token::createObject(const Pkcs11Template& objectTemplate) const {
    constexpr const char* func = "createObject(withTemplate:)";
    return asLayerError(func, sourceLine(), [&] {
        return library_->run([&] {
            return objectTemplate.withAttributes([&](CK_ATTRIBUTE_PTR list, CK_ULONG count) {
                CK_OBJECT_HANDLE handle = 0;
                if (const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_CreateObject,
                                                    CK_SESSION_HANDLE(sessionHandle_), list, count, &handle);
                    rv != CKR_OK) {
                    throw Pkcs11Error::internal(func, {.rv = rv});
                }
                return Pkcs11Object(handle, sessionHandle_, library_);
            });
        });
    });
}

void Pkcs11Token::login(const std::string& pin) const {
    library_->run([&] {
        auto& library = *library_;
        const auto session = CK_SESSION_HANDLE(sessionHandle_);
        // Wiped when it goes, on every path (a failed call throws past the end of this block).
        SecureBytes bytes(pin.begin(), pin.end());
        // An empty PIN is still a PIN: a NULL pointer would be refused as a bad argument.
        CK_UTF8CHAR empty = 0;
        CK_UTF8CHAR_PTR pointer = bytes.empty() ? &empty : bytes.data();
        const auto attempt = [&] {
            return library.call(&CK_FUNCTION_LIST::C_Login, session, CK_USER_TYPE(CKU_USER), pointer,
                                CK_ULONG(bytes.size()));
        };
        CK_RV rv = attempt();
        if (rv == CKR_USER_ALREADY_LOGGED_IN) {
            // An earlier login says nothing about this PIN, which callers go on to cache:
            // log out and let the token verify it.
            library.call(&CK_FUNCTION_LIST::C_Logout, session);
            rv = attempt();
        }
        switch (rv) {
        case CKR_OK:
            return;
        case CKR_PIN_INCORRECT:
            throw Pkcs11Error(Pkcs11Error::incorrectPin{attemptsLeftAfterWrongPin()});
        case CKR_PIN_LOCKED:
            throw Pkcs11Error(Pkcs11Error::pinLocked{});
        default:
            throw Pkcs11Error::internal("login(with:)", {.rv = rv});
        }
    });
}

std::optional<std::uint64_t> Pkcs11Token::attemptsLeftAfterWrongPin() const {
    if (library_->hasVendorFunction()) {
        const auto [rv, record] = library_->getTokenInfoExtended(slot_);
        if (rv == CKR_OK) {
            return ExtendedTokenInfo::parse(record)->userPinAttemptsLeft;
        }
    }
    // Standard tokens tell only the last try and the lock; anything else is unknown.
    CK_TOKEN_INFO info{};
    if (library_->call(&CK_FUNCTION_LIST::C_GetTokenInfo, CK_SLOT_ID(slot_), &info) == CKR_OK) {
        if ((info.flags & CKF_USER_PIN_LOCKED) != 0) {
            return 0;
        }
        if ((info.flags & CKF_USER_PIN_FINAL_TRY) != 0) {
            return 1;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> Pkcs11Token::getFreeMemory() const {
    CK_TOKEN_INFO info{};
    if (const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_GetTokenInfo, CK_SLOT_ID(slot_), &info); rv != CKR_OK) {
        throw Pkcs11Error::internal("getFreeMemory()", {.rv = rv});
    }
    if (info.ulFreePublicMemory == CK_UNAVAILABLE_INFORMATION) {
        return std::nullopt;
    }
    return info.ulFreePublicMemory;
}

bool Pkcs11Token::isLoggedIn() const {
    CK_SESSION_INFO info{};
    if (const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_GetSessionInfo, CK_SESSION_HANDLE(sessionHandle_), &info);
        rv != CKR_OK) {
        throw Pkcs11Error::internal("isLoggedIn()", {.rv = rv});
    }
    return info.state == CKS_RO_USER_FUNCTIONS || info.state == CKS_RW_USER_FUNCTIONS;
}

void Pkcs11Token::runAsOneJob(const std::function<void()>& operation) const { library_->run(operation); }

Pkcs11KeyPair Pkcs11Token::generateKeyPair(const Pkcs11Template& publicKeyTemplate,
                                           const Pkcs11Template& privateKeyTemplate) const {
    constexpr const char* func = "generateKeyPair(publicKeyTemplate:privateKeyTemplate:)";
    return asLayerError(func, sourceLine(), [&] {
        return publicKeyTemplate.withAttributes([&](CK_ATTRIBUTE_PTR publicList, CK_ULONG publicCount) {
            return privateKeyTemplate.withAttributes([&](CK_ATTRIBUTE_PTR privateList, CK_ULONG privateCount) {
                CK_MECHANISM mechanism{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
                CK_OBJECT_HANDLE publicKey = 0;
                CK_OBJECT_HANDLE privateKey = 0;
                if (const CK_RV rv = library_->call(&CK_FUNCTION_LIST::C_GenerateKeyPair,
                                                    CK_SESSION_HANDLE(sessionHandle_), &mechanism, publicList,
                                                    publicCount, privateList, privateCount, &publicKey, &privateKey);
                    rv != CKR_OK) {
                    throw Pkcs11Error::internal(func, {.rv = rv});
                }
                return Pkcs11KeyPair{Pkcs11Object(publicKey, sessionHandle_, library_),
                                     Pkcs11Object(privateKey, sessionHandle_, library_)};
            });
        });
    });
}

Bytes Pkcs11Token::sign(const Bytes& data, const Pkcs11ObjectProtocol& key) const {
    constexpr const char* func = "sign(_:_:)";
    // Tokens without the combined mechanism (SoftHSM2 among them) sign a digest made here;
    // the signature is the same.
    const bool signsSha256 =
        std::find(mechanisms_.begin(), mechanisms_.end(), CKM_ECDSA_SHA256) != mechanisms_.end();
    Bytes input;
    if (signsSha256) {
        input = data;
    } else {
        input.resize(SHA256_DIGEST_LENGTH);
        SHA256(data.data(), data.size(), input.data());
    }
    return asLayerError(func, sourceLine(), [&] {
        // One job: no other operation may start a signature on the session in between.
        return library_->run([&] {
            auto& library = *library_;
            const auto session = CK_SESSION_HANDLE(sessionHandle_);
            CK_MECHANISM mechanism{signsSha256 ? CKM_ECDSA_SHA256 : CKM_ECDSA, nullptr, 0};
            if (const CK_RV rv =
                    library.call(&CK_FUNCTION_LIST::C_SignInit, session, &mechanism, CK_OBJECT_HANDLE(key.object()));
                rv != CKR_OK) {
                throw Pkcs11Error::internal(func, {.rv = rv});
            }
            CK_ULONG length = 0;
            if (const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_Sign, session, input.data(), CK_ULONG(input.size()),
                                              CK_BYTE_PTR(nullptr), &length);
                rv != CKR_OK) {
                throw Pkcs11Error::internal(func, {.rv = rv});
            }
            Bytes signature(length);
            const CK_RV rv = library.call(&CK_FUNCTION_LIST::C_Sign, session, input.data(), CK_ULONG(input.size()),
                                          signature.data(), &length);
            if (rv == CKR_FUNCTION_REJECTED) {
                throw Pkcs11Error(Pkcs11Error::touchTimeExpired{});
            }
            if (rv != CKR_OK) {
                throw Pkcs11Error::internal(func, {.rv = rv});
            }
            signature.resize(std::min<std::size_t>(length, signature.size()));
            return signature;
        });
    });
}

} // namespace keyvane
