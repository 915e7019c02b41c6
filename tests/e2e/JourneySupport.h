#pragma once

#include "OpenVPNTestSupport.h"
#include "TestService.h"
#include "core/AppState.h"
#include "support/RecordingAlerts.h"
#include "support/TestEnvironment.h"

#include <QPointer>
#include <QProcess>
#include <memory>

class Application;
class DialogController;
class MainWindow;
class NetworkVC;
class Preferences;
class ViewController;

// Whole journeys: the real client (Application, the composition root) in this process,
// the service stand-in beside it, and a world of network namespaces around it. The
// process runs in a network namespace of its own (NetworkIsolation.h): utun0, the veth
// and the routes below live there, never in the machine's.
//
// The world, when asked for:
// - an OpenVPN server in its own namespace, reached over a veth pair at
//   10.252.N.1:1194, handing out 10.232.N.0/24 (its own tunnel address 10.232.N.1);
// - a charon pair in two namespaces (server 10.251.0.1 behind which 10.201.0.1 lives);
//   the client's swanctl reaches its charon through `ip netns exec`.
// Before the client starts, this process moves into a private mount table where
// /usr/local is an empty tmpfs holding the networksetup stand-in (what sudo's
// secure_path finds), /var/lib is a tmpfs and /etc/resolv.conf is a file the test owns:
// the DNS override, the administrator marker and the package copy never reach the
// machine.
class JourneyTest : public OrvelTest {
protected:
    JourneyTest();
    ~JourneyTest() override;

    struct Needs {
        bool root = false;
        bool openvpnServer = false;
        bool charon = false;
    };

    // Skips with the reason when the machine cannot give what is needed.
    void prepareWorld(const Needs& needs);
    void TearDown() override;

    // The service: the demo scenario with the world's servers, started on prepareWorld.
    TestService& service() { return *m_service; }
    Scenario worldScenario() const;

    // What an older client stored for a remembered sign-in with the administrator kept:
    // the next start signs in by itself (and moves the passwords to the item store).
    void storeRememberedSignIn() const;

    // The client, as main() runs it; alerts are recorded instead of shown modally.
    void startClient();
    void stopClient();
    MainWindow* window() const;
    Preferences& clientPreferences() const;
    QWidget* content() const;
    template <typename Screen> Screen* waitForScreen(int timeoutMs = 15000) {
        Screen* found = nullptr;
        waitUntil(
            [&] {
                found = qobject_cast<Screen*>(content());
                return found != nullptr;
            },
            timeoutMs);
        return found;
    }
    // The connection screen inside the signed-in shell, null until it is there.
    NetworkVC* waitForNetworkScreen(int timeoutMs = 15000);
    // Types the account into the login screen and presses its button.
    void signInThroughScreen(ViewController* login, bool remember);
    // The administrator dialog of the connection screen, once open.
    DialogController* waitForAdminDialog(int timeoutMs = 15000);
    // Answers it for the test administrator. The dialog names the user this process
    // runs as (root here, who is no administrator); the test's administrator stands in.
    void answerAdminDialog(DialogController* dialog, const QString& password);

    // World facts.
    QString ovpnServerAddress() const;
    QString ovpnTunnelPeer() const;
    // What the service sends for an OpenVPN server of the world on `port`.
    QString ovpnConfig(quint16 port) const;
    bool utun0Up() const;
    int pingTunnelPeer() const;
    int pingThroughIKEv2Tunnel() const;
    bool clientOpenVPNRunning() const;
    // pgrep -f pattern of the client's OpenVPN, however it was started.
    QString clientOpenVPNPattern() const;
    // An IKE SA is established in the client's charon.
    bool ikev2SaUp() const;
    QString worldDir() const { return m_dir; }
    // The client as its own process, pressing connect over OpenVPN by itself (the demo's
    // press), its output in client.log of the world folder; false when it did not start.
    bool startClientProcess(QProcess& client);
    QByteArray resolverContent() const;
    QByteArray originalResolver() const { return kOriginalResolver; }
    QString vpnHome() const;

    static inline const QByteArray kOriginalResolver =
        "# the journey's own\nsearch journey.test\nnameserver 10.9.9.9\n";
    static constexpr quint16 kOvpnPort = 1194;
    static constexpr quint16 kDeadOvpnPort = 1195;

private:
    int world(const QString& command);
    bool isolateSystemFiles(QString* error);
    void killClientOpenVPN();

    Needs m_needs;
    QString m_dir;
    QString m_suffix;
    int m_net = 0;
    bool m_worldUp = false;
    // A child left in the machine's mount table: the world is taken down from there.
    std::unique_ptr<QProcess> m_anchor;
    std::unique_ptr<TestService> m_service;
    std::unique_ptr<Application> m_app;
};

// A world of network namespaces that a shell script of the suite makes ("up") and takes
// down ("down"), called with: command, folder, suffix, helper, VPN user, VPN password.
// The client (this thread and all it starts) lives in the world's namespace
// orvel-<client>-<pid>, with a /sys of its own; nothing reaches the machine's namespace.
class NamespaceJourneyTest : public JourneyTest {
protected:
    NamespaceJourneyTest(const char* script, const QString& client, const QString& folder,
                         const QString& helper);

    // Skips when a tool is missing; fails when the world does not come up.
    void enterWorld(std::initializer_list<const char*> tools);
    // Back in the machine's namespace first: "down" ends every process of the client's.
    void TearDown() override;
    int world(const QString& command);
    QString folder() const { return m_folder; }
    // What the service sends for the world's server at `host`, its CA from ca.crt in `pki`.
    QString ovpnClientConfig(const QString& pki, const QString& host, quint16 port) const;
    // The demo account with the world's VPN credentials, no notices, and OpenVPN servers of
    // the world: `first` as the list and the smart match, `stable` as the stable servers.
    struct WorldServer {
        QString name;
        QString host;
        QString isp;
        QString config;
    };
    static Scenario worldScenario(const WorldServer& first, const WorldServer& stable);
    // The last lines of each file, after a failure.
    static void printTails(const QStringList& files);

    static inline const QString kWorldVpnUser = QStringLiteral("vpnuser");
    static inline const QString kWorldVpnPassword = QStringLiteral("vpn-pass");

private:
    const char* m_script;
    QString m_client;
    QString m_folderName;
    QString m_folder;
    QString m_helper;
    QString m_suffix;
    int m_ownNetwork = -1;
};
