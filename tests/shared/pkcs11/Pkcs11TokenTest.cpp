#include "ScriptedModule.h"

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Token.h"
#include "shared/pkcs11/Pkcs11Vendor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <thread>

namespace keyvane {
namespace {

using testing::ScriptedModule;

std::optional<Pkcs11Error> errorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Pkcs11Error& error) {
        return error;
    }
    return std::nullopt;
}

// The error without its line, which is nobody's business but the source's.
std::optional<Pkcs11Error> withoutLine(std::optional<Pkcs11Error> error) {
    if (error) {
        if (auto* internal = std::get_if<Pkcs11Error::internalError>(&error->value)) {
            internal->line = 0;
        }
    }
    return error;
}

Pkcs11Error internal(const char* func, std::optional<std::uint64_t> rv = std::nullopt,
                     std::optional<std::string> desc = std::nullopt) {
    return Pkcs11Error::internalError{func, 0, std::move(desc), rv};
}

Bytes text(const std::string& value) { return Bytes(value.begin(), value.end()); }

// A token of the maker: vendor record, model-name object and, for a touch token, the touch
// settings object. Answers the touch settings object's handle.
CK_OBJECT_HANDLE makeVendorToken(ScriptedModule& module, bool touch) {
    module.withVendorFunction = true;
    module.vendorFlags = touch ? pkcs11_vendor::extendedFlagTouchRequired : 0;
    module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_HW_FEATURE)},
                      {CKA_HW_FEATURE_TYPE, ScriptedModule::ulong(pkcs11_vendor::hwFeatureModelName)},
                      {pkcs11_vendor::attributeModelName, text("Сигма 4")}});
    if (!touch) {
        return 0;
    }
    return module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_HW_FEATURE)},
                             {CKA_HW_FEATURE_TYPE, ScriptedModule::ulong(pkcs11_vendor::hwFeatureTouchSettings)},
                             {pkcs11_vendor::attributeTouchMode, ScriptedModule::ulong(2)},
                             {pkcs11_vendor::attributeTouchUserPresentTimeLimit, ScriptedModule::ulong(15)},
                             {pkcs11_vendor::attributeTouchUserActionTimeout, ScriptedModule::ulong(30)}});
}

Pkcs11Token open(ScriptedModule& module) { return Pkcs11Token::open(module.library(), ScriptedModule::slot); }

TEST(Pkcs11TokenOpenTest, OpensATouchTokenOfTheMaker) {
    ScriptedModule module;
    makeVendorToken(module, true);
    module.tokenInfo.firmwareVersion = {32, 0};
    const auto token = open(module);
    EXPECT_EQ(token.slot(), ScriptedModule::slot);
    EXPECT_EQ(token.serial(), "0313210061");
    EXPECT_EQ(token.label(), "Scripted token");
    EXPECT_EQ(token.model(), "Сигма 4");
    EXPECT_TRUE(token.isSupported());
    EXPECT_EQ(token.tokenVersion(), (Pkcs11TokenVersion{60, 1, 32, 0}));
    EXPECT_EQ(token.totalMemory(), 65536U);
    EXPECT_EQ(token.interactionType(), Pkcs11TokenInteractionType(Pkcs11TokenInteractionType::touch{{2, 15, 30}}));
    ASSERT_EQ(module.openSessions.size(), 1U);
    EXPECT_EQ(token.sessionHandle(), module.openSessions[0]);
    EXPECT_TRUE(module.closedSessions.empty());
}

TEST(Pkcs11TokenOpenTest, PlainTokenOfTheMakerReadsNoTouchSettings) {
    ScriptedModule module;
    makeVendorToken(module, false);
    const auto token = open(module);
    EXPECT_FALSE(token.interactionType().isTouch());
    EXPECT_EQ(token.model(), "Варнел Сигма 3 Альфа"); // firmware 30, hardware 60
    EXPECT_EQ(module.count("C_FindObjectsInit"), 1);
}

