#pragma once

#include <QObject>
#include <QString>
#include <functional>

// In-process notifications by name; an observer is dropped with its context object.
class NotificationCenter final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void post(const QString& name);
    void observe(const QString& name, QObject* context, std::function<void()> handler);

signals:
    void posted(const QString& name);
};
