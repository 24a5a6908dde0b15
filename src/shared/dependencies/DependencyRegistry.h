#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace keyvane {

// Which value a key answers when nothing installed or overridden one: the live service, or
// the test value (the test programs switch to test before anything is resolved).
enum class DependencyContext { live, test };

class DependencyKeyBase {
public:
    explicit DependencyKeyBase(std::string name);
    virtual ~DependencyKeyBase();
    DependencyKeyBase(const DependencyKeyBase&) = delete;
    DependencyKeyBase& operator=(const DependencyKeyBase&) = delete;

    const std::string& name() const { return name_; }

    // Forgets installed and built values (tests only).
    virtual void reset() const = 0;

private:
    std::string name_;
};

// One service of the registry: declared by its interface, with a live value built once on
// first use and a test value. Keys are defined once, next to the service's interface:
//     inline const DependencyKey<PasskeyManagerProtocol> passkeyManager{"passkeyManager", makeLive, makeTest};
template <class Interface>
class DependencyKey final : public DependencyKeyBase {
public:
    using Factory = std::function<std::shared_ptr<Interface>()>;

    DependencyKey(std::string name, Factory live, Factory test = nullptr)
        : DependencyKeyBase(std::move(name)), live_(std::move(live)), test_(std::move(test)) {}

    // A live value that stops the program until the entry installs one (the object-store
    // services, which only exist on a container that the entry opens).
    static Factory fatalUntilInstalled(std::string name);

    void reset() const override {
        std::lock_guard lock(mutex_);
        installed_.reset();
        liveValue_.reset();
        testValue_.reset();
    }

private:
    friend class Dependencies;

    std::shared_ptr<Interface> resolve(DependencyContext context) const;

    Factory live_;
    Factory test_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<Interface> installed_;
    mutable std::shared_ptr<Interface> liveValue_;
    mutable std::shared_ptr<Interface> testValue_;
};

namespace detail {
[[noreturn]] void dependencyFatal(const std::string& message);
// The innermost value set for the key by a DependencyScope of this thread, or null.
std::shared_ptr<void> scopedValue(const DependencyKeyBase& key);
} // namespace detail

class Dependencies {
public:
    static void setContext(DependencyContext context);
    static DependencyContext context();

    // The value for the key: a scope's override on this thread, else the installed value,
    // else the live (or test) value, built once.
    template <class Interface>
    static std::shared_ptr<Interface> get(const DependencyKey<Interface>& key) {
        if (auto scoped = detail::scopedValue(key)) {
            return std::static_pointer_cast<Interface>(scoped);
        }
        return key.resolve(context());
    }

    // Installs a process-wide value (the program entry, for the object-store services).
    template <class Interface>
    static void install(const DependencyKey<Interface>& key, std::shared_ptr<Interface> value) {
        std::lock_guard lock(key.mutex_);
        key.installed_ = std::move(value);
    }

    // Forgets every installed and built value of every key (between tests).
    static void resetForTesting();
};

// Overrides values on this thread while it lives: the extension builds each request's store
// and middlewares inside one, so the middlewares keep that request's object-store services.
// Scopes nest; the innermost value wins. Middlewares read their services at construction,
// so the override decides what they keep even after the scope ends.
class DependencyScope {
public:
    DependencyScope();
    ~DependencyScope();
    DependencyScope(const DependencyScope&) = delete;
    DependencyScope& operator=(const DependencyScope&) = delete;

    template <class Interface>
    DependencyScope& set(const DependencyKey<Interface>& key, std::shared_ptr<Interface> value) {
        values_[&key] = std::move(value);
        return *this;
    }

    std::shared_ptr<void> find(const DependencyKeyBase& key) const;

private:
    std::map<const DependencyKeyBase*, std::shared_ptr<void>> values_;
    DependencyScope* outer_;
};

template <class Interface>
typename DependencyKey<Interface>::Factory DependencyKey<Interface>::fatalUntilInstalled(std::string name) {
    return [name = std::move(name)]() -> std::shared_ptr<Interface> {
        detail::dependencyFatal("the service '" + name +
                                "' has no value: the program must install one built on its object store");
    };
}

template <class Interface>
std::shared_ptr<Interface> DependencyKey<Interface>::resolve(DependencyContext context) const {
    // Held while a value is built, so concurrent first uses build it once.
    std::lock_guard lock(mutex_);
    if (installed_) {
        return installed_;
    }
    if (context == DependencyContext::test) {
        if (!testValue_) {
            if (!test_) {
                detail::dependencyFatal("the service '" + name() + "' has no test value: override it in the test");
            }
            testValue_ = test_();
        }
        return testValue_;
    }
    if (!liveValue_) {
        liveValue_ = live_();
    }
    return liveValue_;
}

} // namespace keyvane
