// SPDX-License-Identifier: GPL-3.0-or-later
// The web part as a plugin: Kestavo loads it only with --web, so that a
// start without it maps none of Qt's network modules.
#include "app/webpage.h"
#include "web/webserver.h"

#include <QHostAddress>
#include <QObject>

namespace kestavo::web
{

class Plugin final : public QObject, public app::WebPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KESTAVO_WEB_PLUGIN_IID)
    Q_INTERFACES(kestavo::app::WebPlugin)

public:
    [[nodiscard]] std::unique_ptr<QObject>
    start(app::PageRotor& rotor, const app::PageSettings& settings, QString& why) override
    {
        auto server = std::make_unique<WebServer>(rotor, settings.password);
        if (!server->listen(QHostAddress(settings.host), settings.port, why))
            return nullptr;
        return server;
    }
};

} // namespace kestavo::web

#include "plugin.moc"