TEST(Pkcs11TokenOpenTest, GenericProfileWithoutTheVendorFunction) {
    ScriptedModule module;
    module.setModelField("SoftHSM v2");
    module.setSerialField("9f8e7d6c5b4a3921"); // at or above 2^63
    module.tokenInfo.ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
    const auto token = open(module);
    EXPECT_EQ(token.serial(), "1531590945");
    EXPECT_EQ(token.model(), "SoftHSM v2");
    EXPECT_TRUE(token.isSupported());
    EXPECT_FALSE(token.interactionType().isTouch());
    EXPECT_EQ(token.totalMemory(), std::nullopt);
    EXPECT_EQ(module.count("C_FindObjectsInit"), 0); // no vendor object is looked for
}

TEST(Pkcs11TokenOpenTest, GenericTokensThatCannotHoldPasskeysAreUnsupported) {
    const std::function<void(ScriptedModule&)> rows[] = {
        [](ScriptedModule& m) { m.tokenInfo.flags &= ~CK_FLAGS(CKF_TOKEN_INITIALIZED); },
        [](ScriptedModule& m) { std::erase(m.mechanisms, CKM_EC_KEY_PAIR_GEN); },
    };
    for (const auto& arrange : rows) {
        ScriptedModule module;
        module.setModelField("Card");
        arrange(module);
        EXPECT_FALSE(open(module).isSupported());
    }
}

