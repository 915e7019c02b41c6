#include "LauncherRules.h"
#include "OpenVPNTestSupport.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNProfileReader.h"
#include "tunnel/OpenVPNSession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

using launcher::ProcessRecord;

// The root-owned launcher itself, run as root as sudo runs it for the client (no sudo
// user: root's client): what it refuses to run, and what its stop ends.
class OpenVPNLauncherTest : public OrvelTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the launcher refuses to run otherwise";
        if (const QString problem = e2e::networkIsolationProblem(); !problem.isEmpty())
            GTEST_SKIP() << problem.toStdString();
        if (!QFileInfo(e2e::launcherPath()).isExecutable())
            GTEST_SKIP() << "orvel-openvpn is not built at " << e2e::launcherPath().toStdString();
        dir = tempPath() + QStringLiteral("/world");
        home = dir + QStringLiteral("/OrvelVPN/");
        config = home + QStringLiteral("default.ovpn");
        QDir().mkpath(home);
        QDir().mkpath(dir + QStringLiteral("/run"));
        QFile::setPermissions(dir + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner);
    }

    void TearDown() override {
        if (!config.isEmpty())
            runLauncher({QStringLiteral("--stop"), config});
        for (const std::string& path :
             {launcher::pidFilePath(configPath()), launcher::configCopyPath(configPath()),
              launcher::authCopyPath(configPath())})
            QFile::remove(QString::fromStdString(path));
    }

    std::string configPath() const { return QFile::encodeName(config).toStdString(); }
    QString recordPath() const {
        return QString::fromStdString(launcher::pidFilePath(configPath()));
    }

    // Exit status (-1: still running after the time), the output in `output`.
    int runLauncher(const QStringList& arguments, QByteArray* output = nullptr,
                    int timeoutMs = 10000) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("SUDO_UID"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(e2e::launcherPath(), arguments);
        const bool finished = process.waitForFinished(timeoutMs);
        if (output)
            *output = process.readAll();
        if (!finished) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitCode();
    }

    QString dir;
    QString home;
    QString config;
};

// A process as /proc shows it, for the record the stop is handed.
ProcessRecord observed(qint64 pid) {
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    return {static_cast<long>(pid),
            launcher::startTimeOf(readFile(proc + QStringLiteral("stat")).toStdString()),
            readFile(proc + QStringLiteral("cmdline")).toStdString()};
}

// The stop is handed a record of a running process that ignores SIGTERM, as it is or
// with one part of it changed; a bystander named exactly "openvpn" runs throughout.
TEST_F(OpenVPNLauncherTest, Stop_EndsOnlyTheProcessRecordedExactly) {
    const QString bystanderPath = dir + QStringLiteral("/openvpn");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), bystanderPath));
    QProcess bystander;
    bystander.start(bystanderPath, {QStringLiteral("600")});
    ASSERT_TRUE(bystander.waitForStarted());

    const struct {
        const char* name;
        std::function<void(ProcessRecord&)> change;
        bool stopped;
    } cases[] = {
        {"as started", [](ProcessRecord&) {}, true},
        {"another start time (a reused pid)", [](ProcessRecord& r) { r.startTime += '0'; }, false},
        {"another argument", [](ProcessRecord& r) { r.commandLine.replace(11, 3, "601"); }, false},
    };
    QDir().mkpath(QString::fromLatin1(launcher::kStateFolder));
    for (const auto& c : cases) {
        QProcess stubborn;
        stubborn.start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec /bin/sleep 600")});
        ASSERT_TRUE(stubborn.waitForStarted());
        ASSERT_TRUE(waitUntil([&] {
            return observed(stubborn.processId()).commandLine ==
                   launcher::commandLineOf({"/bin/sleep", "600"});
        }));
        ProcessRecord record = observed(stubborn.processId());
        c.change(record);
        ASSERT_TRUE(
            writeFile(recordPath(), QByteArray::fromStdString(launcher::recordText(record))));

        EXPECT_EQ(runLauncher({QStringLiteral("--stop"), config}), 0) << c.name;
        EXPECT_EQ(stubborn.waitForFinished(1000), c.stopped) << c.name;
        // A stale record goes; the record of a process still running would stay.
        EXPECT_FALSE(QFile::exists(recordPath())) << c.name;
        stubborn.kill();
        stubborn.waitForFinished();
    }
    EXPECT_EQ(bystander.state(), QProcess::Running) << "a process merely named openvpn was stopped";
    bystander.kill();
    bystander.waitForFinished();
}

// Each configuration differs from the client's own in one respect, and only the
// client's runs.
TEST_F(OpenVPNLauncherTest, Start_RunsOnlyTheClientsProfileWithItsOwnAuthFile) {
    if (!QFileInfo(QStringLiteral("/usr/sbin/openvpn")).isExecutable())
        GTEST_SKIP() << "openvpn is not installed";
    ASSERT_EQ(e2e::run(QStringLiteral("openssl"),
                       {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                        QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                        QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=orvel-launcher-ca"), QStringLiteral("-keyout"),
                        dir + QStringLiteral("/ca.key"), QStringLiteral("-out"),
                        dir + QStringLiteral("/ca.crt")}),
              0);
    const QString auth = dir + QStringLiteral("/run/auth.txt");
    const QString service = QStringLiteral("client\r\ndev tun\r\nremote 127.0.0.1 9\r\nnobind\r\n"
                                           "auth-user-pass\r\n<ca>\r\n") +
                            QString::fromUtf8(readFile(dir + QStringLiteral("/ca.crt"))) +
                            QStringLiteral("</ca>\r\n");
    const QByteArray written = clientProfile(service, auth);
    ASSERT_FALSE(written.isEmpty());
    const QString plugin = dir + QStringLiteral("/plugin.so");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() +
                                QStringLiteral("/liborvel_load_marker.so"),
                            plugin));

    const struct {
        const char* name;
        QByteArray profile;
        bool fifoAuth;
        bool runs;
    } cases[] = {
        {"as the client writes it", written, false, true},
        {"with a plugin line", written + "plugin " + plugin.toUtf8() + '\n', false, false},
        {"without client", QByteArray(written).replace("client\n", ""), false, false},
        {"with auth.txt a FIFO", written, true, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(config, c.profile));
        QFile::remove(auth);
        if (c.fifoAuth) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(auth).constData(), 0600), 0);
        } else {
            ASSERT_TRUE(writeFile(auth, "vpnuser\nvpn-pass"));
        }
        QFile::setPermissions(auth, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        QByteArray output;
        const int status = runLauncher({config}, &output, 3000);
        // OpenVPN itself keeps trying to reach its server until it is stopped.
        EXPECT_EQ(status == -1, c.runs) << c.name << ": " << output.toStdString();
        if (!c.runs) {
            EXPECT_TRUE(output.startsWith("orvel-openvpn: "))
                << c.name << ": " << output.toStdString();
        }
        runLauncher({QStringLiteral("--stop"), config});
    }
    EXPECT_FALSE(QFile::exists(plugin + QStringLiteral(".loaded")))
        << "root OpenVPN loaded a plugin";
}

} // namespace
