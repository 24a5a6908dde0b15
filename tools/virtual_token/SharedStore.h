// One state of the tokens for every process, as a hardware token has. SoftHSM2's file store is
// not safe for several processes at once: a process that reads a file while another rewrites it
// (the token's own record at a login) can find it damaged and give the token up, and a process
// that writes sets the store's change counter from the file without re-reading the store, so
// the changes another process made just before stay out of its sight (and can be written over).
// Calls therefore take one lock of all the module's processes (a lock file beside the
// configuration): shared to read, exclusive to write, a write after a search that brings this
// process's view up to date. Waits of ours (a slot-event wait, a touch) hold no lock.
#pragma once

#include "Backend.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace virtual_token {

class Slots;

class SharedStore {
public:
    enum class Access { none, read, write };

    SharedStore(const Backend& backend, const Slots& slots, std::filesystem::path lockPath);

    // What the function does to the store: changes it (objects, PIN, the token's own flags),
    // reads it, or neither (or it waits, and must not hold the lock meanwhile).
    static Access accessOf(const std::string& function);

    // Runs the call under the lock its access needs. A write names the slot of its session,
    // whose view is brought up to date first.
    CK_RV run(Access access, std::optional<std::size_t> slotIndex, const std::function<CK_RV()>& call) const;

private:
    void refreshView(std::size_t slotIndex) const;

    const Backend& backend_;
    const Slots& slots_;
    const std::filesystem::path lockPath_;
};

}  // namespace virtual_token
