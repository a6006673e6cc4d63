// SPDX-License-Identifier: GPL-3.0-or-later
// The page's server on real loopback sockets: what it answers, what reaches
// the rotor, the password, and pages that stop reading.
#include "web/webserver.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using kestavo::web::WebServer;

class FakeRotor final : public kestavo::app::PageRotor
{
public:
    [[nodiscard]] kestavo::app::PageState state() const override { return m_state; }
    kestavo::app::PageAnswer go(const QString& text) override
    {
        commands << QStringLiteral("go ") + text;
        return {text == u"abc", text == u"abc" ? QStringLiteral("no heading") : QString()};
    }
    kestavo::app::PageAnswer stop() override
    {
        commands << QStringLiteral("stop");
        return {};
    }
    kestavo::app::PageAnswer park() override
    {
        commands << QStringLiteral("park");
        return {};
    }
    void watch(std::function<void()> changed) override { m_changed = std::move(changed); }

    void change(std::optional<double> target, const QString& notice = {})
    {
        m_state.target = target;
        m_state.notice = notice;
        m_changed();
    }

    QStringList commands;

private:
    kestavo::app::PageState m_state;
    std::function<void()> m_changed;
};

class Server
{
public:
    explicit Server(QByteArray password = {})
        : web(rotor, std::move(password), [this] { return now; })
    {
        QString why;
        EXPECT_TRUE(web.listen(QHostAddress::LocalHost, 0, why)) << why.toStdString();
    }

    [[nodiscard]] std::unique_ptr<QTcpSocket> connectRaw()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, web.port());
        EXPECT_TRUE(socket->waitForConnected(2000));
        return socket;
    }

    // Sends request on a connection of its own; what came back before the
    // answer was whole or the server closed.
    QByteArray exchange(const QByteArray& request, int waitMs = 3000)
    {
        const std::unique_ptr<QTcpSocket> socket = connectRaw();
        socket->write(request);
        QByteArray answer;
        (void)QTest::qWaitFor(
            [&] {
                answer += socket->readAll();
                const qsizetype end = answer.indexOf("\r\n\r\n");
                return socket->state() != QAbstractSocket::ConnectedState ||
                       (end >= 0 && answer.size() >= end + 4 + contentLength(answer));
            },
            waitMs);
        return answer;
    }

    QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& headers = {})
    {
        return exchange("POST " + path + " HTTP/1.1\r\nHost: " + host() +
                        "\r\nContent-Type: application/json\r\n" + headers +
                        "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    [[nodiscard]] QByteArray host() const { return "127.0.0.1:" + QByteArray::number(web.port()); }

    [[nodiscard]] std::unique_ptr<QWebSocket> openPage(QStringList& heard)
    {
        auto page =
            std::make_unique<QWebSocket>(QStringLiteral("http://") + QString::fromLatin1(host()));
        QObject::connect(page.get(), &QWebSocket::textMessageReceived,
                         [&heard](const QString& message) { heard << message; });
        page->open(QUrl(QStringLiteral("ws://%1/live").arg(QString::fromLatin1(host()))));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !heard.isEmpty(); }, 2000));
        return page;
    }

    // A page that makes the handshake and then reads nothing more.
    [[nodiscard]] std::unique_ptr<QTcpSocket> openUnreadPage()
    {
        std::unique_ptr<QTcpSocket> socket = connectRaw();
        socket->setReadBufferSize(1);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
        socket->write(
            "GET /live HTTP/1.1\r\nHost: " + host() +
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
        return socket;
    }

    static qsizetype contentLength(const QByteArray& answer)
    {
        const qsizetype at = answer.indexOf("Content-Length: ");
        return at < 0 ? 0 : answer.mid(at + 16, answer.indexOf('\r', at) - at - 16).toInt();
    }

    FakeRotor rotor;
    std::chrono::steady_clock::time_point now{};
    WebServer web;
};

[[nodiscard]] QByteArray statusOf(const QByteArray& answer)
{
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3) : QByteArray("closed");
}

