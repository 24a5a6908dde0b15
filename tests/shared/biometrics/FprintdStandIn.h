#pragma once

#include "TemporaryFolder.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace keyvane::test_support {

// A child process whose first line on standard output the test waits for (a bus address, or
// "ready"); ended and reaped by the destructor unless it has ended by itself. Its standard
// error goes to errorLog when one is given, and is told when it does not start.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& errorLog = {}) {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::vector<char*> argv;
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls until exec. The child ends with the test, also
            // when a sanitizer stops the test without running its destructors.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(output[1], STDOUT_FILENO);
            if (!errorLog.empty()) {
                const int log = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                ::dup2(log, STDERR_FILENO);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const bool spawned = pid_ > 0;
        ::close(output[1]);
        if (!spawned) {
            ::close(output[0]);
            throw std::runtime_error("cannot start " + arguments[0]);
        }
        firstLine_ = readLine(output[0]);
        ::close(output[0]);
        if (firstLine_.empty()) {
            stop();
            std::string log;
            if (!errorLog.empty()) {
                std::ifstream in(errorLog);
                log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            throw std::runtime_error(arguments[0] + " did not start: " + log);
        }
    }
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& firstLine() const { return firstLine_; }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

private:
    static std::string readLine(int fd) {
        std::string line;
        char c = 0;
        pollfd ready{fd, POLLIN, 0};
        while (::poll(&ready, 1, 30000) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') {
            line.push_back(c);
        }
        return line;
    }

    pid_t pid_ = 0;
    std::string firstLine_;
};

// A D-Bus bus of one test standing in for the system bus: its own dbus-daemon with a
// configuration of its own in a temporary folder. DBUS_SYSTEM_BUS_ADDRESS points at it while
// the object lives, so nothing reaches the computer's real system bus.
class PrivateSystemBus {
public:
    // The daemon's complaints (as root, that it may not raise its file limit) go to its log.
    PrivateSystemBus() : daemon_(daemonArguments(folder_.path()), folder_ / "dbus-daemon.log") {
        if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            previous_ = previous;
        }
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address().c_str(), 1);
    }
    ~PrivateSystemBus() {
        if (previous_) {
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
        } else {
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
        daemon_.stop();
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    const std::string& address() const { return daemon_.firstLine(); }

private:
    static std::vector<std::string> daemonArguments(const std::filesystem::path& folder) {
        const auto config = folder / "bus.conf";
        std::ofstream(config) << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=)" << (folder / "bus").string() << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
        return {"/usr/bin/dbus-daemon", "--config-file=" + config.string(), "--nofork", "--print-address"};
    }

    TemporaryFolder folder_{"keyvane-bus"}; // made before, and removed after, the daemon
    ChildProcess daemon_;
    std::optional<std::string> previous_;
};

// The stand-in fprintd (fprintd_stand_in.py) on a private bus, with the scenario it plays
// (see the script), and a connection of the test's own to ask it what happened or to act as
// another program.
class FprintdStandIn {
public:
    FprintdStandIn(const PrivateSystemBus& bus, const std::string& scenario)
        : service_({"/usr/bin/python3", KEYVANE_FPRINTD_STAND_IN, bus.address(), scenario}),
          name_(QStringLiteral("fprintd stand-in observer %1").arg(++count_)),
          observer_(QDBusConnection::connectToBus(QString::fromStdString(bus.address()), name_)) {
        if (service_.firstLine() != "ready" || !observer_.isConnected()) {
            throw std::runtime_error("the fprintd stand-in did not start");
        }
    }
    ~FprintdStandIn() { QDBusConnection::disconnectFromBus(name_); }
    FprintdStandIn(const FprintdStandIn&) = delete;
    FprintdStandIn& operator=(const FprintdStandIn&) = delete;

    // The device calls in order ("Claim", "VerifyStart any", "VerifyStop", "Release", and
    // "claimer left" when a claimer left the bus without releasing).
    std::vector<std::string> calls() {
        std::vector<std::string> calls;
        for (const auto& call : control("Calls").toStringList()) {
            calls.push_back(call.toStdString());
        }
        return calls;
    }
    // The unique name of the connection that holds the device, empty when it is free.
    std::string claimedBy() { return control("ClaimedBy").toString().toStdString(); }

    // The test's own connection, as another program would claim the device.
    QDBusMessage callDevice(const QString& method, const QVariantList& arguments) {
        auto message = QDBusMessage::createMethodCall(service, devicePath, QStringLiteral("net.reactivated.Fprint.Device"),
                                                      method);
        message.setArguments(arguments);
        return observer_.call(message);
    }
    std::string observerName() const { return observer_.baseService().toStdString(); }

    static inline const QString service = QStringLiteral("net.reactivated.Fprint");
    static inline const QString devicePath = QStringLiteral("/net/reactivated/Fprint/Device/0");

private:
    QVariant control(const char* method) {
        const auto reply = observer_.call(QDBusMessage::createMethodCall(
            service, devicePath, QStringLiteral("org.keyvane.test.FprintdStandIn"), QString::fromLatin1(method)));
        if (reply.type() != QDBusMessage::ReplyMessage) {
            throw std::runtime_error("the fprintd stand-in did not answer: " + reply.errorMessage().toStdString());
        }
        return reply.arguments().value(0);
    }

    static inline int count_ = 0;
    ChildProcess service_;
    QString name_;
    QDBusConnection observer_;
};

} // namespace keyvane::test_support
