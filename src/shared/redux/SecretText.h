#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>

namespace keyvane {

// A PIN or password carried by an action. It prints only as a placeholder, so no log line,
// debug printer or test failure message can show it, and its characters are overwritten
// when it is destroyed or moved from. The services read it with reveal().
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string text) : text_(std::move(text)) {}
    SecretText(const SecretText&) = default;
    SecretText(SecretText&& other) noexcept : text_(other.text_) { other.wipe(); }
    SecretText& operator=(const SecretText& other) {
        if (this != &other) {
            wipe();
            text_ = other.text_;
        }
        return *this;
    }
    SecretText& operator=(SecretText&& other) noexcept {
        if (this != &other) {
            wipe();
            text_ = other.text_;
            other.wipe();
        }
        return *this;
    }
    ~SecretText() { wipe(); }

    const std::string& reveal() const { return text_; }
    bool empty() const { return text_.empty(); }

    bool operator==(const SecretText&) const = default;

    friend std::ostream& operator<<(std::ostream& out, const SecretText&) { return out << "<redacted>"; }

private:
    void wipe() noexcept {
        // Through a volatile pointer so the stores are not dropped as dead.
        volatile char* characters = text_.data();
        for (std::size_t i = 0; i < text_.size(); ++i) {
            characters[i] = 0;
        }
        text_.clear();
    }

    std::string text_;
};

} // namespace keyvane
