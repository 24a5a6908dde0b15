#include "shared/utils/TerminationSignals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace keyvane {

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int watchTerminationSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) {
        return -1;
    }
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return signalPipe[0];
}

} // namespace keyvane
