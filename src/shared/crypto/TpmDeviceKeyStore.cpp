#include "shared/crypto/TpmDeviceKeyStore.h"

#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/FileDeviceKeyStore.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"

#include <tss2/tss2_esys.h>
#include <tss2/tss2_mu.h>
#include <tss2/tss2_rc.h>
#include <tss2/tss2_tctildr.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace keyvane {

namespace fs = std::filesystem;

namespace {

// Marks the file as ours and its layout: magic, marshalled TPM2B_PUBLIC, marshalled
// TPM2B_PRIVATE, then (from the second layout on) the marshalled TPM2B_NAME of the TPM's
// endorsement identity, nothing after. Files of the first layout are still read.
constexpr char fileMagic[8] = {'K', 'V', 'T', 'P', 'M', 'D', 'K', '2'};
constexpr char firstLayoutMagic[8] = {'K', 'V', 'T', 'P', 'M', 'D', 'K', '1'};
constexpr std::size_t coordinateLength = 32;
constexpr TPMA_OBJECT keyAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT |
                                      TPMA_OBJECT_SENSITIVEDATAORIGIN | TPMA_OBJECT_USERWITHAUTH |
                                      TPMA_OBJECT_DECRYPT | TPMA_OBJECT_NODA;

std::string decode(TSS2_RC rc) {
    const char* text = Tss2_RC_Decode(rc);
    return text != nullptr ? text : "unknown response code";
}

bool fromTransport(TSS2_RC rc) { return (rc & TSS2_RC_LAYER_MASK) == TSS2_TCTI_RC_LAYER; }

// A failed call: the transport gone is "unavailable"; anything else is the TPM's refusal.
[[noreturn]] void fail(const char* call, TSS2_RC rc) {
    if (fromTransport(rc)) {
        throw DeviceKeyError(DeviceKeyError::tpmUnavailable{std::string(call) + ": " + decode(rc)});
    }
    throw DeviceKeyError(DeviceKeyError::tpmFailure{call, rc, decode(rc)});
}

void check(const char* call, TSS2_RC rc) {
    if (rc != TSS2_RC_SUCCESS) {
        fail(call, rc);
    }
}

struct EsysFree {
    void operator()(void* pointer) const noexcept { Esys_Free(pointer); }
};
template <class T>
using EsysPtr = std::unique_ptr<T, EsysFree>;

// One TCTI connection and its ESAPI context.
class TpmContext {
public:
    explicit TpmContext(const std::string& tcti) {
        TSS2_RC rc = Tss2_TctiLdr_Initialize(tcti.c_str(), &tcti_);
        if (rc != TSS2_RC_SUCCESS) {
            throw DeviceKeyError(DeviceKeyError::tpmUnavailable{"TCTI \"" + tcti + "\": " + decode(rc)});
        }
        rc = Esys_Initialize(&esys_, tcti_, nullptr);
        if (rc != TSS2_RC_SUCCESS) {
            Tss2_TctiLdr_Finalize(&tcti_);
            throw DeviceKeyError(DeviceKeyError::tpmUnavailable{"Esys_Initialize: " + decode(rc)});
        }
    }
    ~TpmContext() {
        Esys_Finalize(&esys_);
        Tss2_TctiLdr_Finalize(&tcti_);
    }
    TpmContext(const TpmContext&) = delete;
    TpmContext& operator=(const TpmContext&) = delete;

    ESYS_CONTEXT* get() const { return esys_; }

private:
    TSS2_TCTI_CONTEXT* tcti_ = nullptr;
    ESYS_CONTEXT* esys_ = nullptr;
};

// A transient object or session, flushed when it goes out of scope: a TPM without a resource
// manager keeps what a client leaves loaded, and runs out of slots after a few leaks.
class Transient {
public:
    Transient(ESYS_CONTEXT* esys, ESYS_TR handle) : esys_(esys), handle_(handle) {}
    ~Transient() { flush(); }
    Transient(const Transient&) = delete;
    Transient& operator=(const Transient&) = delete;

