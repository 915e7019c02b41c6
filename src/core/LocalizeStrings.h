#pragma once

#include <QHash>
#include <QString>

// The string tables of the application, one per language ("en", "ko", "zh"), each made
// of the JSON files under :/strings/<language>/. A key without an entry shows as itself.
class LocalizeStrings {
public:
    static LocalizeStrings& shared();

    QString text(const QString& key) const;
    QString languageCode() const { return m_language; }
    // The language code of the user's locale, reduced to one of the tables.
    static QString tableForLocale(const QString& localeName);

    // Tests and the command line pick a table explicitly.
    void setLanguage(const QString& language);
    QStringList keys(const QString& language) const;

private:
    LocalizeStrings();
    static QHash<QString, QString> loadTable(const QString& language);

    QString m_language;
    QHash<QString, QString> m_table;
};

// Shorthand for LocalizeStrings::shared().text(key).
QString localized(const QString& key);
