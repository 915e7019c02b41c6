#include "OpenVPNTestSupport.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/FileItemStore.h"
#include "support/RecordingScriptRunner.h"
#include "support/SourceTree.h"
#include "support/TestEnvironment.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/PrivilegedScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The override and the reset for real: the statements run through orvel-osascript,
// sudo and the installed networksetup name, inside a network namespace with one
// wired link. `ip netns exec` puts the namespace's own resolv.conf over
// /etc/resolv.conf and gives the command a private mount table, in which the test's
// networksetup stands in /usr/local/bin and its state folder in /var/lib/orvelvpn.
// The machine's own resolver file is never in reach.
class DnsOverrideNamespaceTest : public OrvelTest {
protected:
    void SetUp() override {
        if (const QString missing = e2e::missingPrerequisite(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        namespaceName = QStringLiteral("orvel-dns-%1").arg(::getpid());
        if (e2e::run(QStringLiteral("ip"),
                     {QStringLiteral("netns"), QStringLiteral("add"), namespaceName}) != 0)
            GTEST_SKIP() << "cannot create a network namespace";
        const QString link = QStringLiteral("odns%1").arg(::getpid() % 100000);
        ASSERT_EQ(e2e::run(QStringLiteral("ip"),
                           {QStringLiteral("link"), QStringLiteral("add"), link + QLatin1Char('a'),
                            QStringLiteral("netns"), namespaceName, QStringLiteral("type"),
                            QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"),
                            link + QLatin1Char('b'), QStringLiteral("netns"), namespaceName}),
                  0);

        resolverFile =
            QStringLiteral("/etc/netns/") + namespaceName + QStringLiteral("/resolv.conf");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(resolverFile).path()));
        ASSERT_TRUE(writeFile(resolverFile, original));

        bin = tempPath() + QStringLiteral("/bin");
        state = tempPath() + QStringLiteral("/state");
        QDir().mkpath(bin);
        QDir().mkpath(state);
        const QString standIn = networksetupStandIn();
        ASSERT_TRUE(QFile::copy(standIn, bin + QStringLiteral("/networksetup")));
        QFile(bin + QStringLiteral("/networksetup"))
            .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther);

        home = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        appState().vpnHomeDir = home;
        appState().adminUserName = e2e::kAdminUser;
        e2e::keepAdminPassword(files, e2e::kAdminPassword);
        services().scriptRunner = &recorder;
    }

    void TearDown() override {
        if (namespaceName.isEmpty())
            return;
        e2e::run(QStringLiteral("ip"),
                 {QStringLiteral("netns"), QStringLiteral("delete"), namespaceName});
        QDir(QStringLiteral("/etc/netns/") + namespaceName).removeRecursively();
    }

    // Runs one script file the way runScriptFile does, inside the namespace.
    int runInNamespace(const QString& scriptFile) {
        const QString command =
            QStringLiteral("mount --bind %1 /usr/local/bin && mount -t tmpfs none /var/lib && "
                           "mkdir /var/lib/orvelvpn && mount --bind %2 /var/lib/orvelvpn && "
                           "exec %3 %4")
                .arg(shellQuoted(bin), shellQuoted(state), shellQuoted(e2e::osascriptPath()),
                     shellQuoted(scriptFile));
        return e2e::run(QStringLiteral("ip"),
                        {QStringLiteral("netns"), QStringLiteral("exec"), namespaceName,
                         QStringLiteral("unshare"), QStringLiteral("--mount"),
                         QStringLiteral("--propagation"), QStringLiteral("private"),
                         QStringLiteral("/bin/sh"), QStringLiteral("-c"), command});
    }

    int runStatementInNamespace(const QString& statement) {
        const QString file = tempPath() + QStringLiteral("/statement.scpt");
        if (!writeFile(file, statement.toUtf8()))
            return -1;
        return runInNamespace(file);
    }

    const QByteArray original = "# the namespace's own\nsearch orvel.test\nnameserver 10.9.9.9";
    QString namespaceName;
    QString resolverFile;
    QString bin;
    QString state;
    QString home;
    FileItemStore files;
    RecordingScriptRunner recorder;
};

TEST_F(DnsOverrideNamespaceTest, OverrideThenReset_RestoresTheResolverFileByteForByte) {
    applyDNSOverride();
    ASSERT_EQ(recorder.scriptFiles.size(), 2);
    EXPECT_EQ(runInNamespace(recorder.scriptFiles[0]), 0); // Ethernet: the veth link
    EXPECT_EQ(runInNamespace(recorder.scriptFiles[1]), 1); // no wireless link there

    EXPECT_EQ(readFile(resolverFile),
              QByteArray("nameserver 8.8.8.8\n# the namespace's own\nsearch orvel.test\n"));
    EXPECT_EQ(readFile(state + QStringLiteral("/resolv.conf.saved")), original);

    for (const QString& statement : dnsResetStatements())
        runStatementInNamespace(statement);
    EXPECT_EQ(readFile(resolverFile), original);
    EXPECT_FALSE(QFileInfo::exists(state + QStringLiteral("/resolv.conf.saved")));
}

// What quit and sign-out run: the override this run applied is known, and undone.
TEST_F(DnsOverrideNamespaceTest, RestoreAfterTheOverride_GivesTheResolverFileBack) {
    applyDNSOverride();
    ASSERT_EQ(recorder.scriptFiles.size(), 2);
    ASSERT_EQ(runInNamespace(recorder.scriptFiles[0]), 0);
    ASSERT_NE(readFile(resolverFile), original);

    restoreDNSNow();
    for (const QString& statement : recorder.statements)
        runStatementInNamespace(statement);
    EXPECT_EQ(readFile(resolverFile), original);
}

TEST_F(DnsOverrideNamespaceTest, WrongAdministratorPassword_ChangesNothing) {
    e2e::keepAdminPassword(files, QStringLiteral("not-the-password"));
    applyDNSOverride();
    ASSERT_EQ(recorder.scriptFiles.size(), 2);
    EXPECT_EQ(runInNamespace(recorder.scriptFiles[0]), 1);
    EXPECT_EQ(readFile(resolverFile), original);
}

} // namespace
