#include "credential_ext/host/HostAnswer.h"
#include "credential_ext/host/HostExtensionContext.h"
#include "credential_ext/host/HostRequest.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace keyvane;
using namespace keyvane::ext;

namespace {

// 32 bytes 00..1f, and a user handle 01 02 03, as base64url.
const std::string hash32 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";
const std::string handle = "AQID";

Bytes sequence(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

std::string registration(const std::string& changes = "") {
    return R"({"request":"registration","relyingPartyId":"example.org","userName":"ann",)"
           R"("userHandle":")" + handle + R"(","clientDataHash":")" + hash32 + "\"" + changes + "}";
}

std::string onePasskey(const std::string& kind = "onePasskey") {
    return R"({"request":")" + kind + R"(","serviceIdentifier":"https://example.org/login",)"
           R"("relyingPartyId":"example.org","userHandle":")" + handle + R"(","clientDataHash":")" + hash32 + "\"}";
}

std::string credentialList(const std::string& allowed = R"(["AQID", ""])") {
    return R"({"request":"credentialList","serviceIdentifiers":["example.org","https://example.org"],)"
           R"("relyingPartyId":"example.org","clientDataHash":")" + hash32 + R"(","allowedCredentials":)" + allowed + "}";
}

// The request with one member replaced (or removed, for a null value).
std::string with(const std::string& request, const std::string& name, const nlohmann::json& value) {
    auto object = nlohmann::json::parse(request);
    if (value.is_null()) {
        object.erase(name);
    } else {
        object[name] = value;
    }
    return object.dump();
}

} // namespace

TEST(HostRequestReader, ReadsEachKindOfRequest) {
    const auto read = readHostRequest(registration());
    ASSERT_TRUE(std::holds_alternative<HostRequest>(read));
    const auto& request = std::get<RegistrationHostRequest>(std::get<HostRequest>(read)).request;
    EXPECT_EQ(request.credentialIdentity.relyingPartyIdentifier, "example.org");
    EXPECT_EQ(request.credentialIdentity.userName, "ann");
    EXPECT_EQ(request.credentialIdentity.userHandle, (Bytes{1, 2, 3}));
    EXPECT_EQ(request.clientDataHash, sequence(32));

    const auto list = readHostRequest(credentialList());
    ASSERT_TRUE(std::holds_alternative<HostRequest>(list));
    const auto& listed = std::get<CredentialListHostRequest>(std::get<HostRequest>(list));
    ASSERT_EQ(listed.serviceIdentifiers.size(), 2u);
    EXPECT_EQ(listed.serviceIdentifiers[0].type, ASCredentialServiceIdentifier::IdentifierType::domain);
    EXPECT_EQ(listed.serviceIdentifiers[1].type, ASCredentialServiceIdentifier::IdentifierType::URL);
    EXPECT_EQ(listed.serviceIdentifiers[1].identifier, "https://example.org");
    EXPECT_EQ(listed.parameters.relyingPartyIdentifier, "example.org");
    EXPECT_EQ(listed.parameters.allowedCredentials, (std::vector<Bytes>{{1, 2, 3}, {}}));

    for (const std::string kind : {"onePasskey", "withoutUserInteraction"}) {
        const auto named = readHostRequest(onePasskey(kind));
        ASSERT_TRUE(std::holds_alternative<HostRequest>(named)) << kind;
        const auto& value = std::get<HostRequest>(named);
        const auto& passkey = kind == "onePasskey" ? std::get<OnePasskeyHostRequest>(value).request
                                                   : std::get<WithoutUserInteractionHostRequest>(value).request;
        EXPECT_EQ(passkey.credentialIdentity.serviceIdentifier.identifier, "https://example.org/login");
        EXPECT_EQ(passkey.credentialIdentity.userHandle, (Bytes{1, 2, 3}));
        EXPECT_EQ(passkey.clientDataHash, sequence(32));
    }

    // Members the reader does not know are left alone; an empty list of allowed credentials
    // means any of the relying party's passkeys.
    EXPECT_TRUE(std::holds_alternative<HostRequest>(readHostRequest(registration(R"(,"extra":[1,2])"))));
    EXPECT_TRUE(std::holds_alternative<HostRequest>(readHostRequest(credentialList("[]"))));
    EXPECT_TRUE(std::holds_alternative<HostRequest>(readHostRequest(" \r\n\t" + registration() + "\n \t\r\n")));
}

