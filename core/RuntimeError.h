#pragma once

#include <QString>

#include <stdexcept>
#include <utility>

// The one exception type for failures at run time: a refused store write, a socket that cannot
// connect, a value that does not fit. Every handler catches it before it reaches the event loop.
class RuntimeError : public std::runtime_error
{
public:
    explicit RuntimeError(const QString& what)
        : std::runtime_error(what.toStdString())
    {}
};

// Runs one step of a procedure whose failing steps are skipped: a failure abandons this step
// only, and the caller goes on with the next one. Returns whether the step completed.
template <typename Step> bool runStep(Step&& step) noexcept
{
    try {
        std::forward<Step>(step)();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
