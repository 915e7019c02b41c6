#include "tunnel/AdminCredentials.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "platform/ScriptRunner.h"
#include "tunnel/PrivilegedScript.h"

#include <QFileInfo>

AdminCredentials::AdminCredentials(ScriptRunner& runner, QString markerPath)
    : m_runner(runner), m_markerPath(std::move(markerPath)) {}

bool AdminCredentials::check(const QString& userName, const QString& password) const {
    const bool wasThere = QFileInfo::exists(m_markerPath);
    // Copied onto the marker's own path, so the template's file name does not matter.
    const QString command = wasThere ? QStringLiteral("sudo rm -rf ") + shellQuoted(m_markerPath)
                                     : QStringLiteral("sudo cp ") +
                                           shellQuoted(appState().credentialTemplatePath) +
                                           QLatin1Char(' ') + shellQuoted(m_markerPath);
    m_runner.runAppleScript(makePrivilegedScript(command, userName, password));
    return QFileInfo::exists(m_markerPath) != wasThere;
}

bool checkAdminCredentials(const QString& userName, const QString& password) {
    ScriptRunner* runner = services().scriptRunner;
    return runner && AdminCredentials(*runner).check(userName, password);
}