// Every failure after the session was opened closes it again: nobody would ever use it.
TEST(Pkcs11TokenOpenTest, FailedOpeningsReportTheirCauseAndCloseTheirSession) {
    using Arrange = std::function<void(ScriptedModule&, CK_OBJECT_HANDLE touchObject)>;
    struct Row {
        const char* name;
        Arrange arrange;
        Pkcs11Error expected;
        bool sessionOpened;
    };
    const auto init = [](std::optional<std::uint64_t> rv = std::nullopt) { return internal("init(with:)", rv); };
    const Row rows[] = {
        {"token info fails", [](auto& m, auto) { m.failOn("C_GetTokenInfo", CKR_DEVICE_ERROR); },
         init(CKR_DEVICE_ERROR), false},
        {"blank serial", [](auto& m, auto) { m.setSerialField(""); }, init(), false},
        {"vendor record fails", [](auto& m, auto) { m.failOn("C_EX_GetTokenInfoExtended", CKR_DEVICE_REMOVED); },
         init(CKR_DEVICE_REMOVED), false},
        {"mechanism count fails", [](auto& m, auto) { m.failOn("C_GetMechanismList", CKR_SLOT_ID_INVALID); },
         init(CKR_SLOT_ID_INVALID), false},
        {"mechanism list fails", [](auto& m, auto) { m.failOn("C_GetMechanismList", CKR_BUFFER_TOO_SMALL, 2); },
         init(CKR_BUFFER_TOO_SMALL), false},
        {"session fails", [](auto& m, auto) { m.failOn("C_OpenSession", CKR_SESSION_COUNT); },
         init(CKR_SESSION_COUNT), false},
        {"no model-name object",
         [](auto& m, auto) {
             std::erase_if(m.objects, [](const auto& entry) {
                 return entry.second.at(CKA_HW_FEATURE_TYPE) ==
                        ScriptedModule::ulong(pkcs11_vendor::hwFeatureModelName);
             });
         },
         init(), true},
        {"touch asked, no settings object", [](auto& m, auto touch) { m.objects.erase(touch); }, init(), true},
        {"touch setting unreadable",
         [](auto& m, auto touch) { m.objects[touch].erase(pkcs11_vendor::attributeTouchUserActionTimeout); }, init(),
         true},
        {"search fails", [](auto& m, auto) { m.failOn("C_FindObjects", CKR_DEVICE_ERROR); },
         internal("findObjects(withTemplate:)", CKR_DEVICE_ERROR), true},
        {"unsupported class", [](auto& m, auto) { m.vendorTokenClass = 4; },
         internal("getTokenModel(tokenInfo:tokenInfoEx:supportedMechs:hwFeaturesObject:)", std::nullopt,
                  "Неподдерживаемый токен"),
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedModule module;
        const auto touchObject = makeVendorToken(module, true);
        row.arrange(module, touchObject);
        EXPECT_EQ(withoutLine(errorOf([&] { open(module); })), row.expected);
        EXPECT_EQ(module.openSessions.size(), row.sessionOpened ? 1U : 0U);
        EXPECT_EQ(module.closedSessions, module.openSessions);
    }
}

TEST(Pkcs11TokenLoginTest, LoginOutcomes) {
    struct Row {
        const char* name;
        std::function<void(ScriptedModule&)> arrange;
        std::string pin;
        std::optional<Pkcs11Error> expected;
    };
    const auto wrong = [](std::optional<std::uint64_t> left) { return Pkcs11Error(Pkcs11Error::incorrectPin{left}); };
    const Row rows[] = {
        {"right PIN", [](auto&) {}, "12345678", std::nullopt},
        {"already logged in, right PIN", [](auto& m) { m.loggedIn = true; }, "12345678", std::nullopt},
        // The earlier login says nothing of this PIN, which would then be cached.
        {"already logged in, wrong PIN", [](auto& m) { m.loggedIn = true; }, "0000", wrong(std::nullopt)},
        {"wrong PIN, vendor record", [](auto& m) { makeVendorToken(m, false); m.vendorAttemptsLeft = 4; }, "0000",
         wrong(4)},
        {"wrong PIN, vendor record fails, standard flags tell",
         [](auto& m) {
             makeVendorToken(m, false);
             m.failOn("C_EX_GetTokenInfoExtended", CKR_DEVICE_ERROR, 2);
             m.tokenInfo.flags |= CKF_USER_PIN_FINAL_TRY;
         },
         "0000", wrong(1)},
        {"wrong PIN, vendor record fails", [](auto& m) {
             makeVendorToken(m, false);
             m.failOn("C_EX_GetTokenInfoExtended", CKR_DEVICE_ERROR, 2);
         }, "0000", wrong(std::nullopt)},
        {"wrong PIN, final try", [](auto& m) { m.tokenInfo.flags |= CKF_USER_PIN_FINAL_TRY; }, "0000", wrong(1)},
        {"wrong PIN, now locked", [](auto& m) { m.tokenInfo.flags |= CKF_USER_PIN_LOCKED; }, "0000", wrong(0)},
        {"wrong PIN, only count low", [](auto& m) { m.tokenInfo.flags |= CKF_USER_PIN_COUNT_LOW; }, "0000",
         wrong(std::nullopt)},
        {"locked", [](auto& m) { m.pinLocked = true; }, "12345678", Pkcs11Error(Pkcs11Error::pinLocked{})},
        {"token removed", [](auto& m) { m.failOn("C_Login", CKR_DEVICE_REMOVED); }, "12345678",
         internal("login(with:)", CKR_DEVICE_REMOVED)},
        {"empty PIN", [](auto&) {}, "", wrong(std::nullopt)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedModule module;
        row.arrange(module);
        const auto token = open(module);
        EXPECT_EQ(withoutLine(errorOf([&] { token.login(row.pin); })), row.expected);
        // An empty PIN is passed as an empty value, never as a NULL pointer.
        EXPECT_EQ(std::count(module.loginPinWasNull.begin(), module.loginPinWasNull.end(), true), 0);
    }
}

TEST(Pkcs11TokenLoginTest, AlreadyLoggedInLogsOutAndVerifiesThePin) {
    ScriptedModule module;
    module.loggedIn = true;
    const auto token = open(module);
    token.login("12345678");
    const auto calls = module.functions();
    const auto firstLogin = std::find(calls.begin(), calls.end(), "C_Login");
    ASSERT_EQ(std::vector<std::string>(firstLogin, calls.end()),
              (std::vector<std::string>{"C_Login", "C_Logout", "C_Login"}));
    EXPECT_TRUE(module.loggedIn);
}

struct SearchCase {
    int objects;
    int findCalls;
};

TEST(Pkcs11TokenSearchTest, FetchesInBatchesOfSixteenAndAlwaysEndsTheSearch) {
    for (const auto& [objects, findCalls] : {SearchCase{0, 1}, SearchCase{1, 1}, SearchCase{15, 1},
                                             SearchCase{16, 2}, SearchCase{33, 3}, SearchCase{48, 4}}) {
        SCOPED_TRACE(objects);
        ScriptedModule module;
        std::vector<CK_OBJECT_HANDLE> expected;
        for (int index = 0; index < objects; ++index) {
            expected.push_back(module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_DATA)}}));
        }
        module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_PRIVATE_KEY)}}); // never matches
        const auto token = open(module);
        Pkcs11Template dataObjects;
        dataObjects.ulongAttrs[Pkcs11CkUlongAttribute::classObject] = CKO_DATA;
        const auto found = token.findObjects(dataObjects);
        std::vector<CK_OBJECT_HANDLE> handles;
        for (const auto& object : found) {
            handles.push_back(object.object());
            EXPECT_EQ(object.session(), token.sessionHandle());
        }
        EXPECT_EQ(handles, expected);
        EXPECT_EQ(module.count("C_FindObjects"), findCalls);
        EXPECT_EQ(module.count("C_FindObjectsFinal"), 1);
    }
}

