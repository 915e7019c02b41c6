// The client as a desktop sees it: the real orvelvpn and orvelctl programs in an X
// server (Xvfb) with a private session bus (dbus-run-session), a real tray host (trayer,
// XEmbed) and a real notification daemon (dunst), against orvel-testservice, with IKEv2
// on the simulated VPN service.
#include "support/StatusNotifierWatcher.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace {
// Starts the X server, the tray host (when asked) and the notification daemon inside the
// private bus, each only once the one before answers, writes DISPLAY and the bus address
// to env.txt, then waits to be ended. On a loaded machine each may take many seconds: they
// share one deadline, and one that never answers is named in world.error.
const char* const kWorldScript = R"(
state=$1 tray=$2
deadline=$((SECONDS + 60))
await() {
    what=$1; shift
    until "$@" >/dev/null 2>&1; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 $xvfb 2>/dev/null; then
            echo "$what did not come up" >"$state/world.error"
            exit 1
        fi
        sleep 0.1
    done
}
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$state/display" 2>"$state/xvfb.log" &
xvfb=$!
await "Xvfb" grep -q '[0-9]' "$state/display"
export DISPLAY=:$(tr -dc 0-9 <"$state/display")
await "Xvfb on $DISPLAY" xdpyinfo
if [ "$tray" = 1 ]; then
    trayer --edge top --align right --widthtype pixel --width 200 --height 30 >"$state/trayer.log" 2>&1 &
    await "trayer" python3 -c "$TRAY_OWNED"
fi
dunst >"$state/dunst.log" 2>&1 &
# Asked without activation: a call to the name itself would have the bus start a second
# dunst, without DISPLAY, that fails and may take the name first.
await "dunst" sh -c 'dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q true'
printf 'DISPLAY=%s\nDBUS_SESSION_BUS_ADDRESS=%s\n' "$DISPLAY" "$DBUS_SESSION_BUS_ADDRESS" >"$state/env.tmp"
mv "$state/env.tmp" "$state/env.txt"
exec sleep 600
)";

// Exits 0 once a tray host owns the system tray selection of screen 0: only then does a
// client starting see a tray.
const char* const kTrayOwnedScript = R"(
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
d = x.XOpenDisplay(None)
sys.exit(0 if d and x.XGetSelectionOwner(d, x.XInternAtom(d, b"_NET_SYSTEM_TRAY_S0", 0)) else 1)
)";

// Asks the window, as a window manager's close button does, to close (WM_DELETE_WINDOW).
const char* const kCloseWindowScript = R"(
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_char * 96)]
d = x.XOpenDisplay(None)
e = ClientMessage(type=33, window=int(sys.argv[1]), format=32)
e.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
e.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, e.window, 0, 0, ctypes.byref(e))
x.XFlush(d)
)";

// A quit, whatever the client was doing, is over within this.
constexpr int kQuitBoundMs = 10000;

// One entry of a dbusmenu layout as a host reads it.
struct MenuEntry {
    int id = 0;
    QString label;
    bool enabled = true;
};

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};
} // namespace

