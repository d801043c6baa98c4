// The helper class's operations on the system: opening files and starting programs,
// the clock, the end of the session or of the system, and the restart script.
#include "utilities/Utilities1.h"

#include "utilities/Exceptions.h"
#include "utilities/SystemCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStandardPaths>

namespace {

constexpr qsizetype MaxExecuteText = 200;

bool AcceptedText(const QString &text)
{
    return text.size() <= MaxExecuteText && !text.contains(QChar(0));
}

// A web address or other URL: a scheme of two or more characters and a colon.
bool IsUrl(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch();
}

uintptr_t StartProgram(const QString &program, const QString &params, const QString &folder)
{
    return SystemCalls::Current().StartDetached(program, QProcess::splitCommand(params), folder)
               ? ExecuteResult::Started
               : ExecuteResult::BadFormat;
}

uintptr_t OpenDocument(const QString &target, const QString &folder)
{
    return SystemCalls::Current().OpenWithDesktop(target, folder) ? ExecuteResult::Started
                                                                   : ExecuteResult::NoAssociation;
}

// text in single quotes for the POSIX shell: taken literally, whatever it holds.
QByteArray ShellQuoted(const QByteArray &text)
{
    QByteArray quoted = text;
    quoted.replace('\'', QByteArrayLiteral("'\\''"));
    return '\'' + quoted + '\'';
}

} // namespace

uintptr_t TUtilities::ExecuteFile(const QString &FileName, const QString &Params, const QString &DefaultDir,
                                  int32_t /*ShowCmd*/)
{
    // A text that is too long, or that the system would cut at a zero character, may
    // name another file when shortened: refused as it stands.
    if (!AcceptedText(FileName) || !AcceptedText(Params) || !AcceptedText(DefaultDir))
        return ExecuteResult::Refused;
    if (!DefaultDir.isEmpty() && !QFileInfo(DefaultDir).isDir())
        return ExecuteResult::PathNotFound;
    if (FileName.isEmpty())
        return ExecuteResult::FileNotFound;

    const QDir base(DefaultDir.isEmpty() ? QDir::currentPath() : DefaultDir);
    const QFileInfo file(base.absoluteFilePath(FileName));
    if (file.exists()) {
        const QString path = file.absoluteFilePath();
        if (file.isFile() && file.isExecutable())
            return StartProgram(path, Params, DefaultDir);
        if (!file.isReadable())
            return ExecuteResult::AccessDenied;
        return OpenDocument(path, DefaultDir);
    }
    if (IsUrl(FileName))
        return OpenDocument(FileName, DefaultDir);
    if (!FileName.contains(QLatin1Char('/'))) {
        const QString program = QStandardPaths::findExecutable(FileName);
        if (!program.isEmpty())
            return StartProgram(program, Params, DefaultDir);
    }
    return ExecuteResult::FileNotFound;
}

void TUtilities::SetDateTime(uint16_t Year, uint16_t Month, uint16_t Day, uint16_t Hour, uint16_t Minu,
                             uint16_t Sec, uint16_t MSec)
{
    const QDate date(Year, Month, Day);
    const QTime time(Hour, Minu, Sec, MSec);
    if (!date.isValid() || !time.isValid())
        return;
    const QDateTime local(date, time, Qt::LocalTime);
    // A local time that a clock change skips does not exist: refused, whether the
    // conversion marks it invalid or moves it to another hour.
    if (!local.isValid() || local.date() != date || local.time() != time)
        return;
    SystemCalls::Current().SetClock(local);
}

bool TUtilities::MyExitWindows(uint32_t RebootParam)
{
    using namespace ExitFlags;
    // Forcing is logind's own business: the request is the same with or without it.
    if (RebootParam & ~(Shutdown | Reboot | Force | PowerOff | ForceIfHung))
        return false;
    const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
    const QString managerPath = QStringLiteral("/org/freedesktop/login1");
    const QVariantList notInteractive{false};
    switch (RebootParam & (Shutdown | Reboot | PowerOff)) {
    case Logoff:
        return SystemCalls::Current().CallLogind(QStringLiteral("/org/freedesktop/login1/session/auto"),
                                                 QStringLiteral("org.freedesktop.login1.Session"),
                                                 QStringLiteral("Terminate"), {});
    case Shutdown:
        return SystemCalls::Current().CallLogind(managerPath, manager, QStringLiteral("Halt"), notInteractive);
    case Reboot:
        return SystemCalls::Current().CallLogind(managerPath, manager, QStringLiteral("Reboot"), notInteractive);
    case PowerOff:
    case Shutdown | PowerOff:
        return SystemCalls::Current().CallLogind(managerPath, manager, QStringLiteral("PowerOff"), notInteractive);
    default:
        return false;
    }
}

void TUtilities::SimpleRestart(const QString &FileName)
{
    // The application is told to end whatever happens below.
    const auto quit = qScopeGuard([] { SystemCalls::Current().QuitApplication(); });

    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty() || !QDir::isAbsolutePath(program))
        throw EOSError(QStringLiteral("The program's own file is not known"));
    const QByteArray script = QByteArrayLiteral("sleep 5\n") + ShellQuoted(QFile::encodeName(program))
                              + QByteArrayLiteral(" &\nexit\n");

    const QString path = QFileInfo(FileName + QStringLiteral(".sh")).absoluteFilePath();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size() || !file.commit())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));

    if (!SystemCalls::Current().StartDetached(QStringLiteral("/bin/sh"), {path}, QString()))
        throw EOSError(QStringLiteral("Cannot start \"%1\"").arg(path));
}
