#pragma once

#include "platform/SleepMonitor.h"

#include <QString>

// logind's PrepareForSleep on the system bus. Its own connection to the bus named by
// DBUS_SYSTEM_BUS_ADDRESS (the standard socket otherwise); without a bus or a logind it
// stays silent.
class LogindSleepMonitor final : public SleepMonitor {
    Q_OBJECT
public:
    explicit LogindSleepMonitor(QObject* parent = nullptr);
    ~LogindSleepMonitor() override;

    // Connects on first use: no bus work at start-up.
    void start() override;

    bool isListening() const { return m_listening; }

private slots:
    void prepareForSleep(bool sleeping);

private:
    QString m_connectionName;
    bool m_started = false;
    bool m_listening = false;
};
