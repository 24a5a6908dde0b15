#include "ScenarioRun.h"

#include "TemporaryFolder.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace keyvane::uitests {
namespace {

namespace fs = std::filesystem;

// Everything under a folder: each entry's kind, permissions and, for files, contents.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto status = entry.symlink_status();
        std::string record = std::to_string(static_cast<int>(status.type())) + ":" +
                             std::to_string(static_cast<unsigned>(status.permissions())) + ":";
        if (status.type() == fs::file_type::regular) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream contents;
            contents << in.rdbuf();
            record += contents.str();
        }
        out[fs::relative(entry.path(), root).string()] = record;
    }
    return out;
}

void write(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// A user's home as it is after some use of Keyvane: the group folder with records and
// preferences, the program's own preferences, and the demo token of scripts/run, which the
// user's environment selects.
class UserHome {
public:
    UserHome() {
        const auto group = data() / "keyvane" / "group.Keyvane.shared";
        write(group / "preferences.json", "{\"onboardingStatus\": 2, \"isBiometryEnabled\": true}\n");
        fs::permissions(group, fs::perms::owner_all);
        write(home() / ".config" / "Keyvane" / "Keyvane.conf", "[General]\nwindow=1\n");

        QProcess demo;
        demo.start(QStringLiteral(KEYVANE_MAKE_DEMO_TOKEN),
                   {"--module", QStringLiteral(KEYVANE_VIRTUAL_TOKEN_MODULE),
                    QString::fromStdString((data() / "keyvane-demo" / "token").string())});
        demo.waitForFinished(60000);
        for (const auto& line : QString::fromLocal8Bit(demo.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            const auto at = line.indexOf('=');
            environment_.insert(line.left(at), line.mid(at + 1));
        }
        environment_.insert("HOME", QString::fromStdString(home().string()));
        environment_.insert("XDG_DATA_HOME", QString::fromStdString(data().string()));
        environment_.insert("XDG_CONFIG_HOME", QString::fromStdString((home() / ".config").string()));
        environment_.insert("XDG_CACHE_HOME", QString::fromStdString((home() / ".cache").string()));
        environment_.insert("KEYVANE_GROUP_DIR", QString::fromStdString(group.string()));
    }

    fs::path home() const { return folder_ / "home"; }
    fs::path data() const { return home() / ".local" / "share"; }
    const QProcessEnvironment& environment() const { return environment_; }
    bool hasDemoToken() const { return environment_.contains("KEYVANE_PKCS11_MODULE"); }

private:
    test_support::TemporaryFolder folder_{"keyvane-ui-home"};
    QProcessEnvironment environment_;
};

// The scenarios erase the PIN cache, set a master password, write the onboarding status and
// watch tokens: under the test mode none of it may reach the user's own data or token.
TEST(UiScenarioRun, ARunLeavesTheUsersDataAndTokenAsTheyWere) {
    UserHome user;
    ASSERT_TRUE(user.hasDemoToken());
    const auto before = snapshot(user.home());
    test_support::TemporaryFolder work("keyvane-ui-scenario");
    {
        ScenarioRun run("mac-login-enter-master-password", work.path(), user.environment());
        EXPECT_TRUE(run.waitFor([](const Screen& s) { return s.shows("masterPasswordPane"); }).has_value())
            << run.lastScreen().summary() << run.errorOutput().toStdString();
        EXPECT_EQ(run.stop(), 0);
    }
    {
        // The user's demo token (serial 0313210061) stays out of the list of five.
        ScenarioRun run("mac-login-tokens-list", work.path(), user.environment());
        const auto screen = run.waitFor([](const Screen& s) { return s.shownWithPrefix("tokenRow_").size() == 5; });
        EXPECT_TRUE(screen.has_value()) << run.lastScreen().summary();
        EXPECT_FALSE(run.lastScreen().shows("tokenRow_0313210061"));
        EXPECT_EQ(run.stop(), 0);
    }
    EXPECT_TRUE(snapshot(user.home()) == before) << "the user's home changed";
}

} // namespace
} // namespace keyvane::uitests
