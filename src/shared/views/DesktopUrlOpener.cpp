#include "shared/views/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace keyvane::views {

void DesktopUrlOpener::open(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

} // namespace keyvane::views
