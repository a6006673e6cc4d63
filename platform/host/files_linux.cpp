// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include "errnotext.h"
#include "platform/constants.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestavo::platform::host
{
namespace
{

[[nodiscard]] FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    return FileKind::Special;
}

} // namespace

FileKind fileKind(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {
    };
    if (::lstat(name.constData(), &info) != 0)
        return FileKind::Missing;
    if (!S_ISLNK(info.st_mode))
        return kindOf(info.st_mode);
    if (::stat(name.constData(), &info) != 0)
        return FileKind::BrokenLink;
    return kindOf(info.st_mode);
}

std::optional<QByteArray> readFileHead(const QString& path, qsizetype limit, QString& reason,
                                       bool ownerOnly)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoReason(errno);
        return std::nullopt;
    }
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = QStringLiteral("it is not a regular file");
        ::close(fd);
        return std::nullopt;
    }
    if (ownerOnly && (info.st_uid != ::geteuid() || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0)) {
        reason = info.st_uid != ::geteuid()
                     ? QStringLiteral("it belongs to another user")
                     : QStringLiteral("others may read it (mode %1); make it yours alone with "
                                      "chmod 600")
                           .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes(limit, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < limit) {
        const ssize_t got = ::read(fd, bytes.data() + filled, static_cast<size_t>(limit - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            reason = errnoReason(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    if (::close(fd) != 0 && errno != EINTR) {
        reason = errnoReason(errno);
        return std::nullopt;
    }
    return bytes;
}

bool syncToDevice(qintptr handle, QString& reason)
{
    while (::fsync(static_cast<int>(handle)) != 0) {
        if (errno != EINTR) {
            reason = errnoReason(errno);
            return false;
        }
    }
    return true;
}

QString configDirectory()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + u'/' + constants::kConfigSubdir;
}

QString portTableDirectory()
{
    return configDirectory() + u'/' + constants::kPortTableSubdir;
}

std::optional<QByteArray> readLinkText(const QString& path, QString& reason)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target.data(),
                                      static_cast<size_t>(target.size()));
    if (length < 0) {
        reason = errnoReason(errno);
        return std::nullopt;
    }
    target.truncate(length);
    return target;
}

qsizetype pathLimit()
{
    return PATH_MAX;
}

} // namespace kestavo::platform::host
