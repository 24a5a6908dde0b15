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

void PinCodeStorage::savePin(const std::string& serial, const Bytes& encryptedPin) {
    run("savePin(for:encryptedPin:)", true, [&] {
        const PinEntry entry(serial, encryptedPin);
        auto statement = context_->prepare(
            "INSERT INTO PinEntry (serial, encryptedPin) VALUES (?1, ?2) "
            "ON CONFLICT(serial) DO UPDATE SET encryptedPin = excluded.encryptedPin");
        statement.bind(1, entry.serial).bind(2, entry.encryptedPin);
        statement.step();
    });
}

std::optional<Bytes> PinCodeStorage::getPin(const std::string& serial) {
    return run("getPin(for:)", false, [&]() -> std::optional<Bytes> {
        auto statement = context_->prepare("SELECT encryptedPin FROM PinEntry WHERE serial = ?1 ORDER BY id LIMIT 1");
        statement.bind(1, serial);
        if (!statement.step()) {
            return std::nullopt;
        }
        return statement.blob(0);
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
