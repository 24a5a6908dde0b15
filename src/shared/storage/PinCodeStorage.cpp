#include "shared/storage/PinCodeStorage.h"

#include "shared/storage/PinCodeStorageError.h"

namespace keyvane {

PinCodeStorage::PinCodeStorage(std::shared_ptr<const ModelContainer> modelContainer)
    : modelContainer_(std::move(modelContainer)), context_(modelContainer_->makeContext()) {}

template <class Work>
auto PinCodeStorage::run(const char* function, bool writes, Work&& work, SourceLine line) -> decltype(work()) {
    std::lock_guard guard(modelExecutor_);
    try {
        return writes ? context_->write(std::forward<Work>(work)) : context_->read(std::forward<Work>(work));
    } catch (...) {
        throw PinCodeStorageError::general(function, AnyError::fromCurrentException(), line);
    }
}

void PinCodeStorage::savePin(const std::string& serial, const Bytes& encryptedPin, const std::string& serialNumber) {
    run("savePin(for:encryptedPin:)", true, [&] {
        const PinEntry entry(serial, encryptedPin, serialNumber);
        auto statement = context_->prepare(
            "INSERT INTO PinEntry (serial, encryptedPin, serialNumber) VALUES (?1, ?2, ?3) "
            "ON CONFLICT(serial) DO UPDATE SET encryptedPin = excluded.encryptedPin, "
            "serialNumber = excluded.serialNumber");
        statement.bind(1, entry.serial).bind(2, entry.encryptedPin).bind(3, *entry.serialNumber);
        statement.step();
    });
}

std::optional<PinEntry> PinCodeStorage::getPin(const std::string& serial) {
    return run("getPin(for:)", false, [&]() -> std::optional<PinEntry> {
        auto statement = context_->prepare(
            "SELECT id, encryptedPin, serialNumber FROM PinEntry WHERE serial = ?1 ORDER BY id LIMIT 1");
        statement.bind(1, serial);
        if (!statement.step()) {
            return std::nullopt;
        }
        PinEntry entry(serial, statement.blob(1));
        entry.persistentId = statement.int64(0);
        if (!statement.isNull(2)) {
            entry.serialNumber = statement.text(2);
        }
        return entry;
    });
}

void PinCodeStorage::deletePin(const std::string& serial) {
    run("deletePin(for:)", true, [&] {
        auto statement = context_->prepare("DELETE FROM PinEntry WHERE serial = ?1");
        statement.bind(1, serial);
        statement.step();
    });
}

void PinCodeStorage::clean() {
    run("clean()", true, [&] { context_->execute("DELETE FROM PinEntry"); });
}

bool PinCodeStorage::hasPins() {
    return run("hasPins()", false, [&] {
        auto statement = context_->prepare("SELECT EXISTS (SELECT 1 FROM PinEntry)");
        statement.step();
        return statement.int64(0) != 0;
    });
}

} // namespace keyvane
