#include "Objects.h"

#include "Reply.h"
#include "Slots.h"
#include "VendorConstants.h"

#include <cstring>

namespace virtual_token {
namespace {

static_assert(sizeof(CK_ULONG) == 8, "the vendor record and object handles assume 64-bit CK_ULONG");

// Far above the handles SoftHSM2 hands out, so a virtual handle is never a real one.
constexpr CK_OBJECT_HANDLE virtualHandleBase = 0x7654'0000'0000'0000ULL;

std::string ulongBytes(CK_ULONG value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::string boolBytes(bool value) {
    return std::string(1, value ? '\1' : '\0');
}

std::vector<VirtualObject> objectsOf(std::size_t index, const SlotConfig& config) {
    std::vector<VirtualObject> objects;
    const auto common = [](CK_ULONG featureType) {
        return std::vector<std::pair<CK_ATTRIBUTE_TYPE, std::string>>{
            {CKA_CLASS, ulongBytes(CKO_HW_FEATURE)},
            {CKA_HW_FEATURE_TYPE, ulongBytes(featureType)},
            {CKA_TOKEN, boolBytes(true)},
            {CKA_PRIVATE, boolBytes(false)},
            {CKA_MODIFIABLE, boolBytes(false)},
        };
    };
    if (config.modelName) {
        VirtualObject model{virtualHandleBase + index * 4 + 1, common(VT_HW_FEATURE_MODEL)};
        model.attributes.emplace_back(VT_ATTR_MODEL_NAME, *config.modelName);
        objects.push_back(std::move(model));
    }
    if (config.touch && config.touch->settingsObject) {
        VirtualObject touch{virtualHandleBase + index * 4 + 2, common(VT_HW_FEATURE_TOUCH_SETTINGS)};
        touch.attributes.emplace_back(VT_ATTR_TOUCH_MODE, ulongBytes(config.touch->mode));
        touch.attributes.emplace_back(VT_ATTR_TOUCH_USER_PRESENT_TIME_LIMIT,
                                      ulongBytes(config.touch->userPresentTimeLimit));
        touch.attributes.emplace_back(VT_ATTR_TOUCH_USER_ACTION_TIMEOUT, ulongBytes(config.touch->userActionTimeout));
        objects.push_back(std::move(touch));
    }
    return objects;
}

bool matches(const VirtualObject& object, const CK_ATTRIBUTE* attributes, CK_ULONG count) {
    for (CK_ULONG i = 0; i < count; ++i) {
        const auto* value = object.find(attributes[i].type);
        if (!value || value->size() != attributes[i].ulValueLen ||
            (!value->empty() && std::memcmp(value->data(), attributes[i].pValue, value->size()) != 0)) {
            return false;
        }
    }
    return true;
}

bool asksForHardwareFeatures(const CK_ATTRIBUTE* attributes, CK_ULONG count) {
    for (CK_ULONG i = 0; i < count; ++i) {
        if (attributes[i].type == CKA_CLASS && attributes[i].ulValueLen == sizeof(CK_OBJECT_CLASS) &&
            attributes[i].pValue) {
            CK_OBJECT_CLASS objectClass = 0;
            std::memcpy(&objectClass, attributes[i].pValue, sizeof objectClass);
            return objectClass == CKO_HW_FEATURE;
        }
    }
    return false;
}

// The standard's rules for reading attributes: a missing one and a short buffer each mark their
// attribute unavailable, and the call answers the first such problem.
CK_RV readVirtualAttributes(const VirtualObject& object, CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
    CK_RV rv = CKR_OK;
    for (CK_ULONG i = 0; i < count; ++i) {
        auto& attribute = attributes[i];
        const auto* value = object.find(attribute.type);
        if (!value) {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            rv = CKR_ATTRIBUTE_TYPE_INVALID;
        } else if (!attribute.pValue) {
            attribute.ulValueLen = value->size();
        } else if (attribute.ulValueLen >= value->size()) {
            std::memcpy(attribute.pValue, value->data(), value->size());
            attribute.ulValueLen = value->size();
        } else {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            if (rv == CKR_OK) {
                rv = CKR_BUFFER_TOO_SMALL;
            }
        }
    }
    return rv;
}

}  // namespace

const std::string* VirtualObject::find(CK_ATTRIBUTE_TYPE type) const {
    for (const auto& [attribute, value] : attributes) {
        if (attribute == type) {
            return &value;
        }
    }
    return nullptr;
}

Objects::Objects(const Backend& backend, const Slots& slots) : backend_(backend), slots_(slots) {
    for (std::size_t i = 0; i < slots.count(); ++i) {
        catalogue_.push_back(objectsOf(i, slots.config(i)));
    }
}

const VirtualObject* Objects::find(std::size_t index, CK_OBJECT_HANDLE handle) const {
    for (const auto& object : catalogue_[index]) {
        if (object.handle == handle) {
            return &object;
        }
    }
    return nullptr;
}

CK_RV Objects::copy(CK_SESSION_HANDLE session, std::size_t index, CK_OBJECT_HANDLE object,
                    CK_ATTRIBUTE_PTR attributes, CK_ULONG count, CK_OBJECT_HANDLE_PTR copy) const {
    if (find(index, object)) {
        return CKR_ACTION_PROHIBITED;
    }
    return backend_->C_CopyObject(session, object, attributes, count, copy);
}

CK_RV Objects::destroy(CK_SESSION_HANDLE session, std::size_t index, CK_OBJECT_HANDLE object) const {
    if (find(index, object)) {
        return CKR_ACTION_PROHIBITED;
    }
    return backend_->C_DestroyObject(session, object);
}

CK_RV Objects::size(CK_SESSION_HANDLE session, std::size_t index, CK_OBJECT_HANDLE object, CK_ULONG_PTR size) const {
    if (find(index, object)) {
        if (!size) {
            return CKR_ARGUMENTS_BAD;
        }
        *size = CK_UNAVAILABLE_INFORMATION;
        return CKR_OK;
    }
    return backend_->C_GetObjectSize(session, object, size);
}

CK_RV Objects::readAttributes(CK_SESSION_HANDLE session, std::size_t index, CK_OBJECT_HANDLE object,
                              CK_ATTRIBUTE_PTR attributes, CK_ULONG count) const {
    if (const auto* found = find(index, object)) {
        if (!attributes && count > 0) {
            return CKR_ARGUMENTS_BAD;
        }
        return readVirtualAttributes(*found, attributes, count);
    }
    return backend_->C_GetAttributeValue(session, object, attributes, count);
}

CK_RV Objects::writeAttributes(CK_SESSION_HANDLE session, std::size_t index, CK_OBJECT_HANDLE object,
                               CK_ATTRIBUTE_PTR attributes, CK_ULONG count) const {
    if (find(index, object)) {
        return CKR_ACTION_PROHIBITED;
    }
    return backend_->C_SetAttributeValue(session, object, attributes, count);
}

CK_RV Objects::beginSearch(CK_SESSION_HANDLE session, std::size_t index, CK_ATTRIBUTE_PTR attributes,
                           CK_ULONG count) {
    const CK_RV rv = backend_->C_FindObjectsInit(session, attributes, count);
    if (rv != CKR_OK) {
        return rv;
    }
    std::deque<CK_OBJECT_HANDLE> found;
    if (asksForHardwareFeatures(attributes, count)) {
        for (const auto& object : catalogue_[index]) {
            if (matches(object, attributes, count)) {
                found.push_back(object.handle);
            }
        }
    }
    std::lock_guard lock(mutex_);
    pending_[session] = std::move(found);
    return CKR_OK;
}

CK_RV Objects::search(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum, CK_ULONG& count) {
    CK_ULONG given = 0;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = pending_.find(session); it != pending_.end()) {
            auto& pending = it->second;
            while (given < maximum && !pending.empty()) {
                objects[given++] = pending.front();
                pending.pop_front();
            }
        }
    }
    CK_ULONG more = 0;
    const CK_RV rv = backend_->C_FindObjects(session, objects + given, maximum - given, &more);
    if (rv != CKR_OK) {
        return rv;
    }
    count = given + more;
    return CKR_OK;
}

