#include "platform/StatementFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

StatementFile::Refusal refusal(const QString& path, const QString& why) {
    return {path + QStringLiteral(": ") + why};
}

std::optional<StatementFile::Refusal> folderRefusal(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return refusal(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return refusal(folder, QStringLiteral("the folder belongs to another user"));
    if ((info.st_mode & kWritableByOthers) != 0)
        return refusal(folder, QStringLiteral("others can write in the folder"));
    return std::nullopt;
}

std::optional<StatementFile::Refusal> fileRefusal(const QString& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return refusal(path, QStringLiteral("not a regular file"));
    if (info.st_uid != ::geteuid())
        return refusal(path, QStringLiteral("the file belongs to another user"));
    if ((info.st_mode & kWritableByOthers) != 0)
        return refusal(path, QStringLiteral("others can write the file"));
    return std::nullopt;
}

} // namespace

std::variant<QByteArray, StatementFile::Refusal> StatementFile::read(const QString& path) {
    if (const std::optional<Refusal> folder = folderRefusal(path))
        return *folder;
    // No link followed and no wait on a FIFO: what is checked is what is read.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refusal(path, QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refusal(path, file.errorString());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return refusal(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (const std::optional<Refusal> refused = fileRefusal(path, info))
        return *refused;
    QByteArray content = file.read(kMaxBytes + 1);
    if (content.size() > kMaxBytes)
        return refusal(path, QStringLiteral("too long for a statement"));
    return content;
}
