#include "VirtualDisplay.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QtGlobal>
#include <csignal>
#include <sys/prctl.h>

VirtualDisplay::~VirtualDisplay() { stop(); }

bool VirtualDisplay::start(const QString &screen, int timeoutMs)
{
    stop();
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        qWarning("VirtualDisplay: Xvfb is not installed");
        return false;
    }
    // -displayfd 1: Xvfb writes the number of the display it took to stdout once ready.
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // Ends with the test program, also when that dies without cleaning up.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                           QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray number;
    const QDeadlineTimer deadline(timeoutMs);
    while (!number.contains('\n') && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        number += m_process.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        qWarning("VirtualDisplay: Xvfb did not report a display");
        stop();
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    m_hadDisplay = qEnvironmentVariableIsSet("DISPLAY");
    m_savedDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", m_display.toLatin1());
    return true;
}

void VirtualDisplay::stop()
{
    if (!m_display.isEmpty()) {
        if (m_hadDisplay)
            qputenv("DISPLAY", m_savedDisplay);
        else
            qunsetenv("DISPLAY");
        m_display.clear();
    }
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}
