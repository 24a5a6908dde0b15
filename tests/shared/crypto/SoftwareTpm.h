#pragma once

#include "TemporaryFolder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tss2/tss2_esys.h>
#include <tss2/tss2_tctildr.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace keyvane::test_support {

// A software TPM (swtpm) of one test: its state in a temporary folder, its command and
// control ports on loopback (free ports, consecutive as the swtpm TCTI expects). Started by
// the constructor and stopped by the destructor; stop/start in between keep the state, as a
// reboot would, and clear() runs TPM2_Clear as a user resetting the TPM would.
class SoftwareTpm {
public:
    SoftwareTpm() {
        // Another program may take a port between the probe and swtpm's bind: try again.
        for (int attempt = 0; attempt < 20 && !running_; ++attempt) {
            port_ = freePortPair();
            running_ = launch();
        }
        if (!running_) {
            throw std::runtime_error("swtpm did not start");
        }
    }
    // The state folder goes after the body has stopped swtpm.
    ~SoftwareTpm() {
        stop();
        releasePorts();
    }
    SoftwareTpm(const SoftwareTpm&) = delete;
    SoftwareTpm& operator=(const SoftwareTpm&) = delete;

    std::string tcti() const { return "swtpm:host=127.0.0.1,port=" + std::to_string(port_); }

    void start() {
        // The clients know these ports, so it must be these: a port just freed can stay busy
        // for a moment, so try a few times.
        releasePorts();
        for (int attempt = 0; attempt < 40 && !running_; ++attempt) {
            if (attempt > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            running_ = launch();
        }
        if (!running_) {
            throw std::runtime_error("swtpm did not start again on its ports");
        }
    }

    // Ends the process and waits for its end, so the state is written and the ports free.
    void stop() {
        if (!running_) {
            return;
        }
        running_ = false;
        pid_t pid = 0;
        std::ifstream(state_ / "pid") >> pid;
        if (pid <= 0) {
            return;
        }
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        ::kill(pid, SIGTERM);
        if (pidfd >= 0) {
            pollfd exited{pidfd, POLLIN, 0};
            ::poll(&exited, 1, 30000);
            ::close(pidfd);
        }
        std::filesystem::remove(state_ / "pid");
        reservePorts();
    }

    // TPM2_Clear with the (empty) lockout authorisation: new storage seed, every key made
    // under the old one refused from now on.
    void clear() const {
        withEsys([](ESYS_CONTEXT* esys) {
            return Esys_Clear(esys, ESYS_TR_RH_LOCKOUT, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE);
        });
    }

    // Transient objects and loaded sessions left in the TPM: none once every client is done.
    std::uint32_t loadedHandles() const {
        std::uint32_t count = 0;
        for (const TPM2_HANDLE first : {TPM2_TRANSIENT_FIRST, TPM2_LOADED_SESSION_FIRST}) {
            withEsys([&](ESYS_CONTEXT* esys) {
                TPMS_CAPABILITY_DATA* data = nullptr;
                const TSS2_RC rc = Esys_GetCapability(esys, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                                                      TPM2_CAP_HANDLES, first, TPM2_MAX_CAP_HANDLES, nullptr, &data);
                if (rc == TSS2_RC_SUCCESS) {
                    count += data->data.handles.count;
                }
                Esys_Free(data);
                return rc;
            });
        }
        return count;
    }

private:
    // While stopped, the ports stay bound but not listening: a client is refused at once, as
    // by a TPM that is gone, and a test starting its own software TPM beside this one cannot
    // take them (which would put another live TPM where the clients expect this one).
    void reservePorts() {
        for (int offset = 0; offset < 2; ++offset) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(port_ + offset));
            if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                reserved_.push_back(fd);
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    void releasePorts() {
        for (const int fd : reserved_) {
            ::close(fd);
        }
        reserved_.clear();
    }

    template <class Work>
    void withEsys(Work&& work) const {
        TSS2_TCTI_CONTEXT* tcti = nullptr;
        ESYS_CONTEXT* esys = nullptr;
        if (Tss2_TctiLdr_Initialize(this->tcti().c_str(), &tcti) != TSS2_RC_SUCCESS) {
            throw std::runtime_error("software TPM: no TCTI");
        }
        TSS2_RC rc = Esys_Initialize(&esys, tcti, nullptr);
        if (rc == TSS2_RC_SUCCESS) {
            rc = work(esys);
            Esys_Finalize(&esys);
        }
        Tss2_TctiLdr_Finalize(&tcti);
        if (rc != TSS2_RC_SUCCESS) {
            throw std::runtime_error("software TPM command failed: " + std::to_string(rc));
        }
    }

    static int boundSocket(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (fd >= 0) {
                ::close(fd);
            }
            return -1;
        }
        return fd;
    }

    // A port that is free now and whose successor is free too.
    static int freePortPair() {
        for (;;) {
            const int first = boundSocket(0);
            if (first < 0) {
                throw std::runtime_error("no loopback socket");
            }
            sockaddr_in address{};
            socklen_t length = sizeof address;
            ::getsockname(first, reinterpret_cast<sockaddr*>(&address), &length);
            const int port = ntohs(address.sin_port);
            const int second = port < 65535 ? boundSocket(port + 1) : -1;
            ::close(first);
            if (second >= 0) {
                ::close(second);
                return port;
            }
        }
    }

    // swtpm --daemon returns once its sockets listen, so no waiting for readiness is needed.
    bool launch() const {
        const std::string local = ",bindaddr=127.0.0.1";
        std::vector<std::string> arguments{"swtpm",
                                           "socket",
                                           "--tpm2",
                                           "--daemon",
                                           "--tpmstate",
                                           "dir=" + state_.path().string(),
                                           "--server",
                                           "type=tcp,port=" + std::to_string(port_) + local,
                                           "--ctrl",
                                           "type=tcp,port=" + std::to_string(port_ + 1) + local,
                                           "--flags",
                                           "not-need-init,startup-clear",
                                           "--pid",
                                           "file=" + (state_ / "pid").string(),
                                           "--log",
                                           "file=" + (state_ / "log").string()};
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        // The daemon must not hold the test's output open, or the test runner waits for it.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t launcher = 0;
        const int spawned = ::posix_spawnp(&launcher, "swtpm", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            throw std::runtime_error("swtpm cannot be run (is it installed?)");
        }
        int status = 0;
        if (::waitpid(launcher, &status, 0) != launcher) {
            return false;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    TemporaryFolder state_{"keyvane-swtpm"};
    int port_ = 0;
    std::vector<int> reserved_; // the ports held while stopped
    bool running_ = false;
};

// The device-key backend a test runs on: "tpm" starts a software TPM of its own and points
// KEYVANE_TPM_TCTI at it; "file" turns the TPM off.
class DeviceKeyBackendUnderTest {
public:
    explicit DeviceKeyBackendUnderTest(const std::string& name) {
        if (name == "tpm") {
            tpm.emplace();
            ::setenv("KEYVANE_TPM_TCTI", tpm->tcti().c_str(), 1);
        } else {
            ::setenv("KEYVANE_TPM_TCTI", "none", 1);
        }
    }
    ~DeviceKeyBackendUnderTest() { ::unsetenv("KEYVANE_TPM_TCTI"); }
    DeviceKeyBackendUnderTest(const DeviceKeyBackendUnderTest&) = delete;
    DeviceKeyBackendUnderTest& operator=(const DeviceKeyBackendUnderTest&) = delete;

    std::optional<SoftwareTpm> tpm;
};

} // namespace keyvane::test_support
