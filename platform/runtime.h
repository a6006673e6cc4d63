#pragma once

#include <QObject>

#include <functional>
#include <vector>

namespace kestavo::platform
{

class ErrorPath;
class RuntimeError;

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
// once the event loop runs.
class RunTime final : public QObject, public Ending
{
    Q_OBJECT

public:
    explicit RunTime(ErrorPath& errors, QObject* parent = nullptr);

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

private:
    void finish(int status);

    ErrorPath& m_errors;
    std::vector<std::function<void()>> m_endSteps;
    bool m_ending = false;
    int m_status = 0;
};

} // namespace kestavo::platform