TEST(WebServer, AnswersEachRequestAndPassesOnlyWellFormedCommands)
{
    const QByteArray json = "Content-Type: application/json\r\n";
    const struct {
        const char* name;
        QByteArray request; // %h: the server's host and port
        QByteArray status;
        QStringList commands;
    } cases[] = {
        {"the page", "GET / HTTP/1.1\r\nHost: %h\r\n\r\n", "200", {}},
        {"the state", "GET /state HTTP/1.1\r\nHost: %h\r\n\r\n", "200", {}},
        {"GO",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 13\r\n\r\n{\"text\":\"90\"}",
         "200",
         {"go 90"}},
        {"GO refused",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json +
             "Content-Length: 14\r\n\r\n{\"text\":\"abc\"}",
         "422",
         {"go abc"}},
        {"Stop",
         "POST /stop HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 2\r\n\r\n{}",
         "200",
         {"stop"}},
        {"Park",
         "POST /park HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 2\r\n\r\n{}",
         "200",
         {"park"}},
        {"not JSON by its type (another site's form)",
         "POST /stop HTTP/1.1\r\nHost: %h\r\nContent-Type: text/plain\r\nContent-Length: "
         "2\r\n\r\n{}",
         "415",
         {}},
        {"another site's script",
         "POST /stop HTTP/1.1\r\nHost: %h\r\nOrigin: http://elsewhere.example\r\n" + json +
             "Content-Length: 2\r\n\r\n{}",
         "403",
         {}},
        {"a rebound name for the loopback",
         "POST /stop HTTP/1.1\r\nHost: elsewhere.example:80\r\n" + json +
             "Content-Length: 2\r\n\r\n{}",
         "421",
         {}},
        {"no JSON object",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 4\r\n\r\n[90]",
         "400",
         {}},
        {"a heading that is no text",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 11\r\n\r\n{\"text\":90}",
         "422",
         {}},
        {"a long body",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 2000\r\n\r\n" +
             QByteArray(2000, ' '),
         "413",
         {}},
        {"a header past the bound",
         "GET / HTTP/1.1\r\nHost: %h\r\nX: " + QByteArray(40000, 'x') + "\r\n\r\n",
         "closed",
         {}},
        {"a body past the bound",
         "POST /go HTTP/1.1\r\nHost: %h\r\n" + json + "Content-Length: 1000000\r\n\r\n" +
             QByteArray(1000000, '9'),
         "closed",
         {}},
        {"no HTTP",
         QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15),
         "closed",
         {}},
        {"nothing there", "GET /etc/passwd HTTP/1.1\r\nHost: %h\r\n\r\n", "404", {}},
        {"the live channel without WebSocket", "GET /live HTTP/1.1\r\nHost: %h\r\n\r\n", "400", {}},
    };
    Server server;
    for (const auto& c : cases) {
        server.rotor.commands.clear();
        const QByteArray answer =
            server.exchange(QByteArray(c.request).replace("%h", server.host()));
        EXPECT_EQ(statusOf(answer), c.status) << c.name << "\n" << answer.left(200).toStdString();
        EXPECT_EQ(server.rotor.commands, c.commands) << c.name;
    }
}

TEST(WebServer, WithAPasswordOnlyATokenTurnsAndWrongTriesAreSlowedDown)
{
    Server server("long secret");
    const auto login = [&](const char* password) {
        return server.post("/login", QByteArray("{\"password\":\"") + password + "\"}");
    };
    EXPECT_EQ(statusOf(server.post("/go", "{\"text\":\"90\"}")), "401");
    EXPECT_EQ(
        statusOf(server.exchange("GET /state HTTP/1.1\r\nHost: " + server.host() + "\r\n\r\n")),
        "200")
        << "anyone may watch";
    const QByteArray granted = login("long secret");
    ASSERT_EQ(statusOf(granted), "200");
    const QByteArray token = granted.mid(granted.indexOf("\"token\":\"") + 9, 64);
    EXPECT_EQ(statusOf(server.post("/go", "{\"text\":\"90\"}",
                                   "Authorization: Bearer " + token + "\r\n")),
              "200");
    EXPECT_EQ(
        statusOf(server.post("/stop", "{}", "Authorization: Bearer x" + token.mid(1) + "\r\n")),
        "401");
    EXPECT_EQ(server.rotor.commands, QStringList{"go 90"});

    // Three wrong tries are free; then the next waits 1 s, then 2 s.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(statusOf(login("guess")), "403") << i;
    EXPECT_EQ(statusOf(login("long secret")), "429") << "not heard before its time";
    server.now += 1s;
    EXPECT_EQ(statusOf(login("guess")), "403");
    server.now += 1s;
    EXPECT_EQ(statusOf(login("long secret")), "429");
    server.now += 1s;
    EXPECT_EQ(statusOf(login("long secret")), "200");
}

TEST(WebServer, EveryPageSeesEachChangeAndOneThatStopsReadingIsDropped)
{
    Server server;
    QStringList first;
    QStringList second;
    const auto page1 = server.openPage(first);
    const auto page2 = server.openPage(second);

    const std::unique_ptr<QTcpSocket> stalled = server.openUnreadPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.web.livePages() == 3; }, 2000));

    const QString notice(2000, u'n');
    for (int i = 1; i <= 200 && server.web.livePages() == 3; ++i) {
        server.rotor.change(i, notice);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QString target = QStringLiteral("\"target\":%1,").arg(i);
                return first.constLast().contains(target) && second.constLast().contains(target);
            },
            500))
            << "change " << i;
    }
    EXPECT_EQ(server.web.livePages(), 2) << "its unsent messages passed the bound";

    // A page that speaks on the channel is no page of ours.
    page2->sendTextMessage(QStringLiteral("{\"go\":\"90\"}"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.web.livePages() == 1; }, 2000));
    EXPECT_TRUE(server.rotor.commands.isEmpty());

    // What the kernel still takes never drains: dropped on its time.
    const std::unique_ptr<QTcpSocket> slow = server.openUnreadPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.web.livePages() == 2; }, 2000));
    server.rotor.change(1, QString(60000, u'n'));
    QTest::qWait(200);
    server.now += 10s;
    server.web.checkTimes();
    EXPECT_EQ(server.web.livePages(), 1);
}

