// SPDX-License-Identifier: GPL-3.0-or-later
#include "webserver.h"

#include "platform/constants.h"
#include "web/httpparts.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <utility>

namespace kestavo::web
{

class WebServer::Listener final : public QTcpServer
{
public:
    explicit Listener(WebServer& server) : QTcpServer(&server), m_server(server) {}
    using QTcpServer::addPendingConnection;

protected:
    void incomingConnection(qintptr descriptor) override { m_server.accept(descriptor); }

private:
    WebServer& m_server;
};

WebServer::WebServer(app::PageRotor& rotor, QByteArray password, Clock clock, QObject* parent)
    : QObject(parent), m_rotor(rotor), m_guard(std::move(password), clock),
      m_clock(std::move(clock)), m_listener(new Listener(*this))
{
    route();
    m_rotor.watch([this] { schedulePush(); });
    connect(&m_http, &QHttpServer::newWebSocketConnection, this, &WebServer::onLivePage);
    m_ticker.setInterval(std::chrono::seconds(1));
    connect(&m_ticker, &QTimer::timeout, this, &WebServer::checkTimes);
}

WebServer::~WebServer()
{
    // A page's WebSocket owns its connection, which is a child of this
    // too: the pages go first.
    m_pages.clear();
    for (const QPointer<QWebSocket>& page : m_dropped)
        delete page.data();
}

bool WebServer::listen(const QHostAddress& address, quint16 port, QString& why)
{
    if (!m_listener->listen(address, port)) {
        why = m_listener->serverError() == QAbstractSocket::AddressInUseError
                  ? QStringLiteral("another program listens on that port; choose another one, "
                                   "as in --web 8081")
                  : m_listener->errorString();
        return false;
    }
    m_loopback = address.isLoopback();
    m_http.bind(m_listener);
    m_ticker.start();
    return true;
}

quint16 WebServer::port() const
{
    return m_listener->serverPort();
}

int WebServer::connections() const
{
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                          [](const Connection& c) { return !c.socket.isNull(); }));
}

void WebServer::accept(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = socket->peerAddress();
    if (!makeRoom(from)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Small buffers both ways: a request is read in bounded pieces, and a
    // page that stops reading shows soon.
    socket->setReadBufferSize(constants::kMaxWebRequestBytes);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                            constants::kWebSocketBuffer);
    m_connections.push_back(Connection{socket, from, false, m_clock(), std::nullopt});

    // Connected before the server's own reading, so this sees each piece
    // first. The server reads a request only once it is whole: a buffer
    // full to its bound holds none, only too much.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        Connection* found = connectionOf(socket);
        if (!found || found->live)
            return;
        found->heard = m_clock();
        if (!found->requestSince)
            found->requestSince = found->heard;
        // After the server's own reading of this piece, which finds nothing whole.
        if (socket->bytesAvailable() >= constants::kMaxWebRequestBytes)
            QMetaObject::invokeMethod(socket, &QTcpSocket::abort, Qt::QueuedConnection);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        Connection* found = connectionOf(socket);
        if (!found || found->live)
            return;
        found->heard = m_clock();
        found->requestSince.reset();
    });
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        const Connection* found = connectionOf(socket);
        // A live page's goes with its WebSocket, after it.
        if (found && !found->live)
            socket->deleteLater();
        forget(socket);
    });
    m_listener->addPendingConnection(socket);
}

WebServer::Connection* WebServer::connectionOf(const QTcpSocket* socket)
{
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [socket](const Connection& c) { return c.socket == socket; });
    return found == m_connections.end() ? nullptr : &*found;
}

std::vector<WebServer::Page>::iterator WebServer::pageOf(const QWebSocket* socket)
{
    return std::find_if(m_pages.begin(), m_pages.end(),
                        [socket](const Page& p) { return p.socket.get() == socket; });
}

bool WebServer::makeRoom(const QHostAddress& from)
{
    // Beyond the loopback one address may not take them all.
    const auto fromThere = std::count_if(m_connections.begin(), m_connections.end(),
                                         [&from](const Connection& c) { return c.from == from; });
    if (!m_loopback && fromThere >= constants::kMaxWebConnectionsFromOne)
        return false;
    if (connections() < constants::kMaxClients)
        return true;
    // A browser keeps connections open in case; the one idle longest goes.
    // Pages on the live channel and requests under way stay.
    const auto idle = std::min_element(
        m_connections.begin(), m_connections.end(), [](const Connection& a, const Connection& b) {
            const bool aIdle = a.socket && !a.live && !a.requestSince;
            const bool bIdle = b.socket && !b.live && !b.requestSince;
            return aIdle != bIdle ? aIdle : a.heard < b.heard;
        });
    if (idle == m_connections.end() || !idle->socket || idle->live || idle->requestSince)
        return false;
    idle->socket->abort();
    return true;
}

