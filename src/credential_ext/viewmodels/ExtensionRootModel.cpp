#include "credential_ext/viewmodels/ExtensionRootModel.h"

namespace keyvane::ext::views {

ExtensionRootModel::ExtensionRootModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent)
    : AlertPresenter(parent), port_(port), executor_(executor) {}

ExtensionRootModel::~ExtensionRootModel() { *alive_ = false; }

void ExtensionRootModel::start() {
    subscription_ = port_.observe([this](const ExtensionSlice& next) { receive(next); });
}

void ExtensionRootModel::receive(const ExtensionSlice& next) {
    const auto previous = std::exchange(slice_, next);
    bool changes = previous.alert != next.alert;
    const bool shown = next.purpose != LoginPurposeKind::none;
    shownAlert_ = shown ? std::nullopt : next.alert;
    if (shown != loginSheetShown()) {
        if (shown) {
            loginSheet_ = std::make_unique<keyvane::views::LoginSheetModel>(
                port_.loginPort(), executor_,
                [this, alive = alive_](const QString& serial) {
                    // The verdict arrives inside the store's notification: act a step later.
                    executor_.post([this, alive, serial = serial.toStdString()] {
                        if (*alive) {
                            port_.loginSucceeded(serial);
                        }
                    });
                },
                [this] { port_.cancelRequest(); });
            // Closed from inside (its Cancel): back to the root view, the request goes on.
            connect(loginSheet_.get(), &keyvane::views::LoginSheetModel::dismissRequested, this,
                    [this] { port_.dismissLoginView(); });
        }
        loginSheetShown_ = shown;
        changes = true;
    }
    if (sliceChanged(previous) || changes) {
        emit changed();
    }
}

void ExtensionRootModel::appeared() { port_.appLaunched(); }

void ExtensionRootModel::cancel() { port_.cancelRequest(); }

} // namespace keyvane::ext::views
