#pragma once

#include "shared/pkcs11/Pkcs11ManagerProtocol.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace keyvane {

// A manager that makes the real one (loading and initialising the module) on the first call
// that needs a token, on the thread of that call. A program starts without the module: the
// main window shows its records and the extension its request before any token is asked for,
// and a module pulls in libraries of its own (a smart-card stack behind p11-kit's proxy, for
// one) whose loading would otherwise come before the first frame, on the GUI thread.
//
// Monitoring is what opens tokens, so before the first start there is no token to find and no
// monitoring to stop: getToken and stopMonitoring answer without making the manager.
class DeferredPkcs11Manager final : public Pkcs11ManagerProtocol {
public:
    using Factory = std::function<std::shared_ptr<Pkcs11ManagerProtocol>()>;

    explicit DeferredPkcs11Manager(Factory make);

    Pkcs11TokenEventStream startMonitoring() override;
    void stopMonitoring() override;
    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override;

private:
    std::shared_ptr<Pkcs11ManagerProtocol> made();
    std::shared_ptr<Pkcs11ManagerProtocol> make();

    // Guards manager_ (and the one call of make_, which concurrent first calls wait for).
    std::mutex mutex_;
    Factory make_;
    std::shared_ptr<Pkcs11ManagerProtocol> manager_;
};

} // namespace keyvane
