#include "keyvane/app/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace keyvane::app {

void DesktopUrlOpener::open(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

} // namespace keyvane::app
