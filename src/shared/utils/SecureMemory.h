#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace keyvane {

// Overwrites memory in a way the optimiser may not drop.
void secureWipe(void* data, std::size_t size) noexcept;

inline void secureWipe(std::string& text) noexcept {
    // The whole capacity: a shorter value may have left an older secret past size().
    secureWipe(text.data(), text.capacity());
    text.clear();
}

template <class T, class A>
void secureWipe(std::vector<T, A>& values) noexcept {
    secureWipe(values.data(), values.capacity() * sizeof(T));
    values.clear();
}

// An allocator that wipes each block before giving it back, so a key held in a
// SecureBytes leaves nothing behind when it is freed or grows.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {} // NOLINT: allocator rebinding
    T* allocate(std::size_t count) { return std::allocator<T>{}.allocate(count); }
    void deallocate(T* pointer, std::size_t count) noexcept {
        secureWipe(pointer, count * sizeof(T));
        std::allocator<T>{}.deallocate(pointer, count);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
};

// Key material: content and key-encryption keys, derived secrets.
using SecureBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

// Wipes a text or byte string when the scope ends (passwords, PINs, plaintexts).
template <class Buffer>
class WipeOnExit {
public:
    explicit WipeOnExit(Buffer& buffer) noexcept : buffer_(buffer) {}
    ~WipeOnExit() { secureWipe(buffer_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    Buffer& buffer_;
};

} // namespace keyvane
