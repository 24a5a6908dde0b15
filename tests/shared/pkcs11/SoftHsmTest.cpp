#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Token.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace keyvane {
namespace {

constexpr const char* softHsmModule = "/usr/lib/softhsm/libsofthsm2.so";

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0) << command << "\n" << output;
    return output;
}

// The serial as Keyvane shows it: the low 32 bits of the hexadecimal serial, signed.
std::string shownSerial(const std::string& hex) {
    const auto number = static_cast<std::uint64_t>(std::stoull(hex, nullptr, 16));
    char text[16];
    std::snprintf(text, sizeof text, "%.10d", static_cast<std::int32_t>(static_cast<std::uint32_t>(number)));
    return text;
}

// Each test gets its own SoftHSM2 configuration and token folder under a temporary folder.
class SoftHsmTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(folder_ / "tokens");
        std::ofstream(folder_ / "softhsm2.conf") << "directories.tokendir = " << (folder_ / "tokens").string()
                                                  << "\nobjectstore.backend = file\nlog.level = ERROR\n";
        ::setenv("SOFTHSM2_CONF", (folder_ / "softhsm2.conf").c_str(), 1);
    }

    void TearDown() override {
        if (library_) {
            library_->finalize(); // lets the next test point SoftHSM2 at its own folder
        }
        ::unsetenv("SOFTHSM2_CONF");
    }

    void initToken(const std::string& label) {
        run("softhsm2-util --init-token --free --label '" + label + "' --so-pin 87654321 --pin 12345678 2>&1");
    }

    // Label to raw serial, as SoftHSM2's own tool lists them.
    std::map<std::string, std::string> listedSerials() {
        const std::string listing = run("softhsm2-util --show-slots 2>&1");
        std::map<std::string, std::string> serials;
        const std::regex serialLine(R"(^\s*Serial number:\s*([0-9a-f]+)\s*$)");
        const std::regex labelLine(R"(^\s*Label:\s*(.*?)\s*$)");
        std::istringstream lines(listing);
        std::string line;
        std::string serial;
        std::smatch match;
        while (std::getline(lines, line)) {
            if (std::regex_match(line, match, serialLine)) {
                serial = match[1];
            } else if (std::regex_match(line, match, labelLine) && !serial.empty()) {
                serials[match[1]] = serial;
                serial.clear();
            }
        }
        return serials;
    }

    Pkcs11Library& library() {
        if (!library_) {
            library_ = Pkcs11Library::load(softHsmModule);
            library_->initialize();
        }
        return *library_;
    }

    Pkcs11Token openToken(const std::string& label) {
        for (const auto slot : library().getSlotList()) {
            try {
                auto token = Pkcs11Token::open(library_, slot);
                if (token.label() == label) {
                    return token;
                }
            } catch (const Pkcs11Error&) {
            }
        }
        throw std::runtime_error("no token labelled " + label);
    }

    test_support::TemporaryFolder temporary_{"keyvane-softhsm"};
    std::filesystem::path folder_ = temporary_.path();
    std::shared_ptr<Pkcs11Library> library_;
};

TEST_F(SoftHsmTest, OpensEveryInitialisedTokenWithTheGenericProfile) {
    // Several tokens: SoftHSM2's random serials fall at or above 2^63 about half the time,
    // and such tokens must open like the others.
    const std::vector<std::string> labels{"First", "Second", "Третий", "Fourth"};
    for (const auto& label : labels) {
        initToken(label);
    }
    const auto serials = listedSerials();
    ASSERT_EQ(serials.size(), labels.size()) << "softhsm2-util listing changed";

    std::map<std::string, std::string> opened;
    int failures = 0;
    for (const auto slot : library().getSlotList()) {
        try {
            const auto token = Pkcs11Token::open(library_, slot);
            ASSERT_TRUE(token.label());
            opened[*token.label()] = token.serial();
            EXPECT_EQ(token.model(), "SoftHSM v2");
            EXPECT_TRUE(token.isSupported());
            EXPECT_FALSE(token.interactionType().isTouch());
            EXPECT_EQ(token.totalMemory(), std::nullopt);
            EXPECT_EQ(token.getFreeMemory(), std::nullopt);
        } catch (const Pkcs11Error& error) {
            // The spare uninitialised slot has a blank serial.
            ++failures;
            EXPECT_EQ(error.as<Pkcs11Error::internalError>()->func, "init(with:)");
        }
    }
    EXPECT_EQ(failures, 1);
    for (const auto& [label, serial] : serials) {
        EXPECT_EQ(opened[label], shownSerial(serial)) << label;
    }
}