TEST(WebServer, AFullServerMakesRoomOnlyFromIdleConnections)
{
    Server server;
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 16; ++i) {
        idle.push_back(server.connectRaw());
        server.now += 1s;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.web.connections() == 16; }, 2000));
    EXPECT_EQ(
        statusOf(server.exchange("GET /state HTTP/1.1\r\nHost: " + server.host() + "\r\n\r\n")),
        "200");
    EXPECT_EQ(idle.front()->state(), QAbstractSocket::UnconnectedState) << "the oldest idle went";

    // Requests under way keep their places; the newcomer is closed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.web.connections() == 15; }, 2000));
    idle.front() = server.connectRaw();
    for (auto& socket : idle)
        socket->write("GET / HTTP/1.1\r\n");
    QTest::qWait(200);
    EXPECT_EQ(
        statusOf(server.exchange("GET /state HTTP/1.1\r\nHost: " + server.host() + "\r\n\r\n")),
        "closed");
    // ...until their time is up.
    server.now += 10s;
    server.web.checkTimes();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.web.connections() == 0; }, 2000));
}

// Mangled requests, from a fixed seed: none may bring the server down or
// hand the rotor anything but a short text, and it still answers after.
TEST(WebServer, SurvivesMangledRequests)
{
    Server server("long secret");
    const QByteArray json = "\r\nContent-Type: application/json\r\nContent-Length: ";
    const QByteArray seeds[] = {
        "POST /go HTTP/1.1\r\nHost: %h" + json + "13\r\n\r\n{\"text\":\"90\"}",
        "POST /login HTTP/1.1\r\nHost: %h" + json + "26\r\n\r\n{\"password\":\"long secret\"}",
        "GET /live HTTP/1.1\r\nHost: %h\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
    };
    QRandomGenerator random(20261209);
    for (int round = 0; round < 200; ++round) {
        QByteArray request = seeds[round % 3];
        request.replace("%h", server.host());
        for (int change = random.bounded(1, 6); change > 0; --change) {
            const auto at = random.bounded(request.size());
            const char byte = static_cast<char>(random.bounded(256));
            switch (random.bounded(3)) {
            case 0:
                request[at] = byte;
                break;
            case 1:
                request.insert(at, QByteArray(random.bounded(1, 200), byte));
                break;
            default:
                request.remove(at, random.bounded(1, 20));
                break;
            }
        }
        // A request cut short waits for the rest, until its time is up.
        const QByteArray answer = server.exchange(request, 50);
        EXPECT_FALSE(answer.startsWith("HTTP/1.1 5")) << request.toStdString();
    }
    for (const QString& command : server.rotor.commands)
        EXPECT_LE(command.size(), 3 + 64) << command.toStdString();
    EXPECT_EQ(
        statusOf(server.exchange("GET /state HTTP/1.1\r\nHost: " + server.host() + "\r\n\r\n")),
        "200");
}

} // namespace
