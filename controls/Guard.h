#pragma once
// Routing of failures that escape a handler.
//
// Every entry from the event loop into the program's code (a control's event, a timer,
// the communications control's events, the window's creation and destruction steps)
// runs through Guarded(). A failure that escapes the handler is caught there and passed
// to the installed exception handler (the window's ApplicationEvents1Exception); the
// handler is abandoned at the point of failure and the program goes on. A handler that
// the program calls directly (a program-set value that runs a click or change handler)
// is not guarded on its own: its failure travels to its caller like any other failure,
// which keeps failures from ever unwinding through the toolkit's own frames.
#include <QString>
#include <exception>
#include <functional>

namespace Guard {

using ExceptionHandler = std::function<void(const std::exception &)>;

// Installs the handler that receives escaped failures (one for the application).
void SetExceptionHandler(ExceptionHandler handler);

// Runs fn; a failure that escapes it goes to the exception handler.
void Guarded(const std::function<void()> &fn);

// Wraps a handler so that every call of the result is guarded.
template <typename... Args, typename F>
std::function<void(Args...)> Wrap(F fn)
{
    return [fn = std::move(fn)](Args... args) { Guarded([&] { fn(args...); }); };
}

} // namespace Guard
