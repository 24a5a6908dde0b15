#pragma once

#include "shared/errors/Error.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/storage/PinEntry.h"

#include <memory>
#include <mutex>

namespace keyvane {

// The PIN entries on one model container, through a connection of its own. Its calls run one
// at a time; each is one transaction that rolls back on failure.
class PinCodeStorage final : public PinCodeStorageProtocol {
public:
    explicit PinCodeStorage(std::shared_ptr<const ModelContainer> modelContainer);

    void savePin(const std::string& serial, const Bytes& encryptedPin, const std::string& serialNumber) override;
    std::optional<PinEntry> getPin(const std::string& serial) override;
    void deletePin(const std::string& serial) override;
    void clean() override;
    bool hasPins() override;

private:
    // Runs one statement with an optional serial parameter inside a transaction; failures
    // leave as PinCodeStorageError named after the operation and the caller's line.
    template <class Work>
    auto run(const char* function, bool writes, Work&& work, SourceLine line = __builtin_LINE()) -> decltype(work());

    std::shared_ptr<const ModelContainer> modelContainer_;
    std::mutex modelExecutor_;
    std::unique_ptr<SqliteConnection> context_;
};

} // namespace keyvane
