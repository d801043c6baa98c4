#include "PrivateOffice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <unistd.h>

namespace {
bool GroupAlive(qint64 group) { return group > 0 && ::kill(-static_cast<pid_t>(group), 0) == 0; }
} // namespace

PrivateOffice::~PrivateOffice() { KillAll(); }

QString PrivateOffice::Soffice() { return QStringLiteral(VELKARHUB_LO_PROGRAM_DIR "/soffice"); }

bool PrivateOffice::Installed() { return QFileInfo(Soffice()).isExecutable(); }

QString PrivateOffice::ProfileUrl() const
{
    return QUrl::fromLocalFile(dir_.filePath(QStringLiteral("profile"))).toString();
}

QString PrivateOffice::TemplatePath() const { return dir_.filePath(QStringLiteral("VelkarHub.xlsx")); }

bool PrivateOffice::MakeTemplate(const QStringList &csvLines, int timeoutMs)
{
    const QString csv = dir_.filePath(QStringLiteral("VelkarHub.csv"));
    QFile file(csv);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("PrivateOffice: cannot write %s", qPrintable(csv));
        return false;
    }
    file.write((csvLines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    file.close();
    QProcess converter;
    converter.setChildProcessModifier([] { ::setsid(); });
    converter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    converter.setStandardOutputFile(QProcess::nullDevice());
    converter.start(Soffice(), {QStringLiteral("-env:UserInstallation=") + ProfileUrl(), QStringLiteral("--headless"),
                                QStringLiteral("--norestore"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                                QStringLiteral("--outdir"), dir_.path(), csv});
    if (!converter.waitForStarted()) {
        qWarning("PrivateOffice: %s did not start", qPrintable(Soffice()));
        return false;
    }
    const qint64 group = converter.processId();
    const bool finished = converter.waitForFinished(timeoutMs);
    KillGroup(group);
    if (!finished || !QFileInfo(TemplatePath()).size()) {
        qWarning("PrivateOffice: the converter made no template in time");
        return false;
    }
    return true;
}

QStringList PrivateOffice::HelperArguments(bool headless, int connectMs) const
{
    QStringList arguments = {QStringLiteral("--profile"), ProfileUrl(),
                             QStringLiteral("--pipe"), QStringLiteral("velkarhub_test_%1_%2")
                                                           .arg(QCoreApplication::applicationPid())
                                                           .arg(reinterpret_cast<quintptr>(this), 0, 16),
                             QStringLiteral("--connect-ms"), QString::number(connectMs)};
    if (headless)
        arguments << QStringLiteral("--headless");
    return arguments;
}

void PrivateOffice::Adopt(qint64 group)
{
    if (group > 0 && !groups_.contains(group))
        groups_ << group;
}

QList<qint64> PrivateOffice::ProcessesOnProfile() const
{
    const QByteArray profileArgument = (QStringLiteral("-env:UserInstallation=") + ProfileUrl()).toUtf8();
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &argument : cmdline.readAll().split('\0'))
            if (argument == profileArgument) {
                pids << pid;
                break;
            }
    }
    return pids;
}

void PrivateOffice::KillAll()
{
    for (qint64 group : groups_)
        KillGroup(group);
    groups_.clear();
    // Also any office on the private profile whose group was never reported (a helper
    // that failed after launching it).
    QDeadlineTimer deadline(20000);
    for (QList<qint64> left = ProcessesOnProfile(); !left.isEmpty() && !deadline.hasExpired();
         left = ProcessesOnProfile()) {
        for (qint64 pid : left)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        QThread::msleep(50);
    }
}

void PrivateOffice::KillGroup(qint64 group)
{
    if (group <= 0)
        return;
    ::kill(-static_cast<pid_t>(group), SIGKILL);
    QDeadlineTimer deadline(20000);
    while (GroupAlive(group) && !deadline.hasExpired())
        QThread::msleep(50);
}
