#include "JourneySupport.h"

#include "LauncherRules.h"
#include "api/ApiHosts.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/Preferences.h"
#include "platform/SettingsPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/SourceTree.h"
#include "tunnel/VPNManager.h"
#include "ui/DialogController.h"
#include "ui/LoginButton.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Arguments: command, folder, suffix, N (third octet), VPN user, VPN password.
const char* const kWorld = R"sh(
set -e
cmd=$1; dir=$2; sfx=$3; n=$4; vpnuser=$5; vpnpass=$6
O=orvel-jovs-$sfx; S=orvel-jiks-$sfx; C=orvel-jikc-$sfx
if [ "$cmd" = down ]; then
  for f in "$dir"/ovpn/srv.pid "$dir"/ike/srv/run/charon.pid "$dir"/ike/cli/run/charon.pid; do
    [ -f "$f" ] && kill -9 "$(cat "$f")" 2>/dev/null || true
  done
  ip link del jo${sfx}h 2>/dev/null || true
  for ns in $O $S $C; do ip netns del $ns 2>/dev/null || true; done
  exit 0
fi
if [ "$cmd" = pki ]; then
  mkdir -p "$dir"/pki; cd "$dir"/pki
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 \
    -subj "/CN=Orvel Journey CA" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr \
    -subj "/CN=10.251.0.1" 2>/dev/null
  printf '%s\n' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature,keyEncipherment' \
    'extendedKeyUsage=serverAuth,1.3.6.1.5.5.8.2.2' \
    "subjectAltName=IP:10.251.0.1,IP:10.252.$n.1" > ext.cnf
  openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
    -days 2 -extfile ext.cnf 2>/dev/null
  exit 0
fi
if [ "$cmd" = ovpn ]; then
  mkdir -p "$dir"/ovpn; cd "$dir"/ovpn
  ip netns add $O
  ip link add jo${sfx}h type veth peer name jo${sfx}s netns $O
  ip addr add 10.252.$n.2/24 dev jo${sfx}h; ip link set jo${sfx}h up
  ip -n $O addr add 10.252.$n.1/24 dev jo${sfx}s; ip -n $O link set jo${sfx}s up
  ip -n $O link set lo up
  # Named apart from the client's OpenVPN, which the journeys look for by name.
  cp /usr/sbin/openvpn orvel-ovpn-srv
  printf '#!/bin/sh\n[ "$(sed -n 1p "$1")" = "%s" ] && [ "$(sed -n 2p "$1")" = "%s" ]\n' \
    "$vpnuser" "$vpnpass" > verify.sh
  chmod 755 verify.sh
  cat > server.conf <<EOC
local 10.252.$n.1
port 1194
proto udp
dev orvjsrv0
dev-type tun
ca $dir/pki/ca.crt
cert $dir/pki/server.crt
key $dir/pki/server.key
dh none
topology subnet
server 10.232.$n.0 255.255.255.0
verify-client-cert none
username-as-common-name
script-security 2
auth-user-pass-verify $dir/ovpn/verify.sh via-file
keepalive 10 60
verb 3
EOC
  ip netns exec $O ./orvel-ovpn-srv --config server.conf --daemon --writepid srv.pid --log srv.log
  for i in $(seq 1 200); do
    grep -q "Initialization Sequence Completed" srv.log 2>/dev/null && exit 0
    sleep 0.05
  done
  exit 1
fi
if [ "$cmd" = ike ]; then
  mkdir -p "$dir"/ike/srv/run "$dir"/ike/srv/conf/x509 "$dir"/ike/srv/conf/private \
           "$dir"/ike/srv/conf/x509ca "$dir"/ike/cli/run
  cp "$dir"/pki/server.crt "$dir"/ike/srv/conf/x509/; cp "$dir"/pki/server.key "$dir"/ike/srv/conf/private/
  cp "$dir"/pki/ca.crt "$dir"/ike/srv/conf/x509ca/
  ip netns add $S; ip netns add $C
  ip link add jk${sfx}s netns $S type veth peer name jk${sfx}c netns $C
  ip -n $S addr add 10.251.0.1/24 dev jk${sfx}s; ip -n $S link set jk${sfx}s up; ip -n $S link set lo up
  ip -n $C addr add 10.251.0.2/24 dev jk${sfx}c; ip -n $C link set jk${sfx}c up; ip -n $C link set lo up
  ip -n $S addr add 10.201.0.1/32 dev lo
  for side in srv cli; do
    cat > "$dir"/ike/$side/strongswan.conf <<EOC
