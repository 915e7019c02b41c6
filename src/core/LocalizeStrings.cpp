#include "core/LocalizeStrings.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <nlohmann/json.hpp>

Q_LOGGING_CATEGORY(lcStrings, "orvel.strings")

LocalizeStrings::LocalizeStrings() {
    setLanguage(tableForLocale(QLocale().name()));
}

LocalizeStrings& LocalizeStrings::shared() {
    static LocalizeStrings strings;
    return strings;
}

QString LocalizeStrings::tableForLocale(const QString& localeName) {
    QString code = localeName.section(QLatin1Char('_'), 0, 0).section(QLatin1Char('-'), 0, 0);
    if (code == QLatin1String("ko") || code == QLatin1String("zh"))
        return code;
    return QStringLiteral("en");
}

void LocalizeStrings::setLanguage(const QString& language) {
    m_language = language;
    m_table = loadTable(language);
}

QString LocalizeStrings::text(const QString& key) const {
    return m_table.value(key, key);
}

QStringList LocalizeStrings::keys(const QString& language) const {
    return loadTable(language).keys();
}

QHash<QString, QString> LocalizeStrings::loadTable(const QString& language) {
    QHash<QString, QString> table;
    const QDir folder(QStringLiteral(":/strings/") + language);
    for (const QString& name : folder.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const auto entries =
            nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
        if (!entries.is_object()) {
            qCWarning(lcStrings) << "string table is not an object:" << file.fileName();
            continue;
        }
        for (const auto& [key, value] : entries.items()) {
            if (value.is_string())
                table.insert(QString::fromStdString(key),
                             QString::fromStdString(value.get<std::string>()));
        }
    }
    return table;
}

QString localized(const QString& key) {
    return LocalizeStrings::shared().text(key);
}
