#include "PtyPair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

PtyPair::PtyPair() = default;

PtyPair::~PtyPair()
{
    stop();
}

bool PtyPair::start(int timeoutMs)
{
    stop();
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        qWarning("PtyPair: no temporary folder: %s", qPrintable(m_dir->errorString()));
        return false;
    }
    m_a = m_dir->filePath(QStringLiteral("a"));
    m_b = m_dir->filePath(QStringLiteral("b"));
    return launch(timeoutMs);
}

bool PtyPair::replug(int timeoutMs)
{
    if (!m_dir)
        return start(timeoutMs);
    unplug();
    return launch(timeoutMs);
}

bool PtyPair::launch(int timeoutMs)
{
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (socat.isEmpty()) {
        qWarning("PtyPair: socat not found");
        return false;
    }
    // socat reports on stderr; "starting data transfer loop" comes once both
    // pseudo-terminals and their links have been made.
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start(socat, {QStringLiteral("-d"), QStringLiteral("-d"),
                            QStringLiteral("pty,raw,echo=0,link=%1").arg(m_a),
                            QStringLiteral("pty,raw,echo=0,link=%1").arg(m_b)});
    QDeadlineTimer deadline(timeoutMs);
    QByteArray messages;
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        messages += m_process.readAllStandardError();
        if (messages.contains("starting data transfer loop") && QFileInfo::exists(m_a)
            && QFileInfo::exists(m_b))
            return true;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    messages += m_process.readAllStandardError();
    std::fprintf(stderr, "PtyPair: socat did not come up:\n%s\n", messages.constData());
    stop();
    return false;
}

void PtyPair::stop()
{
    unplug();
    m_dir.reset();
}

void PtyPair::unplug()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();  // lets socat remove its links
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString PtyPair::deviceA() const
{
    return m_a;
}

QString PtyPair::deviceB() const
{
    return m_b;
}
