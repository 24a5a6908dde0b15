// The call log: one line per entry-point call (sequence, kernel thread id, function, target,
// return value in hex), appended with a single write so that lines from several threads and
// processes never interleave. Tests read it through VirtualTokenFixture::callLog, so the line
// format is fixed. Arguments (PINs, data) never reach it.
#pragma once

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace virtual_token {

class CallLog {
public:
    // An empty path keeps no log; a file that cannot be opened is reported and no log is kept.
    explicit CallLog(const std::filesystem::path& path);
    ~CallLog();
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    // target: "slot=N", "session=N", or empty for a call about neither.
    void record(const char* function, const std::string& target, CK_RV rv);

private:
    std::mutex mutex_;
    int fd_ = -1;
    std::uint64_t sequence_ = 0;
};

}  // namespace virtual_token
