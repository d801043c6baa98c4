#pragma once
// The operating-system calls with which the helper class changes the machine: starting
// a process, opening a document with the desktop, setting the clock, asking logind to
// end the session or the system, and ending the application. They go through one
// replaceable object so that tests record the requests instead of carrying them out;
// the installed default does the real thing.
#include <QDateTime>
#include <QStringList>
#include <QVariantList>

class ISystemCalls {
public:
    virtual ~ISystemCalls() = default;
    // Starts program (an absolute path) with arguments, without a shell and without
    // waiting, in workingFolder (the current folder when empty). True when it started.
    virtual bool StartDetached(const QString &program, const QStringList &arguments,
                               const QString &workingFolder) = 0;
    // Opens target (an absolute path or a web address) with the desktop's default
    // application. True when the opener started.
    virtual bool OpenWithDesktop(const QString &target, const QString &workingFolder) = 0;
    // Sets the system clock to instant. True when the system accepted it.
    virtual bool SetClock(const QDateTime &instant) = 0;
    // Calls method of interface on the object path of logind (org.freedesktop.login1)
    // on the system bus. True when logind answered without an error.
    virtual bool CallLogind(const QString &path, const QString &interface, const QString &method,
                            const QVariantList &arguments) = 0;
    // Asks the application to end when control returns to its event loop.
    virtual void QuitApplication() = 0;
};

namespace SystemCalls {
// The calls in use.
ISystemCalls &Current();
// Puts calls in use (nullptr: the default) and returns the ones used before.
ISystemCalls *Install(ISystemCalls *calls);
} // namespace SystemCalls
