#pragma once

#include "credential_ext/viewmodels/ExtensionStorePort.h"
#include "shared/viewmodels/LoginSheetModel.h"

#include <QObject>
#include <QString>

#include <memory>

namespace keyvane::ext::views {

// What both root views of a request share: they send appLaunched when shown, present the
// shared login sheet while the state holds a login purpose (made anew for each presentation),
// and show the state's alert only while no login sheet is up (the sheet shows its own).
// The base is named in full so that the QML tools find it (they do not resolve names by scope).
class ExtensionRootModel : public keyvane::views::AlertPresenter {
    Q_OBJECT
    Q_PROPERTY(bool loginSheetShown READ loginSheetShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::LoginSheetModel* loginSheet READ loginSheet NOTIFY changed)

public:
    ExtensionRootModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent = nullptr);
    ~ExtensionRootModel() override;

    bool loginSheetShown() const { return loginSheetShown_; }
    keyvane::views::LoginSheetModel* loginSheet() const { return loginSheet_.get(); }

    Q_INVOKABLE void appeared();
    // The close or cancel button: the user ends the request.
    Q_INVOKABLE void cancel();

protected:
    const ExtensionSlice& slice() const { return slice_; }
    ExtensionStorePort& port() { return port_; }
    // The alert this view shows: none while the login sheet is up.
    const std::optional<AppAlert>& alert() const override { return shownAlert_; }
    // A new slice arrived (the base has taken it already); answers whether what the view
    // shows changed.
    virtual bool sliceChanged(const ExtensionSlice& previous) = 0;
    // Starts observing the store; the derived model calls it at the end of its constructor,
    // so sliceChanged never runs on a half-built object.
    void start();

private:
    void receive(const ExtensionSlice& next);

    ExtensionStorePort& port_;
    flowkeep::MainExecutor& executor_;
    ExtensionSlice slice_;
    std::optional<AppAlert> shownAlert_;
    bool loginSheetShown_ = false;
    // Made anew for each presentation, so the sheet's own state starts afresh; the previous
    // one lives until then, past the disappearance its view reports.
    std::unique_ptr<keyvane::views::LoginSheetModel> loginSheet_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::ext::views
