#include "shared/biometrics/FprintdAuthenticator.h"

#include "shared/biometrics/DBusError.h"
#include "shared/biometrics/FprintdSignals.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <utility>
#include <variant>

namespace keyvane {

namespace {

const QString service = QStringLiteral("net.reactivated.Fprint");
const QString managerPath = QStringLiteral("/net/reactivated/Fprint/Manager");
const QString managerInterface = QStringLiteral("net.reactivated.Fprint.Manager");
const QString deviceInterface = QStringLiteral("net.reactivated.Fprint.Device");
const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");
// fprintd answers at once; a service that hangs longer than this is treated as broken.
constexpr int callTimeoutMs = 10000;

// What a check waits for: the end of a scan (from the signal thread), the prompt's cancel
// (from any thread), or the service leaving the bus.
class CheckState {
public:
    enum class Event { scanned, cancelled, vanished, timedOut };

    void scanEnded(QString result) { update([&] { results_.push_back(std::move(result)); }); }
    void cancel() { update([&] { cancelled_ = true; }); }
    void vanish() { update([&] { vanished_ = true; }); }

    // The next ended scan and its result, or why the wait ended first.
    std::pair<Event, QString> wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const bool woken = changed_.wait_for(lock, timeout, [&] { return cancelled_ || vanished_ || !results_.empty(); });
        if (cancelled_) {
            return {Event::cancelled, {}};
        }
        if (vanished_) {
            return {Event::vanished, {}};
        }
        if (!woken) {
            return {Event::timedOut, {}};
        }
        QString result = std::move(results_.front());
        results_.pop_front();
        return {Event::scanned, result};
    }

private:
    template <class Change>
    void update(Change&& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QString> results_;
    bool cancelled_ = false;
    bool vanished_ = false;
};

QString systemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address != nullptr && *address != '\0' ? QString::fromLocal8Bit(address)
                                                   : QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
}

bool onGuiThread() {
    const auto* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

// A bus connection of one call, closed when the call ends. Named anew each time, and opened
// on the address rather than as "the system bus", whose address the D-Bus library reads once
// per process.
class BusSession {
public:
    BusSession()
        : name_(QStringLiteral("keyvane-fprintd-%1").arg(nextSession_.fetch_add(1))),
          bus_(QDBusConnection::connectToBus(systemBusAddress(), name_)) {}
    ~BusSession() { QDBusConnection::disconnectFromBus(name_); }
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    QDBusConnection& bus() { return bus_; }

private:
    static inline std::atomic<unsigned> nextSession_{0};
    QString name_;
    QDBusConnection bus_;
};

// The default device, addressed through the unique name of the service that answered, so
// that a service gone mid-check is noticed and never started anew by a stray call.
struct Device {
    QString owner;
    QString path;
};

QDBusMessage call(QDBusConnection& bus, const QString& destination, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {}) {
    auto message = QDBusMessage::createMethodCall(destination, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, callTimeoutMs);
}

bool failed(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

BiometricFailure failure(int code, const std::string& message) {
    return {code, message, AnyError(TextError(message))};
}

BiometricFailure failure(int code, const QDBusMessage& reply, const std::string& step) {
    DBusError error(reply.errorName().toStdString(), reply.errorMessage().toStdString());
    return {code, "fprintd " + step + ": " + error.description(), AnyError(error)};
}

// Errors that mean there is no fingerprint service or sensor to ask, rather than a broken one.
bool meansUnavailable(const QString& errorName) {
    return errorName == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           errorName == QStringLiteral("org.freedesktop.DBus.Error.NoServer") ||
           errorName == QStringLiteral("org.freedesktop.DBus.Error.Disconnected") ||
           errorName.startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn.")) ||
           errorName == QStringLiteral("net.reactivated.Fprint.Error.NoSuchDevice");
}

// The default device when it has an enrolled finger of the current user, else why not.
std::variant<Device, BiometricFailure> enrolledDevice(QDBusConnection& bus) {
    if (!bus.isConnected()) {
        return failure(biometryNotAvailable, "No system bus: " + bus.lastError().message().toStdString());
    }
    const auto found = call(bus, service, managerPath, managerInterface, QStringLiteral("GetDefaultDevice"));
    if (failed(found)) {
        return failure(meansUnavailable(found.errorName()) ? biometryNotAvailable : biometricFailed, found,
                       "GetDefaultDevice");
    }
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(service);
    if (!owner.isValid()) {
        return failure(biometryNotAvailable, "fprintd left the bus");
    }
    Device device{owner.value(), found.arguments().value(0).value<QDBusObjectPath>().path()};
    // An empty user name stands for the caller's own user.
    const auto fingers = call(bus, device.owner, device.path, deviceInterface, QStringLiteral("ListEnrolledFingers"),
                              {QString()});
    if (failed(fingers)) {
        if (fingers.errorName() == QStringLiteral("net.reactivated.Fprint.Error.NoEnrolledPrints")) {
            return failure(biometryNotEnrolled, fingers, "ListEnrolledFingers");
        }
        return failure(meansUnavailable(fingers.errorName()) ? biometryNotAvailable : biometricFailed, fingers,
                       "ListEnrolledFingers");
    }
    if (fingers.arguments().value(0).toStringList().isEmpty()) {
        return failure(biometryNotEnrolled, "No finger is enrolled");
    }
    return device;
}

// The device's signals routed to a check for as long as it runs.
class SignalSubscription {
public:
    SignalSubscription(QDBusConnection& bus, const Device& device, const std::shared_ptr<CheckState>& state, QThread& thread)
        : bus_(bus), device_(device),
          receiver_(new FprintdSignals([state](const QString& result) { state->scanEnded(result); },
                                       [state] { state->vanish(); })) {
        receiver_->moveToThread(&thread);
        verifying_ = bus_.connect(device_.owner, device_.path, deviceInterface, QStringLiteral("VerifyStatus"), receiver_,
                                  SLOT(verifyStatus(QString, bool)));
        watching_ = bus_.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), {device_.owner},
                                 QString(), receiver_, SLOT(nameOwnerChanged(QString, QString, QString)));
    }
    ~SignalSubscription() {
        if (verifying_) {
            bus_.disconnect(device_.owner, device_.path, deviceInterface, QStringLiteral("VerifyStatus"), receiver_,
                            SLOT(verifyStatus(QString, bool)));
        }
        if (watching_) {
            bus_.disconnect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), {device_.owner},
                            QString(), receiver_, SLOT(nameOwnerChanged(QString, QString, QString)));
        }
        // On its own thread, after any signal already queued for it.
        receiver_->deleteLater();
    }
    SignalSubscription(const SignalSubscription&) = delete;
    SignalSubscription& operator=(const SignalSubscription&) = delete;

    bool active() const { return verifying_ && watching_; }

