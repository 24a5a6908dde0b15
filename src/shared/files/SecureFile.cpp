#include "shared/files/SecureFile.h"

#include "shared/files/FileError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace keyvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& path, const std::string& what,
                       FileError::Kind kind = FileError::Kind::failed) {
    throw FileError(path.string(), what + ": " + std::strerror(errno), kind);
}

[[noreturn]] void refuseLink(const fs::path& path) {
    throw FileError(path.string(), "is a symbolic link; refused", FileError::Kind::symbolicLink);
}

std::atomic<int> injectedDirectorySyncError{0};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Owner and mode of an open file: ours, a regular file, nothing for group or others.
void checkPrivate(const fs::path& path, int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        fail(path, "fstat");
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileError(path.string(), "not a regular file", FileError::Kind::refused);
    }
    if (info.st_uid != ::geteuid()) {
        throw FileError(path.string(), "owned by another user", FileError::Kind::refused);
    }
    if ((info.st_mode & 0077) != 0) {
        throw FileError(path.string(), "readable or writable by other users; refused", FileError::Kind::refused);
    }
}

void writeAll(const fs::path& path, int fd, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(path, "write");
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

// After a rename or unlink has landed: a failure here leaves the change in place, with its
// durability unknown, and says so.
void syncDirectory(const fs::path& directory) {
    if (const int injected = injectedDirectorySyncError.load()) {
        errno = injected;
        fail(directory, "fsync of the directory", FileError::Kind::landedNotDurable);
    }
    Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
        fail(directory, "fsync of the directory", FileError::Kind::landedNotDurable);
    }
}

fs::path directoryOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

} // namespace

std::optional<std::string> readSecureFile(const fs::path& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        if (errno == ELOOP) {
            refuseLink(path);
        }
        fail(path, "open");
    }
    checkPrivate(path, fd.get());
    std::string content;
    char buffer[8192];
    // Some of these files hold key material: leave no copy on the stack.
    struct WipeBuffer {
        char* data;
        std::size_t size;
        ~WipeBuffer() { ::explicit_bzero(data, size); }
    } wipeBuffer{buffer, sizeof buffer};
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(path, "read");
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

void writeSecureFile(const fs::path& path, std::string_view content) {
    const fs::path directory = directoryOf(path);
    std::string leaf = ".";
    leaf += path.filename().string();
    leaf += ".tmp-XXXXXX";
    const std::string pattern = (directory / leaf).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Descriptor fd(::mkostemp(name.data(), O_CLOEXEC)); // mkostemp creates it 0600
    if (fd.get() < 0) {
        fail(path, "create a temporary file");
    }
    const fs::path temporary(name.data());
    try {
        if (::fchmod(fd.get(), 0600) != 0) {
            fail(temporary, "fchmod");
        }
        writeAll(temporary, fd.get(), content);
        if (::fsync(fd.get()) != 0) {
            fail(temporary, "fsync");
        }
        if (::close(fd.release()) != 0) {
            fail(temporary, "close");
        }
        // rename replaces a symbolic link at the target itself, never the file it points to.
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            fail(path, "rename");
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    syncDirectory(directory);
}

void ensurePrivateFile(const fs::path& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (fd.get() < 0) {
        if (errno == ELOOP) {
            refuseLink(path);
        }
        fail(path, "open");
    }
    checkPrivate(path, fd.get());
}

bool removeSecureFile(const fs::path& path) {
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        fail(path, "unlink");
    }
    syncDirectory(directoryOf(path));
    return true;
}

fs::path lockPathFor(const fs::path& path) {
    fs::path lock = path;
    lock.replace_extension(".lock");
    return lock;
}

fs::path tokenLockPath(const fs::path& folder, std::string_view purpose, std::string_view serial) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string name(purpose);
    name += '-';
    for (const unsigned char byte : serial) {
        name += digits[byte >> 4];
        name += digits[byte & 0x0F];
    }
    return folder / (name + ".lock");
}

FileUpdate updateSecureFile(const fs::path& path, const FileChange& change, RefusedFile refused) {
    FileLock lock(lockPathFor(path));
    std::optional<std::string> current;
    try {
        current = readSecureFile(path);
    } catch (const FileError& error) {
        // A symbolic link is never replaced silently, whatever the caller allows.
        if (refused != RefusedFile::replace || error.kind != FileError::Kind::refused) {
            throw;
        }
    }
    auto next = change(current);
    if (!next) {
        return FileUpdate::unchanged;
    }
    writeSecureFile(path, *next);
    return FileUpdate::written;
}

DirectorySyncFailureForTesting::DirectorySyncFailureForTesting(int error) { injectedDirectorySyncError = error; }
DirectorySyncFailureForTesting::~DirectorySyncFailureForTesting() { injectedDirectorySyncError = 0; }

struct FileLock::State {
    std::unique_lock<std::mutex> threadLock;
    int fd = -1;
};

namespace {
std::mutex& mutexFor(const fs::path& lockPath) {
    static std::mutex registryMutex;
    static std::map<std::string, std::unique_ptr<std::mutex>> mutexes;
    std::lock_guard guard(registryMutex);
    auto& slot = mutexes[lockPath.lexically_normal().string()];
    if (!slot) {
        slot = std::make_unique<std::mutex>();
    }
    return *slot;
}
} // namespace

namespace {
// The lock file, opened for a lock of its own: a private regular file, never through a link.
Descriptor openLockFile(const fs::path& lockPath) {
    Descriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        if (errno == ELOOP) {
            refuseLink(lockPath);
        }
        fail(lockPath, "open the lock file");
    }
    checkPrivate(lockPath, fd.get());
    return fd;
}
} // namespace

FileLock::FileLock(const fs::path& lockPath) : state_(std::make_unique<State>()) {
    state_->threadLock = std::unique_lock(mutexFor(lockPath));
    Descriptor fd = openLockFile(lockPath);
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            fail(lockPath, "flock");
        }
    }
    state_->fd = fd.release();
}

FileLock::~FileLock() {
    // Closing the only descriptor of the open file description releases the flock.
    ::close(state_->fd);
}

std::optional<SharedFileLock> SharedFileLock::lock(const fs::path& lockPath, Mode mode, bool wait) {
    Descriptor fd = openLockFile(lockPath);
    const int operation = (mode == Mode::shared ? LOCK_SH : LOCK_EX) | (wait ? 0 : LOCK_NB);
    while (::flock(fd.get(), operation) != 0) {
        if (errno == EWOULDBLOCK && !wait) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            fail(lockPath, "flock");
        }
    }
    return SharedFileLock(fd.release());
}

SharedFileLock SharedFileLock::take(const fs::path& lockPath, Mode mode) {
    return std::move(*lock(lockPath, mode, true));
}

std::optional<SharedFileLock> SharedFileLock::tryTake(const fs::path& lockPath, Mode mode) {
    return lock(lockPath, mode, false);
}

SharedFileLock::SharedFileLock(SharedFileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

SharedFileLock::~SharedFileLock() {
    if (fd_ >= 0) {
        ::close(fd_); // the only descriptor of its open file description: the flock goes with it
    }
}

} // namespace keyvane
