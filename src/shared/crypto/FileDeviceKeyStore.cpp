#include "shared/crypto/FileDeviceKeyStore.h"

#include "shared/crypto/OpenSslDeviceKey.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"

namespace keyvane {

namespace fs = std::filesystem;

FileDeviceKeyStore::FileDeviceKeyStore(std::optional<fs::path> directory) : directory_(std::move(directory)) {}

fs::path FileDeviceKeyStore::pathFor(const Bytes& tag) const {
    static constexpr char hex[] = "0123456789abcdef";
    std::string name = "device-key-";
    for (const auto byte : tag) {
        name += hex[byte >> 4];
        name += hex[byte & 0xf];
    }
    name += ".der";
    return (directory_ ? *directory_ : groupDirectory()) / name;
}

void FileDeviceKeyStore::createKey(const Bytes& tag) {
    const auto key = OpenSslDeviceKey::generate();
    SecureBytes der = key->toDer();
    // The rename replaces an older key whole: there is never more than one key per tag.
    writeSecureFile(pathFor(tag), std::string_view(reinterpret_cast<const char*>(der.data()), der.size()));
}

std::shared_ptr<const DeviceKey> FileDeviceKeyStore::findKey(const Bytes& tag) {
    auto content = readSecureFile(pathFor(tag));
    if (!content) {
        return nullptr;
    }
    WipeOnExit wipeContent(*content);
    Bytes der(content->begin(), content->end());
    WipeOnExit wipeDer(der);
    return OpenSslDeviceKey::fromDer(der);
}

bool FileDeviceKeyStore::deleteKey(const Bytes& tag) { return removeSecureFile(pathFor(tag)); }

DeviceKeyBackend FileDeviceKeyStore::backendOf(const Bytes& tag) const {
    return fs::exists(pathFor(tag)) ? DeviceKeyBackend::file : DeviceKeyBackend::none;
}

bool FileDeviceKeyStore::moveKey(const Bytes& from, const Bytes& to) { return moveKeyFile(pathFor(from), pathFor(to)); }

bool moveKeyFile(const fs::path& from, const fs::path& to) {
    auto content = readSecureFile(from);
    if (!content) {
        return false;
    }
    WipeOnExit wipeContent(*content);
    writeSecureFile(to, *content);
    removeSecureFile(from);
    return true;
}

} // namespace keyvane
