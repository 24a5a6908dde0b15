#include "shared/pkcs11/DeferredPkcs11Manager.h"

namespace keyvane {

DeferredPkcs11Manager::DeferredPkcs11Manager(Factory make) : make_(std::move(make)) {}

std::shared_ptr<Pkcs11ManagerProtocol> DeferredPkcs11Manager::made() {
    std::lock_guard lock(mutex_);
    return manager_;
}

std::shared_ptr<Pkcs11ManagerProtocol> DeferredPkcs11Manager::make() {
    std::lock_guard lock(mutex_);
    if (!manager_) {
        manager_ = make_();
    }
    return manager_;
}

Pkcs11TokenEventStream DeferredPkcs11Manager::startMonitoring() {
    return make()->startMonitoring();
}

void DeferredPkcs11Manager::stopMonitoring() {
    if (auto manager = made()) {
        manager->stopMonitoring();
    }
}

std::shared_ptr<Pkcs11TokenProtocol> DeferredPkcs11Manager::getToken(const std::string& serial) {
    auto manager = made();
    return manager ? manager->getToken(serial) : nullptr;
}

} // namespace keyvane