TEST(HostRequestReader, RefusesEveryBadRequestWithAOneLineReason) {
    const std::string unicodeEscape = R"({"request":"registration","relyingPartyId":"\ud800"})";
    const struct {
        const char* label;
        std::string input;
    } cases[] = {
        {"empty input", ""},
        {"not JSON", "request=registration"},
        {"truncated JSON", registration().substr(0, 40)},
        {"two objects", registration() + registration()},
        {"text after the object", registration() + " x"},
        // The parser would take a NUL byte for the end of the input and accept what is before.
        {"NUL byte after the object", registration() + std::string(1, '\0') + "anything"},
        {"NUL byte between the object and white space", registration() + std::string(1, '\0') + "\n"},
        {"NUL byte in a text", registration(R"(,"extra":"a)" + std::string(1, '\0') + "b\"")},
        {"byte order mark", "\xef\xbb\xbf" + registration()},
        {"a list, not an object", "[" + registration() + "]"},
        {"invalid UTF-8", std::string(R"({"request":"registration","userName":")") + "\xff\xfe" + "\"}"},
        {"lone surrogate escape", unicodeEscape},
        {"comment in JSON", "/* hi */" + registration()},
        {"no request kind", with(registration(), "request", nullptr)},
        {"request kind not text", with(registration(), "request", 1)},
        {"unknown request kind", with(registration(), "request", "password")},
        {"request kind in other case", with(registration(), "request", "Registration")},
        {"relying party missing", with(registration(), "relyingPartyId", nullptr)},
        {"relying party empty", with(registration(), "relyingPartyId", "")},
        {"relying party a number", with(registration(), "relyingPartyId", 7)},
        {"user name missing", with(registration(), "userName", nullptr)},
        {"user name a list", with(registration(), "userName", nlohmann::json::array())},
        {"user handle empty", with(registration(), "userHandle", "")},
        {"user handle of 65 bytes", with(registration(), "userHandle", std::string(87, 'A'))},
        {"user handle with padding", with(registration(), "userHandle", "AQI=")},
        {"user handle in standard base64", with(registration(), "userHandle", "+/8A")},
        {"user handle with a space", with(registration(), "userHandle", "AQ ID")},
        {"user handle with stray bits", with(registration(), "userHandle", "AQJ")},
        {"user handle of impossible length", with(registration(), "userHandle", "AQIDB")},
        {"hash of 31 bytes", with(registration(), "clientDataHash", hash32.substr(0, 41))},
        {"hash of 33 bytes", with(registration(), "clientDataHash", hash32 + "AA")},
        {"hash missing", with(registration(), "clientDataHash", nullptr)},
        {"hash as a list of numbers", with(registration(), "clientDataHash", nlohmann::json::array({1, 2}))},
        {"service identifiers not a list", with(credentialList(), "serviceIdentifiers", "example.org")},
        {"service identifier a number", with(credentialList(), "serviceIdentifiers", nlohmann::json::array({1}))},
        {"allowed credentials missing", with(credentialList(), "allowedCredentials", nullptr)},
        {"allowed credential not base64url", with(credentialList(), "allowedCredentials", nlohmann::json::array({"**"}))},
        {"allowed credential a number", with(credentialList(), "allowedCredentials", nlohmann::json::array({5}))},
        {"one passkey without service identifier", with(onePasskey(), "serviceIdentifier", nullptr)},
        {"one passkey without user handle", with(onePasskey(), "userHandle", nullptr)},
        {"silent request with a short hash", with(onePasskey("withoutUserInteraction"), "clientDataHash", "AAEC")},
        // Readers that keep the first of two members and readers that keep the last would see
        // different requests in the same bytes.
        {"relying party given twice", registration(R"(,"relyingPartyId":"other.example")")},
        {"request kind given twice", credentialList().substr(0, 1) + R"("request":"registration",)" + credentialList().substr(1)},
        {"member of a nested object given twice", registration(R"(,"extra":{"a":1,"a":2})")},
        {"longer than 1 MiB", registration(",\"pad\":\"" + std::string(maximumHostRequestSize, 'x') + "\"")},
    };
    for (const auto& [label, input] : cases) {
        const auto read = readHostRequest(input);
        ASSERT_TRUE(std::holds_alternative<BadHostRequest>(read)) << label;
        const auto& reason = std::get<BadHostRequest>(read).reason;
        EXPECT_FALSE(reason.empty()) << label;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << label;
    }
}

