// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/listenaddress.h"
#include "app/webpage.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kestavo::platform
{
class RunTime;
}

namespace kestavo::app
{

class RotorLink;

// Where the page's password is kept.
[[nodiscard]] QString webPasswordPath();

// The page's password: the first line of web-password, which must be
// readable by its owner only. nullopt and why, with how to make one, when
// there is none to take.
[[nodiscard]] std::optional<QByteArray> readWebPassword(QString& why);

// The rotor as pages reach it: through the run time, so that a failed write
// ends Kestavo as one after GO does, and told of what the window tells.
class PageAccess final : public QObject, public PageRotor
{
    Q_OBJECT

public:
    PageAccess(RotorLink& link, platform::RunTime& runTime, QObject* parent = nullptr);

    [[nodiscard]] PageState state() const override;
    PageAnswer go(const QString& text) override;
    PageAnswer stop() override;
    PageAnswer park() override;
    void watch(std::function<void()> changed) override;

private:
    // Runs a command, and what the link said during it.
    PageAnswer answer(const std::function<void()>& command);
    void changed();

    RotorLink& m_link;
    platform::RunTime& m_runTime;
    std::vector<std::function<void()>> m_watchers;
    QString m_notice;
    QString m_error;
};

// Loads the web part and starts the page at address; throws WebFailed with
// the reason and what to do when it cannot (the plugin missing, the address
// in use, no password beyond the loopback).
[[nodiscard]] std::unique_ptr<QObject> startWebPage(PageRotor& rotor, const ListenAddress& address);

} // namespace kestavo::app
