#pragma once

#include <QString>
#include <optional>

class ItemStore;
struct AppleScriptStatement;

// Where a privileged statement's password comes from: the statement itself, or the item
// of the store that it names, read when the statement runs. A statement that names an
// item carries no secret, wherever its text is kept.
class PasswordItems {
public:
    // Reads no item: only statements that carry their password can run.
    PasswordItems() = default;
    PasswordItems(const ItemStore& items, QString service);

    // Absent when the statement names an item that cannot be read as text.
    std::optional<QString> passwordOf(const AppleScriptStatement& statement) const;

private:
    const ItemStore* m_items = nullptr;
    QString m_service;
};
