#include "ProcessMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace keyvane::test_support {

MaskedText::MaskedText(const char* plain, std::uint8_t mask) : mask_(mask) {
    for (const char* c = plain; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) >= 0x80) {
            throw std::invalid_argument("MaskedText takes ASCII only");
        }
        masked_.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(*c) ^ mask));
    }
}

std::string MaskedText::reveal() const {
    std::string text;
    text.reserve(std::max<std::size_t>(size(), 64));
    for (std::size_t i = 0; i < size(); ++i) {
        text.push_back(at(i));
    }
    return text;
}

std::vector<std::uint8_t> MaskedText::utf16() const {
    std::vector<std::uint8_t> bytes;
    for (const auto byte : masked_) {
        bytes.push_back(byte);
        bytes.push_back(mask_); // a zero high byte, masked
    }
    return bytes;
}

namespace {

// The search allocates nothing on the heap while it runs: a heap allocation could take over a
// freed block that still holds a copy and overwrite it before it is seen. Everything it needs
// (the list of mappings, the needles, the hits, the buffer memory is read into) lies in one
// mapping of its own, which the search leaves out.
class Scratch {
public:
    static constexpr std::size_t readSize = std::size_t(1) << 20;
    static constexpr std::size_t mapsSize = std::size_t(4) << 20;
    static constexpr std::size_t maxRanges = 1U << 16;
    static constexpr std::size_t maxNeedles = 512;
    static constexpr std::size_t needleBytes = 1U << 16;
    static constexpr std::size_t maxHits = 1U << 14;

    struct Range {
        std::uintptr_t start;
        std::uintptr_t end;
        std::size_t line;       // offset of its line in the maps text
        std::size_t lineLength;
    };
    struct Needle {
        std::size_t offset; // in the needle bytes
        std::size_t length;
    };
    struct Hit {
        std::uintptr_t address;
        std::size_t range;
        std::size_t needle;
    };

    Scratch() {
        size_ = readSize + 4096 + mapsSize + maxRanges * sizeof(Range) + maxNeedles * sizeof(Needle) + needleBytes +
                maxHits * sizeof(Hit);
        size_ = (size_ + 4095) & ~std::size_t(4095);
        void* area = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED) {
            throw std::runtime_error("cannot map the memory search's scratch area");
        }
        base_ = static_cast<std::uint8_t*>(area);
        read = base_;
        maps = reinterpret_cast<char*>(read + readSize + 4096);
        ranges = reinterpret_cast<Range*>(maps + mapsSize);
        needles = reinterpret_cast<Needle*>(ranges + maxRanges);
        needleData = reinterpret_cast<std::uint8_t*>(needles + maxNeedles);
        hits = reinterpret_cast<Hit*>(needleData + needleBytes);
    }
    ~Scratch() { ::munmap(base_, size_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool contains(std::uintptr_t address) const {
        const auto start = reinterpret_cast<std::uintptr_t>(base_);
        return address >= start && address < start + size_;
    }
    std::uintptr_t start() const { return reinterpret_cast<std::uintptr_t>(base_); }
    std::uintptr_t end() const { return start() + size_; }

    void addNeedle(const std::uint8_t* masked, std::size_t length) {
        if (needleCount == maxNeedles || needleUsed + length > needleBytes || length == 0) {
            throw std::length_error("too many needles for one memory search");
        }
        std::memcpy(needleData + needleUsed, masked, length);
        needles[needleCount++] = {needleUsed, length};
        needleUsed += length;
    }

    std::uint8_t* read = nullptr;
    char* maps = nullptr;
    std::size_t mapsLength = 0;
    Range* ranges = nullptr;
    std::size_t rangeCount = 0;
    Needle* needles = nullptr;
    std::size_t needleCount = 0;
    std::uint8_t* needleData = nullptr;
    std::size_t needleUsed = 0;
    Hit* hits = nullptr;
    std::size_t hitCount = 0;

private:
    std::uint8_t* base_ = nullptr;
    std::size_t size_ = 0;
};

std::uintptr_t parseHex(const char*& at, const char* end) {
    std::uintptr_t value = 0;
    for (; at < end; ++at) {
        const char c = *at;
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<std::uintptr_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<std::uintptr_t>(c - 'a' + 10);
        } else {
            break;
        }
    }
    return value;
}

void readWritableMappings(Scratch& scratch) {
    const int file = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        throw std::runtime_error("cannot open /proc/self/maps");
    }
    for (;;) {
        const ssize_t got = ::read(file, scratch.maps + scratch.mapsLength, Scratch::mapsSize - scratch.mapsLength);
        if (got <= 0) {
            break;
        }
        scratch.mapsLength += static_cast<std::size_t>(got);
    }
    ::close(file);
    const char* text = scratch.maps;
    const char* end = text + scratch.mapsLength;
    for (const char* line = text; line < end;) {
        const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (lineEnd == nullptr) {
            lineEnd = end;
        }
        const char* at = line;
        const std::uintptr_t start = parseHex(at, lineEnd);
        ++at; // '-'
        const std::uintptr_t stop = parseHex(at, lineEnd);
        ++at; // ' '
        const bool writable = at + 1 < lineEnd && at[0] == 'r' && at[1] == 'w';
        // Only a sanitizer's shadow memory reserves mappings of hundreds of gigabytes; it holds
        // no program data, and reading it would take hours.
        if (writable && stop > start && stop - start < (std::uintptr_t(64) << 30) &&
            scratch.rangeCount < Scratch::maxRanges) {
            scratch.ranges[scratch.rangeCount++] = {start, stop, static_cast<std::size_t>(line - text),
                                                    static_cast<std::size_t>(lineEnd - line)};
        }
        line = lineEnd + 1;
    }
}