    ESYS_TR get() const { return handle_; }
    void flush() {
        if (handle_ != ESYS_TR_NONE) {
            Esys_FlushContext(esys_, handle_);
            handle_ = ESYS_TR_NONE;
        }
    }

private:
    ESYS_CONTEXT* esys_;
    ESYS_TR handle_;
};

TPM2B_PUBLIC eccTemplate(TPMA_OBJECT attributes) {
    TPM2B_PUBLIC result{};
    auto& area = result.publicArea;
    area.type = TPM2_ALG_ECC;
    area.nameAlg = TPM2_ALG_SHA256;
    area.objectAttributes = attributes;
    auto& ecc = area.parameters.eccDetail;
    ecc.symmetric.algorithm = TPM2_ALG_NULL;
    ecc.scheme.scheme = TPM2_ALG_NULL;
    ecc.curveID = TPM2_ECC_NIST_P256;
    ecc.kdf.scheme = TPM2_ALG_NULL;
    return result;
}

// An ECC storage key of the hierarchy (the owner's unless said) in its common template:
// derived from the hierarchy's seed, so it is the same key at every creation until the seed
// changes (clearing the TPM changes the owner's).
Transient createPrimary(const TpmContext& tpm, ESYS_TR hierarchy = ESYS_TR_RH_OWNER) {
    TPM2B_PUBLIC templ = eccTemplate(TPMA_OBJECT_RESTRICTED | TPMA_OBJECT_DECRYPT | TPMA_OBJECT_FIXEDTPM |
                                     TPMA_OBJECT_FIXEDPARENT | TPMA_OBJECT_SENSITIVEDATAORIGIN |
                                     TPMA_OBJECT_USERWITHAUTH | TPMA_OBJECT_NODA);
    auto& symmetric = templ.publicArea.parameters.eccDetail.symmetric;
    symmetric.algorithm = TPM2_ALG_AES;
    symmetric.keyBits.aes = 128;
    symmetric.mode.aes = TPM2_ALG_CFB;
    const TPM2B_SENSITIVE_CREATE sensitive{};
    const TPM2B_DATA outsideInfo{};
    const TPML_PCR_SELECTION pcrs{};
    ESYS_TR handle = ESYS_TR_NONE;
    check("CreatePrimary",
          Esys_CreatePrimary(tpm.get(), hierarchy, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE, &sensitive,
                             &templ, &outsideInfo, &pcrs, &handle, nullptr, nullptr, nullptr, nullptr));
    return Transient(tpm.get(), handle);
}

// Which TPM this is: the name of a primary key under the endorsement hierarchy. It comes from
// the endorsement seed, which clearing the TPM keeps and which differs from one TPM to the
// next, so a refusal of the device key can be told apart: the same TPM cleared (the key is
// gone) or another TPM answering in its place (the right one is out of reach).
TPM2B_NAME endorsementIdentity(const TpmContext& tpm) {
    const Transient primary = createPrimary(tpm, ESYS_TR_RH_ENDORSEMENT);
    TPM2B_NAME* rawName = nullptr;
    check("TR_GetName", Esys_TR_GetName(tpm.get(), primary.get(), &rawName));
    EsysPtr<TPM2B_NAME> name(rawName);
    return *name;
}

bool sameName(const TPM2B_NAME& a, const TPM2B_NAME& b) {
    return a.size == b.size && std::memcmp(a.name, b.name, a.size) == 0;
}

struct KeyBlob {
    TPM2B_PUBLIC publicArea{};
    TPM2B_PRIVATE privateArea{};
    std::optional<TPM2B_NAME> madeBy; // absent in files of the first layout
};

std::string serialise(const KeyBlob& blob) {
    std::string content(fileMagic, sizeof fileMagic);
    std::uint8_t buffer[sizeof(TPM2B_PUBLIC) + sizeof(TPM2B_PRIVATE) + sizeof(TPM2B_NAME)];
    std::size_t offset = 0;
    check("marshal public area", Tss2_MU_TPM2B_PUBLIC_Marshal(&blob.publicArea, buffer, sizeof buffer, &offset));
    check("marshal private area", Tss2_MU_TPM2B_PRIVATE_Marshal(&blob.privateArea, buffer, sizeof buffer, &offset));
    check("marshal TPM name", Tss2_MU_TPM2B_NAME_Marshal(&*blob.madeBy, buffer, sizeof buffer, &offset));
    content.append(reinterpret_cast<const char*>(buffer), offset);
    return content;
}

[[noreturn]] void damaged(const std::string& what) {
    throw DeviceKeyError(DeviceKeyError::keyLost{"the key file is damaged: " + what});
}

KeyBlob parse(const std::string& content) {
    const auto hasMagic = [&](const char (&magic)[8]) {
        return content.size() >= sizeof magic && std::memcmp(content.data(), magic, sizeof magic) == 0;
    };
    const bool firstLayout = hasMagic(firstLayoutMagic);
    if (!firstLayout && !hasMagic(fileMagic)) {
        damaged("not a TPM key file");
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(content.data());
    std::size_t offset = sizeof fileMagic;
    KeyBlob blob;
    if (Tss2_MU_TPM2B_PUBLIC_Unmarshal(data, content.size(), &offset, &blob.publicArea) != TSS2_RC_SUCCESS ||
        Tss2_MU_TPM2B_PRIVATE_Unmarshal(data, content.size(), &offset, &blob.privateArea) != TSS2_RC_SUCCESS) {
        damaged("truncated or malformed");
    }
    if (!firstLayout) {
        TPM2B_NAME name{};
        if (Tss2_MU_TPM2B_NAME_Unmarshal(data, content.size(), &offset, &name) != TSS2_RC_SUCCESS || name.size == 0) {
            damaged("truncated or malformed");
        }
        blob.madeBy = name;
    }
    if (offset != content.size()) {
        damaged("trailing bytes");
    }
    const auto& area = blob.publicArea.publicArea;
    if (area.type != TPM2_ALG_ECC || area.parameters.eccDetail.curveID != TPM2_ECC_NIST_P256 ||
        area.objectAttributes != keyAttributes || area.unique.ecc.x.size > coordinateLength ||
        area.unique.ecc.y.size > coordinateLength) {
        damaged("not a P-256 key-agreement key bound to the TPM");
    }
    return blob;
}

void appendPadded(Bytes& out, const TPM2B_ECC_PARAMETER& coordinate) {
    out.insert(out.end(), coordinateLength - coordinate.size, 0);
    out.insert(out.end(), coordinate.buffer, coordinate.buffer + coordinate.size);
}

// Why a TPM that answers refuses the wrapped private part (its integrity check fails under
// another storage key): the TPM that made the key was cleared, and the key is gone for good;
// or another TPM answers, and the one that holds the key is out of reach. Refusals that
// cannot be told apart (no identity recorded, the endorsement hierarchy closed) erase
// nothing unless the file predates the recorded identity.
[[noreturn]] void refused(const TpmContext& tpm, const KeyBlob& blob, TSS2_RC rc) {
    if (!blob.madeBy) {
        throw DeviceKeyError(DeviceKeyError::keyLost{
            "the TPM refuses the key (" + decode(rc) + "); it was cleared or is not the TPM that made the key"});
    }
    std::optional<TPM2B_NAME> answering;
    try {
        answering = endorsementIdentity(tpm);
    } catch (const DeviceKeyError&) {
        throw DeviceKeyError(DeviceKeyError::tpmUnavailable{
            "the TPM refuses the key (" + decode(rc) + ") and cannot say whether it is the TPM that made it"});
    }
    if (!sameName(*answering, *blob.madeBy)) {
        throw DeviceKeyError(DeviceKeyError::tpmUnavailable{
            "the TPM that answers is not the one that made the key (check KEYVANE_TPM_TCTI)"});
    }
    throw DeviceKeyError(DeviceKeyError::keyLost{"the TPM that made the key refuses it (" + decode(rc) +
                                                 "); it was cleared"});
}

// Loads the key under a fresh primary.
Transient loadKey(const TpmContext& tpm, const Transient& primary, const KeyBlob& blob) {
    ESYS_TR handle = ESYS_TR_NONE;
    const TSS2_RC rc = Esys_Load(tpm.get(), primary.get(), ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                                 &blob.privateArea, &blob.publicArea, &handle);
    if (rc != TSS2_RC_SUCCESS) {
        if ((rc & TSS2_RC_LAYER_MASK) == TSS2_TPM_RC_LAYER && (rc & TPM2_RC_FMT1) != 0) {
            refused(tpm, blob, rc);
        }
        fail("Load", rc);
    }
    return Transient(tpm.get(), handle);
}

class TpmDeviceKey final : public DeviceKey {
public:
    TpmDeviceKey(std::string tcti, fs::path lockPath, KeyBlob blob)
        : tcti_(std::move(tcti)), lockPath_(std::move(lockPath)), blob_(blob) {}

    Bytes publicKey() const override {
        Bytes point{0x04};
        appendPadded(point, blob_.publicArea.publicArea.unique.ecc.x);
        appendPadded(point, blob_.publicArea.publicArea.unique.ecc.y);
        return point;
    }

    SecureBytes keyAgreement(const Bytes& peerPublicKey) const override {
        if (peerPublicKey.size() != 1 + 2 * coordinateLength || peerPublicKey[0] != 0x04) {
            throw DeviceKeyError(
                DeviceKeyError::tpmFailure{"ECDH_ZGen", 0, "the peer key is not an uncompressed P-256 point"});
        }
        TPM2B_ECC_POINT peer{};
        peer.point.x.size = coordinateLength;
        peer.point.y.size = coordinateLength;
        std::copy_n(peerPublicKey.begin() + 1, coordinateLength, peer.point.x.buffer);
        std::copy_n(peerPublicKey.begin() + 1 + coordinateLength, coordinateLength, peer.point.y.buffer);

        FileLock lock(lockPath_);
        TpmContext tpm(tcti_);
        Transient primary = createPrimary(tpm);
        // A session salted with the primary key encrypts the response, so the shared secret
        // does not cross the bus to the TPM in clear.
        TPMT_SYM_DEF symmetric{};
        symmetric.algorithm = TPM2_ALG_AES;
        symmetric.keyBits.aes = 128;
        symmetric.mode.aes = TPM2_ALG_CFB;
        ESYS_TR sessionHandle = ESYS_TR_NONE;
        check("StartAuthSession",
              Esys_StartAuthSession(tpm.get(), primary.get(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                                    nullptr, TPM2_SE_HMAC, &symmetric, TPM2_ALG_SHA256, &sessionHandle));
        Transient session(tpm.get(), sessionHandle);
        check("TRSess_SetAttributes",
              Esys_TRSess_SetAttributes(tpm.get(), session.get(),
                                        TPMA_SESSION_CONTINUESESSION | TPMA_SESSION_ENCRYPT, 0xff));
        Transient key = loadKey(tpm, primary, blob_);
        // Two objects at most at any time: a TPM without a resource manager has three slots.
        primary.flush();
        TPM2B_ECC_POINT* rawPoint = nullptr;
        check("ECDH_ZGen", Esys_ECDH_ZGen(tpm.get(), key.get(), session.get(), ESYS_TR_NONE, ESYS_TR_NONE, &peer,
                                          &rawPoint));
        EsysPtr<TPM2B_ECC_POINT> point(rawPoint);
        const auto& x = point->point.x;
        if (x.size > coordinateLength) {
            throw DeviceKeyError(DeviceKeyError::tpmFailure{"ECDH_ZGen", 0, "the shared point is too long"});
        }
        SecureBytes shared(coordinateLength - x.size, 0);
        shared.insert(shared.end(), x.buffer, x.buffer + x.size);
        std::fill(std::begin(point->point.x.buffer), std::end(point->point.x.buffer), 0);
        return shared;
    }

private:
    std::string tcti_;
    fs::path lockPath_;
    KeyBlob blob_;
};

} // namespace

TpmDeviceKeyStore::TpmDeviceKeyStore(std::string tcti, std::optional<fs::path> directory)
    : tcti_(std::move(tcti)), directory_(std::move(directory)) {}

fs::path TpmDeviceKeyStore::directory() const { return directory_ ? *directory_ : groupDirectory(); }

fs::path TpmDeviceKeyStore::pathFor(const Bytes& tag) const {
    return FileDeviceKeyStore(directory()).pathFor(tag).replace_extension(".tpm");
}

void TpmDeviceKeyStore::createKey(const Bytes& tag) {
    const fs::path folder = directory();
    KeyBlob blob;
    {
        FileLock lock(folder / "tpm.lock");
        TpmContext tpm(tcti_);
        blob.madeBy = endorsementIdentity(tpm);
        const Transient primary = createPrimary(tpm);
        const TPM2B_PUBLIC templ = eccTemplate(keyAttributes);
        const TPM2B_SENSITIVE_CREATE sensitive{};
        const TPM2B_DATA outsideInfo{};
        const TPML_PCR_SELECTION pcrs{};
        TPM2B_PRIVATE* rawPrivate = nullptr;
        TPM2B_PUBLIC* rawPublic = nullptr;
        check("Create", Esys_Create(tpm.get(), primary.get(), ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                                    &sensitive, &templ, &outsideInfo, &pcrs, &rawPrivate, &rawPublic, nullptr,
                                    nullptr, nullptr));
        EsysPtr<TPM2B_PRIVATE> privateArea(rawPrivate);
        EsysPtr<TPM2B_PUBLIC> publicArea(rawPublic);
        blob.publicArea = *publicArea;
        blob.privateArea = *privateArea;
    }
    // The rename replaces an older key whole: there is never more than one key per tag.
    writeSecureFile(pathFor(tag), serialise(blob));
}

std::shared_ptr<const DeviceKey> TpmDeviceKeyStore::findKey(const Bytes& tag) {
    const auto content = readSecureFile(pathFor(tag));
    if (!content) {
        return nullptr;
    }
    const KeyBlob blob = parse(*content);
    const fs::path lockPath = directory() / "tpm.lock";
    {
        FileLock lock(lockPath);
        TpmContext tpm(tcti_);
        const Transient primary = createPrimary(tpm);
        loadKey(tpm, primary, blob);
    }
    return std::make_shared<TpmDeviceKey>(tcti_, lockPath, blob);
}

bool TpmDeviceKeyStore::deleteKey(const Bytes& tag) { return removeSecureFile(pathFor(tag)); }

DeviceKeyBackend TpmDeviceKeyStore::backendOf(const Bytes& tag) const {
    return fs::exists(pathFor(tag)) ? DeviceKeyBackend::tpm : DeviceKeyBackend::none;
}

// The wrapped key names no tag: the file can change names freely.
bool TpmDeviceKeyStore::moveKey(const Bytes& from, const Bytes& to) { return moveKeyFile(pathFor(from), pathFor(to)); }

} // namespace keyvane
