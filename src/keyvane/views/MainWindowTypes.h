#pragma once

#include "keyvane/viewmodels/AboutViewModel.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/viewmodels/OnboardingViewModel.h"
#include "keyvane/viewmodels/SidebarModel.h"
#include "keyvane/viewmodels/TokenDetailsModel.h"
#include "keyvane/viewmodels/WindowLayersModel.h"

#include <QObject>
#include <QtQml/qqml.h>

// The main window's view models as QML knows them. The program makes them; QML only reads
// and calls them.
namespace keyvane::app::qml {

struct MainWindowModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::MainWindowModel)
    QML_NAMED_ELEMENT(MainWindowModel)
    QML_UNCREATABLE("Made by the program")
};

struct SidebarModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::SidebarModel)
    QML_NAMED_ELEMENT(SidebarModel)
    QML_UNCREATABLE("Made by the window")
};

struct TokenDetailsModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::TokenDetailsModel)
    QML_NAMED_ELEMENT(TokenDetailsModel)
    QML_UNCREATABLE("Made by the window")
};

// The onboarding layer and the About sheet, and what holds them.
struct WindowLayersModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::WindowLayersModel)
    QML_NAMED_ELEMENT(WindowLayersModel)
    QML_UNCREATABLE("Made by the program")
};

struct OnboardingViewModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::OnboardingViewModel)
    QML_NAMED_ELEMENT(OnboardingViewModel)
    QML_UNCREATABLE("Made by the program")
};

struct AboutViewModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::app::AboutViewModel)
    QML_NAMED_ELEMENT(AboutViewModel)
    QML_UNCREATABLE("Made by the program")
};

} // namespace keyvane::app::qml