void WebServer::forget(QTcpSocket* socket)
{
    std::erase_if(m_connections, [socket](const Connection& c) {
        return c.socket.isNull() || c.socket == socket;
    });
}

void WebServer::onLivePage()
{
    while (m_http.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_http.nextPendingWebSocketConnection();
        if (!socket)
            continue;
        const auto found = std::find_if(m_connections.begin(), m_connections.end(), [&](auto& c) {
            return c.socket && c.socket->peerPort() == socket->peerPort() &&
                   c.socket->peerAddress() == socket->peerAddress();
        });
        const QString host = socket->request().url().authority();
        const QString origin = socket->origin();
        const bool fromThisPage = origin.isEmpty() || origin == QStringLiteral("http://") + host ||
                                  origin == QStringLiteral("https://") + host;
        if (found == m_connections.end() || socket->requestUrl().path() != kLivePath ||
            !fromThisPage || (m_loopback && !isLoopbackHost(host.toLatin1(), port()))) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
            QWebSocket* closing = socket.release();
            closing->deleteLater();
            continue;
        }
        found->live = true;
        QWebSocket* raw = socket.get();
        // It only tells; a page that speaks on it is not this one.
        raw->setMaxAllowedIncomingFrameSize(constants::kMaxWebBodyBytes);
        raw->setMaxAllowedIncomingMessageSize(constants::kMaxWebBodyBytes);
        const auto refuse = [this, raw] { drop(raw); };
        connect(raw, &QWebSocket::textMessageReceived, this, refuse);
        connect(raw, &QWebSocket::binaryMessageReceived, this, refuse);
        connect(raw, &QWebSocket::disconnected, this, refuse);
        connect(raw, &QWebSocket::bytesWritten, this, [this, raw](qint64 written) {
            const auto page = pageOf(raw);
            if (page == m_pages.end())
                return;
            page->unsent = std::max<qint64>(0, page->unsent - written);
            page->progress = m_clock();
        });
        m_pages.push_back(Page{std::move(socket), 0, m_clock()});
        send(m_pages.back(), stateJson(m_rotor.state(), m_guard.locked()));
    }
}

void WebServer::drop(QWebSocket* socket)
{
    const auto page = pageOf(socket);
    if (page == m_pages.end())
        return;
    // Deleted later: this may run inside one of its own signals.
    QWebSocket* going = page->socket.release();
    m_pages.erase(page);
    going->disconnect(this);
    going->abort();
    // Its connection goes with it.
    going->deleteLater();
    m_dropped.emplace_back(going);
    std::erase_if(m_dropped, [](const QPointer<QWebSocket>& p) { return p.isNull(); });
}

void WebServer::schedulePush()
{
    // Changes in one pass of the event loop go out as one message.
    if (m_pushScheduled)
        return;
    m_pushScheduled = true;
    QTimer::singleShot(0, this, &WebServer::push);
}

void WebServer::push()
{
    m_pushScheduled = false;
    const QByteArray state = stateJson(m_rotor.state(), m_guard.locked());
    if (state == m_lastPushed)
        return;
    m_lastPushed = state;
    // A copy: a page found to have stopped reading is dropped on the way.
    std::vector<QWebSocket*> sockets;
    for (const Page& page : m_pages)
        sockets.push_back(page.socket.get());
    for (QWebSocket* socket : sockets) {
        if (const auto page = pageOf(socket); page != m_pages.end())
            send(*page, state);
    }
}

void WebServer::send(Page& page, const QByteArray& message)
{
    if (page.unsent == 0)
        page.progress = m_clock();
    page.unsent += page.socket->sendTextMessage(QString::fromUtf8(message));
    if (page.unsent > constants::kMaxWebUnsent)
        drop(page.socket.get());
}

void WebServer::checkTimes()
{
    const auto now = m_clock();
    std::vector<QWebSocket*> stalled;
    for (const Page& page : m_pages) {
        if (page.unsent > 0 && now - page.progress >= constants::kWebSendTime)
            stalled.push_back(page.socket.get());
    }
    for (QWebSocket* socket : stalled)
        drop(socket);

    std::vector<QPointer<QTcpSocket>> late;
    for (const Connection& connection : m_connections) {
        if (connection.socket && !connection.live &&
            ((connection.requestSince &&
              now - *connection.requestSince >= constants::kWebRequestTime) ||
             now - connection.heard >= constants::kWebIdleTime))
            late.push_back(connection.socket);
    }
    for (const QPointer<QTcpSocket>& socket : late) {
        if (socket)
            socket->abort();
    }
}

} // namespace kestavo::web
