// SPDX-License-Identifier: GPL-3.0-or-later
// Linux: device numbering, file kinds, non-blocking reads and modem lines.
#include "host.h"

#include "constants.h"
#include "conversion.h"
#include "support/posix.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <grp.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestavo::platform::host
{
namespace
{

[[nodiscard]] QString errnoText(int error)
{
    return visibleText(QString::fromLocal8Bit(support::errnoText(error).c_str()));
}

[[nodiscard]] FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    return FileKind::Special;
}

struct BuiltInRange {
    int first;
    QLatin1StringView prefix;
};

constexpr BuiltInRange kBuiltInRanges[] = {
    {1, constants::kOnboardDevicePrefix},
    {1 + constants::kPortsPerKind, constants::kUsbDevicePrefix},
    {1 + 2 * constants::kPortsPerKind, constants::kAcmDevicePrefix},
};

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

std::optional<QByteArray> readFileHead(const QString& path, qsizetype limit, QString& reason)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno);
        return std::nullopt;
    }
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = QStringLiteral("it is not a regular file");
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
            reason = errnoText(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    if (::close(fd) != 0 && errno != EINTR) {
        reason = errnoText(errno);
        return std::nullopt;
    }
    return bytes;
}

bool syncToDevice(qintptr handle, QString& reason)
{
    while (::fsync(static_cast<int>(handle)) != 0) {
        if (errno != EINTR) {
            reason = errnoText(errno);
            return false;
        }
    }
    return true;
}

QString portTableDirectory()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + u'/' + constants::kPortTableSubdir;
}

std::optional<QString> builtInDevice(std::int16_t portNumber)
{
    for (const BuiltInRange& range : kBuiltInRanges) {
        const int index = portNumber - range.first;
        if (index >= 0 && index < constants::kPortsPerKind)
            return range.prefix + QString::number(index);
    }
    return std::nullopt;
}

std::optional<QByteArray> readLinkText(const QString& path, QString& reason)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target.data(),
                                      static_cast<size_t>(target.size()));
    if (length < 0) {
        reason = errnoText(errno);
        return std::nullopt;
    }
    target.truncate(length);
    return target;
}

qsizetype pathLimit()
{
    return PATH_MAX;
}

std::optional<std::int16_t> builtInPortNumber(const QString& device)
{
    for (const BuiltInRange& range : kBuiltInRanges) {
        if (!device.startsWith(range.prefix))
            continue;
        const QString index = device.mid(range.prefix.size());
        bool isNumber = false;
        const int value = index.toInt(&isNumber);
        if (isNumber && value >= 0 && value < constants::kPortsPerKind &&
            index == QString::number(value))
            return static_cast<std::int16_t>(range.first + value);
    }
    return std::nullopt;
}

namespace
{

std::function<QList<SystemPort>()> g_systemPortSource;

// Device -> its link under /dev/serial/by-id, by the device's real path.
[[nodiscard]] QHash<QString, QString> stableNames()
{
    QHash<QString, QString> names;
    QDirIterator links(QString(constants::kStableDeviceDirectory), QDir::System | QDir::Files);
    while (links.hasNext()) {
        const QString link = links.next();
        const QString target = QFileInfo(link).canonicalFilePath();
        if (!target.isEmpty())
            names.insert(target, link);
    }
    return names;
}

} // namespace

QList<SystemPort> systemPorts()
{
    if (g_systemPortSource)
        return g_systemPortSource();
    const QHash<QString, QString> stable = stableNames();
    QList<SystemPort> ports;
    // Qt Serial Port already passes over /dev/ttyS nodes with no UART behind.
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        ports.append(SystemPort{device, info.description(), info.manufacturer(),
                                info.serialNumber(),
                                stable.value(QFileInfo(device).canonicalFilePath())});
    }
    return ports;
}

void replaceSystemPorts(std::function<QList<SystemPort>()> source)
{
    g_systemPortSource = std::move(source);
}

