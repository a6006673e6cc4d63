// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/webpage.h"
#include "web/pageguard.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;
class QWebSocket;

namespace kestavo::web
{

// The page and its live channel: the page, its script and style at fixed
// paths, the state as JSON, commands as JSON posts, and every change pushed
// to every open page over a WebSocket at /live that only tells. Connections,
// requests and what waits to be sent are bounded; a page that stops reading
// is dropped and delays no other.
class WebServer final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    WebServer(app::PageRotor& rotor, QByteArray password,
              Clock clock = std::chrono::steady_clock::now, QObject* parent = nullptr);
    ~WebServer() override;

    // false and why, in words, when it cannot listen there.
    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port, QString& why);
    [[nodiscard]] quint16 port() const;

    // Closes what has had its time; its timer calls it every second.
    void checkTimes();

    // Open connections, pages on the live channel among them.
    [[nodiscard]] int connections() const;
    [[nodiscard]] int livePages() const { return static_cast<int>(m_pages.size()); }

private:
    class Listener;
    struct Connection {
        QPointer<QTcpSocket> socket;
        QHostAddress from;
        bool live = false;
        std::chrono::steady_clock::time_point heard;
        std::optional<std::chrono::steady_clock::time_point> requestSince;
    };
    struct Page {
        std::unique_ptr<QWebSocket> socket;
        qint64 unsent = 0;
        std::chrono::steady_clock::time_point progress; // when unsent last went down or was 0
    };

    void route();
    [[nodiscard]] Connection* connectionOf(const QTcpSocket* socket);
    [[nodiscard]] std::vector<Page>::iterator pageOf(const QWebSocket* socket);
    void accept(qintptr descriptor);
    // Whether a newcomer from there may stay, closing an idle connection
    // when all are taken.
    [[nodiscard]] bool makeRoom(const QHostAddress& from);
    void forget(QTcpSocket* socket);
    void onLivePage();
    void drop(QWebSocket* socket);
    void schedulePush();
    void push();
    void send(Page& page, const QByteArray& message);

    app::PageRotor& m_rotor;
    PageGuard m_guard;
    Clock m_clock;
    QHttpServer m_http;
    Listener* m_listener = nullptr;
    bool m_loopback = true;
    std::vector<Connection> m_connections;
    std::vector<Page> m_pages;
    std::vector<QPointer<QWebSocket>> m_dropped; // until they are deleted
    QByteArray m_lastPushed;
    bool m_pushScheduled = false;
    QTimer m_ticker;
};

} // namespace kestavo::web
