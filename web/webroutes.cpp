// SPDX-License-Identifier: GPL-3.0-or-later
// What the page's server answers at each path.
#include "web/httpparts.h"
#include "web/webserver.h"

#include "platform/constants.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpServerWebSocketUpgradeResponse>
#endif
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <utility>

namespace kestavo::web
{
namespace
{

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

constexpr QByteArrayView kJson = "application/json";

// Nothing from elsewhere, no inline code, and no framing by another site,
// so that a page cannot be tricked into a click that turns the rotor.
constexpr std::pair<QByteArrayView, QByteArrayView> kSafetyHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:; "
     "style-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

struct PageFile {
    const char* path;
    const char* resource;
    QByteArrayView type;
};
constexpr PageFile kPageFiles[] = {
    {"/", ":/kestavo/page/index.html", "text/html; charset=utf-8"},
    {"/rotor.js", ":/kestavo/page/rotor.js", "text/javascript; charset=utf-8"},
    {"/rotor.css", ":/kestavo/page/rotor.css", "text/css; charset=utf-8"},
};

[[nodiscard]] QHttpServerResponse
reply(QByteArray body, QByteArrayView type, Status status,
      std::initializer_list<std::pair<QByteArray, QByteArray>> extra = {})
{
    QHttpServerResponse response(type.toByteArray(), std::move(body), status);
    // The header calls changed in Qt 6.8; the rest is the same in both.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    for (const auto& [name, value] : kSafetyHeaders)
        response.addHeader(name.toByteArray(), value.toByteArray());
    for (const auto& [name, value] : extra)
        response.addHeader(name, value);
#else
    QHttpHeaders headers = response.headers();
    for (const auto& [name, value] : kSafetyHeaders)
        headers.append(name, value);
    for (const auto& [name, value] : extra)
        headers.append(name, value);
    response.setHeaders(std::move(headers));
#endif
    return response;
}

[[nodiscard]] QHttpServerResponse
json(const QJsonObject& object, Status status = Status::Ok,
     std::initializer_list<std::pair<QByteArray, QByteArray>> extra = {})
{
    return reply(QJsonDocument(object).toJson(QJsonDocument::Compact), kJson, status, extra);
}

[[nodiscard]] QHttpServerResponse
refusal(const QString& why, Status status,
        std::initializer_list<std::pair<QByteArray, QByteArray>> extra = {})
{
    return json(QJsonObject{{QStringLiteral("refused"), why}}, status, extra);
}

[[nodiscard]] QJsonValue degreesOrNull(const std::optional<double>& degrees)
{
    return degrees ? QJsonValue(*degrees) : QJsonValue(QJsonValue::Null);
}

} // namespace

QByteArray stateJson(const app::PageState& state, bool locked)
{
    const QJsonObject object{
        {QStringLiteral("bearing"), degreesOrNull(state.bearing)},
        {QStringLiteral("target"), degreesOrNull(state.target)},
        {QStringLiteral("readBack"), state.readBack},
        {QStringLiteral("answering"), state.answering},
        {QStringLiteral("stalled"), state.stalled},
        {QStringLiteral("notice"), state.notice},
        {QStringLiteral("error"), state.error},
        {QStringLiteral("tenths"), state.tenths},
        {QStringLiteral("park"), state.park},
        {QStringLiteral("home"), state.home},
        {QStringLiteral("locked"), locked},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// "host:port" as a browser writes the Host header for this server.
bool isLoopbackHost(QByteArrayView host, quint16 port)
{
    const QByteArray suffix = ':' + QByteArray::number(port);
    for (const QByteArrayView name :
         {QByteArrayView("127.0.0.1"), QByteArrayView("localhost"), QByteArrayView("[::1]")}) {
        if (host.compare(name.toByteArray() + suffix, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void WebServer::route()
{
    for (const PageFile& file : kPageFiles) {
        QFile resource(QString::fromLatin1(file.resource));
        QByteArray body = resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
        m_http.route(QString::fromLatin1(file.path), Method::Get,
                     [body, type = file.type] { return reply(body, type, Status::Ok); });
    }
    // The live channel. Qt 6.4 upgrades a request only where a route takes
    // it and answers nothing; Qt 6.8 asks a verifier instead, and its routes
    // take the responder otherwise.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    m_http.route(QString(kLivePath), Method::Get,
                 [](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                     if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) != 0)
                         responder.write(QByteArray("This is the page's live channel; open /."),
                                         "text/plain", Status::BadRequest);
                 });
#else
    m_http.addWebSocketUpgradeVerifier(this, [](const QHttpServerRequest& request) {
        return request.url().path() == kLivePath
                   ? QHttpServerWebSocketUpgradeResponse::accept()
                   : QHttpServerWebSocketUpgradeResponse::passToNext();
    });
#endif
    m_http.route(QStringLiteral("/state"), Method::Get, [this] {
        return reply(stateJson(m_rotor.state(), m_guard.locked()), kJson, Status::Ok);
    });

    // What every post must be: from this page (no other site's), JSON, small.
    const auto checked = [this](const QHttpServerRequest& request,
                                QJsonObject& body) -> std::optional<QHttpServerResponse> {
        const QByteArray host = request.value("Host");
        if (m_loopback && !isLoopbackHost(host, port()))
            return refusal(QStringLiteral("This page answers only as 127.0.0.1 or localhost."),
                           Status::MisdirectedRequest);
        const QByteArray origin = request.value("Origin");
        if (!origin.isEmpty() && origin != "http://" + host && origin != "https://" + host)
            return refusal(QStringLiteral("Commands come only from Kestavo's own page."),
                           Status::Forbidden);
        if (!request.value("Content-Type").startsWith(kJson))
            return refusal(QStringLiteral("A command is sent as JSON."),
                           Status::UnsupportedMediaType);
        if (request.body().size() > constants::kMaxWebBodyBytes)
            return refusal(QStringLiteral("The command is too long."), Status::PayloadTooLarge);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return refusal(QStringLiteral("The command is no JSON object."), Status::BadRequest);
        body = document.object();
        return std::nullopt;
    };

    m_http.route(
        QStringLiteral("/login"), Method::Post, [this, checked](const QHttpServerRequest& request) {
            QJsonObject body;
            if (auto wrong = checked(request, body))
                return std::move(*wrong);
            const QByteArray password = body.value(QStringLiteral("password")).toString().toUtf8();
            const PageGuard::Login login = m_guard.login(request.remoteAddress(), password);
            switch (login.outcome) {
            case PageGuard::Login::Outcome::Token:
                return json(
                    QJsonObject{{QStringLiteral("token"), QString::fromLatin1(login.token)}});
            case PageGuard::Login::Outcome::Wrong:
                return refusal(QStringLiteral("Wrong password"), Status::Forbidden);
            case PageGuard::Login::Outcome::Wait:
                break;
            }
            return refusal(QStringLiteral("Too many wrong passwords; try again in %1 s")
                               .arg(login.wait.count()),
                           Status::TooManyRequests,
                           {{"Retry-After", QByteArray::number(login.wait.count())}});
        });

    using Action = std::function<app::PageAnswer(const QJsonObject&)>;
    const auto command = [this, checked](const QString& path, Action action) {
        m_http.route(
            path, Method::Post, [this, checked, action](const QHttpServerRequest& request) {
                QJsonObject body;
                if (auto wrong = checked(request, body))
                    return std::move(*wrong);
                if (!m_guard.allows(request.value("Authorization")))
                    return refusal(QStringLiteral("The password is needed to turn the rotor."),
                                   Status::Unauthorized);
                const app::PageAnswer answer = action(body);
                if (answer.refused)
                    return refusal(answer.text, Status::UnprocessableEntity);
                return json(QJsonObject{{QStringLiteral("told"), answer.text}});
            });
    };
    command(QStringLiteral("/go"), [this](const QJsonObject& body) {
        const QJsonValue text = body.value(QStringLiteral("text"));
        if (!text.isString() || text.toString().size() > constants::kMaxWebGoText)
            return app::PageAnswer{true, QStringLiteral("Type a heading from 0 to 359.")};
        return m_rotor.go(text.toString());
    });
    command(QStringLiteral("/stop"), [this](const QJsonObject&) { return m_rotor.stop(); });
    command(QStringLiteral("/park"), [this](const QJsonObject&) { return m_rotor.park(); });
}

} // namespace kestavo::web
