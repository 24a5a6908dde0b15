// Listing the passkeys of a virtual token that holds N of them: time per listing, PKCS#11 calls
// per passkey and searches per listing (counted in the virtual token's call log).
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Manager.h"

#include "VirtualTokenFixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

using namespace keyvane;

void BM_listPasskeys(benchmark::State& state) {
    const auto passkeyCount = static_cast<std::uint16_t>(state.range(0));
    testing::VirtualTokenFixture fixture;
    auto manager =
        std::make_shared<Pkcs11Manager>(Pkcs11Library::load(testing::VirtualTokenFixture::modulePath()),
                                        std::chrono::hours(1)); // no poll joins the call log
    const auto event = manager->startMonitoring().next(std::chrono::seconds(30));
    if (!event) {
        state.SkipWithError("the virtual token did not arrive");
        return;
    }
    const std::string serial = event->serial();
    ExtensionPasskeyManager passkeys(manager);
    const auto token = passkeys.getToken(serial);
    token->login("12345678");
    for (std::uint16_t index = 0; index < passkeyCount; ++index) {
        const Bytes keyId{0xC0, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
        passkeys.createKeyPair(serial, keyId, keyId);
        auto object = dataObjectTemplate();
        object.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
        object.dataAttrs[Pkcs11DataAttribute::value] =
            PasskeyMetadata(KeyInfo{"site.example", "user", {1, 2}, keyId, {}}).toData();
        token->createObject(object);
    }
    fixture.clearCallLog();
    std::size_t listings = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(passkeys.getCredentials(serial));
        ++listings;
    }
    const auto log = fixture.callLog();
    const auto searches = std::count_if(log.begin(), log.end(),
                                        [](const auto& call) { return call.function == "C_FindObjectsInit"; });
    state.counters["calls_per_passkey"] =
        static_cast<double>(log.size()) / static_cast<double>(listings) / passkeyCount;
    state.counters["searches_per_listing"] = static_cast<double>(searches) / static_cast<double>(listings);
}

} // namespace

BENCHMARK(BM_listPasskeys)->Arg(10)->Arg(50)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
