// How an answer reaches the caller: the failure that ends a call with a return value, the
// count-then-fill reply of a list, and blank-padded text fields.
#pragma once

#include <p11-kit/pkcs11.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace virtual_token {

// Thrown by a unit when a call cannot go on (an unknown slot, a removed token's session, a
// hidden mechanism); the entry point answers its return value.
struct Failure {
    CK_RV rv = CKR_GENERAL_ERROR;
};

// The standard's list reply: a null list asks for the count, a short one answers
// CKR_BUFFER_TOO_SMALL with the count needed, anything else is filled.
template <typename T>
CK_RV replyList(const std::vector<T>& items, T* list, CK_ULONG_PTR count) {
    if (list && *count < items.size()) {
        *count = items.size();
        return CKR_BUFFER_TOO_SMALL;
    }
    if (list) {
        std::copy(items.begin(), items.end(), list);
    }
    *count = items.size();
    return CKR_OK;
}

// The same reply read from the other side (the backend): asks for the count, then the items.
// Throws Failure with the backend's return value.
template <typename T, typename Query>
std::vector<T> fetchList(Query&& query) {
    CK_ULONG count = 0;
    CK_RV rv = query(nullptr, &count);
    std::vector<T> items(count);
    if (rv == CKR_OK && count > 0) {
        rv = query(items.data(), &count);
        items.resize(count);
    }
    if (rv != CKR_OK) {
        throw Failure{rv};
    }
    return items;
}

template <std::size_t N>
void setField(unsigned char (&field)[N], const std::string& text) {
    std::memset(field, ' ', N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

}  // namespace virtual_token
