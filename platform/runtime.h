// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runtimeerror.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

namespace kestavo::platform
{

class ErrorPath;

// The run time's end operation, as the button handlers see it.
class Ending
{
public:
    virtual ~Ending() = default;
    // Ends the program at once with exit status 0.
    virtual void end() = 0;
};

// Runs the program: the start step, then the event loop, until the program
// ends. Every event handler runs through handle(), so a run-time error in
// one goes to the common error path and ends the program with status 1.
// Once the program is ending, no further handler runs. Closing the last
// window ends the program like end(), and so does SIGTERM, SIGINT or SIGHUP
// once the event loop runs; such a signal while an error box is up ends it
// at once with status 1. A display that goes away ends it too, in order,
// with status 1 and no box.
class RunTime final : public QObject, public Ending
{
    Q_OBJECT

public:
    explicit RunTime(ErrorPath& errors, QObject* parent = nullptr);
    ~RunTime() override;

    // Runs start, then the event loop; returns the exit status.
    [[nodiscard]] int run(const std::function<void()>& start);

    // Runs one event handler; a run-time error it throws ends the program.
    void handle(const std::function<void()>& handler);

    void end() override;
    // Reports error through the common error path and ends with status 1.
    void fail(const RuntimeError& error);

    // A step that must be done before the program ends normally, such as
    // sending the bytes still buffered; a run-time error it throws is
    // reported and turns the end into a failure.
    void atEnd(std::function<void()> step);

    // A step that gives back what the program holds, such as the port: run
    // on every way out, after the end steps and before any report, so that
    // a next start finds the port free even while an error box is up.
    void atRelease(std::function<void()> step);

    // Told of a failure before its box shows, so that the web page can
    // say it too.
    void onFailure(std::function<void(const RuntimeError&)> listener);

    // The display went away (detail says which and how): runs the end and
    // release steps, reports on standard error only and returns status 1.
    [[nodiscard]] int displayLost(const QString& detail);

private:
    // An end step that failed leaves the rest undone; every release step
    // runs whatever happened before it.
    enum class AfterFailure { Stop, Continue };
    [[nodiscard]] std::optional<RuntimeError>
    runSteps(const std::vector<std::function<void()>>& steps, AfterFailure after);
    [[nodiscard]] std::optional<RuntimeError> release();
    void reportAndFinish(const RuntimeError& error);
    void finish(int status);

    ErrorPath& m_errors;
    std::vector<std::function<void()>> m_endSteps;
    std::vector<std::function<void()>> m_releaseSteps;
    std::vector<std::function<void(const RuntimeError&)>> m_failureListeners;
    bool m_ending = false;
    bool m_released = false;
    bool m_boxShown = false;
    int m_status = 0;
};

} // namespace kestavo::platform