QString canonicalDevicePath(const QString& device)
{
    return QFileInfo(device).canonicalFilePath();
}

OpenFailure classifyPermissionFailure(const QString& device)
{
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
        return OpenFailure::InUse;
    switch (errno) {
    case EACCES:
    case EPERM:
    case EROFS:
        return OpenFailure::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return OpenFailure::NotFound;
    default:
        return OpenFailure::Other;
    }
}

QString deviceGroup(const QString& device)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QString();
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct group entry {
    };
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->gr_name);
}

std::optional<bool> hasModemControlLines(qintptr handle, QString& reason)
{
    int status = 0;
    if (::ioctl(static_cast<int>(handle), TIOCMGET, &status) == 0)
        return true;
    // A pseudo-terminal answers "Inappropriate ioctl for device".
    if (errno == ENOTTY || errno == EINVAL)
        return false;
    reason = errnoText(errno);
    return std::nullopt;
}

std::optional<qint64> outputQueued(qintptr handle, QString& reason)
{
    int queued = 0;
    if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) != 0) {
        reason = errnoText(errno);
        return std::nullopt;
    }
    return queued;
}

WaitResult waitWritable(qintptr handle, std::chrono::milliseconds timeout, QString& reason)
{
    pollfd line{static_cast<int>(handle), POLLOUT, 0};
    const int ready = ::poll(&line, 1, static_cast<int>(timeout.count()));
    if (ready < 0) {
        if (errno == EINTR)
            return WaitResult::TimedOut;
        reason = errnoText(errno);
        return WaitResult::Failed;
    }
    if (ready == 0)
        return WaitResult::TimedOut;
    if (line.revents & POLLNVAL) {
        reason = QStringLiteral("the line is no longer open");
        return WaitResult::Failed;
    }
    // A hang-up or error is left to the write that follows, which says why.
    return WaitResult::Writable;
}

namespace
{

std::function<DrainResult(qintptr, std::chrono::milliseconds, QString&)> g_lineDrain;

} // namespace

DrainResult drainLine(qintptr handle, std::chrono::milliseconds timeout, QString& reason)
{
    if (g_lineDrain)
        return g_lineDrain(handle, timeout, reason);
    // tcdrain() has no timeout and blocks for good on a device that stopped
    // taking bytes, so it runs aside; if it never returns, its thread ends
    // with the program, which is ending anyway.
    auto outcome = std::make_shared<std::promise<int>>();
    std::future<int> drained = outcome->get_future();
    std::thread([line = static_cast<int>(handle), outcome] {
        int result = 0;
        do
            result = ::tcdrain(line);
        while (result != 0 && errno == EINTR);
        outcome->set_value(result == 0 ? 0 : errno);
    }).detach();
    if (drained.wait_for(timeout) == std::future_status::timeout)
        return DrainResult::TimedOut;
    if (const int error = drained.get()) {
        reason = errnoText(error);
        return DrainResult::Failed;
    }
    return DrainResult::Sent;
}

void replaceLineDrain(
    std::function<DrainResult(qintptr, std::chrono::milliseconds, QString&)> drain)
{
    g_lineDrain = std::move(drain);
}

namespace
{

int g_terminationPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    // Only async-signal-safe calls here; a full pipe already says enough.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_terminationPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int terminationRequests(QString& reason)
{
    if (g_terminationPipe[0] >= 0)
        return g_terminationPipe[0];
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        reason = errnoText(errno);
        return -1;
    }
    g_terminationPipe[0] = ends[0];
    g_terminationPipe[1] = ends[1];
    struct sigaction action {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {
        };
        if (::sigaction(signalNumber, nullptr, &current) != 0) {
            reason = errnoText(errno);
            return -1;
        }
        if (current.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            reason = errnoText(errno);
            return -1;
        }
    }
    return g_terminationPipe[0];
}

void clearTerminationRequests()
{
    char bytes[64];
    while (g_terminationPipe[0] >= 0 && ::read(g_terminationPipe[0], bytes, sizeof bytes) > 0) {
    }
}

