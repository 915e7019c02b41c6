#include "platform/NftablesFirewall.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcFirewall, "orvel.firewall")

NftablesFirewall::NftablesFirewall(std::function<QString(const QString&)> privileged,
                                   std::function<bool(const QString&)> run)
    : m_privileged(std::move(privileged)), m_run(std::move(run)) {}

QString NftablesFirewall::loadCommand(const QString& ruleset) {
    // The text stays one single-quoted word: nothing in it reaches the shell.
    QString quoted = ruleset;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QStringLiteral("printf '%s\\n' '") + quoted + QStringLiteral("' | nft -f -");
}

Firewall::Job NftablesFirewall::load(const QString& ruleset) {
    return [run = m_run, statement = m_privileged(loadCommand(ruleset))] {
        const bool loaded = run(statement);
        if (!loaded)
            qCWarning(lcFirewall) << "nft refused the ruleset or did not run as root";
        return loaded;
    };
}
