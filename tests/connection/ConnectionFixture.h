#pragma once

#include "connection/ConnectionSession.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "platform/ScriptRunner.h"
#include "support/FakeInterfaceList.h"
#include "support/FakeLinkMonitor.h"
#include "support/FakeSleepMonitor.h"
#include "support/ServiceFixture.h"
#include "ui/NetworkVC.h"

#include <QMutex>
#include <QStringList>
#include <memory>

// Records the tunnel operations instead of running them; IKEv2 status is set by the test.
class RecordingTunnelControl final : public TunnelControl {
public:
    void connectIKEv2(const QString& host) override { calls << "connectIKEv2 " + host; }
    void disconnectIKEv2() override { calls << QStringLiteral("disconnectIKEv2"); }
    void writeOpenVPNFiles(const QString& config) override {
        calls << "writeOpenVPNFiles " + config;
    }
    void launchOpenVPN() override { calls << QStringLiteral("launchOpenVPN"); }
    void installAndLaunchOpenVPN(const std::function<void()>& showConnecting,
                                 const std::function<void()>&) override {
        calls << QStringLiteral("installAndLaunchOpenVPN");
        showConnecting();
    }
    void stopOpenVPN() override { calls << QStringLiteral("stopOpenVPN"); }
    bool openVPNRunning() const override { return openVPNUp; }
    void setOpenVPNExitHandler(std::function<void()> handler) override {
        exitHandler = std::move(handler);
    }
    void recheckIKEv2() override { calls << QStringLiteral("recheckIKEv2"); }
    VpnStatus vpnStatus() const override { return status; }
    Subject<VpnStatus>& statusEvent() override { return event; }
    void applyDNSOverride() override { calls << QStringLiteral("applyDNSOverride"); }

    // The system reports a new status.
    void report(VpnStatus value) {
        status = value;
        event.notify(value);
    }

    // Our OpenVPN exits.
    void exitOpenVPN() {
        openVPNUp = false;
        if (exitHandler)
            exitHandler();
    }

    QStringList calls;
    VpnStatus status = VpnStatus::Disconnected;
    Subject<VpnStatus> event;
    bool openVPNUp = false;
    std::function<void()> exitHandler;
};

// The DNS reset runs on its own thread, so the record is locked.
class LockedScriptRunner final : public ScriptRunner {
public:
    void runAppleScript(const QString& source) override {
        QMutexLocker lock(&m_lock);
        m_statements << source;
    }
    void runScriptFile(const QString& path) override {
        QMutexLocker lock(&m_lock);
        m_statements << "file " + path;
    }
    QStringList statements() const {
        QMutexLocker lock(&m_lock);
        return m_statements;
    }

private:
    mutable QMutex m_lock;
    QStringList m_statements;
};

inline std::shared_ptr<ServerData> makeServer(const QString& name, const QString& host,
                                              const QString& country, const QString& protocol,
                                              const QString& config = {}) {
    return std::make_shared<ServerData>(name, host, host, true, true, country, QString(),
                                        QStringLiteral("KT"), protocol, config);
}

// A signed-in session with the test service, doubles for the tunnel, the interfaces and
// the scripts, and a connection screen over them.
class ConnectionTest : public ServiceTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh screen, as the menu makes one.
    void loadScreen();
    // Presses connect and waits for the check's reply.
    void pressConnectAndWait();
    // OpenVPN picked and its tunnel interface come up, as the link watch reports it.
    void connectOverOpenVPN();
    // n supervision ticks of the stage that is running now.
    void tickMain(int n);
    void tickEM1(int n);
    void tickEM2(int n);
    void waitForDnsJobs();
    QList<QMap<QString, QString>> formsOf(const char* path);

    RecordingTunnelControl tunnel;
    // DNS reset jobs replaced by newer ones are not waited for: the runner outlives them.
    static inline LockedScriptRunner scripts;
    FakeInterfaceList interfaces;
    FakeLinkMonitor linkMonitor;
    FakeSleepMonitor sleepMonitor;
    // Made with the fixture, so that fixtures built on this one can hand it on.
    std::unique_ptr<ConnectionSession> session =
        std::make_unique<ConnectionSession>(tunnel, &linkMonitor, &sleepMonitor);
    std::unique_ptr<NetworkVC> screen;
};
