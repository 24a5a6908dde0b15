#include "shared/utils/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace keyvane {

std::uint64_t randomUInt64() {
    std::uint64_t value = 0;
    auto* out = reinterpret_cast<unsigned char*>(&value);
    std::size_t filled = 0;
    while (filled < sizeof value) {
        const ssize_t got = ::getrandom(out + filled, sizeof value - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Without a secure random source no salt or key may be made: stop rather than
            // hand out predictable bytes.
            throw std::runtime_error(std::string("getrandom failed: ") + std::strerror(errno));
        }
        filled += static_cast<std::size_t>(got);
    }
    return value;
}

std::uint64_t randomUniform(std::uint64_t upperBound) {
    if (upperBound <= 1) {
        return 0;
    }
    // Values at or above the largest multiple of upperBound would favour small results.
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() -
                                std::numeric_limits<std::uint64_t>::max() % upperBound;
    for (;;) {
        const std::uint64_t value = randomUInt64();
        if (value < limit) {
            return value % upperBound;
        }
    }
}

Bytes randomBytes(int count) {
    Bytes bytes;
    if (count <= 0) {
        return bytes;
    }
    bytes.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(randomUInt64() & 0xffU));
    }
    return bytes;
}

std::string randomAlphanumericString(int length) {
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static constexpr std::uint64_t alphabetSize = sizeof alphabet - 1;
    std::string text;
    if (length <= 0) {
        return text;
    }
    text.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        text.push_back(alphabet[randomUniform(alphabetSize)]);
    }
    return text;
}

} // namespace keyvane
