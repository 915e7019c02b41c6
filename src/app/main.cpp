#include "app/Application.h"
#include "app/LaunchOptions.h"
#include "app/MainWindow.h"
#include "app/StartupWarmup.h"
#include "desktop/Desktop.h"
#include "desktop/LogFile.h"

#include <QApplication>
#include <cstdio>

namespace {
// Help, the version and a wrong option are answered before QApplication: without a
// display, and without a single request to the service.
int answerWithoutRunning(const std::optional<LaunchOptions>& options, const QString& error) {
    if (!options) {
        std::fprintf(stderr, "orvelvpn: %s\n\n%s", qPrintable(error),
                     qPrintable(LaunchOptions::usage()));
        return 2;
    }
    const QString text = options->request == LaunchOptions::Request::Help
                             ? LaunchOptions::usage()
                             : LaunchOptions::versionText();
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QString error;
    const auto options = LaunchOptions::parse(LaunchOptions::arguments(argc, argv), &error);
    if (!options || options->request != LaunchOptions::Request::Run)
        return answerWithoutRunning(options, error);
    const StartupWarmup fontsAndTls = StartupWarmup::fontsAndTls();
    QApplication app(argc, argv);
    // Declared after the application, so that it ends before it goes.
    const StartupWarmup sessionBus = StartupWarmup::sessionBus();
    LogFile log;
    Application application(app, *options);
    if (!application.claimInstance())
        return 0;
    if (!application.configure(&error)) {
        std::fprintf(stderr, "orvelvpn: %s\n", qPrintable(error));
        return 2;
    }
    application.wireQuitAndReopen(app);
    application.start();
    Desktop desktop(application.desktopHost(), log);
    application.window().setOnClosed([&desktop] { desktop.windowClosed(); });
    application.show(desktop.startsHidden(options->hidden));
    return app.exec();
}
