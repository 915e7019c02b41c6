#include "app/Application.h"
#include "app/LaunchOptions.h"
#include "app/MainWindow.h"
#include "app/StartupWarmup.h"
#include "desktop/Desktop.h"
#include "desktop/LogFile.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    const StartupWarmup fontsAndTls = StartupWarmup::fontsAndTls();
    QApplication app(argc, argv);
    // Declared after the application, so that it ends before it goes.
    const StartupWarmup sessionBus = StartupWarmup::sessionBus();
    LogFile log;
    QString error;
    const auto options = LaunchOptions::parse(app.arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "orvelvpn: %s\n", qPrintable(error));
        return 2;
    }
    Application application(app, *options);
    if (!application.claimInstance())
        return 0;
    if (!application.configure(&error)) {
        std::fprintf(stderr, "orvelvpn: %s\n", qPrintable(error));
        return 2;
    }
    application.wireQuitAndReopen(app);
    application.start();
    application.window().setHideOnClose(&Desktop::trayAvailable);
    Desktop desktop(application.desktopHost(), log);
    application.show(desktop.startsHidden(options->hidden));
    return app.exec();
}
