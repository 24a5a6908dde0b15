#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>

namespace keyvane {

// A PIN or password carried by an action. It prints only as a placeholder, so no log line,
// debug printer or test failure message can show it, and its characters are overwritten
// (the whole buffer, not only the length in use) when it is destroyed, reassigned or moved
// from. The services read it with reveal().
class SecretText {
public:
    SecretText() = default;
    // Takes the text and wipes the given buffer: moving a short string copies its characters
    // and leaves them behind in the source.
    explicit SecretText(std::string&& text) : text_(text) { wipe(text); }
    explicit SecretText(const std::string& text) : text_(text) {}
    SecretText(const SecretText&) = default;
    SecretText(SecretText&& other) noexcept : text_(other.text_) { wipe(other.text_); }
    SecretText& operator=(const SecretText& other) {
        if (this != &other) {
            wipe(text_);
            text_ = other.text_;
        }
        return *this;
    }
    SecretText& operator=(SecretText&& other) noexcept {
        if (this != &other) {
            wipe(text_);
            text_ = other.text_;
            wipe(other.text_);
        }
        return *this;
    }
    ~SecretText() { wipe(text_); }

    const std::string& reveal() const { return text_; }
    bool empty() const { return text_.empty(); }

    bool operator==(const SecretText&) const = default;

    friend std::ostream& operator<<(std::ostream& out, const SecretText&) { return out << "<redacted>"; }

    // Overwrites every character the buffer can hold (a longer value held earlier may have
    // left its tail past the current length), then empties it.
    static void wipe(std::string& text) noexcept {
        // Growing to the capacity never reallocates, and makes every byte ours to write.
        text.resize(text.capacity());
        // Through a volatile pointer so the stores are not dropped as dead.
        volatile char* characters = text.data();
        for (std::size_t i = 0; i < text.size(); ++i) {
            characters[i] = 0;
        }
        text.clear();
    }

private:

    std::string text_;
};

} // namespace keyvane