CK_RV Objects::endSearch(CK_SESSION_HANDLE session) {
    forget(session);
    return backend_->C_FindObjectsFinal(session);
}

void Objects::refuseHidden(std::size_t index, CK_MECHANISM_PTR mechanism) const {
    if (mechanism) {
        slots_.requireMechanism(index, mechanism->mechanism);
    }
}

CK_RV Objects::generateKey(CK_SESSION_HANDLE session, std::size_t index, CK_MECHANISM_PTR mechanism,
                           CK_ATTRIBUTE_PTR attributes, CK_ULONG count, CK_OBJECT_HANDLE_PTR key) const {
    refuseHidden(index, mechanism);
    return backend_->C_GenerateKey(session, mechanism, attributes, count, key);
}

CK_RV Objects::generateKeyPair(CK_SESSION_HANDLE session, std::size_t index, CK_MECHANISM_PTR mechanism,
                               CK_ATTRIBUTE_PTR publicAttributes, CK_ULONG publicCount,
                               CK_ATTRIBUTE_PTR privateAttributes, CK_ULONG privateCount,
                               CK_OBJECT_HANDLE_PTR publicKey, CK_OBJECT_HANDLE_PTR privateKey) const {
    refuseHidden(index, mechanism);
    return backend_->C_GenerateKeyPair(session, mechanism, publicAttributes, publicCount, privateAttributes,
                                       privateCount, publicKey, privateKey);
}

void Objects::forget(CK_SESSION_HANDLE session) {
    std::lock_guard lock(mutex_);
    pending_.erase(session);
}

}  // namespace virtual_token
