#pragma once

#include "shared/pkcs11/Pkcs11Vendor.h"

#include <p11-kit/pkcs11.h>

namespace keyvane {

// The attributes that templates and object reads use, by the kind of their value.
enum class Pkcs11BoolAttribute { token, derive, privateness, sign, sensitive, extractable };
enum class Pkcs11CkUlongAttribute {
    classObject,
    keyType,
    hwFeatureType,
    supportedInterface,
    touchMode,
    touchUserPresentTimeLimit,
    touchUserActionTimeout,
};
enum class Pkcs11DataAttribute { id, label, value, ecdsa, ecpoint, application, objectId, modelName };

constexpr CK_ATTRIBUTE_TYPE attributeType(Pkcs11BoolAttribute attribute) {
    switch (attribute) {
    case Pkcs11BoolAttribute::token: return CKA_TOKEN;
    case Pkcs11BoolAttribute::derive: return CKA_DERIVE;
    case Pkcs11BoolAttribute::privateness: return CKA_PRIVATE;
    case Pkcs11BoolAttribute::sign: return CKA_SIGN;
    case Pkcs11BoolAttribute::sensitive: return CKA_SENSITIVE;
    case Pkcs11BoolAttribute::extractable: return CKA_EXTRACTABLE;
    }
    return CKA_TOKEN;
}

constexpr CK_ATTRIBUTE_TYPE attributeType(Pkcs11CkUlongAttribute attribute) {
    switch (attribute) {
    case Pkcs11CkUlongAttribute::classObject: return CKA_CLASS;
    case Pkcs11CkUlongAttribute::keyType: return CKA_KEY_TYPE;
    case Pkcs11CkUlongAttribute::hwFeatureType: return CKA_HW_FEATURE_TYPE;
    case Pkcs11CkUlongAttribute::supportedInterface: return pkcs11_vendor::attributeSupportedInterface;
    case Pkcs11CkUlongAttribute::touchMode: return pkcs11_vendor::attributeTouchMode;
    case Pkcs11CkUlongAttribute::touchUserPresentTimeLimit: return pkcs11_vendor::attributeTouchUserPresentTimeLimit;
    case Pkcs11CkUlongAttribute::touchUserActionTimeout: return pkcs11_vendor::attributeTouchUserActionTimeout;
    }
    return CKA_CLASS;
}

constexpr CK_ATTRIBUTE_TYPE attributeType(Pkcs11DataAttribute attribute) {
    switch (attribute) {
    case Pkcs11DataAttribute::id: return CKA_ID;
    case Pkcs11DataAttribute::label: return CKA_LABEL;
    case Pkcs11DataAttribute::value: return CKA_VALUE;
    case Pkcs11DataAttribute::ecdsa: return CKA_EC_PARAMS;
    case Pkcs11DataAttribute::ecpoint: return CKA_EC_POINT;
    case Pkcs11DataAttribute::application: return CKA_APPLICATION;
    case Pkcs11DataAttribute::objectId: return CKA_OBJECT_ID;
    case Pkcs11DataAttribute::modelName: return pkcs11_vendor::attributeModelName;
    }
    return CKA_ID;
}

} // namespace keyvane
