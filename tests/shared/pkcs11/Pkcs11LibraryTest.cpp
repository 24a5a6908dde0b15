#include "ScriptedModule.h"

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Library.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keyvane {
namespace {

using testing::ScriptedModule;

Pkcs11Error::internalError loadFailure(const std::string& path) {
    try {
        Pkcs11Library::load(path);
    } catch (const Pkcs11Error& error) {
        if (const auto* internal = error.as<Pkcs11Error::internalError>()) {
            return *internal;
        }
    }
    ADD_FAILURE() << "loading " << path << " should fail";
    return {};
}

TEST(Pkcs11LibraryTest, ModulesThatCannotBeLoadedAreClearErrors) {
    const auto missing = loadFailure("/nonexistent/libnothing.so");
    EXPECT_EQ(missing.func, "loadModule(path:)");
    ASSERT_TRUE(missing.desc);
    EXPECT_NE(missing.desc->find("/nonexistent/libnothing.so"), std::string::npos);
    EXPECT_NE(missing.desc->find("No such file"), std::string::npos); // the loader's own reason

    const auto notPkcs11 = loadFailure("libm.so.6");
    ASSERT_TRUE(notPkcs11.desc);
    EXPECT_NE(notPkcs11.desc->find("C_GetFunctionList"), std::string::npos);

    EXPECT_TRUE(loadFailure("").desc);
}

TEST(Pkcs11LibraryTest, ModulePathComesFromTheEnvironmentElseTheProgramsDefault) {
    // This test program has no build-tree file beside it: the installed programs' default.
    ::unsetenv("KEYVANE_PKCS11_MODULE");
    EXPECT_EQ(Pkcs11Library::configuredModulePath(), KEYVANE_TEST_DEFAULT_MODULE);
    ::setenv("KEYVANE_PKCS11_MODULE", "", 1);
    EXPECT_EQ(Pkcs11Library::configuredModulePath(), KEYVANE_TEST_DEFAULT_MODULE);
    ::setenv("KEYVANE_PKCS11_MODULE", "/opt/token/libtoken.so", 1);
    EXPECT_EQ(Pkcs11Library::configuredModulePath(), "/opt/token/libtoken.so");
    ::unsetenv("KEYVANE_PKCS11_MODULE");
}

TEST(Pkcs11LibraryTest, InitialisationFailuresReachTheCaller) {
    ScriptedModule module;
    auto library = module.library();
    module.failOn("C_Initialize", CKR_CRYPTOKI_ALREADY_INITIALIZED, 1);
    EXPECT_NO_THROW(library->initialize());
    module.failOn("C_Initialize", CKR_GENERAL_ERROR, 2);
    try {
        library->initialize();
        ADD_FAILURE();
    } catch (const Pkcs11Error& error) {
        ASSERT_TRUE(error.is<Pkcs11Error::internalError>());
        EXPECT_EQ(error.as<Pkcs11Error::internalError>()->rv, CKR_GENERAL_ERROR);
    }
}

TEST(Pkcs11LibraryTest, SlotsAndSlotEvents) {
    ScriptedModule module;
    auto library = module.library();
    EXPECT_EQ(library->getSlotList(), std::vector<CK_SLOT_ID>{ScriptedModule::slot});
    EXPECT_TRUE(library->isTokenPresent(ScriptedModule::slot));
    EXPECT_EQ(library->pollSlotEvent(), std::nullopt);

    const auto failureOf = [](const std::function<void()>& operation) -> std::optional<std::uint64_t> {
        try {
            operation();
        } catch (const Pkcs11Error& error) {
            EXPECT_EQ(error.as<Pkcs11Error::internalError>()->func, "startMonitoring()");
            return error.as<Pkcs11Error::internalError>()->rv;
        }
        return std::nullopt;
    };
    module.failOn("C_WaitForSlotEvent", CKR_CRYPTOKI_NOT_INITIALIZED, 2);
    EXPECT_EQ(failureOf([&] { library->pollSlotEvent(); }), CKR_CRYPTOKI_NOT_INITIALIZED);
    module.failOn("C_GetSlotList", CKR_DEVICE_ERROR, 4);
    EXPECT_EQ(failureOf([&] { library->getSlotList(); }), CKR_DEVICE_ERROR);
    module.failOn("C_GetSlotInfo", CKR_SLOT_ID_INVALID, 2);
    EXPECT_FALSE(library->isTokenPresent(ScriptedModule::slot));
}

} // namespace
} // namespace keyvane
