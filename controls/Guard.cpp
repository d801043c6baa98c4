#include "controls/Guard.h"

#include "utilities/Exceptions.h"

#include <QDebug>

namespace Guard {
namespace {
ExceptionHandler &Handler()
{
    static ExceptionHandler handler;
    return handler;
}

void Route(const std::exception &e)
{
    if (Handler()) {
        try {
            Handler()(e);
        } catch (...) {
            // The handler reports its own failures; nothing may escape into the toolkit.
            qWarning("Failure inside the exception handler");
        }
    } else {
        qWarning().noquote() << "Unhandled failure:" << ExceptionClassName(e) << ":" << ExceptionMessage(e);
    }
}
} // namespace

void SetExceptionHandler(ExceptionHandler handler) { Handler() = std::move(handler); }

void Guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        Route(e);
    } catch (...) {
        Route(Exception(QStringLiteral("Unknown failure")));
    }
}

} // namespace Guard
