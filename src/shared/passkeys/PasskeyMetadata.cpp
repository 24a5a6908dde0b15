#include "shared/passkeys/PasskeyMetadata.h"

#include "KeyInfo.pb.h"

#include <google/protobuf/stubs/logging.h>

#include <limits>
#include <string>
#include <string_view>

namespace keyvane {

namespace {

constexpr std::uint8_t formatVersion = 1;

// Strict UTF-8, as the Protocol Buffers runtime demands of string fields: no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            const unsigned char min = k == 1 ? low : 0x80;
            const unsigned char max = k == 1 ? high : 0xBF;
            if (next < min || next > max) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string asString(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }
Bytes asBytes(const std::string& text) { return {text.begin(), text.end()}; }

} // namespace

PasskeyMetadata PasskeyMetadata::from(std::span<const std::uint8_t> data) {
    if (data.size() < 3) {
        throw PasskeyMetadataError::general("init(from:)");
    }
    if (data[0] != formatVersion) {
        throw PasskeyMetadataError(PasskeyMetadataError::wrongVersion{});
    }
    const auto record = data.subspan(2);

    ::KeyInfo message;
    bool parsed = false;
    if (record.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        // A token object with text that is not UTF-8 is a plain read failure; the runtime's own
        // log line about it would only be noise.
        google::protobuf::LogSilencer quiet;
        parsed = message.ParseFromArray(record.data(), static_cast<int>(record.size()));
    }
    if (!parsed) {
        throw PasskeyMetadataError::general("init(from:)");
    }

    KeyInfo keyInfo;
    keyInfo.relyingPartyID = std::move(*message.mutable_relyingpartyid());
    keyInfo.userName = std::move(*message.mutable_username());
    keyInfo.userHandle = asBytes(message.userhandle());
    keyInfo.ckaID = asBytes(message.ckaid());
    // With the known fields cleared, what the message still writes is exactly the kept
    // unknown fields, unchanged and in the order read.
    message.clear_relyingpartyid();
    message.clear_username();
    message.clear_userhandle();
    message.clear_ckaid();
    keyInfo.unknownFields = asBytes(message.SerializeAsString());
    return PasskeyMetadata(std::move(keyInfo));
}

Bytes PasskeyMetadata::toData() const {
    if (keyInfo == KeyInfo{}) {
        throw PasskeyMetadataError::general("toData()");
    }
    // Checked here rather than left to the runtime, which would log and write the bad text.
    if (!isValidUtf8(keyInfo.relyingPartyID) || !isValidUtf8(keyInfo.userName)) {
        throw PasskeyMetadataError::general("toData()");
    }
    ::KeyInfo message;
    message.set_relyingpartyid(keyInfo.relyingPartyID);
    message.set_username(keyInfo.userName);
    message.set_userhandle(asString(keyInfo.userHandle));
    message.set_ckaid(asString(keyInfo.ckaID));
    std::string record;
    if (!message.SerializeToString(&record)) {
        throw PasskeyMetadataError::general("toData()");
    }

    Bytes data;
    data.reserve(2 + record.size() + keyInfo.unknownFields.size());
    data.push_back(formatVersion);
    data.push_back(0);
    data.insert(data.end(), record.begin(), record.end());
    // The runtime writes kept fields after the known ones.
    data.insert(data.end(), keyInfo.unknownFields.begin(), keyInfo.unknownFields.end());

    // What goes onto the token must read back as this very record; kept fields assembled by
    // hand could be malformed or hold a known field number.
    bool readsBack = false;
    try {
        readsBack = from(data) == *this;
    } catch (const PasskeyMetadataError&) {
        readsBack = false;
    }
    if (!readsBack) {
        throw PasskeyMetadataError::general("toData()");
    }
    return data;
}

const Bytes& passkeyObjectId() {
    static const Bytes id{0x02, 0x01, 0x01};
    return id;
}

} // namespace keyvane
