// Programs that share one touch token and one group directory at once, each in a process of its
// own as in use: the extension's registrations and sign-ins and the main program's listing and
// deletion, in processes forked from the test over the real services.
#include "ExtensionOnVirtualToken.h"

#include "../../keyvane/app/AppOnVirtualToken.h"
#include "ForkedProcesses.h"
#include "TemporaryFolder.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

namespace keyvane::ext::testing {
namespace {

using namespace std::chrono_literals;
using test_support::runInForkedProcesses;
using MainProgram = app::testing::AppServices;

// How long a key generation waits, as a touch token's does for its touch: long enough for the
// other process to act meanwhile.
constexpr unsigned keyGenerationWaitMs = 1500;

// How long a process held at a point gives the other program to act before it goes on. Where
// the two are ordered as they must be, the other program cannot act meanwhile and this time
// passes; where they are not, it acts at once and the test sees the damage.
constexpr auto patience = 3s;

const auto pinLoginSucceeded = PinVerificationStatus(PinVerificationStatus::success{});

// Marks that the processes of one test leave for each other: empty files in a folder.
class Marks {
public:
    explicit Marks(std::filesystem::path folder) : folder_(std::move(folder)) {}
    void set(const std::string& name) const { std::ofstream(folder_ / name).close(); }
    bool isSet(const std::string& name) const { return std::filesystem::exists(folder_ / name); }

private:
    std::filesystem::path folder_;
};

// The user names, sorted and joined by commas.
std::string usersOf(const std::vector<std::string>& names) {
    auto sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::string text;
    for (const auto& name : sorted) {
        text += (text.empty() ? "" : ",") + name;
    }
    return text;
}

std::string usersOf(const std::vector<PasskeyCredentials>& passkeys) {
    std::vector<std::string> names;
    for (const auto& passkey : passkeys) {
        names.push_back(passkey.username);
    }
    return usersOf(names);
}

std::optional<PasskeyCredentials> passkeyOf(const std::vector<PasskeyCredentials>& passkeys, const std::string& user) {
    const auto found = std::find_if(passkeys.begin(), passkeys.end(),
                                    [&](const PasskeyCredentials& passkey) { return passkey.username == user; });
    return found == passkeys.end() ? std::nullopt : std::optional(*found);
}

// The passkey records with the next read of all of them held, once armed, until the test lets
// it go: the moment between reading the records and publishing them.
class HeldRecords final : public CredentialsStorageProtocol {
public:
    explicit HeldRecords(std::shared_ptr<CredentialsStorageProtocol> records) : records_(std::move(records)) {}

    void arm() { armed_ = true; }
    bool isHolding() const { return gate_.isHolding(); }
    void release() { gate_.release(); }

