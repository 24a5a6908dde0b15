#include "shared/crypto/PlatformDeviceKeyStore.h"

#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/FileDeviceKeyStore.h"
#include "shared/crypto/TpmDeviceKeyStore.h"
#include "shared/files/SecureFile.h"

#include <unistd.h>

#include <cstdlib>

namespace keyvane {

namespace fs = std::filesystem;

namespace {
constexpr char kernelDevice[] = "/dev/tpmrm0";
}

std::shared_ptr<DeviceKeyStoreProtocol> makeLiveDeviceKeyStore() {
    return std::make_shared<PlatformDeviceKeyStore>();
}

// Tests reach a TPM only through KEYVANE_TPM_TCTI (their own software TPM), never the
// machine's own.
std::shared_ptr<DeviceKeyStoreProtocol> makeTestDeviceKeyStore() {
    return std::make_shared<PlatformDeviceKeyStore>(std::nullopt, false);
}

std::optional<std::string> tpmTctiFromEnvironment(bool useKernelDevice) {
    if (const char* configured = std::getenv("KEYVANE_TPM_TCTI"); configured != nullptr && *configured != '\0') {
        if (std::string(configured) == "none") {
            return std::nullopt;
        }
        return std::string(configured);
    }
    if (useKernelDevice && ::access(kernelDevice, R_OK | W_OK) == 0) {
        return std::string("device:") + kernelDevice;
    }
    return std::nullopt;
}

PlatformDeviceKeyStore::PlatformDeviceKeyStore(std::optional<std::string> tcti, bool useKernelDevice,
                                               std::optional<fs::path> directory)
    : tcti_(std::move(tcti)), useKernelDevice_(useKernelDevice), directory_(std::move(directory)) {}

std::optional<std::string> PlatformDeviceKeyStore::tcti() const {
    return tcti_ ? tcti_ : tpmTctiFromEnvironment(useKernelDevice_);
}

DeviceKeyBackend PlatformDeviceKeyStore::backendOf(const Bytes& tag) const {
    // The TCTI plays no part in the file name.
    if (fs::exists(TpmDeviceKeyStore("", directory_).pathFor(tag))) {
        return DeviceKeyBackend::tpm;
    }
    if (fs::exists(FileDeviceKeyStore(directory_).pathFor(tag))) {
        return DeviceKeyBackend::file;
    }
    return DeviceKeyBackend::none;
}

void PlatformDeviceKeyStore::createKey(const Bytes& tag) {
    // The old key goes first, whichever backend holds it: afterwards only the new one exists.
    deleteKey(tag);
    if (const auto configured = tcti()) {
        TpmDeviceKeyStore(*configured, directory_).createKey(tag);
        return;
    }
    FileDeviceKeyStore(directory_).createKey(tag);
}

std::shared_ptr<const DeviceKey> PlatformDeviceKeyStore::findKey(const Bytes& tag) {
    switch (backendOf(tag)) {
    case DeviceKeyBackend::tpm: {
        const auto configured = tcti();
        if (!configured) {
            throw DeviceKeyError(DeviceKeyError::tpmUnavailable{
                "the key was made on a TPM, and no TPM is configured (KEYVANE_TPM_TCTI) or present"});
        }
        return TpmDeviceKeyStore(*configured, directory_).findKey(tag);
    }
    case DeviceKeyBackend::file:
        return FileDeviceKeyStore(directory_).findKey(tag);
    case DeviceKeyBackend::none:
        break;
    }
    return nullptr;
}

bool PlatformDeviceKeyStore::moveKey(const Bytes& from, const Bytes& to) {
    const TpmDeviceKeyStore tpmKeys("", directory_);
    const FileDeviceKeyStore fileKeys(directory_);
    switch (backendOf(from)) {
    case DeviceKeyBackend::tpm:
        removeSecureFile(fileKeys.pathFor(to));
        return moveKeyFile(tpmKeys.pathFor(from), tpmKeys.pathFor(to));
    case DeviceKeyBackend::file:
        removeSecureFile(tpmKeys.pathFor(to));
        return moveKeyFile(fileKeys.pathFor(from), fileKeys.pathFor(to));
    case DeviceKeyBackend::none:
        break;
    }
    return false;
}

bool PlatformDeviceKeyStore::deleteKey(const Bytes& tag) {
    // Removing the file is enough for a TPM key: nothing of it stays on the TPM.
    const bool tpmKey = TpmDeviceKeyStore("", directory_).deleteKey(tag);
    const bool fileKey = FileDeviceKeyStore(directory_).deleteKey(tag);
    return tpmKey || fileKey;
}

} // namespace keyvane