charon {
  load = random nonce openssl pem pkcs1 pkcs8 x509 revocation constraints pubkey sha1 sha2 hmac aes gmp curve25519 kdf kernel-libipsec kernel-netlink socket-default vici updown eap-identity eap-mschapv2
  install_virtual_ip = yes
  plugins { vici { socket = unix://$dir/ike/$side/charon.vici } }
}
EOC
  done
  secret=$(printf %s "$vpnpass" | base64)
  cat > "$dir"/ike/srv/conf/swanctl.conf <<EOC
connections { rw { version = 2
    local_addrs = 10.251.0.1
    pools = pool4
    send_certreq = no
    local { auth = pubkey
            certs = server.crt
            id = 10.251.0.1 }
    remote { auth = eap-mschapv2
             eap_id = %any }
    children { net { local_ts = 10.201.0.0/24 } } } }
pools { pool4 { addrs = 10.98.0.0/24 } }
secrets { eap-user { id = $vpnuser
                     secret = 0s$secret } }
EOC
  for side in srv cli; do
    ns=$S; [ $side = cli ] && ns=$C
    ip netns exec $ns sh -c "mount --bind '$dir/ike/$side/run' /run && STRONGSWAN_CONF='$dir/ike/$side/strongswan.conf' exec /usr/lib/ipsec/charon" > "$dir/ike/$side/charon.out" 2>&1 < /dev/null &
  done
  for i in $(seq 1 200); do
    [ -S "$dir/ike/srv/charon.vici" ] && [ -S "$dir/ike/cli/charon.vici" ] && break
    sleep 0.05
  done
  swanctl --load-all --file "$dir"/ike/srv/conf/swanctl.conf --uri unix://"$dir"/ike/srv/charon.vici > /dev/null 2>&1
  exit 0
fi
exit 2
)sh";

const QString kVpnUser = QStringLiteral("vpnuser");
// Of this run only, so that a search for them finds nothing another run left.
const QString kVpnPassword = QStringLiteral("vpn-pass-%1").arg(::getpid());

QString missingFor(bool openvpn, bool charon) {
    if (openvpn) {
        if (!QFileInfo(QStringLiteral("/usr/sbin/openvpn")).isExecutable())
            return QStringLiteral("openvpn is not installed");
        if (!QFileInfo::exists(QStringLiteral("/dev/net/tun")))
            return QStringLiteral("no /dev/net/tun");
    }
    if (charon) {
        for (const char* path : {"/usr/lib/ipsec/charon", "/usr/sbin/swanctl",
                                 "/usr/lib/ipsec/plugins/libstrongswan-eap-mschapv2.so",
                                 "/usr/lib/ipsec/plugins/libstrongswan-kernel-libipsec.so"}) {
            if (!QFile::exists(QString::fromLatin1(path)))
                return QString::fromLatin1(path) + QStringLiteral(" is not installed");
        }
    }
    for (const char* tool : {"unshare", "nsenter", "ip", "openssl", "ping"}) {
        if (e2e::run(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("command -v ") + tool}) != 0)
            return QString::fromLatin1(tool) + QStringLiteral(" is not installed");
    }
    return {};
}

bool mountOrSay(const char* source, const QString& target, const char* type, unsigned long flags,
                QString* error) {
    if (::mount(source, QFile::encodeName(target).constData(), type, flags, nullptr) == 0)
        return true;
    *error = QStringLiteral("mount on %1: %2").arg(target, QString::fromLocal8Bit(strerror(errno)));
    return false;
}

} // namespace

