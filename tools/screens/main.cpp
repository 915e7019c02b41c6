// orvel-screens SCENE: shows one screen of the client for a screenshot. When the scene is
// on display it writes the file named by ORVEL_SCREENSHOT_READY and stays until that
// file's ".done" companion appears.
#include "SceneWorld.h"
#include "Scenes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {
constexpr int kHoldLimitMs = 60000;

void holdScene(const QString& ready) {
    // Let the last paint reach the display before the picture is taken.
    QTest::qWait(400);
    QFile marker(ready);
    if (!marker.open(QIODevice::WriteOnly))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ready));
    marker.close();
    spinUntil([&] { return QFile::exists(ready + QStringLiteral(".done")); }, kHoldLimitMs);
}
} // namespace

int main(int argc, char** argv) {
    // The scenes never touch the user's home or config.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    QDir(home.path()).mkpath(QStringLiteral(".config"));
    QApplication app(argc, argv);
    // The desktop's font size (GNOME's default is 11 pt), for the large-text scenes.
    if (const int points = qEnvironmentVariableIntValue("ORVEL_SCREENSHOT_FONT_PT"); points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }

    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const Scene scene = sceneNamed(name);
    const QString ready = qEnvironmentVariable("ORVEL_SCREENSHOT_READY");
    if (!scene || ready.isEmpty()) {
        std::fprintf(stderr, "usage: ORVEL_SCREENSHOT_READY=FILE orvel-screens SCENE\nscenes: %s\n",
                     qPrintable(sceneNames().join(QLatin1Char(' '))));
        return 2;
    }
    SceneWorld world(home.path() + QStringLiteral("/service"));
    if (!world.error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(world.error()));
        return 1;
    }
    const QString failure = scene(world, [&ready] { holdScene(ready); });
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(failure));
        return 1;
    }
    return 0;
}
