#include "shared/dependencies/DependencyRegistry.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace keyvane {

namespace {

std::atomic<DependencyContext> currentContext{DependencyContext::live};

thread_local DependencyScope* innermostScope = nullptr;

struct KeyList {
    std::mutex mutex;
    std::vector<const DependencyKeyBase*> keys;
};

KeyList& allKeys() {
    static KeyList list;
    return list;
}

} // namespace

DependencyKeyBase::DependencyKeyBase(std::string name) : name_(std::move(name)) {
    auto& list = allKeys();
    std::lock_guard lock(list.mutex);
    list.keys.push_back(this);
}

DependencyKeyBase::~DependencyKeyBase() {
    auto& list = allKeys();
    std::lock_guard lock(list.mutex);
    std::erase(list.keys, this);
}

namespace detail {

void dependencyFatal(const std::string& message) {
    std::fprintf(stderr, "Keyvane: fatal error: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

std::shared_ptr<void> scopedValue(const DependencyKeyBase& key) {
    return innermostScope ? innermostScope->find(key) : nullptr;
}

} // namespace detail

void Dependencies::setContext(DependencyContext context) { currentContext = context; }

DependencyContext Dependencies::context() { return currentContext; }

void Dependencies::resetForTesting() {
    auto& list = allKeys();
    std::lock_guard lock(list.mutex);
    for (const auto* key : list.keys) {
        key->reset();
    }
}

DependencyScope::DependencyScope() : outer_(innermostScope) { innermostScope = this; }

DependencyScope::~DependencyScope() { innermostScope = outer_; }

std::shared_ptr<void> DependencyScope::find(const DependencyKeyBase& key) const {
    if (auto it = values_.find(&key); it != values_.end()) {
        return it->second;
    }
    return outer_ ? outer_->find(key) : nullptr;
}

} // namespace keyvane
