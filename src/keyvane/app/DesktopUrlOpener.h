#pragma once

#include "keyvane/viewmodels/AboutViewModel.h"

namespace keyvane::app {

// Hands addresses to the desktop: web pages to the browser, tel: links to the telephony
// handler. What becomes of them is not observed.
class DesktopUrlOpener final : public UrlOpener {
public:
    void open(const QUrl& url) override;
};

} // namespace keyvane::app
