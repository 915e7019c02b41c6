// Journeys over a real OpenVPN tunnel: the administrator dialog, the tunnel found by the
// supervision, traffic to the server's tunnel address, the DNS override and its reset;
// and leaving while connected, by a session the service dropped and by quitting.
#include "JourneySupport.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "platform/Preferences.h"
#include "support/PrivateKeyring.h"
#include "tunnel/OpenVPNSession.h"
#include "ui/DialogController.h"
#include "ui/MenuVC.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/PasswordChangeVC.h"
#include "ui/ViewController.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Samples the arguments and environment of every process of the machine, from start
// to end, for the secrets: the statement runners and sudo live for a moment only.
class ProcessWatch {
public:
    explicit ProcessWatch(QList<QByteArray> secrets)
        : m_secrets(std::move(secrets)), m_thread([this] {
              while (!m_stop)
                  scanOnce();
          }) {}
    ~ProcessWatch() { stop(); }

    QStringList stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_found;
    }

private:
    void scanOnce() {
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& pid : pids) {
            if (pid.toLongLong() <= 0)
                continue;
            const QString folder = QStringLiteral("/proc/") + pid;
            const QByteArray arguments = readAll(folder + QStringLiteral("/cmdline"));
            const QByteArray environment = readAll(folder + QStringLiteral("/environ"));
            for (const QByteArray& secret : m_secrets) {
                const char* where = arguments.contains(secret)     ? "arguments"
                                    : environment.contains(secret) ? "environment"
                                                                   : nullptr;
                if (!where)
                    continue;
                const QString seen =
                    QStringLiteral("%1 (%2): the %3 hold a secret")
                        .arg(pid, QString::fromUtf8(QByteArray(arguments).replace('\0', ' ')),
                             QLatin1String(where));
                const std::lock_guard lock(m_mutex);
                if (!m_found.contains(seen))
                    m_found << seen;
            }
        }
    }

    const QList<QByteArray> m_secrets;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    QStringList m_found;
    std::thread m_thread;
};

QStringList filesHolding(const QString& root, const QList<QByteArray>& secrets) {
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray content = readAll(path);
        for (const QByteArray& secret : secrets) {
            if (content.contains(secret))
                found << path + QStringLiteral(" holds ") + QString::fromUtf8(secret);
        }
    }
    return found;
}

class JourneyOpenVPNTest : public JourneyTest {
protected:
    void SetUp() override { prepareWorld({true, true, false}); }

    NetworkVC* signedInWithOpenVPN(bool remember = false) {
        startClient();
        ViewController* login = waitForScreen<ViewController>();
        if (!login)
            return nullptr;
        signInThroughScreen(login, remember);
        NetworkVC* network = waitForNetworkScreen();
        if (network)
            QTest::mouseClick(network->CheckBoxOpen, Qt::LeftButton, {},
                              QPoint(8, network->CheckBoxOpen->height() / 2));
        return network;
    }

    // Presses connect, answers the administrator dialog and waits for the tunnel.
    void connectThroughAdminDialog(NetworkVC* network) {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
        DialogController* dialog = waitForAdminDialog();
        ASSERT_TRUE(dialog) << "no administrator dialog";
        answerAdminDialog(dialog, e2e::kAdminPassword);
        ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 15000))
            << "the tunnel did not come up";
        std::printf("connect press to connected: %lld ms\n",
                    static_cast<long long>(clock.elapsed()));
    }

    bool everythingDown() { return !utun0Up() && !clientOpenVPNRunning(); }

    // SIGTERM asks the delegate, as a session logout would; the loop ends when it agrees.
    void quitWhileConnected() {
        QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        watchdog.start(20000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << "the delegate never let the process end";
        EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
            << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    }
};

TEST_F(JourneyOpenVPNTest, AdminDialog_TunnelTrafficDns_ThenDisconnectLeavesNothing) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    EXPECT_TRUE(utun0Up());
    EXPECT_EQ(pingTunnelPeer(), 0) << "no traffic through the tunnel";
    EXPECT_EQ(network->ServerName->text(), QStringLiteral("Tokyo OVPN"));
    EXPECT_TRUE(network->svConnected->isVisible());
    EXPECT_EQ(appState().adminUserName, e2e::kAdminUser);
    EXPECT_EQ(clientPreferences().string(QStringLiteral("username")), e2e::kAdminUser);
    for (const char* script : {"setEthernetDNS.scpt", "setWifiDNS.scpt"})
        EXPECT_TRUE(QFileInfo::exists(vpnHome() + QLatin1String(script))) << script;
    EXPECT_TRUE(waitUntil([&] { return resolverContent().startsWith("nameserver 8.8.8.8\n"); }))
        << resolverContent().toStdString();

    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    EXPECT_FALSE(appState().isConnected);
    EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
        << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    EXPECT_TRUE(waitUntil([&] { return resolverContent() == originalResolver(); }))
        << resolverContent().toStdString();
    EXPECT_NE(pingTunnelPeer(), 0);
}