JourneyTest::JourneyTest() = default;
JourneyTest::~JourneyTest() = default;

void JourneyTest::prepareWorld(const Needs& needs) {
    m_needs = needs;
    const bool privileged = needs.root || needs.openvpnServer || needs.charon;
    if (privileged) {
        if (const QString missing = e2e::missingPrerequisite(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        if (const QString missing = missingFor(needs.openvpnServer, needs.charon);
            !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
    }
    // A clean home for the client.
    QDir(homeDirectory() + QStringLiteral("/OrvelVPN")).removeRecursively();
    QDir(homeDirectory() + QStringLiteral("/.config/OrvelVPN")).removeRecursively();
    QDir(homeDirectory() + QStringLiteral("/.local/share/OrvelVPN")).removeRecursively();

    m_dir = tempPath() + QStringLiteral("/world");
    QDir().mkpath(m_dir);
    m_suffix = QString::number(::getpid());
    m_net = 20 + ::getpid() % 200;
    if (needs.openvpnServer || needs.charon) {
        m_worldUp = true;
        ASSERT_EQ(world(QStringLiteral("pki")), 0) << "certificates";
        if (needs.openvpnServer) {
            ASSERT_EQ(world(QStringLiteral("ovpn")), 0) << "the OpenVPN server did not start";
        }
        if (needs.charon) {
            ASSERT_EQ(world(QStringLiteral("ike")), 0) << "the charon pair did not start";
            qputenv("ORVEL_CHARON_VICI", (m_dir + QStringLiteral("/ike/cli/charon.vici")).toUtf8());
            qputenv("ORVEL_IKEV2_CA", (m_dir + QStringLiteral("/pki/ca.crt")).toUtf8());
            qputenv("ORVEL_IKEV2_REMOTE_TS", "10.201.0.0/24");
            qputenv("ORVEL_SWANCTL_WRAPPER", ("ip netns exec orvel-jikc-" + m_suffix).toUtf8());
        }
    }
    if (privileged) {
        m_anchor = std::make_unique<QProcess>();
        m_anchor->start(QStringLiteral("sleep"), {QStringLiteral("600")});
        ASSERT_TRUE(m_anchor->waitForStarted());
        QString error;
        ASSERT_TRUE(isolateSystemFiles(&error)) << error.toStdString();
        // The interpreter of this build, found the way an installed client finds its own.
        qputenv("PATH", (QFileInfo(e2e::osascriptPath()).canonicalPath() + QLatin1Char(':') +
                         qEnvironmentVariable("PATH"))
                            .toUtf8());
    }

    m_service = std::make_unique<TestService>();
    TestService::Options options;
    options.stateDir = tempPath() + QStringLiteral("/service");
    options.scenario = worldScenario();
    ASSERT_TRUE(m_service->start(options)) << m_service->errorString().toStdString();
}

bool JourneyTest::isolateSystemFiles(QString* error) {
    // This thread only; everything the client starts comes from it and inherits it.
    if (::unshare(CLONE_NEWNS) != 0) {
        *error = QStringLiteral("unshare: ") + QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    if (!mountOrSay(nullptr, QStringLiteral("/"), nullptr, MS_REC | MS_PRIVATE, error) ||
        !mountOrSay("tmpfs", QStringLiteral("/usr/local"), "tmpfs", 0, error) ||
        !mountOrSay("tmpfs", QStringLiteral("/var/lib"), "tmpfs", 0, error))
        return false;
    const QString bin = QStringLiteral("/usr/local/bin");
    QDir().mkpath(bin);
    QDir().mkpath(QStringLiteral("/var/lib/orvelvpn"));
    QFile::remove(bin + QStringLiteral("/networksetup"));
    if (!QFile::copy(networksetupStandIn(), bin + QStringLiteral("/networksetup"))) {
        *error = QStringLiteral("cannot copy ") + networksetupStandIn();
        return false;
    }
    QFile::setPermissions(bin + QStringLiteral("/networksetup"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString resolver = m_dir + QStringLiteral("/resolv.conf");
    QFile file(resolver);
    if (!file.open(QIODevice::WriteOnly) || file.write(kOriginalResolver) < 0) {
        *error = QStringLiteral("cannot write ") + resolver;
        return false;
    }
    file.close();
    // A journey earlier in this process left its own file there.
    ::umount2("/etc/resolv.conf", MNT_DETACH);
    return mountOrSay(QFile::encodeName(resolver).constData(), QStringLiteral("/etc/resolv.conf"),
                      nullptr, MS_BIND, error);
}

void JourneyTest::TearDown() {
    stopClient();
    killClientOpenVPN();
    if (m_worldUp) {
        // Namespaces were made in the machine's mount table; they are removed there.
        if (m_anchor && m_anchor->state() == QProcess::Running) {
            const QString mountTable = QStringLiteral("/proc/%1/ns/mnt").arg(m_anchor->processId());
            e2e::run(QStringLiteral("nsenter"),
                     {QStringLiteral("--mount=") + mountTable, QStringLiteral("--"),
                      QStringLiteral("bash"), QStringLiteral("-c"), QString::fromLatin1(kWorld),
                      QStringLiteral("world"), QStringLiteral("down"), m_dir, m_suffix,
                      QString::number(m_net), kVpnUser, kVpnPassword});
        } else {
            world(QStringLiteral("down"));
        }
    }
    if (m_anchor) {
        m_anchor->kill();
        m_anchor->waitForFinished();
    }
    m_service.reset();
    overrideApiHostTable(defaultApiHostTable());
    for (const char* name :
         {"ORVEL_CHARON_VICI", "ORVEL_IKEV2_CA", "ORVEL_IKEV2_REMOTE_TS", "ORVEL_SWANCTL_WRAPPER"})
        qunsetenv(name);
}

int JourneyTest::world(const QString& command) {
    QByteArray output;
    const int status =
        e2e::run(QStringLiteral("bash"),
                 {QStringLiteral("-c"), QString::fromLatin1(kWorld), QStringLiteral("world"),
                  command, m_dir, m_suffix, QString::number(m_net), kVpnUser, kVpnPassword},
                 &output, 60000);
    if (status != 0)
        std::printf("world %s: %s\n", qPrintable(command), output.constData());
    return status;
}

void JourneyTest::killClientOpenVPN() {
    if (!m_needs.openvpnServer)
        return;
    e2e::run(QStringLiteral("pkill"),
             {QStringLiteral("-9"), QStringLiteral("-f"), clientOpenVPNPattern()});
    waitUntil([this] { return !clientOpenVPNRunning() && !utun0Up(); }, 5000);
}

// The package's program runs with default.ovpn itself, the launcher's OpenVPN with its
// root-owned copy.
QString JourneyTest::clientOpenVPNPattern() const {
    const std::string config = (vpnHome() + QStringLiteral("default.ovpn")).toStdString();
    return QRegularExpression::escape(QString::fromStdString(config)) + QLatin1Char('|') +
           QRegularExpression::escape(QString::fromStdString(launcher::configCopyPath(config)));
}

Scenario JourneyTest::worldScenario() const {
    Scenario scenario = Scenario::demo();
    ScenarioAccount& account = scenario.accounts.first();
    account.vpnUsername = kVpnUser;
    account.vpnPassword = kVpnPassword;
    account.password = QStringLiteral("Account-pass-%1").arg(::getpid());
    const ScenarioServer ikev2{QStringLiteral("IKEV2"),
                               QStringLiteral("Seoul IKE"),
                               QStringLiteral("10.251.0.1"),
                               QStringLiteral("10.251.0.1"),
                               QStringLiteral("KR"),
                               QStringLiteral("kr-1"),
                               QStringLiteral("KT"),
                               QString(),
                               true,
                               true};
    const ScenarioServer openvpn{QStringLiteral("OPENVPN"),
                                 QStringLiteral("Tokyo OVPN"),
                                 ovpnServerAddress(),
                                 ovpnServerAddress(),
                                 QStringLiteral("JP"),
                                 QStringLiteral("jp-1"),
                                 QStringLiteral("KT"),
                                 ovpnConfig(kOvpnPort),
                                 true,
                                 true};
    scenario.servers = {ikev2, openvpn};
    scenario.smartMatch[QStringLiteral("IKEV2")] = {ikev2.name, ikev2.hostdomain, ikev2.country,
                                                    QString()};
    scenario.smartMatch[QStringLiteral("OPENVPN")] = {openvpn.name, openvpn.hostdomain,
                                                      openvpn.country, openvpn.config};
    scenario.stableServers = {openvpn};
    scenario.userNotice.clear();
    scenario.commonNotice.clear();
    return scenario;
}

void JourneyTest::storeRememberedSignIn() const {
    const ScenarioAccount& account = m_service->scenario().accounts.first();
    SettingsPreferences stored(SettingsPreferences::defaultFilePath());
    stored.setValue(QStringLiteral("isChecked"), 1);
    stored.setValue(QStringLiteral("email"), account.email);
    stored.setValue(QStringLiteral("password"), account.password);
    stored.setValue(QStringLiteral("username"), e2e::kAdminUser);
    stored.setValue(QStringLiteral("userpassword"), e2e::kAdminPassword);
}

bool JourneyTest::startClientProcess(QProcess& client) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("ORVEL_DEMO_AUTOCONNECT"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ORVEL_DEMO_PROTOCOL"), QStringLiteral("OPENVPN"));
    client.setProcessEnvironment(environment);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardOutputFile(worldDir() + QStringLiteral("/client.log"));
    client.start(QFileInfo(e2e::osascriptPath()).canonicalPath() + QStringLiteral("/orvelvpn"),
                 {QStringLiteral("--api-hosts"), m_service->baseUrls().join(','),
                  QStringLiteral("--ca-file"), m_service->caFile(), QStringLiteral("--package-url"),
                  m_service->packageUrl(), QStringLiteral("--language"), QStringLiteral("en")});
    return client.waitForStarted();
}

void JourneyTest::startClient() {
    resetAppState();
    LaunchOptions options;
    options.apiHosts = m_service->baseUrls();
    options.caFile = m_service->caFile();
    options.packageUrl = m_service->packageUrl();
    options.language = QStringLiteral("en");
    m_app = std::make_unique<Application>(*qApp, options);
    QString error;
    ASSERT_TRUE(m_app->configure(&error)) << error.toStdString();
    // A modal box would stop the journey: the alerts are recorded instead.
    services().alerts = &alerts();
    m_app->wireQuitAndReopen(*qApp);
    m_app->start();
    m_app->show();
}

void JourneyTest::stopClient() {
    if (!m_app)
        return;
    VPNManager::resetShared();
    m_app.reset();
    services() = Services{};
    // Screens released with the window go on the next turn of the loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

MainWindow* JourneyTest::window() const {
    return dynamic_cast<MainWindow*>(services().mainWindow);
}

Preferences& JourneyTest::clientPreferences() const {
    return *services().preferences;
}

QWidget* JourneyTest::content() const {
    MainWindow* main = window();
    return main ? main->contentViewController() : nullptr;
}

NetworkVC* JourneyTest::waitForNetworkScreen(int timeoutMs) {
    NetworkVC* screen = nullptr;
    waitUntil(
        [&] {
            auto* shell = qobject_cast<OrvelController*>(content());
            if (!shell)
                return false;
            for (QWidget* item : shell->splitViewItems()) {
                if (auto* network = qobject_cast<NetworkVC*>(item))
                    screen = network;
            }
            return screen != nullptr && screen->isVisible();
        },
        timeoutMs);
    return screen;
}

void JourneyTest::signInThroughScreen(ViewController* login, bool remember) {
    const ScenarioAccount& account = m_service->scenario().accounts.first();
    login->idField->setText(account.email);
    login->pwField->setText(account.password);
    if (remember != (login->autoLoginCheckBox->checkState() == Qt::Checked))
        QTest::mouseClick(login->autoLoginCheckBox, Qt::LeftButton, {},
                          QPoint(8, login->autoLoginCheckBox->height() / 2));
    QTest::mouseClick(login->LoginButton, Qt::LeftButton);
}

DialogController* JourneyTest::waitForAdminDialog(int timeoutMs) {
    DialogController* dialog = nullptr;
    waitUntil(
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<DialogController*>(widget);
                    found && found->isVisible())
                    dialog = found;
            }
            return dialog != nullptr;
        },
        timeoutMs);
    return dialog;
}

void JourneyTest::answerAdminDialog(DialogController* dialog, const QString& password) {
    dialog->edtUserName->setText(e2e::kAdminUser);
    QTest::keyClicks(dialog->edtUserPassword, password);
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
}

QString JourneyTest::ovpnServerAddress() const {
    return QStringLiteral("10.252.%1.1").arg(m_net);
}

QString JourneyTest::ovpnTunnelPeer() const {
    return QStringLiteral("10.232.%1.1").arg(m_net);
}

// The CA comes inline: the client keeps no directive that names a file.
QString JourneyTest::ovpnConfig(quint16 port) const {
    QFile ca(m_dir + QStringLiteral("/pki/ca.crt"));
    const QString pem = ca.open(QIODevice::ReadOnly) ? QString::fromUtf8(ca.readAll()) : QString();
    return QStringLiteral("client\r\ndev tun\r\nproto udp\r\nremote %1 %2\r\nnobind\r\n"
                          "<ca>\r\n%3</ca>\r\nremote-cert-tls server\r\nauth-user-pass\r\n"
                          "register-dns\r\nblock-outside-dns\r\nverb 3\r\n")
        .arg(ovpnServerAddress())
        .arg(port)
        .arg(QString(pem).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

bool JourneyTest::utun0Up() const {
    return QFileInfo::exists(QStringLiteral("/sys/class/net/utun0"));
}

int JourneyTest::pingTunnelPeer() const {
    return e2e::run(QStringLiteral("ping"),
                    {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
                     QStringLiteral("2"), QStringLiteral("-I"), QStringLiteral("utun0"),
                     ovpnTunnelPeer()});
}

int JourneyTest::pingThroughIKEv2Tunnel() const {
    return e2e::run(QStringLiteral("ip"),
                    {QStringLiteral("netns"), QStringLiteral("exec"),
                     QStringLiteral("orvel-jikc-") + m_suffix, QStringLiteral("ping"),
                     QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
                     QStringLiteral("2"), QStringLiteral("10.201.0.1")});
}

bool JourneyTest::clientOpenVPNRunning() const {
    return e2e::run(QStringLiteral("pgrep"), {QStringLiteral("-f"), clientOpenVPNPattern()}) == 0;
}

bool JourneyTest::ikev2SaUp() const {
    QByteArray output;
    e2e::run(QStringLiteral("ip"),
             {QStringLiteral("netns"), QStringLiteral("exec"),
              QStringLiteral("orvel-jikc-") + m_suffix, QStringLiteral("swanctl"),
              QStringLiteral("--list-sas"), QStringLiteral("--raw"), QStringLiteral("--uri"),
              QStringLiteral("unix://") + m_dir + QStringLiteral("/ike/cli/charon.vici")},
             &output);
    return output.contains("state=ESTABLISHED");
}

QByteArray JourneyTest::resolverContent() const {
    QFile file(m_dir + QStringLiteral("/resolv.conf"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString JourneyTest::vpnHome() const {
    return homeDirectory() + QStringLiteral("/OrvelVPN/");
}

NamespaceJourneyTest::NamespaceJourneyTest(const char* script, const QString& client,
                                           const QString& folder, const QString& helper)
    : m_script(script), m_client(client), m_folderName(folder), m_helper(helper) {}

void NamespaceJourneyTest::enterWorld(std::initializer_list<const char*> tools) {
    if (const QString missing = e2e::missingPrerequisite(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    for (const char* tool : tools) {
        if (e2e::run(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("command -v ") + tool}) != 0)
            GTEST_SKIP() << tool << " is not installed";
    }
    m_ownNetwork = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    m_suffix = QString::number(::getpid());
    m_folder = tempPath() + QLatin1Char('/') + m_folderName;
    ASSERT_EQ(world(QStringLiteral("up")), 0) << "the world did not come up";
    const QString space = QStringLiteral("/run/netns/orvel-%1-%2").arg(m_client, m_suffix);
    const int fd = ::open(QFile::encodeName(space).constData(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    ASSERT_TRUE(entered) << qPrintable(space);
    // In the client's namespace from here: the service stand-in listens on its loopback.
    prepareWorld({true, false, false});
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_EQ(::mount("sysfs", "/sys", "sysfs", 0, nullptr), 0) << "a /sys of the namespace";
}

void NamespaceJourneyTest::TearDown() {
    JourneyTest::TearDown();
    if (m_ownNetwork >= 0) {
        ::setns(m_ownNetwork, CLONE_NEWNET);
        ::close(m_ownNetwork);
    }
    if (!m_suffix.isEmpty())
        world(QStringLiteral("down"));
}

int NamespaceJourneyTest::world(const QString& command) {
    QByteArray output;
    const int status =
        e2e::run(QStringLiteral("bash"),
                 {QStringLiteral("-c"), QString::fromLatin1(m_script), QStringLiteral("world"),
                  command, m_folder, m_suffix, m_helper, kWorldVpnUser, kWorldVpnPassword},
                 &output, 60000);
    if (status != 0)
        std::printf("world %s: %s\n", qPrintable(command), output.constData());
    return status;
}

Scenario NamespaceJourneyTest::worldScenario(const WorldServer& first, const WorldServer& stable) {
    const auto listed = [](const WorldServer& server, const QString& code) {
        return ScenarioServer{QStringLiteral("OPENVPN"),
                              server.name,
                              server.host,
                              server.host,
                              QStringLiteral("KR"),
                              code,
                              server.isp,
                              server.config,
                              true,
                              true};
    };
    Scenario scenario = Scenario::demo();
    scenario.accounts.first().vpnUsername = kWorldVpnUser;
    scenario.accounts.first().vpnPassword = kWorldVpnPassword;
    const ScenarioServer matched = listed(first, QStringLiteral("kr-1"));
    scenario.servers = {matched};
    scenario.smartMatch[QStringLiteral("OPENVPN")] = {matched.name, matched.hostdomain,
                                                      matched.country, matched.config};
    scenario.stableServers = {listed(stable, QStringLiteral("kr-2"))};
    scenario.userNotice.clear();
    scenario.commonNotice.clear();
    return scenario;
}

QString NamespaceJourneyTest::ovpnClientConfig(const QString& pki, const QString& host,
                                               quint16 port) const {
    QFile ca(pki + QStringLiteral("/ca.crt"));
    const QString pem = ca.open(QIODevice::ReadOnly) ? QString::fromUtf8(ca.readAll()) : QString();
    return QStringLiteral("client\r\ndev tun\r\nproto udp\r\nremote %1 %2\r\nnobind\r\n"
                          "<ca>\r\n%3</ca>\r\nremote-cert-tls server\r\nauth-user-pass\r\n"
                          "verb 3\r\n")
        .arg(host)
        .arg(port)
        .arg(QString(pem).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

void NamespaceJourneyTest::printTails(const QStringList& files) {
    for (const QString& path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            std::printf("== %s\n%s\n", qPrintable(path), file.readAll().right(4000).constData());
    }
}