class DesktopSessionTest : public OrvelTest {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdpyinfo", "xwininfo", "dbus-run-session", "trayer",
                                 "dunst", "dunstctl", "xdotool", "python3", "setsid"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/packages.txt lists it)";
        }
        m_state = tempPath();
        for (const char* folder : {"home", "runtime", "config", "statehome", "service"})
            QDir().mkpath(m_state + "/" + folder);
        QFile::setPermissions(m_state + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        startService();
    }

    void TearDown() override {
        m_caller.kill();
        m_caller.waitForFinished(5000);
        if (m_client.state() != QProcess::NotRunning) {
            m_client.kill();
            m_client.waitForFinished(5000);
        }
        if (m_world.processId() > 0)
            ::kill(-static_cast<pid_t>(m_world.processId()), SIGKILL);
        m_world.waitForFinished(5000);
        m_service.kill();
        m_service.waitForFinished(5000);
        OrvelTest::TearDown();
    }

    void startService() {
        m_service.start(ORVEL_TESTSERVICE_BIN, {"--state-dir", m_state + "/service"});
        ASSERT_TRUE(
            waitUntil([&] { return QFile::exists(m_state + "/service/endpoints.json"); }, 20000));
        QFile file(m_state + "/service/endpoints.json");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_endpoints = QJsonDocument::fromJson(file.readAll()).object();
    }

    void startWorld(bool withTray) {
        m_world.setProgram("setsid");
        m_world.setArguments({"dbus-run-session", "--", "bash", "-c", kWorldScript, "world",
                              m_state, withTray ? "1" : "0"});
        QProcessEnvironment worldEnv = QProcessEnvironment::systemEnvironment();
        worldEnv.insert("TRAY_OWNED", kTrayOwnedScript);
        m_world.setProcessEnvironment(worldEnv);
        m_world.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_world.start();
        const auto worldFile = [&](const char* name) { return m_state + "/" + name; };
        ASSERT_TRUE(waitUntil(
            [&] {
                return QFile::exists(worldFile("env.txt")) ||
                       QFile::exists(worldFile("world.error")) ||
                       m_world.state() == QProcess::NotRunning;
            },
            90000));
        ASSERT_TRUE(QFile::exists(worldFile("env.txt")))
            << "the desktop world did not come up: " << qPrintable(readFile("world.error"))
            << qPrintable(readFile("xvfb.log") + readFile("trayer.log") + readFile("dunst.log"));
        QFile file(m_state + "/env.txt");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_env = QProcessEnvironment::systemEnvironment();
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype at = line.indexOf('=');
            if (at > 0)
                m_env.insert(QString::fromUtf8(line.left(at)), QString::fromUtf8(line.mid(at + 1)));
        }
        m_env.insert("HOME", m_state + "/home");
        m_env.insert("XDG_CONFIG_HOME", m_state + "/config");
        m_env.insert("XDG_STATE_HOME", m_state + "/statehome");
        m_env.insert("XDG_RUNTIME_DIR", m_state + "/runtime");
        m_env.insert("QT_QPA_PLATFORM", "xcb");
        m_env.remove("ORVEL_VPN_SERVICE");
    }

    struct Launch {
        QStringList extra;
        // The scenario's account runs out within the week; its modal warning is turned off
        // unless asked for.
        bool expiryWarning = false;
        // Signed in through the remembered login, as after an earlier run.
        bool rememberedLogin = true;
        bool waitForSignIn = true;
        // Service addresses other than the stand-in's (a service that cannot be reached).
        QStringList apiHosts;
    };

    void startClient(const QStringList& extra = {}, bool expiryWarning = false) {
        Launch launch;
        launch.extra = extra;
        launch.expiryWarning = expiryWarning;
        startClient(launch);
    }

    // The client leads a session of its own (setsid): whatever it starts is found by it.
    void startClient(const Launch& launch) {
        QDir().mkpath(m_state + "/config/OrvelVPN");
        QFile preferences(m_state + "/config/OrvelVPN/preferences.ini");
        ASSERT_TRUE(preferences.open(QIODevice::WriteOnly));
        preferences.write("[General]\n");
        if (launch.rememberedLogin)
            preferences.write("isChecked=1\nemail=demo@orvel.test\npassword=demo-pass\n");
        if (!launch.expiryWarning)
            preferences.write("ALERT_DONT_SHOW=YES\n");
        preferences.close();
        QStringList hosts = launch.apiHosts;
        if (hosts.isEmpty()) {
            for (const QJsonValue& host : m_endpoints.value("apiHosts").toArray())
                hosts << host.toString();
        }
        QStringList client{ORVEL_CLIENT_BIN,
                           "--api-hosts",
                           hosts.join(','),
                           "--ca-file",
                           m_endpoints.value("caFile").toString(),
                           "--package-url",
                           m_endpoints.value("packageUrl").toString(),
                           "--vpn-service",
                           "simulated"};
        client << launch.extra;
        if (::getuid() == 0) {
            // As root the package install and the DNS statements could reach the machine:
            // they get a private /usr/local and resolver file.
            QFile resolver(m_state + "/resolv.conf");
            ASSERT_TRUE(resolver.open(QIODevice::WriteOnly));
            resolver.close();
            client =
                QStringList{
                    "unshare",
                    "--mount",
                    "--propagation",
                    "private",
                    "--",
                    "sh",
                    "-c",
                    "mount -t tmpfs tmpfs /usr/local && mount --bind \"$0\" /etc/resolv.conf "
                    "&& exec \"$@\"",
                    m_state + "/resolv.conf"} +
                client;
        }
        client.prepend("setsid");
        m_client.setProcessEnvironment(m_env);
        m_client.setProcessChannelMode(QProcess::MergedChannels);
        m_client.setStandardOutputFile(m_state + "/client.log");
        m_client.start(client.first(), client.mid(1));
        ASSERT_TRUE(m_client.waitForStarted());
        if (!launch.waitForSignIn)
            return;
        ASSERT_TRUE(waitUntil([&] { return statusJson().value("signed_in").toBool(); }, 60000))
            << "the client did not sign in; log: " << qPrintable(clientLog());
        // A warm-up thread that claimed Qt's main thread first leaves events astray.
        EXPECT_FALSE(clientLog().contains("not created in the main() thread"));
    }

    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 30000) {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(program, arguments);
        Result result;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    Result orvelctl(const QStringList& arguments) { return run(ORVELCTL_BIN, arguments, 150000); }
    QJsonObject statusJson() {
        return QJsonDocument::fromJson(orvelctl({"status", "--json"}).out.toUtf8()).object();
    }
    QString readFile(const QString& name) const {
        QFile file(m_state + "/" + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString clientLog() const { return readFile("client.log"); }
    // The bodies dunst was handed, from its history.
    QString dunstHistory() {
        run("dunstctl", {"close-all"});
        QTest::qWait(300);
        return run("dunstctl", {"history"}).out;
    }
    // The client sends without waiting: the notification may reach dunst a while later.
    bool dunstWasTold(const QString& body) {
        return waitUntil([&] { return dunstHistory().contains(body); }, 30000);
    }
    // Visible top-level windows of the client (the tray icon's window is embedded in
    // trayer's and is not among them).
    QStringList visibleClientWindows() {
        return run("xdotool", {"search", "--onlyvisible", "--all", "--pid",
                               QString::number(m_client.processId()), "--name", "."})
            .out.split('\n', Qt::SkipEmptyParts);
    }
    // The stand-in answers `path` only after `delayMs`, from now on.
    void delayService(const char* path, int delayMs) {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(m_endpoints.value("controlUrl").toString() + "/fault"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        const QJsonObject fault{{"path", path}, {"kind", "delay"}, {"delayMs", delayMs}};
        QNetworkReply* reply = network.post(request, QJsonDocument(fault).toJson());
        ASSERT_TRUE(waitUntil([reply] { return reply->isFinished(); }));
        ASSERT_EQ(reply->error(), QNetworkReply::NoError) << qPrintable(reply->errorString());
        delete reply;
    }
    bool serviceReceived(const char* path) {
        return readFile("service/requests.jsonl").contains(QLatin1String(path));
    }
    // Visible windows of the client titled `title`.
    bool windowShown(const QString& title) {
        return !run("xdotool", {"search", "--onlyvisible", "--all", "--pid",
                                QString::number(m_client.processId()), "--name", title})
                    .out.trimmed()
                    .isEmpty();
    }
    // Processes of the client's session, once it has ended: whatever it left running.
    QString leftInSession(qint64 session) {
        return run("pgrep", {"-a", "-s", QString::number(session)}).out;
    }

    // The icon's window is embedded in trayer: a small window of the client's.
    QString trayIconWindow() {
        QString icon;
        waitUntil(
            [&] {
                const QStringList windows = run("xdotool", {"search", "--classname", "orvelvpn"})
                                                .out.split('\n', Qt::SkipEmptyParts);
                for (const QString& window : windows) {
                    const QString geometry =
                        run("xdotool", {"getwindowgeometry", "--shell", window}).out;
                    const QString width = geometry.section("WIDTH=", 1).section('\n', 0, 0);
                    const QString viewable = run("xwininfo", {"-id", window}).out;
                    if (width.toInt() > 0 && width.toInt() <= 48 && viewable.contains("IsViewable"))
                        icon = window;
                }
                return !icon.isEmpty();
            },
            20000);
        return icon;
    }

    // The tray menu as a StatusNotifierItem host reads it over D-Bus (dbusmenu's GetLayout,
    // submenus included), and a click on one of its entries (Event).
    QList<MenuEntry> trayMenuOverDBus(const QString& item) {
        const QString layout =
            run("gdbus", {"call", "--session", "--dest", item, "--object-path", "/MenuBar",
                          "--method", "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "[]"})
                .out;
        QList<MenuEntry> entries;
        static const QRegularExpression entry(R"(\((\d+), \{([^{}]*)\})");
        static const QRegularExpression label(R"('label': <'([^']*)'>)");
        for (const auto& match : entry.globalMatch(layout)) {
            const QString properties = match.captured(2);
            if (properties.contains("'visible': <false>"))
                continue;
            entries.append({match.captured(1).toInt(), label.match(properties).captured(1),
                            !properties.contains("'enabled': <false>")});
        }
        return entries;
    }
    void clickOverDBus(const QString& item, const QList<MenuEntry>& menu, const QString& label) {
        for (const MenuEntry& entry : menu) {
            if (entry.label == label)
                run("gdbus", {"call", "--session", "--dest", item, "--object-path", "/MenuBar",
                              "--method", "com.canonical.dbusmenu.Event", "--",
                              QString::number(entry.id), "clicked", "<0>", "0"});
        }
    }

    bool clientEnded(int timeoutMs) {
        return m_client.waitForFinished(timeoutMs) || m_client.state() == QProcess::NotRunning;
    }

    QString m_state;
    QJsonObject m_endpoints;
    QProcessEnvironment m_env;
    QProcess m_service;
    QProcess m_world;
    QProcess m_client;
    // An orvelctl left waiting for its answer meanwhile.
    QProcess m_caller;

    void callInBackground(const QStringList& arguments) {
        m_caller.setProcessEnvironment(m_env);
        m_caller.start(ORVELCTL_BIN, arguments);
        ASSERT_TRUE(m_caller.waitForStarted());
    }
};

TEST_F(DesktopSessionTest, Orvelctl_DrivesAWholeConnectAndDisconnectAndDunstIsTold) {
    startWorld(true);
    startClient({"--hidden"}, true);

    const Result connect = orvelctl({"connect", "--protocol", "ikev2"});
    ASSERT_EQ(connect.exitCode, 0) << qPrintable(connect.err + clientLog());
    EXPECT_TRUE(connect.out.startsWith("connected to ")) << qPrintable(connect.out);
    // The connection screen, made for the connect, warns of the expiry: the warning waits
    // for the window and is a notification meanwhile.
    EXPECT_TRUE(dunstWasTold("Your subscription expires")) << qPrintable(clientLog());
    EXPECT_EQ(visibleClientWindows(), QStringList()) << "nothing of the client but its icon";

    const QJsonObject status = statusJson();
    EXPECT_EQ(status.value("state").toString(), "connected");
    EXPECT_EQ(status.value("protocol").toString(), "ikev2");
    EXPECT_FALSE(status.value("server").toString().isEmpty());
    const QDateTime since =
        QDateTime::fromString(status.value("connected_since").toString(), Qt::ISODate);
    EXPECT_TRUE(since.isValid());
    EXPECT_LE(since.secsTo(QDateTime::currentDateTime()), 60);
    EXPECT_TRUE(status.contains("interface"));
    EXPECT_TRUE(dunstWasTold("Connected to " + status.value("server").toString()));

    const Result disconnect = orvelctl({"disconnect"});
    EXPECT_EQ(disconnect.exitCode, 0) << qPrintable(disconnect.err);
    EXPECT_EQ(statusJson().value("state").toString(), "disconnected");
    EXPECT_FALSE(dunstHistory().contains("connection was lost"))
        << "an asked disconnect is no drop";

    const QJsonArray servers =
        QJsonDocument::fromJson(orvelctl({"servers", "--json"}).out.toUtf8()).array();
    ASSERT_FALSE(servers.isEmpty());
    const Result named = orvelctl({"connect", "--server", servers.first()["name"].toString(),
                                   "--protocol", servers.first()["protocol"].toString()});
    EXPECT_EQ(named.exitCode, 0) << qPrintable(named.err);
    EXPECT_EQ(orvelctl({"disconnect"}).exitCode, 0);

    const Result unknown = orvelctl({"connect", "--server", "Atlantis 9"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, "orvelctl: unknown server Atlantis 9\n");

    EXPECT_EQ(orvelctl({"quit"}).exitCode, 0);
    EXPECT_TRUE(clientEnded(15000));
    const Result gone = orvelctl({"status"});
    EXPECT_EQ(gone.exitCode, 3);
    EXPECT_EQ(gone.err, "orvelctl: OrvelVPN is not running\n");
}

TEST_F(DesktopSessionTest, TrayIcon_SitsInTheTrayHostAndItsMenuConnectsAndQuits) {
    startWorld(true);
    startClient({"--hidden"});
    const QString icon = trayIconWindow();
    ASSERT_FALSE(icon.isEmpty()) << "no tray icon window in trayer";

    // The keys go to the menu only once it is open: a busy client takes its time.
    const auto menuOpen = [&] {
        return run("xdotool", {"search", "--onlyvisible", "--classname", "orvelvpn"})
                   .out.count('\n') > 1;
    };
    const auto chooseFromMenu = [&](const char* key) {
        run("xdotool", {"mousemove", "--window", icon, "5", "5", "click", "3"});
        ASSERT_TRUE(waitUntil(menuOpen, 30000)) << "the tray menu did not open";
        run("xdotool", {"key", key, "Return"});
    };
    chooseFromMenu("Down"); // the first enabled entry: Connect
    EXPECT_TRUE(
        waitUntil([&] { return statusJson().value("state").toString() == "connected"; }, 30000))
        << qPrintable(clientLog());
    chooseFromMenu("Up"); // the last entry: Quit
    EXPECT_TRUE(clientEnded(20000)) << "Quit in the tray menu ends the client";
    EXPECT_EQ(m_client.exitCode(), 0);
}

// Closing never ends the client, tray or not; without a tray the first close says how to
// get the window back, on standard output and as a notification.
TEST_F(DesktopSessionTest, ClosingTheWindowWithoutATray_KeepsTheClientAndSaysHowToReturn) {
    startWorld(false);
    startClient();
    const QString window =
        // The client's own window: a notification bubble may carry the same name.
        run("xdotool", {"search", "--sync", "--onlyvisible", "--all", "--pid",
                        QString::number(m_client.processId()), "--name", "OrvelVPN"})
            .out.section('\n', 0, 0);
    ASSERT_FALSE(window.isEmpty());
    for (int close = 0; close < 2; ++close) {
        run("python3", {"-c", kCloseWindowScript, window});
        ASSERT_TRUE(waitUntil([&] { return visibleClientWindows().isEmpty(); }, 30000));
        EXPECT_FALSE(clientEnded(1000)) << "closing is not quitting";
        EXPECT_EQ(orvelctl({"show"}).exitCode, 0);
        ASSERT_TRUE(waitUntil([&] { return !visibleClientWindows().isEmpty(); }, 30000));
    }
    EXPECT_EQ(clientLog().count("orvelctl show"), 1)
        << "said once; log: " << qPrintable(clientLog());
    EXPECT_TRUE(dunstWasTold("orvelctl show"));
    EXPECT_EQ(orvelctl({"quit"}).exitCode, 0);
    EXPECT_TRUE(clientEnded(15000));
}

// With an alert and the administrator dialog open, the tray's menu still opens and acts,
// the command line still answers, and the tray's Cancel ends the attempt with the dialog and
// its credentials.
TEST_F(DesktopSessionTest, DialogsOpen_TheTrayMenuAndTheCommandLineStillAnswer) {
    startWorld(true);
    startClient({}, true);
    ASSERT_TRUE(waitUntil([&] { return visibleClientWindows().size() >= 2; }, 30000))
        << "the expiry alert";
    callInBackground({"connect", "--protocol", "openvpn"});
    ASSERT_TRUE(waitUntil([&] { return windowShown("ORVEL VPN v"); }, 30000));
    QElapsedTimer answered;
    answered.start();
    EXPECT_EQ(statusJson().value("state").toString(), "connecting");
    EXPECT_LT(answered.elapsed(), 5000);

    const QString icon = trayIconWindow();
    ASSERT_FALSE(icon.isEmpty()) << "no tray icon window in trayer";
    // A menu is a window of the client's class, without a name.
    const auto shownOfClass = [&] {
        return run("xdotool", {"search", "--onlyvisible", "--classname", "orvelvpn"})
            .out.count('\n');
    };
    // A click just after a menu closed may go to that menu: tried again.
    const auto openTrayMenu = [&] {
        const qsizetype before = shownOfClass();
        for (int click = 0; click < 3; ++click) {
            run("xdotool", {"mousemove", "--window", icon, "5", "5", "click", "3"});
            if (waitUntil([&] { return shownOfClass() > before; }, 10000))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(openTrayMenu()) << "the tray menu did not open behind the dialogs";
    run("xdotool", {"key", "Down", "Return"}); // the first enabled entry: Cancel
    EXPECT_TRUE(waitUntil([&] { return !windowShown("ORVEL VPN v"); }, 10000));
    ASSERT_TRUE(m_caller.waitForFinished(10000));
    EXPECT_EQ(m_caller.readAllStandardError(), "orvelctl: attempt cancelled\n");
    EXPECT_FALSE(QFile::exists(m_state + "/runtime/orvelvpn/auth.txt"))
        << "the credentials of an OpenVPN that never started";

    ASSERT_TRUE(openTrayMenu());
    run("xdotool", {"key", "Up", "Return"}); // the last entry: Quit
    EXPECT_TRUE(clientEnded(kQuitBoundMs)) << qPrintable(clientLog());
}

// Notifications carry the state in their summary and the desktop's hints; clicking one
// brings the window back.
TEST_F(DesktopSessionTest, Notifications_NameTheStateAndOpenTheWindow) {
    startWorld(true);
    startClient({"--hidden"});
    ASSERT_EQ(orvelctl({"connect"}).exitCode, 0);
    ASSERT_EQ(orvelctl({"reconnect"}).exitCode, 0) << "a second Connected, in place of the first";
    ASSERT_TRUE(waitUntil(
        [&] {
            return run("dunstctl", {"count", "displayed"}).out.toInt() > 0;
        },
        30000));
    run("dunstctl", {"action", "0"});
    EXPECT_TRUE(waitUntil([&] { return !visibleClientWindows().isEmpty(); }, 30000))
        << "the notification's default action shows the window";

    run("dunstctl", {"close-all"});
    const QJsonArray history = QJsonDocument::fromJson(run("dunstctl", {"history"}).out.toUtf8())
                                   .object()
                                   .value("data")
                                   .toArray()
                                   .first()
                                   .toArray();
    QJsonObject connected;
    int connectedCount = 0;
    for (const QJsonValue& entry : history) {
        if (entry["summary"]["data"].toString() == "Connected") {
            connected = entry.toObject();
            ++connectedCount;
        }
    }
    EXPECT_EQ(connectedCount, 1) << "the state's notifications replace each other";
    ASSERT_FALSE(connected.isEmpty()) << qPrintable(run("dunstctl", {"history"}).out);
    const auto field = [&connected](const char* name) {
        return connected.value(QLatin1String(name)).toObject().value("data").toString();
    };
    EXPECT_TRUE(field("body").startsWith("Connected to "));
    EXPECT_EQ(field("appname"), "OrvelVPN");
    EXPECT_EQ(field("category"), "network.connected");
}

// What a status bar needs: one line per change, without polling; settings by name.
TEST_F(DesktopSessionTest, Orvelctl_WatchesChangesAndReadsAndChangesSettings) {
    startWorld(true);
    startClient({"--hidden"});
    callInBackground({"watch", "--json"});
    ASSERT_TRUE(m_caller.waitForReadyRead(10000)) << "the first line comes at once";
    ASSERT_EQ(orvelctl({"connect"}).exitCode, 0);
    ASSERT_EQ(orvelctl({"disconnect"}).exitCode, 0);

    EXPECT_EQ(orvelctl({"set", "connect_at_start", "on"}).exitCode, 0);
    EXPECT_EQ(orvelctl({"get", "connect_at_start"}).out, "connect_at_start on\n");
    EXPECT_EQ(orvelctl({"set", "turbo", "on"}).err, "orvelctl: unknown setting turbo\n");
    EXPECT_TRUE(orvelctl({"--version"}).out.startsWith("orvelctl "));

    EXPECT_EQ(orvelctl({"quit"}).exitCode, 0);
    ASSERT_TRUE(m_caller.waitForFinished(20000));
    EXPECT_EQ(m_caller.exitCode(), 3) << "the watch ends with the client";
    QStringList states;
    for (const QByteArray& line : m_caller.readAllStandardOutput().split('\n')) {
        const QString state = QJsonDocument::fromJson(line).object().value("state").toString();
        if (!state.isEmpty() && (states.isEmpty() || states.last() != state))
            states << state;
    }
    EXPECT_EQ(states, QStringList({"disconnected", "connecting", "connected", "disconnected"}));
}

namespace {
enum class Stage { Unreachable, LoginScreen, SigningIn, Connecting, Connected, AdminDialog, Alert };

struct QuitRow {
    const char* name;
    Stage stage;
    int signal;
};
} // namespace

// A signal at any stage of a run ends the client within a few seconds, through the one quit
// path, and leaves nothing of it running.
class QuitAtEveryStage : public DesktopSessionTest, public ::testing::WithParamInterface<QuitRow> {
protected:
    void reach(Stage stage) {
        Launch launch;
        switch (stage) {
        case Stage::Unreachable:
            for (int host = 1; host <= 5; ++host)
                launch.apiHosts << QStringLiteral("https://127.0.0.%1:1").arg(host);
            launch.waitForSignIn = false;
            startClient(launch);
            ASSERT_TRUE(waitUntil([&] { return windowShown("OrvelVPN"); }, 30000));
            QTest::qWait(1500);
            return;
        case Stage::LoginScreen:
            launch.rememberedLogin = false;
            launch.waitForSignIn = false;
            startClient(launch);
            ASSERT_TRUE(waitUntil([&] { return serviceReceived("/v1/app_osx_version"); }, 30000));
            QTest::qWait(1000);
            return;
        case Stage::SigningIn:
            delayService("/v1/app_session_key", 60000);
            launch.waitForSignIn = false;
            startClient(launch);
            ASSERT_TRUE(waitUntil([&] { return serviceReceived("/v1/app_session_key"); }, 30000));
            return;
        case Stage::Connecting:
            startClient(launch);
            delayService("/v1/app_new_check_server", 60000);
            callInBackground({"connect"});
            ASSERT_TRUE(waitUntil(
                [&] { return statusJson().value("state").toString() == "connecting"; }, 20000));
            return;
        case Stage::Connected:
            startClient(launch);
            ASSERT_EQ(orvelctl({"connect"}).exitCode, 0) << qPrintable(clientLog());
            return;
        case Stage::AdminDialog:
            startClient(launch);
            callInBackground({"connect", "--protocol", "openvpn"});
            ASSERT_TRUE(waitUntil([&] { return windowShown("ORVEL VPN v"); }, 30000))
                << qPrintable(clientLog());
            return;
        case Stage::Alert:
            launch.expiryWarning = true;
            startClient(launch);
            ASSERT_TRUE(waitUntil([&] { return visibleClientWindows().size() >= 2; }, 30000));
            return;
        }
    }
};

TEST_P(QuitAtEveryStage, EndsWithinSecondsAndLeavesNothingRunning) {
    startWorld(true);
    reach(GetParam().stage);
    if (HasFatalFailure())
        return;
    const qint64 session = m_client.processId();
    QElapsedTimer took;
    took.start();
    ::kill(static_cast<pid_t>(session), GetParam().signal);
    ASSERT_TRUE(clientEnded(kQuitBoundMs)) << "still running; log: " << qPrintable(clientLog());
    EXPECT_LT(took.elapsed(), kQuitBoundMs);
    EXPECT_EQ(m_client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_client.exitCode(), 0);
    EXPECT_EQ(leftInSession(session), QString());
    EXPECT_EQ(orvelctl({"status"}).exitCode, 3) << "the control socket went with it";
    EXPECT_FALSE(QFile::exists(m_state + "/runtime/orvelvpn/auth.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Stages, QuitAtEveryStage,
    ::testing::Values(QuitRow{"StartingWithTheServiceUnreachable", Stage::Unreachable, SIGTERM},
                      QuitRow{"OnTheLoginScreen", Stage::LoginScreen, SIGTERM},
                      QuitRow{"SigningIn", Stage::SigningIn, SIGTERM},
                      QuitRow{"Connecting", Stage::Connecting, SIGTERM},
                      QuitRow{"Connected", Stage::Connected, SIGTERM},
                      QuitRow{"ConnectedInterrupted", Stage::Connected, SIGINT},
                      QuitRow{"AdministratorDialogOpen", Stage::AdminDialog, SIGTERM},
                      QuitRow{"AlertOpen", Stage::Alert, SIGTERM}),
    [](const auto& info) { return std::string(info.param.name); });

// Over StatusNotifierItem (GNOME with AppIndicator, KDE), with an alert open in the window:
// the menu answers the host's click, its headings are entries of their own, and it is sent
// anew as the state changes.
TEST_F(DesktopSessionTest, TrayOverStatusNotifierItem_AnswersWithAnAlertOpen) {
    if (QStandardPaths::findExecutable("gdbus").isEmpty())
        GTEST_SKIP() << "gdbus is not installed";
    startWorld(false);
    QDBusConnection bus = QDBusConnection::connectToBus(m_env.value("DBUS_SESSION_BUS_ADDRESS"),
                                                        QStringLiteral("status-notifier-host"));
    StatusNotifierWatcher watcher;
    QThread answering;
    watcher.moveToThread(&answering);
    answering.start();
    const auto stopAnswering = qScopeGuard([&] {
        answering.quit();
        answering.wait();
    });
    ASSERT_TRUE(
        bus.registerObject("/StatusNotifierWatcher", &watcher,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService("org.kde.StatusNotifierWatcher"));
    startClient({}, true);
    ASSERT_TRUE(waitUntil([&] { return !watcher.items().isEmpty(); }, 30000))
        << "the icon never registered; log: " << qPrintable(clientLog());
    ASSERT_TRUE(waitUntil([&] { return visibleClientWindows().size() >= 2; }, 30000))
        << "the expiry alert";
    const QString item = watcher.items().first();

    clickOverDBus(item, trayMenuOverDBus(item), "Connect");
    EXPECT_TRUE(
        waitUntil([&] { return statusJson().value("state").toString() == "connected"; }, 30000))
        << qPrintable(clientLog());
    QList<MenuEntry> menu;
    ASSERT_TRUE(waitUntil(
        [&] {
            menu = trayMenuOverDBus(item);
            return std::any_of(menu.begin(), menu.end(),
                               [](const MenuEntry& e) { return e.label == "Disconnect"; });
        },
        10000));
    const auto heading = std::find_if(
        menu.begin(), menu.end(), [](const MenuEntry& e) { return e.label == "Recently used"; });
    ASSERT_NE(heading, menu.end()) << "the Servers submenu keeps its heading";
    EXPECT_FALSE(heading->enabled);
    clickOverDBus(item, menu, "Quit");
    EXPECT_TRUE(clientEnded(kQuitBoundMs));
    QDBusConnection::disconnectFromBus(QStringLiteral("status-notifier-host"));
}
