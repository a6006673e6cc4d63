// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime.h"

#include "constants.h"
#include "conversion.h"
#include "displaywatch.h"
#include "errorpath.h"
#include "host/signals.h"
#include "runtimeerror.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <memory>

namespace kestavo::platform
{

RunTime::RunTime(ErrorPath& errors, QObject* parent) : QObject(parent), m_errors(errors)
{
    // Qt's own quit on the last window would skip the end steps and could
    // replace a failure's status with 0.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(qGuiApp, &QGuiApplication::lastWindowClosed, this, &RunTime::end);
    onDisplayLost([this](const QString& detail) { return displayLost(detail); });
}

RunTime::~RunTime()
{
    onDisplayLost({});
}

int RunTime::run(const std::function<void()>& start)
{
    handle(start);
    if (!m_ending) {
        // Once started, a request to end by signal (kill, log-out, Ctrl-C
        // in a terminal) ends like X, so buffered bytes still go out and
        // the port is released for the next start. Before that, signals
        // end the program at once, as they always do.
        // Requests left from an earlier run in this process are dropped
        // before the handlers go in, not after: a signal that came just as
        // they went in would be lost, and Kestavo would run on.
        host::clearTerminationRequests();
        QString reason;
        const int requests = host::terminationRequests(reason);
        std::unique_ptr<QSocketNotifier> watch;
        if (requests >= 0) {
            watch = std::make_unique<QSocketNotifier>(requests, QSocketNotifier::Read);
            connect(watch.get(), &QSocketNotifier::activated, this, [this] {
                host::clearTerminationRequests();
                // Under an error box the port is already released: a
                // log-out or a stop must not wait on the box until SIGKILL.
                if (m_boxShown)
                    QCoreApplication::exit(kExitRuntimeError);
                else
                    end();
            });
        } else {
            std::fprintf(stderr,
                         "%s: cannot watch for signals (%s); a signal ends Kestavo "
                         "without sending what is buffered\n",
                         constants::kExecutableName.data(), qPrintable(visibleText(reason)));
        }
        QCoreApplication::exec();
        // The loop may also stop from outside, such as a quit at log-out;
        // the end steps still run then.
        end();
    }
    return m_status;
}

void RunTime::handle(const std::function<void()>& handler)
{
    if (m_ending)
        return;
    if (const std::optional<RuntimeError> error = ErrorPath::failureOf(handler))
        fail(*error);
}

void RunTime::end()
{
    if (m_ending)
        return;
    // Ending from here on: nothing a step triggers may run a handler.
    m_ending = true;
    std::optional<RuntimeError> failure = runSteps(m_endSteps, AfterFailure::Stop);
    const std::optional<RuntimeError> releaseFailure = release();
    if (!failure)
        failure = releaseFailure;
    if (failure)
        reportAndFinish(*failure);
    else
        finish(kExitNormal);
}

void RunTime::fail(const RuntimeError& error)
{
    if (m_ending)
        return;
    // Set before the box is shown: its event loop must not run handlers.
    m_ending = true;
    // A failure in giving back would only hide the one being reported.
    (void)release();
    reportAndFinish(error);
}

std::optional<RuntimeError> RunTime::release()
{
    // Once: a display lost while an ending's box is up must not close the
    // port a second time.
    if (m_released)
        return std::nullopt;
    m_released = true;
    return runSteps(m_releaseSteps, AfterFailure::Continue);
}

void RunTime::onFailure(std::function<void(const RuntimeError&)> listener)
{
    m_failureListeners.push_back(std::move(listener));
}

void RunTime::reportAndFinish(const RuntimeError& error)
{
    for (const auto& listener : m_failureListeners)
        listener(error);
    m_boxShown = true;
    const int status = m_errors.report(error);
    m_boxShown = false;
    finish(status);
}

int RunTime::displayLost(const QString& detail)
{
    QString outcome;
    if (m_ending) {
        outcome = QStringLiteral("Kestavo was already ending");
    } else {
        m_ending = true;
        const std::optional<RuntimeError> failure = runSteps(m_endSteps, AfterFailure::Stop);
        outcome = failure ? QStringLiteral("Not everything was sent: ") + failure->description()
                          : QStringLiteral("Nothing was lost: what GO sent went out");
    }
    const std::optional<RuntimeError> releaseFailure = release();
    outcome += releaseFailure ? QStringLiteral("; the port could not be released: ") +
                                    releaseFailure->description()
                              : QStringLiteral("; the port was released.");
    const RuntimeError error(ErrorNumber::DisplayLost,
                             QStringLiteral("%1, so Kestavo ended. %2 Start Kestavo again once "
                                            "the desktop is back.")
                                 .arg(detail, outcome));
    m_status = m_errors.reportWithoutBox(error);
    return m_status;
}

std::optional<RuntimeError> RunTime::runSteps(const std::vector<std::function<void()>>& steps,
                                              AfterFailure after)
{
    std::optional<RuntimeError> first;
    for (const std::function<void()>& step : steps) {
        std::optional<RuntimeError> error = ErrorPath::failureOf(step);
        if (error && after == AfterFailure::Stop)
            return error;
        if (error && !first)
            first = std::move(error);
    }
    return first;
}

void RunTime::atEnd(std::function<void()> step)
{
    m_endSteps.push_back(std::move(step));
}

void RunTime::atRelease(std::function<void()> step)
{
    m_releaseSteps.push_back(std::move(step));
}

void RunTime::finish(int status)
{
    m_status = status;
    // Outside the event loop (a failing start step) this does nothing, and
    // run() returns without entering the loop.
    QCoreApplication::exit(status);
}

} // namespace kestavo::platform