    void updateCredentials(const std::vector<PasskeyCredentials>& credentials, const std::string& serial) override {
        records_->updateCredentials(credentials, serial);
    }
    std::vector<PasskeyCredentials> fetchAllCredentials() override {
        auto all = records_->fetchAllCredentials();
        if (armed_.exchange(false)) {
            gate_.wait();
        }
        return all;
    }
    void deleteCredentials(const std::set<Bytes>& keyIds) override { records_->deleteCredentials(keyIds); }
    void withTokenRecordsLocked(const std::string& serial, const std::function<void()>& work) override {
        records_->withTokenRecordsLocked(serial, work);
    }

private:
    std::shared_ptr<CredentialsStorageProtocol> records_;
    std::atomic<bool> armed_{false};
    Gate gate_;
};

// The main program launched and its token unlocked with the PIN: the token's serial, or nothing.
std::optional<std::string> unlock(MainProgram& main) {
    main.store->send(app::AppAction::appLaunched{});
    main.store->send(app::AppAction::startMonitoring{});
    if (!main.waitFor([&] { return !main.state().loginViewState.connectedTokens.empty(); })) {
        return std::nullopt;
    }
    const std::string serial = main.state().loginViewState.connectedTokens.begin()->serial;
    main.store->send(app::AppAction::performLoginOnToken{serial, SecretText(pin)});
    if (!main.waitFor([&] {
            return main.state().loginViewState.verificationStatus == pinLoginSucceeded &&
                   !main.state().credentialListState.tokens.empty();
        })) {
        return std::nullopt;
    }
    return serial;
}

// The main program's Synchronise: lists the token, then the users of its new list.
std::string synchronise(MainProgram& main, const std::string& serial) {
    const PasskeyCredentials placeholder{{0}, "placeholder.example", "placeholder", {0}, "none"};
    main.store->send(app::AppAction::updateCredentialsList{{placeholder}});
    main.store->send(app::AppAction::enumerateCredentials{serial});
    if (!main.waitFor([&] {
            return main.state().credentialListState.credentials != std::vector{placeholder} ||
                   main.state().navigationState.alert.has_value();
        })) {
        return "failed: no listing";
    }
    if (main.state().navigationState.alert) {
        return "failed: " + printed(*main.state().navigationState.alert);
    }
    return "listed " + usersOf(main.state().credentialListState.credentials);
}

// The main program deletes the user's passkey; answers once its list no longer shows it.
std::string deletePasskey(MainProgram& main, const std::string& serial, const std::string& user) {
    const auto passkey = passkeyOf(main.state().credentialListState.credentials, user);
    if (!passkey) {
        return "failed: no passkey of " + user;
    }
    main.store->send(app::AppAction::deleteCredentials{app::CredentialsDeleteRequest{{passkey->keyId}, serial}});
    if (!main.waitFor([&] {
            return !passkeyOf(main.state().credentialListState.credentials, user) ||
                   main.state().navigationState.alert.has_value();
        })) {
        return "failed: the deletion never ended";
    }
    return main.state().navigationState.alert ? "failed: " + printed(*main.state().navigationState.alert) : "deleted";
}

// The main program deletes Alice's passkey at the moment another process names: unlocked, it
// sets `ready`, deletes once `go` is set, and sets `done` when its list no longer shows it.
std::string deleteAliceWhenTold(const Marks& marks, const std::string& ready, const std::string& go,
                                const std::string& done) {
    MainProgram main;
    const auto serial = unlock(main);
    if (!serial) {
        return "failed: the main program's login";
    }
    marks.set(ready);
    if (!main.waitFor([&] { return marks.isSet(go); })) {
        return "failed: never told to delete";
    }
    auto report = deletePasskey(main, *serial, "alice");
    marks.set(done);
    return report;
}

// A registration in the extension, up to its answer: "registered", or what went wrong. Before
// the confirmation, once logged in, it waits for `beforeConfirming` when given.
std::string registration(ExtensionServices& extension, const std::string& user,
                         const std::function<bool()>& beforeConfirming = {}) {
    auto& request = extension.startRegistration(user);
    if (const auto status = extension.logIn(request, extension.serial, pin); status != pinLoginSucceeded) {
        return "failed: login " + printed(status);
    }
    if (beforeConfirming && !extension.waitFor(beforeConfirming)) {
        return "failed: waited in vain";
    }
    extension.confirm(request);
    extension.waitFor([&] { return answered(request) || request.state().navigationState.alert.has_value(); });
    return request.context->only<ASPasskeyRegistrationCredential>() ? "registered"
                                                                     : "failed: " + extension.alert(request);
}

struct TwoPrograms : ::testing::Test {
    static VirtualTokenSettings touchToken() {
        VirtualTokenSettings settings;
        settings.touch = keyvane::testing::VirtualTouch{};
        return settings;
    }

    ExtensionFixtures fixtures{{touchToken()}};
    test_support::TemporaryFolder marksFolder{"keyvane-marks"};
    Marks marks{marksFolder.path()};

    static std::string inAProcess(const std::function<std::string()>& work) {
        return runInForkedProcesses(1, [&](int) { return work(); }).front();
    }

