#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace keyvane {

// The one discipline for every file of ours in the group directory (keychain items, device
// key, preferences, identities):
// - reading: the path is opened without following a symbolic link, and the open file must be
//   a regular file owned by this user that no one else may read or write; otherwise FileError;
// - writing: a new 0600 file beside the target, written in full, fsync'ed, renamed over the
//   target, and the directory fsync'ed, so a reader sees the old or the new content, never a
//   mix, also after a crash;
// - read-modify-write: under a FileLock, re-reading the file inside the lock
//   (updateSecureFile).
// A write whose rename landed but whose directory fsync failed fails with a FileError of kind
// landedNotDurable: the new content is in place, its survival of a crash unknown.

// The content, or nothing when the file does not exist.
std::optional<std::string> readSecureFile(const std::filesystem::path& path);

void writeSecureFile(const std::filesystem::path& path, std::string_view content);

// Makes sure a file of ours exists at the path without opening it for content (a database
// that another library opens): created empty with mode 0600 when missing; refused, like a
// read, when it is a symbolic link, not ours, or open to others.
void ensurePrivateFile(const std::filesystem::path& path);

// Removes the file; a missing file is no failure. Answers whether a file was removed.
bool removeSecureFile(const std::filesystem::path& path);

// The lock file that orders the changes of a file: "x.json" is ordered by "x.lock".
std::filesystem::path lockPathFor(const std::filesystem::path& path);

// The lock file of one token for one purpose in the folder: "<purpose>-<serial in hex>.lock",
// so that any serial names a file of its own.
std::filesystem::path tokenLockPath(const std::filesystem::path& folder, std::string_view purpose,
                                    std::string_view serial);

// Turns the current content (nothing when the file is absent) into the new content, or
// nothing to leave the file as it is.
using FileChange = std::function<std::optional<std::string>(const std::optional<std::string>& current)>;

enum class FileUpdate { unchanged, written };

// What an update does with a file that the read refuses (not ours, open to other users, not
// a regular file): fail, or hand the change nothing, as if absent, and replace the file with
// a private one. A symbolic link always fails: it is never replaced silently.
enum class RefusedFile { fail, replace };

// The one read-modify-write of a file of ours: under the file's lock (lockPathFor), the file
// is read afresh, change runs on what was read, and its result is written as writeSecureFile
// writes. Fails with FileError; change's own exceptions pass through with the file untouched.
FileUpdate updateSecureFile(const std::filesystem::path& path, const FileChange& change,
                            RefusedFile refused = RefusedFile::fail);

// For tests: while it lives, every directory fsync after a rename or unlink fails with the
// given errno, as a full or failing disk can make it.
class DirectorySyncFailureForTesting {
public:
    explicit DirectorySyncFailureForTesting(int error);
    ~DirectorySyncFailureForTesting();
    DirectorySyncFailureForTesting(const DirectorySyncFailureForTesting&) = delete;
    DirectorySyncFailureForTesting& operator=(const DirectorySyncFailureForTesting&) = delete;
};

// Exclusive lock across threads and processes, named by a lock file. flock belongs to an open
// file description, so threads of one process are ordered by a mutex per lock path first.
// Not reentrant: a thread must not take the same lock twice.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A lock that any number may hold shared while none holds it exclusive, across threads and
// processes, named by a lock file. Each holder opens the lock file itself, so two holders in one
// process conflict as two processes do (flock belongs to the open file description). Never
// reentrant in the exclusive mode.
class SharedFileLock {
public:
    enum class Mode { shared, exclusive };

    // Waits until the lock is available in the mode. Fails with FileError.
    static SharedFileLock take(const std::filesystem::path& lockPath, Mode mode);
    // The lock in the mode if it is available now, else nothing. Fails with FileError.
    static std::optional<SharedFileLock> tryTake(const std::filesystem::path& lockPath, Mode mode);

    ~SharedFileLock();
    SharedFileLock(SharedFileLock&& other) noexcept;
    SharedFileLock& operator=(SharedFileLock&&) = delete;
    SharedFileLock(const SharedFileLock&) = delete;
    SharedFileLock& operator=(const SharedFileLock&) = delete;

private:
    explicit SharedFileLock(int fd) : fd_(fd) {}
    static std::optional<SharedFileLock> lock(const std::filesystem::path& lockPath, Mode mode, bool wait);

    int fd_;
};

} // namespace keyvane
