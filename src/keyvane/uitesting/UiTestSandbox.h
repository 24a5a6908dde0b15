#pragma once

#include <filesystem>

namespace keyvane::app {

// Where a run under the user-interface test mode keeps everything it writes. The scenarios
// erase the PIN cache, set master passwords and overwrite the onboarding status and the
// records: none of that may reach the user's own group folder, preferences or token. Made
// before anything reads the environment, it creates a private folder for the run and points
// the program at it:
//   KEYVANE_GROUP_DIR            <root>/group (records, preferences, cached PINs)
//   XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME
//                                <root>/config, data, cache (the program's own preferences
//                                and whatever Qt or a library keeps per user)
//   KEYVANE_TPM_TCTI             none (the device key is a file in the run's group folder)
//   KEYVANE_PKCS11_MODULE        the virtual token built with the program, configured in
//   KEYVANE_VIRTUAL_TOKEN_CONFIG <root>/token with no slot at all, over a SoftHSM2 whose
//   SOFTHSM2_CONF                tokens folder is <root>/token/tokens (empty)
//   DBUS_SYSTEM_BUS_ADDRESS      a socket that does not exist (no fingerprint reader)
// The scenarios bring their tokens as actions, so no token ever appears on its own; with no
// module at the given path the monitoring reports it cannot load one, as for any user.
// Destroying the sandbox (or remove()) deletes the folder.
class UiTestSandbox {
public:
    explicit UiTestSandbox(const std::filesystem::path& virtualTokenModule);
    ~UiTestSandbox();
    UiTestSandbox(const UiTestSandbox&) = delete;
    UiTestSandbox& operator=(const UiTestSandbox&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // Deletes the run's folder now; later calls do nothing. The program calls it before it
    // leaves through _Exit, which runs no destructor.
    void remove() noexcept;

private:
    std::filesystem::path root_;
    bool removed_ = false;
};

} // namespace keyvane::app
