// SPDX-License-Identifier: GPL-3.0-or-later
#include "webstart.h"

#include "app/readback.h"
#include "app/rotorlink.h"
#include "platform/constants.h"
#include "platform/host/files.h"
#include "platform/runtime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace kestavo::app
{

QString webPasswordPath()
{
    return platform::host::configDirectory() + u'/' + constants::kWebPasswordFile;
}

std::optional<QByteArray> readWebPassword(QString& why)
{
    const QString path = webPasswordPath();
    const QString howTo =
        QStringLiteral("; a page beyond this machine needs a password: put one on the first "
                       "line of %1, readable by you alone (umask 077; printf '%s\\n' "
                       "'a long phrase' > %1), or serve the page on 127.0.0.1 only")
            .arg(path);
    QString reason;
    const std::optional<QByteArray> head =
        platform::host::readFileHead(path, constants::kMaxPasswordLength + 2, reason, true);
    if (!head) {
        why = QStringLiteral("%1 cannot be used: %2%3").arg(path, reason, howTo);
        return std::nullopt;
    }
    QByteArray password = head->left(head->indexOf('\n'));
    if (password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty() || password.size() > constants::kMaxPasswordLength) {
        why =
            QStringLiteral("the first line of %1 is %2%3")
                .arg(
                    path,
                    password.isEmpty()
                        ? QStringLiteral("empty")
                        : QStringLiteral("longer than %1 bytes").arg(constants::kMaxPasswordLength),
                    howTo);
        return std::nullopt;
    }
    return password;
}

PageAccess::PageAccess(RotorLink& link, platform::RunTime& runTime, QObject* parent)
    : QObject(parent), m_link(link), m_runTime(runTime)
{
    connect(&m_link, &RotorLink::changed, this, &PageAccess::changed);
    // What the window tells of itself (a park by itself) every page tells.
    connect(&m_link, &RotorLink::told, this, [this](const QString& shown) {
        m_notice = shown;
        changed();
    });
    m_runTime.onFailure([this](const platform::RuntimeError& error) {
        m_error =
            QStringLiteral("Run-time error %1: %2").arg(error.code()).arg(error.description());
        changed();
    });
}

PageState PageAccess::state() const
{
    PageState state;
    if (const ReadBack* readBack = m_link.readBack()) {
        state.readBack = true;
        state.answering = readBack->answering();
        if (const std::optional<int> bearing = readBack->bearing())
            state.bearing = double(*bearing) / kTenthsPerDegree;
    }
    if (const std::optional<Position> target = m_link.target())
        state.target = target->azimuth;
    state.stalled = m_link.stalled();
    state.notice = m_notice;
    state.error = m_error;
    state.tenths = m_link.commandSet() == CommandSet::Tenths;
    state.park = m_link.station().parkHeading();
    state.home = m_link.station().home.has_value();
    return state;
}

PageAnswer PageAccess::answer(const std::function<void()>& command)
{
    PageAnswer said;
    // A page's command answers that page; the window's notice stays the
    // window's.
    const QMetaObject::Connection refused =
        connect(&m_link, &RotorLink::goRefused, this, [&said](const QString& why) {
            said = PageAnswer{true, why};
        });
    const QMetaObject::Connection told =
        connect(&m_link, &RotorLink::told, this, [&said](const QString& shown) {
            said = PageAnswer{false, shown};
        });
    m_notice.clear();
    m_runTime.handle(command);
    disconnect(refused);
    disconnect(told);
    return said;
}

PageAnswer PageAccess::go(const QString& text)
{
    return answer([&] { m_link.go(text, RotorLink::Text::HeadingOnly); });
}

PageAnswer PageAccess::stop()
{
    bool taken = true;
    PageAnswer said = answer([&] { taken = m_link.stop(); });
    if (!taken)
        said = PageAnswer{true, QStringLiteral("Stop needs read-back: Kestavo stops only a "
                                               "controller it asks where it points "
                                               "(--read-back).")};
    return said;
}

PageAnswer PageAccess::park()
{
    return answer([this] { m_link.park(); });
}

void PageAccess::watch(std::function<void()> changed)
{
    m_watchers.push_back(std::move(changed));
}

void PageAccess::changed()
{
    for (const auto& watcher : m_watchers)
        watcher();
}

namespace
{

[[nodiscard]] platform::RuntimeError webFailed(const ListenAddress& address, const QString& why)
{
    return platform::RuntimeError(
        platform::ErrorNumber::WebFailed,
        QStringLiteral("The web page cannot be served on %1: %2.").arg(address.text(), why));
}

// Next to the program in a build, in Kestavo's library folder when installed.
[[nodiscard]] QStringList pluginPlaces()
{
    const QString here = QCoreApplication::applicationDirPath();
    return {here, QDir::cleanPath(here + u'/' + QStringLiteral(KESTAVO_PLUGIN_DIR))};
}

} // namespace

std::unique_ptr<QObject> startWebPage(PageRotor& rotor, const ListenAddress& address)
{
    PageSettings settings{address.host, address.port, {}};
    if (!address.loopback) {
        QString why;
        const std::optional<QByteArray> password = readWebPassword(why);
        if (!password)
            throw webFailed(address, why);
        settings.password = *password;
    }

    QString tried;
    for (const QString& place : pluginPlaces()) {
        const QString path = place + u'/' + constants::kWebPluginName + QStringLiteral(".so");
        if (!QFileInfo::exists(path))
            continue;
        QPluginLoader loader(path);
        auto* plugin = qobject_cast<WebPlugin*>(loader.instance());
        if (!plugin) {
            tried = QStringLiteral("%1 cannot be loaded (%2); reinstall Kestavo")
                        .arg(path, loader.errorString());
            continue;
        }
        QString why;
        std::unique_ptr<QObject> page = plugin->start(rotor, settings, why);
        if (!page)
            throw webFailed(address, why);
        return page;
    }
    throw webFailed(address, tried.isEmpty()
                                 ? QStringLiteral("its part, %1.so, is in none of %2; reinstall "
                                                  "Kestavo, or build it with Qt's HttpServer "
                                                  "and WebSockets modules")
                                       .arg(constants::kWebPluginName,
                                            pluginPlaces().join(QStringLiteral(", ")))
                                 : tried);
}

} // namespace kestavo::app