namespace {

// Where a reader fed one byte at a time stops: the index of the byte at which the frame says
// the request is complete, or nothing when it waits for more.
std::optional<std::size_t> stopWhenFedByteByByte(const std::string& input) {
    HostRequestFrame frame;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (frame.take(std::string_view(input).substr(i, 1))) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(HostRequestFrame, StopsReadingWhereTheObjectEndsAndNeverBefore) {
    const auto request = registration();
    const std::string tricky =
        R"({"request":"registration","userName":"}]{\"\\","extra":[{"a":"]"},[]],"relyingPartyId":"example.org",)"
        R"("userHandle":")" + handle + R"(","clientDataHash":")" + hash32 + "\"}";
    const std::string tooLong = "{\"pad\":\"" + std::string(maximumHostRequestSize, 'x');
    const struct {
        const char* label;
        std::string input;
        std::optional<std::size_t> stop;
    } cases[] = {
        {"a request", request, request.size() - 1},
        {"white space first", " \r\n\t" + request, request.size() + 3},
        {"braces, brackets, quotes and backslashes in texts", tricky, tricky.size() - 1},
        {"more after the object", request + "{}", request.size() - 1},
        {"an object not yet closed", request.substr(0, request.size() - 1), std::nullopt},
        {"a text not yet closed", R"({"request":"regis)", std::nullopt},
        {"an escaped quote does not close the text", R"({"a":"\"}")", std::nullopt},
        // Input that can no longer be a request ends the reading at once: the caller is answered
        // rather than left waiting.
        {"a list", "[" + request + "]", 0},
        {"a byte order mark", "\xef\xbb\xbf" + request, 0},
        {"a NUL byte", R"({"a":")" + std::string(1, '\0') + "\"}", 6},
        {"longer than the limit", tooLong, maximumHostRequestSize},
    };
    for (const auto& [label, input, stop] : cases) {
        EXPECT_EQ(stopWhenFedByteByByte(input), stop) << label;
        // In one piece the frame agrees, and a complete frame stays complete.
        HostRequestFrame whole;
        EXPECT_EQ(whole.take(input), stop.has_value()) << label;
        if (stop) {
            EXPECT_TRUE(whole.take("[")) << label;
        }
    }
    // What the frame stops at is the whole request: the reader accepts it.
    for (const auto& input : {request, tricky}) {
        const auto stop = stopWhenFedByteByByte(input);
        ASSERT_TRUE(stop);
        EXPECT_TRUE(std::holds_alternative<HostRequest>(readHostRequest(input.substr(0, *stop + 1))));
    }
}

TEST(Base64Url, RoundTripsEveryLengthAndRefusesForeignText) {
    for (std::size_t size = 0; size < 40; ++size) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(0xfb + i * 7); // reaches the two URL characters
        }
        const auto text = base64UrlEncode(bytes);
        EXPECT_EQ(text.find_first_of("+/="), std::string::npos);
        EXPECT_EQ(base64UrlDecode(text), bytes) << size;
    }
    EXPECT_EQ(base64UrlEncode(Bytes{0xfb, 0xff}), "-_8");
    for (const char* foreign : {"-_8=", "+/8", "A", "AB=C", "AB\n", "AQJ"}) {
        EXPECT_FALSE(base64UrlDecode(foreign)) << foreign;
    }
}

TEST(HostAnswer, WritesEachAnswerAsOneLineOfJson) {
    ASPasskeyRegistrationCredential registered{"example.org", sequence(32), {0xfb, 0xff}, {0xa0}};
    ASPasskeyAssertionCredential asserted{{1, 2, 3}, "example.org", {0x30}, sequence(32), {5}, {0xfb, 0xff}};

    EXPECT_EQ(writeHostAnswer(registered),
              R"({"result":"registration","relyingParty":"example.org","clientDataHash":")" + hash32 +
                  R"(","credentialId":"-_8","attestationObject":"oA"})" "\n");
    EXPECT_EQ(writeHostAnswer(asserted),
              R"({"result":"assertion","userHandle":"AQID","relyingParty":"example.org","signature":"MA",)"
              R"("clientDataHash":")" + hash32 + R"(","authenticatorData":"BQ","credentialId":"-_8"})" "\n");
    EXPECT_EQ(writeHostAnswer(ASExtensionErrorCode::failed), "{\"result\":\"cancelled\",\"code\":0}\n");
    EXPECT_EQ(writeHostAnswer(ASExtensionErrorCode::userCanceled), "{\"result\":\"cancelled\",\"code\":1}\n");
    EXPECT_EQ(writeHostAnswer(ASExtensionErrorCode::userInteractionRequired), "{\"result\":\"cancelled\",\"code\":100}\n");

    // A relying party read from a token record may hold bytes that are not UTF-8: the answer is
    // still written, on one line.
    registered.relyingParty = "bad\xff\nrp";
    const auto line = writeHostAnswer(registered);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_TRUE(nlohmann::json::accept(line));
}

TEST(HostExtensionContext, WritesTheFirstAnswerOnlyFromAnyThread) {
    std::vector<std::string> lines;
    int answered = 0;
    HostExtensionContext context([&](const std::string& line) { lines.push_back(line); }, [&] { ++answered; });
    EXPECT_FALSE(context.isAnswered());

    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&context, i] {
            if (i % 2 == 0) {
                context.cancelRequest(ASExtensionErrorCode::userCanceled);
            } else {
                context.completeAssertionRequest({});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    context.completeRegistrationRequest({});
    context.cancelRequest(ASExtensionErrorCode::failed);

    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(answered, 1);
    ASSERT_TRUE(context.answer());
    EXPECT_EQ(lines[0], writeHostAnswer(*context.answer()));
}