// Reads [start, end) through /proc/self/mem (a page that cannot be read answers an error
// instead of a fault) in chunks that overlap by the longest needle, and records every needle
// found.
void searchRange(Scratch& scratch, int memory, std::uintptr_t start, std::uintptr_t end, std::size_t range,
                 std::size_t longest, std::uint8_t mask) {
    const std::size_t overlap = longest - 1;
    const std::size_t step = Scratch::readSize - overlap;
    for (std::uintptr_t at = start; at < end; at += step) {
        const std::size_t wanted = std::min<std::uintptr_t>(Scratch::readSize, end - at);
        const ssize_t got = ::pread(memory, scratch.read, wanted, static_cast<off_t>(at));
        if (got <= 0) {
            continue;
        }
        const std::uint8_t* begin = scratch.read;
        const std::size_t length = static_cast<std::size_t>(got);
        // Positions past the step are searched by the next chunk, unless this is the last one.
        const std::size_t positions = at + length >= end ? length : std::min(length, step);
        for (std::size_t n = 0; n < scratch.needleCount; ++n) {
            const std::uint8_t* needle = scratch.needleData + scratch.needles[n].offset;
            const std::size_t needleLength = scratch.needles[n].length;
            const auto first = static_cast<std::uint8_t>(needle[0] ^ mask);
            for (std::size_t p = 0; p < positions;) {
                const void* found = std::memchr(begin + p, first, positions - p);
                if (found == nullptr) {
                    break;
                }
                p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - begin);
                if (p + needleLength <= length) {
                    std::size_t i = 1;
                    while (i < needleLength && static_cast<std::uint8_t>(begin[p + i] ^ mask) == needle[i]) {
                        ++i;
                    }
                    if (i == needleLength && scratch.hitCount < Scratch::maxHits) {
                        scratch.hits[scratch.hitCount++] = {at + p, range, n};
                    }
                }
                ++p;
            }
        }
    }
}

void search(Scratch& scratch, std::uint8_t mask) {
    readWritableMappings(scratch);
    std::size_t longest = 1;
    for (std::size_t n = 0; n < scratch.needleCount; ++n) {
        longest = std::max(longest, scratch.needles[n].length);
    }
    const int memory = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (memory < 0) {
        throw std::runtime_error("cannot open /proc/self/mem");
    }
    for (std::size_t r = 0; r < scratch.rangeCount; ++r) {
        const auto& range = scratch.ranges[r];
        // The kernel may have merged the scratch area into a neighbouring mapping: search around it.
        if (scratch.start() < range.end && scratch.end() > range.start) {
            searchRange(scratch, memory, range.start, std::max(range.start, scratch.start()), r, longest, mask);
            searchRange(scratch, memory, std::min(range.end, scratch.end()), range.end, r, longest, mask);
        } else {
            searchRange(scratch, memory, range.start, range.end, r, longest, mask);
        }
    }
    ::close(memory);
}

std::string lineOf(const Scratch& scratch, std::size_t range) {
    return std::string(scratch.maps + scratch.ranges[range].line, scratch.ranges[range].lineLength);
}

} // namespace

std::vector<MemoryHit> findInWritableMemory(const std::vector<std::uint8_t>& maskedNeedle, std::uint8_t mask) {
    if (maskedNeedle.empty()) {
        return {};
    }
    Scratch scratch;
    scratch.addNeedle(maskedNeedle.data(), maskedNeedle.size());
    search(scratch, mask);
    std::vector<MemoryHit> hits;
    for (std::size_t h = 0; h < scratch.hitCount; ++h) {
        hits.push_back({scratch.hits[h].address, lineOf(scratch, scratch.hits[h].range), {}});
    }
    return hits;
}

std::vector<MemoryHit> findPiecesInWritableMemory(const MaskedText& text, std::size_t pieceLength) {
    const std::size_t length = std::min(pieceLength, text.size());
    if (length == 0) {
        return {};
    }
    Scratch scratch;
    const std::size_t pieces = text.size() - length + 1;
    // UTF-8 pieces first, each made in the scratch area's own buffer; then UTF-16.
    for (std::size_t first = 0; first < pieces; ++first) {
        scratch.addNeedle(text.masked_.data() + first, length);
    }
    for (std::size_t first = 0; first < pieces; ++first) {
        for (std::size_t i = 0; i < length; ++i) {
            scratch.read[2 * i] = text.masked_[first + i];
            scratch.read[2 * i + 1] = text.mask_;
        }
        scratch.addNeedle(scratch.read, 2 * length);
    }
    search(scratch, text.mask_);
    std::vector<MemoryHit> hits;
    for (std::size_t h = 0; h < scratch.hitCount; ++h) {
        const std::size_t needle = scratch.hits[h].needle;
        const std::size_t first = needle % pieces;
        hits.push_back({scratch.hits[h].address, lineOf(scratch, scratch.hits[h].range),
                        "characters " + std::to_string(first) + "-" + std::to_string(first + length - 1) + " in " +
                            (needle < pieces ? "UTF-8" : "UTF-16")});
    }
    return hits;
}

void wipe(std::string& text) {
    text.resize(text.capacity());
    volatile char* characters = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        characters[i] = 0;
    }
    text.clear();
}

} // namespace keyvane::test_support
