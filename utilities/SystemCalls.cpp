#include "utilities/SystemCalls.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>

#include <ctime>

namespace {

class RealSystemCalls : public ISystemCalls {
public:
    bool StartDetached(const QString &program, const QStringList &arguments, const QString &workingFolder) override
    {
        return QProcess::startDetached(program, arguments, workingFolder);
    }

    bool OpenWithDesktop(const QString &target, const QString &workingFolder) override
    {
        // xdg-open hands the target to the desktop's default application for its type.
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        return !opener.isEmpty() && QProcess::startDetached(opener, {target}, workingFolder);
    }

    bool SetClock(const QDateTime &instant) override
    {
        // Needs CAP_SYS_TIME; without it the system refuses (EPERM), and nothing asks.
        const qint64 ms = instant.toMSecsSinceEpoch();
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(ms / 1000);
        ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
        return ms >= 0 && clock_settime(CLOCK_REALTIME, &ts) == 0;
    }

    bool CallLogind(const QString &path, const QString &interface, const QString &method,
                    const QVariantList &arguments) override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return false;
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), path,
                                                           interface, method);
        call.setArguments(arguments);
        return bus.call(call).type() == QDBusMessage::ReplyMessage;
    }

    void QuitApplication() override
    {
        // Like posting a quit message: the loop ends when it next runs, also when it
        // has not started yet.
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }
};

RealSystemCalls realCalls;
ISystemCalls *current = &realCalls;

} // namespace

namespace SystemCalls {

ISystemCalls &Current() { return *current; }

ISystemCalls *Install(ISystemCalls *calls)
{
    ISystemCalls *previous = current;
    current = calls ? calls : &realCalls;
    return previous;
}

} // namespace SystemCalls
