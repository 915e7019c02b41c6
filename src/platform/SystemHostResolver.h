#pragma once

#include "platform/HostResolver.h"

#include <QObject>

// Through QHostInfo, the C library's resolver on Qt's lookup threads.
class SystemHostResolver final : public QObject, public HostResolver {
    Q_OBJECT
public:
    using QObject::QObject;

    void lookUp(const QStringList& names, int timeoutMs,
                std::function<void(const Addresses&)> done) override;
};
