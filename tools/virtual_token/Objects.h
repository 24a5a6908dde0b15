// The objects that exist only in this module, the hardware-feature objects of each slot (model
// name, touch settings), beside the backend's objects: reads of their attributes, refusal of
// changes, and searches that add them to the backend's results. Key generation is here too,
// since it refuses the mechanisms that a slot hides. Owns its lock (the searches in progress);
// the backend is called outside it.
#pragma once

#include "Backend.h"
#include "Sessions.h"

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace virtual_token {

class Slots;

// A read-only object of this module.
struct VirtualObject {
    CK_OBJECT_HANDLE handle = 0;
    std::vector<std::pair<CK_ATTRIBUTE_TYPE, std::string>> attributes;

    const std::string* find(CK_ATTRIBUTE_TYPE type) const;
};

class Objects final : public SessionScoped {
public:
    Objects(const Backend& backend, const Slots& slots);

    CK_RV copy(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
               CK_ULONG count, CK_OBJECT_HANDLE_PTR copy) const;
    CK_RV destroy(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_OBJECT_HANDLE object) const;
    CK_RV size(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_OBJECT_HANDLE object, CK_ULONG_PTR size) const;
    CK_RV readAttributes(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_OBJECT_HANDLE object,
                         CK_ATTRIBUTE_PTR attributes, CK_ULONG count) const;
    CK_RV writeAttributes(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_OBJECT_HANDLE object,
                          CK_ATTRIBUTE_PTR attributes, CK_ULONG count) const;

    // Hardware-feature objects turn up only in a search whose template asks for that class, as
    // the standard asks; they come before the backend's.
    CK_RV beginSearch(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_ATTRIBUTE_PTR attributes,
                      CK_ULONG count);
    CK_RV search(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum, CK_ULONG& count);
    CK_RV endSearch(CK_SESSION_HANDLE session);

    CK_RV generateKey(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_MECHANISM_PTR mechanism,
                      CK_ATTRIBUTE_PTR attributes, CK_ULONG count, CK_OBJECT_HANDLE_PTR key) const;
    CK_RV generateKeyPair(CK_SESSION_HANDLE session, std::size_t slotIndex, CK_MECHANISM_PTR mechanism,
                          CK_ATTRIBUTE_PTR publicAttributes, CK_ULONG publicCount, CK_ATTRIBUTE_PTR privateAttributes,
                          CK_ULONG privateCount, CK_OBJECT_HANDLE_PTR publicKey,
                          CK_OBJECT_HANDLE_PTR privateKey) const;

    void forget(CK_SESSION_HANDLE session) override;

private:
    // The slot's virtual object with this handle; a handle of another slot's object is not one.
    const VirtualObject* find(std::size_t slotIndex, CK_OBJECT_HANDLE handle) const;
    void refuseHidden(std::size_t slotIndex, CK_MECHANISM_PTR mechanism) const;

    const Backend& backend_;
    const Slots& slots_;
    // Per slot, fixed by the configuration.
    std::vector<std::vector<VirtualObject>> catalogue_;
    std::mutex mutex_;
    // The virtual objects that a session's search has still to hand out.
    std::map<CK_SESSION_HANDLE, std::deque<CK_OBJECT_HANDLE>> pending_;
};

}  // namespace virtual_token