namespace
{

// Either kind of socket address, filled in from an IP literal.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool loopback = false;
};

[[nodiscard]] std::optional<SocketAddress> socketAddress(const QString& text, std::uint16_t port)
{
    const QByteArray ascii = text.toLatin1();
    if (text.size() != ascii.size() || ascii.contains('\0'))
        return std::nullopt;
    SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (::inet_pton(AF_INET, ascii.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
        address.loopback = (ntohl(v4->sin_addr.s_addr) >> 24) == IN_LOOPBACKNET;
        return address;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (::inet_pton(AF_INET6, ascii.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
        address.loopback =
            IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) ||
            (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == IN_LOOPBACKNET);
        return address;
    }
    return std::nullopt;
}

} // namespace

std::optional<IpAddress> ipAddress(const QString& text)
{
    const std::optional<SocketAddress> address = socketAddress(text, 0);
    if (!address)
        return std::nullopt;
    return IpAddress{address->loopback};
}

int listenTcp(const QString& address, std::uint16_t port, QString& reason)
{
    const std::optional<SocketAddress> where = socketAddress(address, port);
    if (!where) {
        reason = QStringLiteral("it is not an IP address");
        return -1;
    }
    const int listener =
        ::socket(where->storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        reason = errnoText(errno);
        return -1;
    }
    // A restart right after an ending must not wait for old connections.
    const int reuse = 1;
    if (::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&where->storage), where->length) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        reason = errnoText(errno);
        closeSocket(listener);
        return -1;
    }
    return listener;
}

namespace
{

// Best effort: a connection without keepalive still works, and the door
// makes room when it is full either way.
void keepAlive(int socket)
{
    const int on = 1;
    const int idle = static_cast<int>(constants::kKeepAliveIdle.count());
    const int interval = static_cast<int>(constants::kKeepAliveInterval.count());
    const int probes = constants::kKeepAliveProbes;
    (void)::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

} // namespace

int acceptConnection(int listener, QString& reason)
{
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) {
            keepAlive(client);
            return client;
        }
        if (errno == EINTR)
            continue;
        // Out of descriptors or memory, or no listening socket: ours to
        // report. Anything else is nothing waiting, or the client's own
        // network error, which accept() passes on.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM ||
            errno == EBADF || errno == EINVAL || errno == ENOTSOCK)
            reason = errnoText(errno);
        return -1;
    }
}

StreamState receiveSome(int socket, QByteArray& into, qsizetype limit)
{
    const qsizetype start = into.size();
    into.resize(start + limit);
    for (;;) {
        const ssize_t got = ::recv(socket, into.data() + start, static_cast<size_t>(limit), 0);
        const int error = errno;
        if (got < 0 && error == EINTR)
            continue;
        into.resize(start + std::max<qsizetype>(got, 0));
        if (got > 0 || (got < 0 && error == EAGAIN))
            return StreamState::Open;
        return StreamState::Ended;
    }
}

StreamState sendSome(int socket, QByteArray& from)
{
    while (!from.isEmpty()) {
        const ssize_t sent =
            ::send(socket, from.constData(), static_cast<size_t>(from.size()), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN)
            return StreamState::Open;
        if (sent < 0)
            return StreamState::Ended;
        from.remove(0, sent);
    }
    return StreamState::Open;
}

QString peerName(int socket)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return QString();
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text))
            return QStringLiteral("%1:%2").arg(QLatin1StringView(text)).arg(ntohs(v4->sin_port));
    } else if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text))
            return QStringLiteral("[%1]:%2").arg(QLatin1StringView(text)).arg(ntohs(v6->sin6_port));
    }
    return QString();
}

void closeSocket(int socket)
{
    // Retrying after EINTR could close a descriptor another thread just got.
    [[maybe_unused]] const int closed = ::close(socket);
}

} // namespace kestavo::platform::host
