#include "shared/viewmodels/TypedSecret.h"

#include <QChar>

#include <algorithm>
#include <string>

namespace keyvane::views {

namespace {

// Room for any PIN or password typed by hand; a longer one still works (see the class).
constexpr std::size_t initialRoom = 256;

bool isHigh(char16_t unit) {
    return QChar::isHighSurrogate(unit);
}
bool isLow(char16_t unit) {
    return QChar::isLowSurrogate(unit);
}

} // namespace

TypedSecret::TypedSecret() {
    units_.reserve(initialRoom);
}

TypedSecret::TypedSecret(TypedSecret&& other) noexcept : units_(std::move(other.units_)) {
    other.units_.clear();
}

TypedSecret& TypedSecret::operator=(TypedSecret&& other) noexcept {
    if (this != &other) {
        clear();
        // The allocator wipes the block this one held before taking the other's.
        units_ = std::move(other.units_);
        other.units_.clear();
    }
    return *this;
}

int TypedSecret::characterCount() const {
    return static_cast<int>(std::count_if(units_.begin(), units_.end(), [](char16_t unit) { return !isLow(unit); }));
}

void TypedSecret::replace(int position, int removed, QStringView inserted) {
    const auto size = static_cast<std::ptrdiff_t>(units_.size());
    std::ptrdiff_t from = std::clamp<std::ptrdiff_t>(position, 0, size);
    std::ptrdiff_t to = std::clamp<std::ptrdiff_t>(from + std::max(removed, 0), from, size);
    // A pair's two halves go together: the edit's ends move off the middle of a pair.
    const auto splitsPair = [&](std::ptrdiff_t at) {
        return at > 0 && at < size && isLow(units_[static_cast<std::size_t>(at)]) &&
               isHigh(units_[static_cast<std::size_t>(at - 1)]);
    };
    const bool removing = to > from;
    if (splitsPair(from)) {
        --from;
    }
    if (!removing) {
        to = from;
    } else if (splitsPair(to)) {
        ++to;
    }
    const auto removedCount = static_cast<std::size_t>(to - from);
    const auto insertedCount = static_cast<std::size_t>(inserted.size());
    const auto oldSize = units_.size();
    const auto newSize = oldSize - removedCount + insertedCount;
    if (newSize > oldSize) {
        // Grows in place while the room lasts; beyond it the old block is wiped as it goes.
        units_.resize(newSize);
    }
    // Moves the tail to its new place, then writes the inserted units over the gap.
    const auto tailFrom = static_cast<std::size_t>(to);
    const auto tailTo = static_cast<std::size_t>(from) + insertedCount;
    const auto tailLength = oldSize - tailFrom;
    const auto begin = units_.begin();
    if (tailTo > tailFrom) {
        std::copy_backward(begin + static_cast<std::ptrdiff_t>(tailFrom), begin + static_cast<std::ptrdiff_t>(oldSize),
                           begin + static_cast<std::ptrdiff_t>(tailTo + tailLength));
    } else if (tailTo < tailFrom) {
        std::copy(begin + static_cast<std::ptrdiff_t>(tailFrom), begin + static_cast<std::ptrdiff_t>(oldSize),
                  begin + static_cast<std::ptrdiff_t>(tailTo));
    }
    std::copy(inserted.utf16(), inserted.utf16() + insertedCount, units_.begin() + from);
    if (newSize < oldSize) {
        // The units past the new end still hold characters: overwrite them before shrinking.
        secureWipe(units_.data() + newSize, (oldSize - newSize) * sizeof(char16_t));
        units_.resize(newSize);
    }
}

void TypedSecret::removeLastCharacter() {
    if (units_.empty()) {
        return;
    }
    const auto last = static_cast<int>(units_.size()) - 1;
    replace(last, 1, {});
}

void TypedSecret::assign(const TypedSecret& other) {
    if (this != &other) {
        clear();
        units_.insert(units_.end(), other.units_.begin(), other.units_.end());
    }
}

void TypedSecret::clear() noexcept {
    secureWipe(units_);
}

SecretText TypedSecret::toSecretText() const {
    std::string utf8;
    // Three bytes a unit at most, so the string never grows (and leaves nothing behind).
    utf8.reserve(units_.size() * 3);
    const auto put = [&](char32_t code) {
        if (code < 0x80) {
            utf8.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    };
    for (std::size_t i = 0; i < units_.size(); ++i) {
        const char16_t unit = units_[i];
        if (isHigh(unit) && i + 1 < units_.size() && isLow(units_[i + 1])) {
            put(QChar::surrogateToUcs4(unit, units_[i + 1]));
            ++i;
        } else if (isHigh(unit) || isLow(unit)) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    // The secret copies the characters and wipes this buffer.
    return SecretText(std::move(utf8));
}

} // namespace keyvane::views
