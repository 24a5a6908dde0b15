#include "ForkedProcesses.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <system_error>

namespace keyvane::test_support {

namespace {

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ::_exit(3);
        }
        done += static_cast<std::size_t>(written);
    }
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

[[noreturn]] void runChild(int index, int go, int report, const std::function<std::string(int)>& work) {
    char start = 0;
    // Released when the parent closes its end, after the last fork.
    while (::read(go, &start, 1) < 0 && errno == EINTR) {
    }
    std::string text;
    try {
        text = work(index);
    } catch (const std::exception& error) {
        text = std::string("failed: ") + error.what();
    } catch (...) {
        text = "failed: an exception that is no std::exception";
    }
    writeAll(report, text);
    ::_exit(0);
}

} // namespace

std::vector<std::string> runInForkedProcesses(int count, const std::function<std::string(int index)>& work) {
    int go[2];
    if (::pipe(go) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    std::vector<pid_t> children;
    std::vector<int> reports;
    std::exception_ptr failure;
    for (int index = 0; index < count; ++index) {
        int report[2];
        if (::pipe(report) != 0) {
            failure = std::make_exception_ptr(std::system_error(errno, std::generic_category(), "pipe"));
            break;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(go[1]);
            ::close(report[0]);
            for (const int earlier : reports) {
                ::close(earlier);
            }
            runChild(index, go[0], report[1], work);
        }
        ::close(report[1]);
        if (child < 0) {
            ::close(report[0]);
            failure = std::make_exception_ptr(std::system_error(errno, std::generic_category(), "fork"));
            break;
        }
        children.push_back(child);
        reports.push_back(report[0]);
    }
    ::close(go[0]);
    ::close(go[1]);

    std::vector<std::string> results;
    for (std::size_t i = 0; i < children.size(); ++i) {
        std::string text = readAll(reports[i]);
        ::close(reports[i]);
        int status = 0;
        while (::waitpid(children[i], &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFSIGNALED(status)) {
            text = "failed: killed by signal " + std::to_string(WTERMSIG(status));
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            text = "failed: exit status " + std::to_string(WEXITSTATUS(status));
        }
        results.push_back(std::move(text));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return results;
}

} // namespace keyvane::test_support
