#include "app/SingleInstance.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QUuid>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

TEST(SingleInstanceTest, SecondLaunch_TellsTheFirstToReopenAndDoesNotClaim) {
    const QString name = QStringLiteral("orvel-test-") + QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QSignalSpy reopened(&first, &SingleInstance::reopenRequested);

    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(waitUntil([&] { return reopened.count() == 1; }));
}

TEST(SingleInstanceTest, StaleSocketOfACrashedRun_DoesNotBlockTheNextLaunch) {
    const QString name = QStringLiteral("orvel-test-") + QUuid::createUuid().toString(QUuid::Id128);
    // A socket file bound and never unlinked, as a killed process leaves it.
    const QByteArray path = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + name);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QString::fromLocal8Bit(path)));
    SingleInstance next(name);
    EXPECT_TRUE(next.claim());
}
