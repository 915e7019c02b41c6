#include "platform/DesktopBrowser.h"

#include <QDesktopServices>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcBrowser, "orvel.browser")

void DesktopBrowser::open(const QUrl& url) {
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        qCWarning(lcBrowser) << "refusing to open" << url;
        return;
    }
    if (!QDesktopServices::openUrl(url))
        qCWarning(lcBrowser) << "no browser opened" << url;
}
