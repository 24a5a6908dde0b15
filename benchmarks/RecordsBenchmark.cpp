// The record store with many passkeys, and one master-password check of the PIN cache.
// Everything lives in a temporary group directory that is removed afterwards.
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/pin_cache/PinCodeCacheManager.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace keyvane;
namespace fs = std::filesystem;

class TemporaryGroup {
public:
    TemporaryGroup() {
        std::string pattern = (fs::temp_directory_path() / "keyvane-bench-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) {
            std::abort();
        }
        path_ = fs::path(name.data());
        ::setenv("KEYVANE_GROUP_DIR", (path_ / "group").c_str(), 1);
        Dependencies::resetForTesting();
    }
    ~TemporaryGroup() {
        Dependencies::resetForTesting();
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

private:
    fs::path path_;
};

std::vector<PasskeyCredentials> passkeys(int count, const std::string& serial) {
    std::vector<PasskeyCredentials> list;
    for (int i = 0; i < count; ++i) {
        const auto id = static_cast<std::uint8_t>(i);
        list.push_back({Bytes(36, id), "site" + std::to_string(i % 50) + ".example", "user" + std::to_string(i),
                        Bytes(16, id), serial});
    }
    return list;
}

TokenInfo token(const std::string& serial) { return TokenInfo{"Bench", "Model", serial, "1.0", 1, 1, true}; }

void BM_updateCredentials_1000(benchmark::State& state) {
    TemporaryGroup group;
    auto container = std::make_shared<ModelContainer>();
    TokenStorage tokens(container);
    CredentialsStorage credentials(container);
    tokens.syncToken(token("BENCH"));
    const auto list = passkeys(1000, "BENCH");
    for (auto _ : state) {
        credentials.updateCredentials(list, "BENCH");
    }
}
BENCHMARK(BM_updateCredentials_1000)->Unit(benchmark::kMillisecond);

void BM_fetchAllCredentials_10000(benchmark::State& state) {
    TemporaryGroup group;
    auto container = std::make_shared<ModelContainer>();
    TokenStorage tokens(container);
    CredentialsStorage credentials(container);
    for (int t = 0; t < 10; ++t) {
        const std::string serial = "BENCH" + std::to_string(t);
        tokens.syncToken(token(serial));
        credentials.updateCredentials(passkeys(1000, serial), serial);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(credentials.fetchAllCredentials());
    }
}
BENCHMARK(BM_fetchAllCredentials_10000)->Unit(benchmark::kMillisecond);

void BM_pinCacheAuth(benchmark::State& state) {
    TemporaryGroup group;
    Dependencies::install(pinCodeStorage, std::shared_ptr<PinCodeStorageProtocol>(std::make_shared<PinCodeStorage>(
                                              std::make_shared<ModelContainer>())));
    PinCodeCacheManager cache;
    cache.initCache("benchmark password");
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache.auth("benchmark password"));
    }
}
BENCHMARK(BM_pinCacheAuth)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
