#include "platform/SingleInstance.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
int connectTo(const QByteArray& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

class SingleInstanceTest : public OrvelTest {
protected:
    QString socketPath() {
        return SingleInstance::privateFolder(tempPath() + "/run") + "/instance.sock";
    }
};

TEST_F(SingleInstanceTest, SecondLaunch_TellsTheFirstToReopenAndDoesNotClaim) {
    SingleInstance first(socketPath());
    ASSERT_TRUE(first.claim());
    QSignalSpy reopened(&first, &SingleInstance::reopenRequested);

    SingleInstance second(socketPath());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(waitUntil([&] { return reopened.count() == 1; }));
}

TEST_F(SingleInstanceTest, StaleSocketOfACrashedRun_DoesNotBlockTheNextLaunch) {
    // A socket file bound and never unlinked, as a killed process leaves it.
    const QByteArray path = QFile::encodeName(socketPath());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    SingleInstance next(QString::fromLocal8Bit(path));
    EXPECT_TRUE(next.claim());
}

TEST_F(SingleInstanceTest, FolderOthersCanEnterOrALink_IsNotUsed) {
    const QString open = tempPath() + "/open";
    ASSERT_TRUE(QDir().mkpath(open));
    ::chmod(QFile::encodeName(open).constData(), 0755);
    EXPECT_EQ(SingleInstance::privateFolder(open), QString());
    const QString link = tempPath() + "/link";
    ASSERT_TRUE(QFile::link(SingleInstance::privateFolder(tempPath() + "/real"), link));
    EXPECT_EQ(SingleInstance::privateFolder(link), QString());
    EXPECT_EQ(SingleInstance::privateFolder(tempPath() + "/fresh"), tempPath() + "/fresh");
}

TEST_F(SingleInstanceTest, RequestLine_ReachesTheReceiverWithItsPeer) {
    SingleInstance instance(socketPath());
    ASSERT_TRUE(instance.claim());
    QSignalSpy commands(&instance, &SingleInstance::commandReceived);
    const int fd = connectTo(QFile::encodeName(socketPath()));
    ASSERT_GE(fd, 0);
    const char request[] = "{\"version\":1,\"command\":\"status\"}\n";
    ASSERT_EQ(::write(fd, request, sizeof(request) - 1), static_cast<ssize_t>(sizeof(request) - 1));
    EXPECT_TRUE(waitUntil([&] { return commands.count() == 1; }));
    EXPECT_EQ(commands.value(0).value(1).toByteArray(), QByteArray(request).trimmed());
    ::close(fd);
}

// The folder keeps others out; should it ever let them in, the socket still answers no
// one but this user. The peer keeps our group: only the user differs.
TEST_F(SingleInstanceTest, PeerOfAnotherUserInOurGroup_IsRefused) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    const QString socket = socketPath();
    SingleInstance instance(socket);
    ASSERT_TRUE(instance.claim());
    QSignalSpy reopened(&instance, &SingleInstance::reopenRequested);
    QSignalSpy commands(&instance, &SingleInstance::commandReceived);
    for (const QString& path : {tempPath(), tempPath() + "/run", socket})
        ::chmod(QFile::encodeName(path).constData(), 0777);

    const QByteArray path = QFile::encodeName(socket);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(::getgid()) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = connectTo(path);
        if (fd < 0)
            ::_exit(3);
        const char lines[] = "reopen\n{\"version\":1,\"command\":\"quit\"}\n";
        (void)::write(fd, lines, sizeof(lines) - 1);
        char answer[64];
        // The server closes without a word (a reset, since our lines went unread).
        ::_exit(::read(fd, answer, sizeof(answer)) <= 0 ? 0 : 4);
    }
    int status = 0;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    QTest::qWait(100);
    EXPECT_EQ(reopened.count(), 0);
    EXPECT_EQ(commands.count(), 0);
}
