#include "CallLog.h"

#include "Files.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace virtual_token {

CallLog::CallLog(const std::filesystem::path& path) {
    if (path.empty()) {
        return;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        complain("cannot open the call log " + path.string());
    }
}

CallLog::~CallLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void CallLog::record(const char* function, const std::string& target, CK_RV rv) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) {
        return;
    }
    char line[256];
    const int length = std::snprintf(line, sizeof line, "%llu\t%ld\t%s\t%s\t0x%lx\n",
                                      static_cast<unsigned long long>(++sequence_),
                                      static_cast<long>(::syscall(SYS_gettid)), function,
                                      target.empty() ? "-" : target.c_str(), rv);
    if (length > 0) {
        // One write per line so that lines from several threads never interleave.
        [[maybe_unused]] const auto written =
            ::write(fd_, line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
    }
}

}  // namespace virtual_token
