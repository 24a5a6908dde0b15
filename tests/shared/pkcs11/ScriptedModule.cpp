#include "ScriptedModule.h"

#include "shared/pkcs11/Pkcs11Vendor.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace keyvane::testing {

namespace {

ScriptedModule* active = nullptr;

ScriptedModule& module() {
    if (active == nullptr) {
        throw std::logic_error("no scripted module is active");
    }
    return *active;
}

#define ENTER(name)                                                                                                    \
    if (auto injected = module().enter(name)) {                                                                        \
        return *injected;                                                                                              \
    }

CK_RV initialize(CK_VOID_PTR) {
    ENTER("C_Initialize");
    return CKR_OK;
}
CK_RV finalize(CK_VOID_PTR) {
    ENTER("C_Finalize");
    return CKR_OK;
}
CK_RV getSlotList(CK_BBOOL, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    ENTER("C_GetSlotList");
    if (list != nullptr) {
        if (*count < 1) {
            return CKR_BUFFER_TOO_SMALL;
        }
        list[0] = ScriptedModule::slot;
    }
    *count = 1;
    return CKR_OK;
}
CK_RV getSlotInfo(CK_SLOT_ID, CK_SLOT_INFO_PTR info) {
    ENTER("C_GetSlotInfo");
    *info = {};
    info->flags = CKF_TOKEN_PRESENT;
    return CKR_OK;
}
CK_RV getTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO_PTR info) {
    ENTER("C_GetTokenInfo");
    return module().getTokenInfo(info);
}
CK_RV getMechanismList(CK_SLOT_ID, CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count) {
    ENTER("C_GetMechanismList");
    return module().getMechanismList(list, count);
}
CK_RV openSession(CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) {
    ENTER("C_OpenSession");
    return module().openSession(session);
}
CK_RV closeSession(CK_SESSION_HANDLE session) {
    ENTER("C_CloseSession");
    module().closedSessions.push_back(session);
    return CKR_OK;
}
CK_RV login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
    ENTER("C_Login");
    return module().login(pin, length);
}
CK_RV logout(CK_SESSION_HANDLE) {
    ENTER("C_Logout");
    module().loggedIn = false;
    return CKR_OK;
}
CK_RV findObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR list, CK_ULONG count) {
    ENTER("C_FindObjectsInit");
    return module().findObjectsInit(list, count);
}
CK_RV findObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR handles, CK_ULONG maximum, CK_ULONG_PTR count) {
    ENTER("C_FindObjects");
    return module().findObjects(handles, maximum, count);
}
CK_RV findObjectsFinal(CK_SESSION_HANDLE) {
    ENTER("C_FindObjectsFinal");
    module().searchActive = false;
    return CKR_OK;
}
CK_RV createObject(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR list, CK_ULONG count, CK_OBJECT_HANDLE_PTR handle) {
    ENTER("C_CreateObject");
    return module().createObject(list, count, handle);
}
CK_RV getAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR list, CK_ULONG count) {
    ENTER("C_GetAttributeValue");
    return module().getAttributeValue(object, list, count);
}
CK_RV destroyObject(CK_SESSION_HANDLE, CK_OBJECT_HANDLE object) {
    ENTER("C_DestroyObject");
    return module().destroyObject(object);
}
CK_RV waitForSlotEvent(CK_FLAGS, CK_SLOT_ID_PTR slot, CK_VOID_PTR) {
    ENTER("C_WaitForSlotEvent");
    *slot = ScriptedModule::slot;
    return CKR_NO_EVENT;
}
CK_RV getTokenInfoExtended(CK_SLOT_ID, CK_BYTE_PTR record) {
    ENTER("C_EX_GetTokenInfoExtended");
    return module().getTokenInfoExtended(record);
}

CK_FUNCTION_LIST makeList() {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
    list.C_Initialize = initialize;
    list.C_Finalize = finalize;
    list.C_GetSlotList = getSlotList;
    list.C_GetSlotInfo = getSlotInfo;
    list.C_GetTokenInfo = getTokenInfo;
    list.C_GetMechanismList = getMechanismList;
    list.C_OpenSession = openSession;
    list.C_CloseSession = closeSession;
    list.C_Login = login;
    list.C_Logout = logout;
    list.C_FindObjectsInit = findObjectsInit;
    list.C_FindObjects = findObjects;
    list.C_FindObjectsFinal = findObjectsFinal;
    list.C_CreateObject = createObject;
    list.C_GetAttributeValue = getAttributeValue;
    list.C_DestroyObject = destroyObject;
    list.C_WaitForSlotEvent = waitForSlotEvent;
    return list;
}