TEST(Pkcs11TokenSearchTest, FailuresEndTheSearchOnlyOnceItStarted) {
    struct Row {
        const char* name;
        std::function<void(ScriptedModule&)> arrange;
        std::optional<std::uint64_t> rv;
        int finals;
    };
    const Row rows[] = {
        {"init fails", [](auto& m) { m.failOn("C_FindObjectsInit", CKR_TEMPLATE_INCONSISTENT); },
         CKR_TEMPLATE_INCONSISTENT, 0},
        {"first batch fails", [](auto& m) { m.failOn("C_FindObjects", CKR_DEVICE_ERROR); }, CKR_DEVICE_ERROR, 1},
        {"second batch fails", [](auto& m) { m.failOn("C_FindObjects", CKR_DEVICE_REMOVED, 2); }, CKR_DEVICE_REMOVED,
         1},
        {"module answers more than asked", [](auto& m) { m.overfillSearch = true; }, std::nullopt, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedModule module;
        for (int index = 0; index < 20; ++index) {
            module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_DATA)}});
        }
        const auto token = open(module);
        row.arrange(module);
        EXPECT_EQ(withoutLine(errorOf([&] { token.findObjects(Pkcs11Template()); })),
                  internal("findObjects(withTemplate:)", row.rv));
        EXPECT_EQ(module.count("C_FindObjectsFinal"), row.finals);
        // The session is free for the next search.
        module.overfillSearch = false;
        EXPECT_EQ(token.findObjects(Pkcs11Template()).size(), 20U);
    }
}

TEST(Pkcs11TokenObjectTest, CreatesObjectsWithEmptyValues) {
    ScriptedModule module;
    const auto token = open(module);
    auto objectTemplate = dataObjectTemplate();
    objectTemplate.dataAttrs[Pkcs11DataAttribute::value] = Bytes{};
    const auto created = token.createObject(objectTemplate);
    EXPECT_EQ(created.session(), token.sessionHandle());
    EXPECT_EQ(module.objects.at(created.object()).at(CKA_VALUE), Bytes{});
    EXPECT_EQ(created.getValue(Pkcs11DataAttribute::value), Bytes{});
    EXPECT_EQ(created.getValue(Pkcs11DataAttribute::application), text("Keyvane"));

    module.failOn("C_CreateObject", CKR_DEVICE_MEMORY, 2);
    EXPECT_EQ(withoutLine(errorOf([&] { token.createObject(objectTemplate); })),
              internal("createObject(withTemplate:)", CKR_DEVICE_MEMORY));
}

