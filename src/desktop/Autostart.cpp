#include "desktop/Autostart.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcAutostart, "orvel.autostart")

namespace {
// Exec quoting of the desktop entry format: quote when needed, escape ", `, $ and \.
QString execArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return argument;
    QString quoted;
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // In a desktop file the backslashes of the quoting are themselves escaped.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
} // namespace

Autostart::Autostart(QString configHome, QString program)
    : m_configHome(std::move(configHome)), m_program(std::move(program)) {}

QString Autostart::defaultConfigHome() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    return configured.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : configured;
}

QString Autostart::entryPath() const {
    return m_configHome + QStringLiteral("/autostart/orvelvpn.desktop");
}

bool Autostart::isEnabled() const {
    return QFile::exists(entryPath());
}

bool Autostart::setEnabled(bool enabled) {
    if (!enabled) {
        const bool removed = !isEnabled() || QFile::remove(entryPath());
        if (!removed)
            qCWarning(lcAutostart) << "cannot remove" << entryPath();
        return removed;
    }
    QDir().mkpath(m_configHome + QStringLiteral("/autostart"));
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText().toUtf8()) < 0 ||
        !file.commit()) {
        qCWarning(lcAutostart) << "cannot write" << entryPath() << file.errorString();
        return false;
    }
    return true;
}

QString Autostart::entryText() const {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=OrvelVPN\n"
                          "Comment=Start OrvelVPN in the tray\n"
                          "Exec=%1 --hidden\n"
                          "Icon=orvelvpn\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(m_program));
}
