#pragma once

#include "shared/redux/SecretText.h"
#include "shared/utils/SecureMemory.h"

#include <QStringView>

#include <vector>

namespace keyvane::views {

// A PIN or password while it is being typed: one buffer of UTF-16 code units, edited in place
// from keystroke to use and never copied. Its room is set aside up front; should a longer text
// outgrow it, the old block is wiped as it is let go (the allocator wipes every block it frees).
// clear() and the destructor overwrite the whole buffer. toSecretText() is the one way out: it
// makes the SecretText an action carries.
class TypedSecret {
public:
    TypedSecret();
    ~TypedSecret() { clear(); }
    TypedSecret(const TypedSecret&) = delete;
    TypedSecret& operator=(const TypedSecret&) = delete;
    // Takes the other's buffer as it is (no copy is made), leaving the other empty.
    TypedSecret(TypedSecret&& other) noexcept;
    TypedSecret& operator=(TypedSecret&& other) noexcept;

    // In UTF-16 code units, as a text field counts its positions.
    int size() const { return static_cast<int>(units_.size()); }
    bool empty() const { return units_.empty(); }
    // In characters (code points), as a row of dots shows them.
    int characterCount() const;

    // Replaces `removed` units at `position` with the inserted text; both are clamped to the
    // text, and widened so that no character is cut in half.
    void replace(int position, int removed, QStringView inserted);
    void append(QStringView inserted) { replace(size(), 0, inserted); }
    void removeLastCharacter();
    // Becomes a copy of the other, in this one's own buffer.
    void assign(const TypedSecret& other);
    // Overwrites every unit the buffer holds room for and empties it.
    void clear() noexcept;

    // The text as UTF-8 (an unpaired surrogate becomes U+FFFD), written straight into the
    // secret's own buffer.
    SecretText toSecretText() const;

    bool operator==(const TypedSecret& other) const { return units_ == other.units_; }

private:
    std::vector<char16_t, WipingAllocator<char16_t>> units_;
};

} // namespace keyvane::views