TEST_F(JourneyOpenVPNTest, SessionDroppedWhileConnected_TunnelTornDownAndLoginBack) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    // The password change is answered "400": the session is gone.
    service().scenario().resultOverrides[QStringLiteral("/v1/app_change_password")] =
        QStringLiteral("400");
    auto* shell = qobject_cast<OrvelController*>(content());
    ASSERT_TRUE(shell);
    shell->menu()->clickMenu(shell->menu()->ChangeBtn);
    PasswordChangeVC* change = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* item : shell->splitViewItems())
            change = change ? change : qobject_cast<PasswordChangeVC*>(item);
        return change != nullptr;
    }));
    const QString password = service().scenario().accounts.first().password;
    change->PrePassword->setText(password);
    change->NowPassword->setText(QStringLiteral("New-pass-123"));
    change->RePassword->setText(QStringLiteral("New-pass-123"));
    QTest::mouseClick(change->ChangeButton, Qt::LeftButton);

    ASSERT_TRUE(waitForScreen<ViewController>()) << "the login screen did not come back";
    EXPECT_FALSE(appState().isConnected);
    EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
        << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    EXPECT_EQ(clientPreferences()
                  .string(QStringLiteral("vpn_recent_connected_server"))
                  .value_or(QString()),
              QString());
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("isChecked")), 0);
}

TEST_F(JourneyOpenVPNTest, QuitWhileConnected_TunnelTornDownBeforeTheProcessEnds) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    quitWhileConnected();
    EXPECT_EQ(clientPreferences().string(QStringLiteral("vpn_recent_connected_server")), QString());
}

// The journey with a keyring on the session bus and the runtime dir outside the home,
// as a desktop session has them.
class JourneySecretsTest : public JourneyOpenVPNTest {
protected:
    void SetUp() override {
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
        m_keyring = std::make_unique<PrivateKeyring>();
        if (!m_keyring->unavailable().isEmpty())
            GTEST_SKIP() << m_keyring->unavailable().toStdString();
        JourneyOpenVPNTest::SetUp();
    }
    void TearDown() override {
        JourneyOpenVPNTest::TearDown();
        m_keyring.reset();
        qputenv("XDG_RUNTIME_DIR", homeDirectory().toUtf8());
    }

    QTemporaryDir m_runtime;
    std::unique_ptr<PrivateKeyring> m_keyring;
};

TEST_F(JourneySecretsTest, RememberedOpenVPNQuit_NoSecretInHomeArgumentsOrEnvironment) {
    const ScenarioAccount account = service().scenario().accounts.first();
    const QList<QByteArray> secrets = {account.password.toUtf8(), account.vpnPassword.toUtf8(),
                                       e2e::kAdminPassword.toUtf8()};
    ProcessWatch processes(secrets);

    NetworkVC* network = signedInWithOpenVPN(true);
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));
    EXPECT_TRUE(waitUntil([&] { return resolverContent().startsWith("nameserver 8.8.8.8\n"); }))
        << "the DNS override statement did not find the administrator password";
    const QString authFile = openVpnAuthFilePath();
    EXPECT_TRUE(QFileInfo::exists(authFile));
    EXPECT_FALSE(authFile.startsWith(homeDirectory()));
    quitWhileConnected();

    const QStringList inProcesses = processes.stop();
    EXPECT_TRUE(inProcesses.isEmpty()) << inProcesses.join(QLatin1Char('\n')).toStdString();
    const QStringList inFiles = filesHolding(homeDirectory(), secrets);
    EXPECT_TRUE(inFiles.isEmpty()) << inFiles.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(authFile)) << "the VPN password outlived the tunnel";
    EXPECT_FALSE(QDir(homeDirectory() + QStringLiteral("/.local/share/keyrings"))
                     .entryList({QStringLiteral("*.keyring")})
                     .isEmpty())
        << "the keyring searched above is not in the home";
    const QString items = QString::fromLatin1(KeychainWrapper::kDefaultServiceName);
    EXPECT_EQ(PrivateKeyring::lookup({QStringLiteral("service"), items, QStringLiteral("account"),
                                      QStringLiteral("password")}),
              account.password.toUtf8());
    EXPECT_EQ(PrivateKeyring::lookup({QStringLiteral("service"), items, QStringLiteral("account"),
                                      QStringLiteral("userpassword")}),
              e2e::kAdminPassword.toUtf8());
    EXPECT_FALSE(clientPreferences().contains(QStringLiteral("password")));
    EXPECT_FALSE(clientPreferences().contains(QStringLiteral("userpassword")));
    EXPECT_EQ(clientPreferences().string(QStringLiteral("username")), e2e::kAdminUser);

    stopClient();
    service().clearRequests();
    startClient();
    ASSERT_TRUE(waitForNetworkScreen()) << "the next start did not sign in by itself";
    const QList<LoggedRequest> signIns = service().requests(QStringLiteral("/v1/app_session_key"));
    ASSERT_EQ(signIns.size(), 1);
    EXPECT_EQ(signIns.first().form.value(QStringLiteral("login_password")), account.password);
    EXPECT_TRUE(appState().isAdminAuthorized) << "the stored administrator was not proven";
}

} // namespace
