// The extension's ceremonies in process on the virtual token (logged in, no touch): the time
// from the confirming action (finishRegistration, finishAuthentication) to the answer reaching
// the extension context, beside the token's own key generation and signing in the same run.
#include "credential_ext/controller/CredentialProviderViewController.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/TokenStorage.h"

#include "VirtualTokenFixture.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

namespace {

using namespace keyvane;
using namespace keyvane::ext;
using Clock = std::chrono::steady_clock;

// Keeps the answer; the benchmark waits for it.
class AnswerContext final : public ASCredentialProviderExtensionContext {
public:
    void completeRegistrationRequest(const ASPasskeyRegistrationCredential& credential) override {
        registration = credential;
        answered = true;
    }
    void completeAssertionRequest(const ASPasskeyAssertionCredential&) override { answered = true; }
    void cancelRequest(ASExtensionErrorCode) override {
        cancelled = true;
        answered = true;
    }
    std::atomic<bool> answered{false};
    std::atomic<bool> cancelled{false};
    std::optional<ASPasskeyRegistrationCredential> registration;
};

// One virtual token, logged in, with its own group directory; monitoring never polls, so the
// token's calls are the ceremonies' own.
struct Bench {
    testing::VirtualTokenFixture fixture;
    flowkeep::VirtualClockExecutor clock;
    std::shared_ptr<Pkcs11Manager> manager;
    std::shared_ptr<ExtensionPasskeyManager> passkeys;
    std::optional<Pkcs11TokenEventStream> monitoring;
    std::string serial;

    Bench() {
        const auto group = fixture.directory() / "group";
        std::filesystem::create_directories(group);
        ::setenv("KEYVANE_GROUP_DIR", group.c_str(), 1);
        manager = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(testing::VirtualTokenFixture::modulePath()),
                                                  std::chrono::hours(1));
        Dependencies::install<Pkcs11ManagerProtocol>(pkcs11Manager, manager);
        passkeys = std::make_shared<ExtensionPasskeyManager>(manager);
        monitoring.emplace(manager->startMonitoring());
        if (const auto event = monitoring->next(std::chrono::seconds(30))) {
            serial = event->serial();
            const auto token = passkeys->getToken(serial);
            token->login("12345678");
            // What the login middleware records: the passkey records hang on the token's.
            TokenStorage(std::make_shared<const ModelContainer>()).syncToken(makeTokenInfo(*token));
        }
    }

    // The registry lets go of the manager, so the module is finished before its token goes.
    ~Bench() { Dependencies::resetForTesting(); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // Sends the action to a new request's store and times it to the answer.
    template <class Prepare>
    std::optional<double> ceremony(Prepare prepare, const AppAction& confirm, AnswerContext& context) {
        CredentialProviderViewController controller(clock, std::shared_ptr<AnswerContext>(&context, [](auto*) {}), {},
                                                    {}, passkeys);
        prepare(controller);
        const auto start = Clock::now();
        controller.store()->send(confirm);
        if (!clock.runUntil([&] { return context.answered.load(); }, std::chrono::seconds(30)) || context.cancelled) {
            return std::nullopt;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Let the ceremony's work end before the store goes.
        clock.runUntil([&] {
            for (std::size_t i = 0; i < controller.store()->middlewareCount(); ++i) {
                if (controller.store()->isForwarding(i)) {
                    return false;
                }
            }
            return true;
        }, std::chrono::seconds(30));
        return seconds;
    }
};

const Bytes clientDataHash(32, 0xC1);

void BM_registrationCeremony(benchmark::State& state) {
    Bench bench;
    if (bench.serial.empty()) {
        state.SkipWithError("the virtual token did not arrive");
        return;
    }
    std::size_t index = 0;
    for (auto _ : state) {
        const RegistrationState request{"user" + std::to_string(index++), clientDataHash, {1, 2}, "site.example"};
        AnswerContext context;
        const auto seconds = bench.ceremony(
            [&](CredentialProviderViewController& controller) {
                controller.prepareInterfaceForPasskeyRegistration(ASPasskeyCredentialRequest{
                    ASPasskeyCredentialIdentity{request.relyingPartyId, request.username, {}, request.userHandle,
                                                {request.relyingPartyId}},
                    clientDataHash});
            },
            AppAction::finishRegistration{bench.serial, request}, context);
        if (!seconds || !context.registration) {
            state.SkipWithError("the registration failed");
            return;
        }
        state.SetIterationTime(*seconds);
        // The token keeps one passkey, so every run lists the same.
        bench.passkeys->deleteCredentials({context.registration->credentialID}, bench.serial);
    }
}

void BM_assertionCeremony(benchmark::State& state) {
    Bench bench;
    if (bench.serial.empty()) {
        state.SkipWithError("the virtual token did not arrive");
        return;
    }
    const Bytes keyId(36, 'K');
    bench.passkeys->createKeyPair(bench.serial, keyId, {'k'});
    auto metadata = dataObjectTemplate();
    metadata.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
    const PasskeyCredentials passkey{keyId, "site.example", "user", {1, 2}, bench.serial};
    metadata.dataAttrs[Pkcs11DataAttribute::value] = PasskeyMetadata(KeyInfo::from(passkey)).toData();
    bench.passkeys->getToken(bench.serial)->createObject(metadata);
    for (auto _ : state) {
        AnswerContext context;
        const auto seconds = bench.ceremony(
            [&](CredentialProviderViewController& controller) {
                controller.prepareCredentialListForServiceIdentifiers(
                    {{"site.example"}}, ASPasskeyCredentialRequestParameters{"site.example", clientDataHash, {}});
            },
            AppAction::finishAuthentication{passkey, clientDataHash}, context);
        if (!seconds) {
            state.SkipWithError("the sign-in failed");
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

// The token's own work, for comparison: a P-256 key pair (generate, read the point, destroy
// the public key) and one ECDSA signature.
void BM_tokenKeyPair(benchmark::State& state) {
    Bench bench;
    std::uint16_t index = 0;
    for (auto _ : state) {
        const Bytes keyId{0xB0, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
        ++index;
        benchmark::DoNotOptimize(bench.passkeys->createKeyPair(bench.serial, keyId, keyId));
    }
}

void BM_tokenSign(benchmark::State& state) {
    Bench bench;
    const Bytes keyId(36, 'S');
    bench.passkeys->createKeyPair(bench.serial, keyId, {'s'});
    const auto token = bench.passkeys->getToken(bench.serial);
    const auto key = bench.passkeys->findPrivateKey(*token, keyId);
    const Bytes data(69, 0x5A); // authenticator data and client-data hash
    for (auto _ : state) {
        benchmark::DoNotOptimize(token->sign(data, *key));
    }
}

} // namespace

BENCHMARK(BM_registrationCeremony)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_assertionCeremony)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_tokenKeyPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_tokenSign)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
