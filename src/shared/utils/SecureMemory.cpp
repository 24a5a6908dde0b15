#include "shared/utils/SecureMemory.h"

#include <cstring>

namespace keyvane {

void secureWipe(void* data, std::size_t size) noexcept {
    if (data == nullptr || size == 0) {
        return;
    }
    std::memset(data, 0, size);
    // Tells the compiler the zeroes are read, so the memset is kept.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

} // namespace keyvane
