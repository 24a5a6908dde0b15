#pragma once

// Stand-ins for a request's store in view-model tests: ports that keep the slices the test
// sets and record what the views send, as text.

#include "credential_ext/viewmodels/ExtensionStorePort.h"

#include <string>
#include <vector>

namespace keyvane::ext::views::testing {

using namespace keyvane;
using keyvane::views::LoginSlice;
using Strings = std::vector<std::string>;

inline TokenInfo token(std::string serial) {
    return TokenInfo{"Label " + serial, "Varnel " + serial, std::move(serial), "1.0.2.3", 64000, 1000, true};
}

template <class Slice>
class Published {
public:
    const Slice& value() const { return value_; }
    void set(Slice next) {
        value_ = std::move(next);
        for (auto& [id, callback] : callbacks_) {
            callback(value_);
        }
    }
    flowkeep::Subscription observe(std::function<void(const Slice&)> callback) {
        const int id = next_++;
        callbacks_.emplace_back(id, std::move(callback));
        callbacks_.back().second(value_);
        return flowkeep::Subscription([this, id] { std::erase_if(callbacks_, [id](const auto& entry) { return entry.first == id; }); });
    }

private:
    Slice value_;
    int next_ = 0;
    std::vector<std::pair<int, std::function<void(const Slice&)>>> callbacks_;
};

class LoginPortRecorder final : public keyvane::views::LoginStorePort {
public:
    LoginSlice slice() const override { return published.value(); }
    flowkeep::Subscription observe(std::function<void(const LoginSlice&)> onChange) override {
        return published.observe(std::move(onChange));
    }
    void startMonitoring() override { sent.push_back("startMonitoring"); }
    void stopMonitoring() override { sent.push_back("stopMonitoring"); }
    void setPassAuth(LoginAuthStatus) override { sent.push_back("setPassAuth"); }
    void setPinExist(StoredPinState) override { sent.push_back("setPinExist"); }
    void selectConnectedToken(const TokenInfo& token) override { sent.push_back("selectConnectedToken " + token.serial); }
    void performLoginOnToken(const std::string& serial, std::optional<SecretText>) override {
        sent.push_back("performLoginOnToken " + serial);
    }
    void validateMasterPassword(SecretText) override { sent.push_back("validateMasterPassword"); }
    void setMasterPassAuthError(std::optional<MasterPassAuthError>) override { sent.push_back("setMasterPassAuthError"); }
    void switchToPinView(const TokenInfo&) override { sent.push_back("switchToPinView"); }
    void hideAlert() override { sent.push_back("login hideAlert"); }

    Published<LoginSlice> published;
    std::vector<std::string> sent;
};

class ExtensionPortRecorder final : public ExtensionStorePort {
public:
    explicit ExtensionPortRecorder(ExtensionSlice initial = {}) { published.set(std::move(initial)); }

    ExtensionSlice slice() const override { return published.value(); }
    flowkeep::Subscription observe(std::function<void(const ExtensionSlice&)> onChange) override {
        return published.observe(std::move(onChange));
    }
    keyvane::views::LoginStorePort& loginPort() override { return login; }

    void appLaunched() override { sent.push_back("appLaunched"); }
    void cancelRequest() override { sent.push_back("cancelRequest"); }
    void dismissLoginView() override { sent.push_back("dismissLoginView"); }
    void hideAlert() override { sent.push_back("hideAlert"); }
    void syncingButtonPressed() override { sent.push_back("syncingButtonPressed"); }
    void credForAuthenticationSelected(const PasskeyCredentials& credential) override {
        sent.push_back("credForAuthenticationSelected " + credential.username + "@" + credential.relyingPartyId);
    }
    void completeRegistrationButtonIsPressed() override { sent.push_back("completeRegistrationButtonIsPressed"); }
    void loginSucceeded(const std::string& serial) override { sent.push_back("loginSucceeded " + serial); }

    // The actions sent since the last call.
    std::vector<std::string> take() { return std::exchange(sent, {}); }

    Published<ExtensionSlice> published;
    LoginPortRecorder login;
    std::vector<std::string> sent;
};

} // namespace keyvane::ext::views::testing
