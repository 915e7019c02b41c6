#include "platform/NftablesFirewall.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcFirewall, "orvel.firewall")

namespace {

const QString kRulesetFile = QStringLiteral("/killswitch.json");

QString singleQuoted(QString text) {
    text.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

bool writeOwnerOnly(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

NftablesFirewall::NftablesFirewall(std::function<std::optional<QString>(const QString&)> privileged,
                                   std::function<bool(const QString&)> run, QString folder,
                                   QString nft)
    : m_privileged(std::move(privileged)), m_run(std::move(run)), m_folder(std::move(folder)),
      m_nft(std::move(nft)) {}

QString NftablesFirewall::locateNft() {
    // Root runs it: never a program of the user's own PATH.
    return QStandardPaths::findExecutable(QStringLiteral("nft"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                           QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

QString NftablesFirewall::loadCommand(const QString& nft, const QString& path) {
    return singleQuoted(nft) + QStringLiteral(" -j -f - < ") + singleQuoted(path);
}

Firewall::Job NftablesFirewall::load(const QByteArray& ruleset) {
    if (m_nft.isEmpty())
        return [] {
            qCWarning(lcFirewall) << "nft is not installed";
            return Outcome::NotInstalled;
        };
    if (m_folder.isEmpty())
        return [] {
            qCWarning(lcFirewall) << "no private folder to hand the ruleset over in";
            return Outcome::NotWritten;
        };
    const QString path = m_folder + kRulesetFile;
    const std::optional<QString> statement = m_privileged(loadCommand(m_nft, path));
    if (!statement)
        return [] {
            qCWarning(lcFirewall) << "no administrator is known to load the rules as";
            return Outcome::NoAdministrator;
        };
    // Written as the job runs: jobs run one at a time, each with its own ruleset.
    return [run = m_run, statement = *statement, path, ruleset] {
        if (!writeOwnerOnly(path, ruleset)) {
            qCWarning(lcFirewall) << "cannot write" << path;
            return Outcome::NotWritten;
        }
        const bool loaded = run(statement);
        QFile::remove(path);
        if (!loaded)
            qCWarning(lcFirewall) << "nft refused the ruleset or did not run as root";
        return loaded ? Outcome::Loaded : Outcome::Refused;
    };
}