private:
    QDBusConnection& bus_;
    Device device_;
    FprintdSignals* receiver_;
    bool verifying_ = false;
    bool watching_ = false;
};

// The device claimed by this check: stopped and released on every path out. The answers of
// the stop and the release are dropped; a service that has gone freed the device itself.
class ClaimedDevice {
public:
    ClaimedDevice(QDBusConnection& bus, Device device) : bus_(bus), device_(std::move(device)) {}
    ~ClaimedDevice() {
        stopVerify();
        if (claimed_) {
            callDevice("Release");
        }
    }
    ClaimedDevice(const ClaimedDevice&) = delete;
    ClaimedDevice& operator=(const ClaimedDevice&) = delete;

    std::optional<BiometricFailure> claim() {
        // For the caller's own user (an empty name).
        const auto reply = callDevice("Claim", {QString()});
        if (failed(reply)) {
            return failure(biometricFailed, reply, "Claim");
        }
        claimed_ = true;
        return std::nullopt;
    }
    std::optional<BiometricFailure> startVerify() {
        const auto reply = callDevice("VerifyStart", {QStringLiteral("any")});
        if (failed(reply)) {
            return failure(biometricFailed, reply, "VerifyStart");
        }
        verifying_ = true;
        return std::nullopt;
    }
    void stopVerify() {
        if (verifying_) {
            verifying_ = false;
            callDevice("VerifyStop");
        }
    }

private:
    QDBusMessage callDevice(const char* method, const QVariantList& arguments = {}) {
        return call(bus_, device_.owner, device_.path, deviceInterface, QString::fromLatin1(method), arguments);
    }