CK_FUNCTION_LIST functionList = makeList();

void setField(unsigned char* field, std::size_t size, const Bytes& bytes) {
    std::memset(field, ' ', size);
    std::copy_n(bytes.begin(), std::min(size, bytes.size()), field);
}

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

} // namespace

ScriptedModule::ScriptedModule() {
    if (active != nullptr) {
        throw std::logic_error("one scripted module at a time");
    }
    active = this;
    setSerialField("12AB34CD");
    setLabelField("Scripted token");
    setModelField("Scripted");
    tokenInfo.flags = CKF_TOKEN_INITIALIZED | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED;
    tokenInfo.hardwareVersion = {60, 1};
    tokenInfo.firmwareVersion = {30, 2};
    tokenInfo.ulTotalPublicMemory = 65536;
    tokenInfo.ulFreePublicMemory = 32768;
}

ScriptedModule::~ScriptedModule() { active = nullptr; }

std::shared_ptr<Pkcs11Library> ScriptedModule::library() {
    return std::make_shared<Pkcs11Library>(
        Pkcs11Functions{&functionList, withVendorFunction ? &testing::getTokenInfoExtended : nullptr});
}

void ScriptedModule::setSerialField(const std::string& text) { setSerialBytes(toBytes(text)); }
void ScriptedModule::setLabelField(const std::string& text) { setLabelBytes(toBytes(text)); }
void ScriptedModule::setModelField(const std::string& text) {
    setField(tokenInfo.model, sizeof tokenInfo.model, toBytes(text));
}
void ScriptedModule::setSerialBytes(const Bytes& bytes) {
    setField(tokenInfo.serialNumber, sizeof tokenInfo.serialNumber, bytes);
}
void ScriptedModule::setLabelBytes(const Bytes& bytes) { setField(tokenInfo.label, sizeof tokenInfo.label, bytes); }

CK_OBJECT_HANDLE ScriptedModule::addObject(std::map<CK_ATTRIBUTE_TYPE, Bytes> attributes) {
    const CK_OBJECT_HANDLE handle = nextObject_++;
    objects[handle] = std::move(attributes);
    return handle;
}

