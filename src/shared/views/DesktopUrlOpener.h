#pragma once

#include "shared/viewmodels/AboutViewModel.h"

namespace keyvane::views {

// Hands addresses to the desktop: web pages to the browser, tel: links to the telephony
// handler. What becomes of them is not observed.
class DesktopUrlOpener final : public UrlOpener {
public:
    void open(const QUrl& url) override;
};

} // namespace keyvane::views
