#include "keyring/LegacySecrets.h"

#include "platform/AppleScriptStatement.h"
#include "platform/FileItemStore.h"
#include "platform/Preferences.h"
#include "platform/SecretServiceItemStore.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/PrivilegedScript.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStringDecoder>

Q_LOGGING_CATEGORY(lcLegacy, "orvel.keyring")

namespace {

// Every file an older version wrote a privileged statement into.
// Statements are one line; anything longer is not one of ours.
constexpr qint64 kMaxStatementSize = qint64{64} * 1024;

const QStringList kStatementFiles = {QStringLiteral("disconnect.scpt"),
                                     QStringLiteral("setEthernetDNS.scpt"),
                                     QStringLiteral("setWifiDNS.scpt")};

std::optional<AppleScriptStatement> statementIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString source = decoder.decode(file.read(kMaxStatementSize));
    const auto parsed = AppleScriptStatement::parse(source);
    const auto* statement = std::get_if<AppleScriptStatement>(&parsed);
    if (decoder.hasError() || !statement)
        return std::nullopt;
    return *statement;
}

bool replaceWith(const QString& path, const QByteArray& content) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(content) == content.size() && file.commit();
}

void rewriteStatementFile(const QString& path) {
    const std::optional<AppleScriptStatement> statement = statementIn(path);
    if (!statement || !statement->password)
        return;
    const QString rewritten =
        makeItemPrivilegedScript(statement->command, *statement->userName, kAdminPasswordItem);
    if (replaceWith(path, rewritten.toUtf8())) {
        qCInfo(lcLegacy) << "the statement in" << path << "now names the keychain item";
    } else {
        qCWarning(lcLegacy) << "cannot rewrite" << path << "- removed, it held a password";
        QFile::remove(path);
    }
}

void moveKey(Preferences& preferences, KeychainWrapper& keychain, const QString& key) {
    const std::optional<QString> value = preferences.string(key);
    if (!value)
        return;
    // An empty value is what a sign-out left: nothing to keep.
    if (!value->isEmpty() && !keychain.writeString(*value, key)) {
        qCWarning(lcLegacy) << "the preference" << key << "stays: the keychain would not take it";
        return;
    }
    preferences.remove(key);
    qCInfo(lcLegacy) << "the preference" << key << "moved to the keychain";
}

} // namespace

int LegacySecrets::moveItems(FileItemStore& files, SecretServiceItemStore& keyring) {
    int moved = 0;
    for (const ItemStore::Record& record : files.records()) {
        // What the file store holds was written last: a start with the keyring empties it.
        if (!keyring.adopt(record))
            continue;
        files.remove(record.query);
        ++moved;
    }
    if (moved > 0)
        qCInfo(lcLegacy) << moved << "items moved from" << files.folder() << "to the keyring";
    return moved;
}

void LegacySecrets::movePreferences(Preferences& preferences, KeychainWrapper& keychain) {
    moveKey(preferences, keychain, kAccountPasswordItem);
    moveKey(preferences, keychain, kAdminPasswordItem);
    preferences.remove(QStringLiteral("PASSWORD_KEY"));
}

void LegacySecrets::clearWorkingFolder(const QString& vpnHomeDir) {
    for (const QString& name : kStatementFiles)
        rewriteStatementFile(vpnHomeDir + name);
    QFile::remove(vpnHomeDir + QStringLiteral("auth.txt"));
}

void LegacySecrets::removeSwanctlFolder(const QString& dataFolder) {
    QDir(dataFolder + QStringLiteral("/swanctl")).removeRecursively();
}
