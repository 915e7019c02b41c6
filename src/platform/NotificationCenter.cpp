#include "platform/NotificationCenter.h"

void NotificationCenter::post(const QString& name) {
    emit posted(name);
}

void NotificationCenter::observe(const QString& name, QObject* context,
                                 std::function<void()> handler) {
    connect(this, &NotificationCenter::posted, context,
            [name, handler = std::move(handler)](const QString& postedName) {
                if (postedName == name)
                    handler();
            });
}
