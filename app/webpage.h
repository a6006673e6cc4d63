// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Between Kestavo and its web part, a plugin loaded only with --web: plain
// virtual calls and Qt's value types, so that the plugin links nothing of
// Kestavo's own and Kestavo links nothing of Qt's network modules.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtPlugin>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kestavo::app
{

// What every open page shows.
struct PageState {
    std::optional<double> bearing; // the antenna's, in degrees; nullopt when not known
    std::optional<double> target;  // the last one given; nullopt before the first, after a stop
    bool readBack = false;
    bool answering = true;
    bool stalled = false;
    QString notice; // what the window tells everyone, such as a park by itself
    QString error;  // a run-time error: Kestavo is ending
    bool tenths = false;
    double park = 0;
    bool home = false; // GO takes a locator too
};

// What a command from a page came to: told (shown to whoever sent it) or
// refused, in words.
struct PageAnswer {
    bool refused = false;
    QString text;
};

// The rotor as the page reaches it, through the same owner of the line as
// the window and the front door.
class PageRotor
{
public:
    virtual ~PageRotor() = default;
    [[nodiscard]] virtual PageState state() const = 0;
    // GO with a heading or, with a home, a locator; anything else is refused.
    virtual PageAnswer go(const QString& text) = 0;
    virtual PageAnswer stop() = 0;
    virtual PageAnswer park() = 0;
    // Called whenever state() may have changed.
    virtual void watch(std::function<void()> changed) = 0;
};

struct PageSettings {
    QString host; // an IP address
    std::uint16_t port = 0;
    // Empty on the loopback: then nobody is asked for one.
    QByteArray password;
};

// The plugin's one entry. start() listens and serves until the returned
// object is deleted; nullptr and why (in words for the user) when it cannot.
class WebPlugin
{
public:
    virtual ~WebPlugin() = default;
    [[nodiscard]] virtual std::unique_ptr<QObject>
    start(PageRotor& rotor, const PageSettings& settings, QString& why) = 0;
};

} // namespace kestavo::app

#define KESTAVO_WEB_PLUGIN_IID "io.github.kestavo.kestavo.WebPlugin/1"
Q_DECLARE_INTERFACE(kestavo::app::WebPlugin, KESTAVO_WEB_PLUGIN_IID)