TEST(Pkcs11TokenObjectTest, AttributeReads) {
    ScriptedModule module;
    const auto token = open(module);
    const auto handle = module.addObject({{CKA_CLASS, ScriptedModule::ulong(CKO_DATA)},
                                          {CKA_TOKEN, ScriptedModule::boolean(true)},
                                          {CKA_VALUE, Bytes{1, 2, 3}},
                                          {CKA_LABEL, Bytes{}}});
    const Pkcs11Object object(handle, token.sessionHandle(), token.library());
    EXPECT_EQ(object.getValue(Pkcs11DataAttribute::value), (Bytes{1, 2, 3}));
    EXPECT_EQ(object.getValue(Pkcs11CkUlongAttribute::classObject), CKO_DATA);
    EXPECT_TRUE(object.getValue(Pkcs11BoolAttribute::token));

    // A zero-length value is read with a real, empty buffer in the value pass.
    module.attributeValuePointers.clear();
    EXPECT_EQ(object.getValue(Pkcs11DataAttribute::label), Bytes{});
    ASSERT_EQ(module.attributeValuePointers.size(), 2U);
    EXPECT_TRUE(module.attributeValuePointers[0].first);
    EXPECT_FALSE(module.attributeValuePointers[1].first);

    const auto readError = [&](auto attribute) { return withoutLine(errorOf([&] { object.getValue(attribute); })); };
    const auto getValue = [](std::optional<std::uint64_t> rv) { return internal("getValue(forAttr:)", rv); };
    EXPECT_EQ(readError(Pkcs11DataAttribute::id), getValue(CKR_ATTRIBUTE_TYPE_INVALID));
    EXPECT_EQ(readError(Pkcs11CkUlongAttribute::keyType), getValue(CKR_ATTRIBUTE_TYPE_INVALID));

    const int before = module.count("C_GetAttributeValue");
    module.failOn("C_GetAttributeValue", CKR_DEVICE_ERROR, before + 1); // length pass
    EXPECT_EQ(readError(Pkcs11DataAttribute::value), getValue(CKR_DEVICE_ERROR));
    module.failOn("C_GetAttributeValue", CKR_OBJECT_HANDLE_INVALID, before + 3); // value pass
    EXPECT_EQ(readError(Pkcs11DataAttribute::value), getValue(CKR_OBJECT_HANDLE_INVALID));

    // A length that cannot be a byte count is refused before anything is allocated.
    module.reportedLength = CK_ULONG(1) << 63;
    EXPECT_EQ(readError(Pkcs11DataAttribute::value), getValue(std::nullopt));
    module.reportedLength.reset();

    object.deleteObject();
    EXPECT_EQ(withoutLine(errorOf([&] { object.deleteObject(); })), internal("delete()", CKR_OBJECT_HANDLE_INVALID));
}

TEST(Pkcs11TokenMemoryTest, FreeMemory) {
    ScriptedModule module;
    const auto token = open(module);
    EXPECT_EQ(token.getFreeMemory(), 32768U);
    module.tokenInfo.ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
    EXPECT_EQ(token.getFreeMemory(), std::nullopt);
    module.failOn("C_GetTokenInfo", CKR_DEVICE_REMOVED, module.count("C_GetTokenInfo") + 1);
    EXPECT_EQ(withoutLine(errorOf([&] { token.getFreeMemory(); })), internal("getFreeMemory()", CKR_DEVICE_REMOVED));
}

TEST(Pkcs11TokenThreadTest, EveryLibraryCallRunsOnOneThread) {
    ScriptedModule module;
    makeVendorToken(module, true);
    auto library = module.library();
    library->initialize();
    const auto token = Pkcs11Token::open(library, ScriptedModule::slot);
    std::vector<std::thread> callers;
    for (int index = 0; index < 4; ++index) {
        callers.emplace_back([&] {
            EXPECT_EQ(token.findObjects(hwFeatureTemplate(pkcs11_vendor::hwFeatureTouchSettings)).size(), 1U);
            EXPECT_THROW(token.login("0000"), Pkcs11Error);
            token.getFreeMemory();
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    library->pollSlotEvent();
    std::set<std::thread::id> threads;
    for (const auto& call : module.calls()) {
        threads.insert(call.thread);
    }
    ASSERT_EQ(threads.size(), 1U);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    // Searches never interleave: each Init is followed by its own Final before the next Init.
    int open = 0;
    for (const auto& name : module.functions()) {
        open += name == "C_FindObjectsInit" ? 1 : name == "C_FindObjectsFinal" ? -1 : 0;
        EXPECT_LE(open, 1);
    }
}

} // namespace
} // namespace keyvane