Bytes ScriptedModule::ulong(CK_ULONG value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes ScriptedModule::boolean(bool value) { return Bytes{static_cast<std::uint8_t>(value ? 1 : 0)}; }

void ScriptedModule::failOn(const std::string& function, CK_RV rv, int nth) {
    std::lock_guard lock(mutex_);
    failures_[function][nth] = rv;
}

std::vector<ScriptedModule::Call> ScriptedModule::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int ScriptedModule::count(const std::string& function) const {
    std::lock_guard lock(mutex_);
    const auto found = counts_.find(function);
    return found == counts_.end() ? 0 : found->second;
}

std::vector<std::string> ScriptedModule::functions() const {
    std::vector<std::string> names;
    for (const auto& call : calls()) {
        names.push_back(call.function);
    }
    return names;
}

std::optional<CK_RV> ScriptedModule::enter(const char* function) {
    std::lock_guard lock(mutex_);
    calls_.push_back({function, std::this_thread::get_id()});
    const int nth = ++counts_[function];
    if (const auto byFunction = failures_.find(function); byFunction != failures_.end()) {
        if (const auto failure = byFunction->second.find(nth); failure != byFunction->second.end()) {
            return failure->second;
        }
    }
    return std::nullopt;
}

CK_RV ScriptedModule::getTokenInfo(CK_TOKEN_INFO* info) {
    *info = tokenInfo;
    return CKR_OK;
}

CK_RV ScriptedModule::getMechanismList(CK_MECHANISM_TYPE* list, CK_ULONG* count) {
    if (list != nullptr) {
        if (*count < mechanisms.size()) {
            return CKR_BUFFER_TOO_SMALL;
        }
        std::copy(mechanisms.begin(), mechanisms.end(), list);
    }
    *count = mechanisms.size();
    return CKR_OK;
}

CK_RV ScriptedModule::openSession(CK_SESSION_HANDLE* session) {
    *session = nextSession_++;
    openSessions.push_back(*session);
    return CKR_OK;
}

CK_RV ScriptedModule::login(CK_UTF8CHAR* pin, CK_ULONG length) {
    loginPinWasNull.push_back(pin == nullptr);
    if (pin == nullptr) {
        return CKR_ARGUMENTS_BAD;
    }
    if (loggedIn) {
        return CKR_USER_ALREADY_LOGGED_IN;
    }
    if (pinLocked) {
        return CKR_PIN_LOCKED;
    }
    if (std::string(reinterpret_cast<const char*>(pin), length) != userPin) {
        return CKR_PIN_INCORRECT;
    }
    loggedIn = true;
    return CKR_OK;
}

CK_RV ScriptedModule::findObjectsInit(CK_ATTRIBUTE* list, CK_ULONG count) {
    if (searchActive) {
        return CKR_OPERATION_ACTIVE;
    }
    searchResults.clear();
    searchPosition = 0;
    for (const auto& [handle, attributes] : objects) {
        bool matches = true;
        for (CK_ULONG index = 0; index < count && matches; ++index) {
            const auto found = attributes.find(list[index].type);
            const auto* value = static_cast<const std::uint8_t*>(list[index].pValue);
            matches = found != attributes.end() && found->second.size() == list[index].ulValueLen &&
                      std::equal(found->second.begin(), found->second.end(), value);
        }
        if (matches) {
            searchResults.push_back(handle);
        }
    }
    searchActive = true;
    return CKR_OK;
}

CK_RV ScriptedModule::findObjects(CK_OBJECT_HANDLE* handles, CK_ULONG maximum, CK_ULONG* count) {
    if (!searchActive) {
        return CKR_OPERATION_NOT_INITIALIZED;
    }
    if (overfillSearch) {
        *count = maximum + 1;
        return CKR_OK;
    }
    *count = 0;
    while (*count < maximum && searchPosition < searchResults.size()) {
        handles[(*count)++] = searchResults[searchPosition++];
    }
    return CKR_OK;
}

CK_RV ScriptedModule::createObject(CK_ATTRIBUTE* list, CK_ULONG count, CK_OBJECT_HANDLE* handle) {
    std::map<CK_ATTRIBUTE_TYPE, Bytes> attributes;
    for (CK_ULONG index = 0; index < count; ++index) {
        if (list[index].pValue == nullptr) {
            return CKR_ATTRIBUTE_VALUE_INVALID;
        }
        const auto* value = static_cast<const std::uint8_t*>(list[index].pValue);
        attributes[list[index].type] = Bytes(value, value + list[index].ulValueLen);
    }
    *handle = addObject(std::move(attributes));
    return CKR_OK;
}

CK_RV ScriptedModule::getAttributeValue(CK_OBJECT_HANDLE object, CK_ATTRIBUTE* list, CK_ULONG count) {
    const auto found = objects.find(object);
    if (found == objects.end()) {
        return CKR_OBJECT_HANDLE_INVALID;
    }
    CK_RV result = CKR_OK;
    for (CK_ULONG index = 0; index < count; ++index) {
        auto& attribute = list[index];
        attributeValuePointers.emplace_back(attribute.pValue == nullptr, attribute.ulValueLen);
        const auto value = found->second.find(attribute.type);
        if (value == found->second.end()) {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = CKR_ATTRIBUTE_TYPE_INVALID;
        } else if (attribute.pValue == nullptr) {
            attribute.ulValueLen = reportedLength.value_or(value->second.size());
        } else if (attribute.ulValueLen < value->second.size()) {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = CKR_BUFFER_TOO_SMALL;
        } else {
            std::copy(value->second.begin(), value->second.end(), static_cast<std::uint8_t*>(attribute.pValue));
            attribute.ulValueLen = value->second.size();
        }
    }
    return result;
}

CK_RV ScriptedModule::destroyObject(CK_OBJECT_HANDLE object) {
    return objects.erase(object) == 1 ? CKR_OK : CKR_OBJECT_HANDLE_INVALID;
}

CK_RV ScriptedModule::getTokenInfoExtended(CK_BYTE* record) {
    std::uint64_t size = 0;
    std::memcpy(&size, record, sizeof size);
    if (size != pkcs11_vendor::extendedInfoSize) {
        return CKR_ARGUMENTS_BAD;
    }
    std::memcpy(record + pkcs11_vendor::extendedInfoFlagsOffset, &vendorFlags, sizeof vendorFlags);
    std::memcpy(record + pkcs11_vendor::extendedInfoUserPinAttemptsOffset, &vendorAttemptsLeft,
                sizeof vendorAttemptsLeft);
    std::memcpy(record + pkcs11_vendor::extendedInfoTokenClassOffset, &vendorTokenClass, sizeof vendorTokenClass);
    return CKR_OK;
}

} // namespace keyvane::testing
