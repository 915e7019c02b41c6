#include "tunnel/DnsOverride.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "support/RecordingScriptRunner.h"
#include "support/SourceTree.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

class DnsOverrideTest : public OrvelTest {
protected:
    DnsOverrideTest() {
        home = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        appState().vpnHomeDir = home;
        appState().adminUserName = QStringLiteral("admin");
        services().scriptRunner = &runner;
    }

    QString home;
    RecordingScriptRunner runner;
};

TEST_F(DnsOverrideTest, ApplyDNSOverride_WritesBothScriptsThenRunsThemEthernetFirst) {
    applyDNSOverride();

    const QString ethernet = home + QStringLiteral("setEthernetDNS.scpt");
    const QString wifi = home + QStringLiteral("setWifiDNS.scpt");
    EXPECT_EQ(
        readFile(ethernet),
        QByteArray(
            "do shell script \"sudo networksetup -setdnsservers Ethernet 8.8.8.8\" "
            "user name \"admin\" password of keychain item \"userpassword\" with administrator "
            "privileges"));
    EXPECT_EQ(
        readFile(wifi),
        QByteArray(
            "do shell script \"sudo networksetup -setdnsservers Wi-Fi 8.8.8.8\" "
            "user name \"admin\" password of keychain item \"userpassword\" with administrator "
            "privileges"));
    for (const QString& path : {ethernet, wifi})
        EXPECT_EQ(QFileInfo(path).permissions() & 0x0077, 0) << path.toStdString();
    EXPECT_EQ(runner.scriptFiles, QStringList({ethernet, wifi}));
}

TEST_F(DnsOverrideTest, ApplyDNSOverride_UsesTheAdministratorOfThisMoment) {
    applyDNSOverride();
    appState().adminUserName = QStringLiteral("changed");
    applyDNSOverride();
    EXPECT_TRUE(
        readFile(home + QStringLiteral("setWifiDNS.scpt")).contains("user name \"changed\""));
}

TEST_F(DnsOverrideTest, ResetStatements_EthernetThenWifiBackToEmpty) {
    EXPECT_EQ(dnsResetStatements(),
              QStringList({QStringLiteral("do shell script \"sudo networksetup -setdnsservers "
                                          "Ethernet empty\" user name \"admin\" password of "
                                          "keychain item \"userpassword\" with administrator "
                                          "privileges"),
                           QStringLiteral("do shell script \"sudo networksetup -setdnsservers "
                                          "Wi-Fi empty\" user name \"admin\" password of keychain "
                                          "item \"userpassword\" with administrator privileges")}));
}

// The stand-in against a resolver file and a link folder the test owns.
class NetworkSetupTest : public OrvelTest {
protected:
    NetworkSetupTest() {
        resolv = tempPath() + QStringLiteral("/resolv.conf");
        saved = tempPath() + QStringLiteral("/state/resolv.conf.saved");
        links = tempPath() + QStringLiteral("/net");
        EXPECT_TRUE(writeFile(resolv, original));
        EXPECT_TRUE(writeFile(links + QStringLiteral("/lo/type"), "772\n"));
        EXPECT_TRUE(writeFile(links + QStringLiteral("/eth0/type"), "1\n"));
        EXPECT_TRUE(writeFile(links + QStringLiteral("/tun0/type"), "65534\n"));
    }

    int networksetup(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVEL_RESOLV_CONF"), resolv);
        environment.insert(QStringLiteral("ORVEL_RESOLV_SAVE"), saved);
        environment.insert(QStringLiteral("ORVEL_SYS_CLASS_NET"), links);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("/bin/sh"), QStringList{script()} + arguments);
        process.waitForFinished(10000);
        return process.exitCode();
    }

    int setDns(const QString& service, const QString& servers) {
        return networksetup({QStringLiteral("-setdnsservers"), service, servers});
    }

    static QString script() { return networksetupStandIn(); }

    const QByteArray original =
        "# made by dhcp\nsearch lan\nnameserver 192.0.2.53\noptions edns0\n";
    QString resolv;
    QString saved;
    QString links;
};

TEST_F(NetworkSetupTest, Override_PutsTheServerFirstAndKeepsSearchAndOptions) {
    ASSERT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("8.8.8.8")), 0);
    EXPECT_EQ(readFile(resolv),
              QByteArray("nameserver 8.8.8.8\n# made by dhcp\nsearch lan\noptions edns0\n"));
    EXPECT_EQ(readFile(saved), original);
}

TEST_F(NetworkSetupTest, OverrideTwiceThenReset_RestoresTheOriginalByteForByte) {
    EXPECT_TRUE(writeFile(links + QStringLiteral("/wlan0/type"), "1\n"));
    QDir().mkpath(links + QStringLiteral("/wlan0/wireless"));
    ASSERT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("8.8.8.8")), 0);
    ASSERT_EQ(setDns(QStringLiteral("Wi-Fi"), QStringLiteral("8.8.8.8")), 0);
    ASSERT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("empty")), 0);
    EXPECT_EQ(readFile(resolv), original);
    EXPECT_FALSE(QFileInfo::exists(saved));
    EXPECT_EQ(setDns(QStringLiteral("Wi-Fi"), QStringLiteral("empty")), 0);
    EXPECT_EQ(readFile(resolv), original);
}

TEST_F(NetworkSetupTest, ResetWithoutOverride_LeavesTheFileAlone) {
    EXPECT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("empty")), 0);
    EXPECT_EQ(readFile(resolv), original);
}

TEST_F(NetworkSetupTest, RefusedCalls_LeaveTheFileAlone) {
    EXPECT_EQ(setDns(QStringLiteral("Wi-Fi"), QStringLiteral("8.8.8.8")), 4); // no wireless link
    EXPECT_EQ(setDns(QStringLiteral("Bluetooth"), QStringLiteral("8.8.8.8")), 4);
    EXPECT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("8.8.8.8; rm -rf /")), 1);
    EXPECT_EQ(networksetup({QStringLiteral("-setdnsservers"), QStringLiteral("Ethernet")}), 2);
    EXPECT_EQ(readFile(resolv), original);
    EXPECT_FALSE(QFileInfo::exists(saved));
}

TEST_F(NetworkSetupTest, SymlinkedResolverFile_StaysASymlink) {
    const QString target = tempPath() + QStringLiteral("/real-resolv.conf");
    QFile::rename(resolv, target);
    ASSERT_TRUE(QFile::link(target, resolv));
    ASSERT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("8.8.8.8")), 0);
    ASSERT_EQ(setDns(QStringLiteral("Ethernet"), QStringLiteral("empty")), 0);
    EXPECT_TRUE(QFileInfo(resolv).isSymLink());
    EXPECT_EQ(readFile(target), original);
}

} // namespace