TEST_F(SoftHsmTest, LoginVerifiesEveryPin) {
    initToken("Login");
    const auto token = openToken("Login");
    const auto outcome = [&](const std::string& pin) -> std::string {
        try {
            token.login(pin);
            return "logged in";
        } catch (const Pkcs11Error& error) {
            return error.description();
        }
    };
    // SoftHSM2 keeps no retry counter: the attempts left are unknown.
    const std::string wrongPin = "Pkcs11Error.incorrectPin";
    EXPECT_EQ(outcome("0000"), wrongPin);
    EXPECT_EQ(outcome(""), wrongPin); // an empty PIN is a wrong PIN, not a bad argument
    EXPECT_EQ(outcome("12345678"), "logged in");
    // Already logged in: the token still checks the PIN.
    EXPECT_EQ(outcome("87654321"), wrongPin);
    EXPECT_EQ(outcome("12345678"), "logged in");
    EXPECT_EQ(outcome("12345678"), "logged in");
}

TEST_F(SoftHsmTest, CreatesFindsReadsAndDeletesObjects) {
    initToken("Objects");
    const auto token = openToken("Objects");
    // Private objects are invisible before login.
    EXPECT_TRUE(token.findObjects(dataObjectTemplate()).empty());
    token.login("12345678");

    std::vector<Pkcs11Object> created;
    for (int index = 0; index < 33; ++index) {
        auto objectTemplate = dataObjectTemplate();
        objectTemplate.dataAttrs[Pkcs11DataAttribute::objectId] = Bytes{0x02, 0x01, 0x01};
        objectTemplate.dataAttrs[Pkcs11DataAttribute::value] =
            index == 0 ? Bytes{} : Bytes(static_cast<std::size_t>(index), static_cast<std::uint8_t>(index));
        created.push_back(token.createObject(objectTemplate));
    }
    auto found = token.findObjects(dataObjectTemplate());
    ASSERT_EQ(found.size(), 33U);
    std::map<std::uint64_t, Bytes> values;
    for (const auto& object : found) {
        values[object.object()] = object.getValue(Pkcs11DataAttribute::value);
    }
    for (std::size_t index = 0; index < created.size(); ++index) {
        EXPECT_EQ(values.at(created[index].object()), Bytes(index, static_cast<std::uint8_t>(index)));
    }
    EXPECT_EQ(created[0].getValue(Pkcs11DataAttribute::objectId), (Bytes{0x02, 0x01, 0x01}));
    EXPECT_EQ(created[0].getValue(Pkcs11CkUlongAttribute::classObject), CKO_DATA);
    EXPECT_TRUE(created[0].getValue(Pkcs11BoolAttribute::privateness));
    try {
        created[0].getValue(Pkcs11CkUlongAttribute::keyType);
        ADD_FAILURE();
    } catch (const Pkcs11Error& error) {
        EXPECT_EQ(error.as<Pkcs11Error::internalError>()->rv, CKR_ATTRIBUTE_TYPE_INVALID);
    }

    created[5].deleteObject();
    EXPECT_THROW(created[5].deleteObject(), Pkcs11Error);
    EXPECT_EQ(token.findObjects(dataObjectTemplate()).size(), 32U);
}

} // namespace
} // namespace keyvane