    QDBusConnection& bus_;
    Device device_;
    bool claimed_ = false;
    bool verifying_ = false;
};

// The prompt on screen from the first scan on; hidden on every path out.
class ShownPrompt {
public:
    ShownPrompt(BiometricPromptProtocol& prompt, const std::string& reason, const std::shared_ptr<CheckState>& state)
        : prompt_(prompt) {
        prompt_.show(reason, [weak = std::weak_ptr<CheckState>(state)] {
            if (const auto check = weak.lock()) {
                check->cancel();
            }
        });
    }
    ~ShownPrompt() { prompt_.hide(); }
    ShownPrompt(const ShownPrompt&) = delete;
    ShownPrompt& operator=(const ShownPrompt&) = delete;

private:
    BiometricPromptProtocol& prompt_;
};

} // namespace

FprintdAuthenticator::FprintdAuthenticator(std::shared_ptr<BiometricPromptProtocol> prompt,
                                           std::chrono::milliseconds fingerTimeout)
    : prompt_(std::move(prompt)), fingerTimeout_(fingerTimeout) {}

FprintdAuthenticator::~FprintdAuthenticator() {
    if (signalThread_) {
        signalThread_->quit();
        signalThread_->wait();
    }
}

QThread& FprintdAuthenticator::signalThread() {
    std::call_once(signalThreadStarted_, [this] {
        signalThread_ = std::make_unique<QThread>();
        signalThread_->setObjectName(QStringLiteral("fprintd signals"));
        signalThread_->start();
    });
    return *signalThread_;
}

BiometricPolicyCheck FprintdAuthenticator::canEvaluatePolicy() {
    BusSession session;
    auto found = enrolledDevice(session.bus());
    if (auto* refused = std::get_if<BiometricFailure>(&found)) {
        return {false, std::move(*refused)};
    }
    return {true, std::nullopt};
}

std::optional<BiometricFailure> FprintdAuthenticator::evaluatePolicy(const std::string& localizedReason,
                                                                     const std::string&) {
    if (onGuiThread()) {
        return failure(biometricFailed, "The biometric check cannot wait on the GUI thread");
    }
    BusSession session;
    auto found = enrolledDevice(session.bus());
    if (auto* refused = std::get_if<BiometricFailure>(&found)) {
        return std::move(*refused);
    }
    const auto& device = std::get<Device>(found);

    auto state = std::make_shared<CheckState>();
    SignalSubscription subscription(session.bus(), device, state, signalThread());
    if (!subscription.active()) {
        return failure(biometricFailed, "Cannot follow fprintd's signals: " +
                                            session.bus().lastError().message().toStdString());
    }
    ClaimedDevice claimed(session.bus(), device);
    if (auto refused = claimed.claim()) {
        return refused;
    }
    std::optional<ShownPrompt> shown;
    for (int attempt = 1;; ++attempt) {
        if (auto refused = claimed.startVerify()) {
            return refused;
        }
        if (prompt_ && !shown) {
            shown.emplace(*prompt_, localizedReason, state);
        }
        const auto [event, result] = state->wait(fingerTimeout_);
        switch (event) {
        case CheckState::Event::cancelled:
            return BiometricFailure{biometricUserCancel, "The check was cancelled"};
        case CheckState::Event::vanished:
            return BiometricFailure{biometricFailed, "fprintd left the bus during the check",
                                    AnyError(DBusError("org.freedesktop.DBus.Error.NameHasNoOwner",
                                                       "fprintd left the bus during the check"))};
        case CheckState::Event::timedOut:
            return failure(biometricFailed, "No finger on the sensor within " +
                                                std::to_string(fingerTimeout_.count()) + " ms");
        case CheckState::Event::scanned:
            break;
        }
        if (result == QStringLiteral("verify-match")) {
            return std::nullopt;
        }
        if (result != QStringLiteral("verify-no-match")) {
            return failure(biometricFailed, "fprintd verification ended with " + result.toStdString());
        }
        claimed.stopVerify();
        if (attempt == verifyAttempts) {
            return BiometricFailure{biometricUserCancel, "No enrolled finger matched"};
        }
    }
}

} // namespace keyvane

