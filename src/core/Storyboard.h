#pragma once

#include <QHash>
#include <QString>
#include <functional>

class QWidget;

// Makes screen controllers by identifier, as the "Main" storyboard does: a new instance
// on every call.
class Storyboard {
public:
    using Factory = std::function<QWidget*()>;

    void registerController(const QString& identifier, Factory factory);
    // Nothing when the identifier is unknown.
    QWidget* instantiateController(const QString& identifier) const;
    bool hasController(const QString& identifier) const;

private:
    QHash<QString, Factory> m_factories;
};
