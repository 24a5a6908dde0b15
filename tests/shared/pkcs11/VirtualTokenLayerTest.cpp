// The layer against the virtual token: what a hardware token of the maker reports (vendor
// record, hardware-feature objects, retry counter, touch) read through the real module.
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Token.h"
#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <variant>

namespace keyvane {
namespace {

using testing::VirtualTokenFixture;
using testing::VirtualTokenSettings;
using testing::VirtualTouch;

// Loads the module for one fixture and finalises it afterwards, so the next fixture's
// configuration is read at the next initialisation.
class OpenLibrary {
public:
    OpenLibrary() : library_(Pkcs11Library::load(VirtualTokenFixture::modulePath().string())) { library_->initialize(); }
    ~OpenLibrary() { library_->finalize(); }
    OpenLibrary(const OpenLibrary&) = delete;
    OpenLibrary& operator=(const OpenLibrary&) = delete;

    Pkcs11Token openOnly() {
        const auto slots = library_->getSlotList();
        EXPECT_EQ(slots.size(), 1u);
        return Pkcs11Token::open(library_, slots.at(0));
    }
    Pkcs11Library& operator*() { return *library_; }

private:
    std::shared_ptr<Pkcs11Library> library_;
};

TEST(VirtualTokenLayerTest, OpensTokensOfTheMakerWithModelTouchVersionAndMemory) {
    struct Case {
        std::string name;
        VirtualTokenSettings settings;
        std::string model;
        bool supported;
        bool touch;
    };
    auto token = [](unsigned hardware, unsigned firmware) {
        VirtualTokenSettings settings;
        settings.hardwareVersion = {static_cast<std::uint8_t>(hardware), 1};
        settings.firmwareVersion = {static_cast<std::uint8_t>(firmware), 2};
        return settings;
    };
    Case touchToken{"touch token", token(60, 30), "Варнел Сигма 3 Альфа", true, true};
    touchToken.settings.touch = VirtualTouch{};
    Case beta{"hardware 65", token(65, 30), "Варнел Сигма 3 Бета", true, false};
    Case named{"newer firmware reads the model name", token(70, 33), "Keyvane test token", true, false};
    Case noKeyGeneration{"no EC key generation", token(60, 30), "Варнел Сигма 2", false, false};
    noKeyGeneration.settings.hiddenMechanisms = {CKM_EC_KEY_PAIR_GEN};
    Case highSerial{"serial above 2^63", token(60, 30), "Варнел Сигма 3 Альфа", true, false};
    highSerial.settings.serial = "F000000012AB34CD";

    for (const auto& testCase : {touchToken, beta, named, noKeyGeneration, highSerial}) {
        SCOPED_TRACE(testCase.name);
        VirtualTokenFixture fixture({testCase.settings});
        OpenLibrary library;
        const auto opened = library.openOnly();
        EXPECT_EQ(opened.serial(), "0313210061") << "low 32 bits of the hexadecimal serial";
        EXPECT_EQ(opened.label(), std::optional<std::string>("Keyvane test token"));
        EXPECT_EQ(opened.model(), testCase.model);
        EXPECT_EQ(opened.isSupported(), testCase.supported);
        EXPECT_EQ(opened.tokenVersion().versionString(),
                  std::to_string(testCase.settings.hardwareVersion[0]) + ".1." +
                      std::to_string(testCase.settings.firmwareVersion[0]) + ".2");
        EXPECT_EQ(opened.totalMemory(), std::optional<std::uint64_t>(131072));
        EXPECT_EQ(opened.getFreeMemory(), std::optional<std::uint64_t>(65536));
        EXPECT_EQ(opened.interactionType().isTouch(),
                  testCase.touch);
    }
}

TEST(VirtualTokenLayerTest, AnUnsupportedTokenClassFailsToOpenWithItsDescription) {
    VirtualTokenSettings settings;
    settings.tokenClass = 3;
    VirtualTokenFixture fixture({settings});
    OpenLibrary library;
    try {
        library.openOnly();
        FAIL() << "expected the opening to fail";
    } catch (const Pkcs11Error& error) {
        const auto* internal = error.as<Pkcs11Error::internalError>();
        ASSERT_NE(internal, nullptr) << error.description();
        EXPECT_EQ(internal->desc, std::optional<std::string>("Неподдерживаемый токен"));
    }
}

TEST(VirtualTokenLayerTest, LoginCountsDownTheRetriesAndLocksTheToken) {
    VirtualTokenSettings settings;
    settings.pinRetries = 3;
    VirtualTokenFixture fixture({settings});
    OpenLibrary library;
    const auto opened = library.openOnly();

    using Outcome = std::optional<Pkcs11Error::Case>; // nothing: the login passed
    auto outcome = [&](const std::string& pin) -> Outcome {
        try {
            opened.login(pin);
            return std::nullopt;
        } catch (const Pkcs11Error& error) {
            return error.value;
        }
    };
    const Outcome success;
    EXPECT_EQ(outcome("00000000"), Pkcs11Error::Case(Pkcs11Error::incorrectPin{2}));
    EXPECT_EQ(outcome("12345678"), success) << "a good PIN refills the counter";
    EXPECT_EQ(outcome("00000000"), Pkcs11Error::Case(Pkcs11Error::incorrectPin{2}))
        << "already logged in, a wrong PIN is still checked";
    EXPECT_EQ(outcome("00000000"), Pkcs11Error::Case(Pkcs11Error::incorrectPin{1}));
    EXPECT_EQ(outcome("00000000"), Pkcs11Error::Case(Pkcs11Error::incorrectPin{0}));
    EXPECT_EQ(outcome("12345678"), Pkcs11Error::Case(Pkcs11Error::pinLocked{}));
}

TEST(VirtualTokenLayerTest, EveryLibraryCallRunsOnOneThreadThatIsNotTheCallers) {
    VirtualTokenFixture fixture;
    {
        OpenLibrary library;
        const auto opened = library.openOnly();
        opened.login("12345678");
        opened.findObjects(Pkcs11Template{});
        opened.getFreeMemory();
    }
    std::set<std::int64_t> threads;
    for (const auto& call : fixture.callLog()) {
        threads.insert(call.threadId);
    }
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), VirtualTokenFixture::currentThreadId());
}

} // namespace
} // namespace keyvane
