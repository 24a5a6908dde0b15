#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keyvane::test_support {

// One place where the process's writable memory holds a needle.
struct MemoryHit {
    std::uintptr_t address = 0;
    std::string mapping; // its line of /proc/self/maps
    std::string what;    // which piece, in which encoding (never the text itself)
};

class MaskedText;

// Every place in the process's writable mappings (heaps, stacks, anonymous and writable file
// mappings) that holds the needle, given masked with `mask`. Memory is compared with the
// masked bytes, so the search never writes the needle anywhere itself.
std::vector<MemoryHit> findInWritableMemory(const std::vector<std::uint8_t>& maskedNeedle, std::uint8_t mask);

// Every place in writable memory that holds any run of `pieceLength` characters of the text,
// as UTF-8 or as UTF-16. A freed heap block loses its first bytes to the allocator's own
// bookkeeping, so a search for the whole text would miss a copy that was let go unwiped; its
// pieces are still there.
std::vector<MemoryHit> findPiecesInWritableMemory(const MaskedText& text, std::size_t pieceLength);

// A test secret that never lies in writable memory as plain text, so that a search of the
// process's memory for it finds only the copies the code under test made. Each byte is kept
// XORed with a mask; at() hands out one character at a time, as a keyboard types it.
class MaskedText {
public:
    // From an ASCII literal: the literal lies in read-only memory, which the search skips, and
    // is masked a byte at a time without being copied.
    explicit MaskedText(const char* plain, std::uint8_t mask = 0x5A);

    std::size_t size() const { return masked_.size(); }
    char at(std::size_t index) const { return static_cast<char>(masked_[index] ^ mask_); }
    // The plain text in a heap buffer (reserved, so a short text is not kept inside the string
    // object), for the one place that must be handed it whole; the caller wipes it.
    std::string reveal() const;

    // The masked bytes of the text as UTF-8 and as UTF-16 (little-endian).
    const std::vector<std::uint8_t>& utf8() const { return masked_; }
    std::vector<std::uint8_t> utf16() const;
    std::uint8_t mask() const { return mask_; }

private:
    MaskedText(std::vector<std::uint8_t> masked, std::uint8_t mask) : masked_(std::move(masked)), mask_(mask) {}
    friend std::vector<MemoryHit> findPiecesInWritableMemory(const MaskedText&, std::size_t);

    std::vector<std::uint8_t> masked_;
    std::uint8_t mask_;
};

// Overwrites a string's whole buffer and empties it.
void wipe(std::string& text);

} // namespace keyvane::test_support