    // The users whose passkeys the token lists, read in a process of its own.
    static std::string usersOnToken() {
        return inAProcess([] {
            ExtensionServices extension;
            const auto event = extension.manager->startMonitoring().next(10s);
            if (!event) {
                return std::string("failed: no token");
            }
            extension.manager->getToken(event->serial())->login(pin);
            return usersOf(extension.passkeys->getCredentials(event->serial()));
        });
    }
    static std::string usersInRecords() {
        return usersOf(CredentialsStorage(std::make_shared<const ModelContainer>()).fetchAllCredentials());
    }
    static std::string usersPublished() {
        std::vector<std::string> names;
        for (const auto& identity : CredentialIdentityStore().publishedIdentities()) {
            names.push_back(identity.userName);
        }
        return usersOf(names);
    }
};

// Whatever the order in which two registrations reach the token, neither takes the other's
// metadata object for an orphan while that one's key is being made.
TEST_F(TwoPrograms, TwoRegistrationsAtOnceBothSucceed) {
    fixtures.token.injectDelay("C_GenerateKeyPair", keyGenerationWaitMs, 1, 0);
    const auto reports = runInForkedProcesses(2, [&](int index) {
        ExtensionServices extension;
        if (index == 0) {
            return registration(extension, "alice");
        }
        // The second begins (its check for a duplicate lists the token) while the first one
        // waits for its key, and makes its own key while the first one lists the token again.
        return registration(extension, "bob", [&] { return extension.metadataObjects(extension.serial) > 0; });
    });
    EXPECT_EQ(reports, (std::vector<std::string>{"registered", "registered"}));
    EXPECT_EQ(usersOnToken(), "alice,bob");
    EXPECT_EQ(usersInRecords(), "alice,bob");
}

// The main window's Synchronise while a registration waits for its key: the new passkey is not
// complete yet, so it is not listed, and it is not destroyed either.
TEST_F(TwoPrograms, ASynchroniseWhileARegistrationWaitsKeepsTheNewPasskey) {
    fixtures.token.injectDelay("C_GenerateKeyPair", keyGenerationWaitMs, 1, 0);
    const auto reports = runInForkedProcesses(2, [&](int index) -> std::string {
        if (index == 0) {
            ExtensionServices extension;
            return registration(extension, "alice");
        }
        MainProgram main;
        const auto serial = unlock(main);
        if (!serial) {
            return "failed: the main program's login";
        }
        const auto token = main.manager->getToken(*serial);
        if (!main.waitFor([&] { return !token->findObjects(passkeyMetadataTemplate()).empty(); })) {
            return "failed: the registration never wrote";
        }
        return synchronise(main, *serial);
    });
    EXPECT_EQ(reports, (std::vector<std::string>{"registered", "listed "}));
    EXPECT_EQ(usersOnToken(), "alice");
    EXPECT_EQ(usersInRecords(), "alice");
}

// Alice's and Bob's passkeys, registered in a process of their own, and the extension on.
struct TwoPasskeys : TwoPrograms {
    void SetUp() override {
        AutofillExtensionHelper().setEnabled(true); // in the group directory of the environment
        ASSERT_EQ(inAProcess([] {
            ExtensionServices extension;
            for (const std::string user : {"alice", "bob"}) {
                if (const auto report = registration(extension, user); report != "registered") {
                    return report;
                }
                extension.finish(*extension.requests.back());
            }
            return std::string();
        }), "");
        ASSERT_EQ(usersPublished(), "alice,bob");
    }
};

// A sign-in refreshes the token's records from the token; the main program deletes a passkey
// right after that read. The deletion comes wholly after the refresh's write, never before it.
TEST_F(TwoPasskeys, ASignInNeverBringsBackAPasskeyDeletedMeanwhile) {
    const auto reports = runInForkedProcesses(2, [&](int index) -> std::string {
        if (index == 0) {
            ExtensionServices extension;
            // The sign-in's first listing is its refresh: held once the token answered.
            const auto held = std::make_shared<HeldPasskeys>(
                extension.passkeys, HeldPasskeys::Hold{HeldPasskeys::Call::getCredentials, 1, true});
            extension.requestPasskeys = held;
            auto& request = extension.startChoice(rp);
            const auto bob = passkeyOf(passkeysForRequest(request.state()), "bob");
            if (!bob) {
                return "failed: Bob's passkey is not offered";
            }
            extension.serial = bob->tokenSerial;
            extension.choose(request, *bob);
            if (extension.waitForUnlockPane(request) != bob->tokenSerial ||
                extension.logIn(request, bob->tokenSerial, pin) != pinLoginSucceeded ||
                !extension.waitFor([&] { return marks.isSet("main program unlocked"); })) {
                return "failed: login";
            }
            extension.confirmSignIn(request);
            if (!extension.waitFor([&] { return held->isHolding(); })) {
                return "failed: the sign-in never read the token";
            }
            marks.set("token read");
            extension.waitFor([&] { return marks.isSet("deleted"); }, patience);
            held->release();
            extension.waitFor([&] { return answered(request) || request.state().navigationState.alert.has_value(); });
            return request.context->only<ASPasskeyAssertionCredential>() ? "signed in"
                                                                         : "failed: " + extension.alert(request);
        }
        return deleteAliceWhenTold(marks, "main program unlocked", "token read", "deleted");
    });
    EXPECT_EQ(reports, (std::vector<std::string>{"signed in", "deleted"}));
    EXPECT_EQ(usersOnToken(), "bob");
    EXPECT_EQ(usersInRecords(), "bob");
    EXPECT_EQ(usersPublished(), "bob");
}

// One main program reads the records to publish them; another deletes a passkey and publishes
// right after that read. The published list ends as the records are, never as they were.
TEST_F(TwoPasskeys, APublishedListIsNeverOlderThanTheRecords) {
    const auto reports = runInForkedProcesses(2, [&](int index) -> std::string {
        if (index == 0) {
            std::shared_ptr<HeldRecords> held;
            MainProgram main([&](std::shared_ptr<CredentialsStorageProtocol> records) {
                held = std::make_shared<HeldRecords>(std::move(records));
                return held;
            });
            const auto serial = unlock(main);
            if (!serial || !main.waitFor([&] { return marks.isSet("second unlocked"); })) {
                return "failed: login";
            }
            held->arm();
            const PasskeyCredentials placeholder{{0}, "placeholder.example", "placeholder", {0}, "none"};
            main.store->send(app::AppAction::updateCredentialsList{{placeholder}});
            main.store->send(app::AppAction::enumerateCredentials{*serial});
            if (!main.waitFor([&] { return held->isHolding(); })) {
                return "failed: the listing never read the records";
            }
            marks.set("records read");
            main.waitFor([&] { return marks.isSet("published"); }, patience);
            held->release();
            if (!main.waitFor([&] { return main.state().credentialListState.credentials != std::vector{placeholder}; })) {
                return "failed: the listing never ended";
            }
            return "listed";
        }
        return deleteAliceWhenTold(marks, "second unlocked", "records read", "published");
    });
    EXPECT_EQ(reports, (std::vector<std::string>{"listed", "deleted"}));
    EXPECT_EQ(usersInRecords(), "bob");
    EXPECT_EQ(usersPublished(), "bob");
}

} // namespace
} // namespace keyvane::ext::testing
