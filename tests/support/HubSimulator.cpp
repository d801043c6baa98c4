#include "HubSimulator.h"

#include "ReservedPort.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <utility>

namespace {

const char *const kPython = "/usr/bin/python3";

// VELKARHUB_HUBSIM, else the source tree's simulator (VELKARHUB_SOURCE_DIR, else the
// tree this was built from), so that the tools find it when started by hand.
QString scriptPath()
{
    QString path = qEnvironmentVariable("VELKARHUB_HUBSIM");
    if (path.isEmpty())
        path = (qEnvironmentVariableIsSet("VELKARHUB_SOURCE_DIR") ? qEnvironmentVariable("VELKARHUB_SOURCE_DIR")
                                                                  : QStringLiteral(VELKARHUB_BUILT_SOURCE_DIR)) +
               QStringLiteral("/tools/hubsim.py");
    return path;
}

} // namespace

HubSimulator::HubSimulator(Options options)
    : m_options(std::move(options))
{
    // The simulator's diagnostics belong in the test output as they happen.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

HubSimulator::~HubSimulator()
{
    stop();
    m_heldPort.reset();
}

bool HubSimulator::start(int timeoutMs)
{
    stop();
    const QString script = scriptPath();
    if (script.isEmpty() || !QFileInfo::exists(script)) {
        qWarning("HubSimulator: simulator script not found (VELKARHUB_HUBSIM='%s')", qPrintable(script));
        return false;
    }
    if (!m_options.tcp && m_options.rtuDevice.isEmpty()) {
        qWarning("HubSimulator: neither TCP nor RTU requested");
        return false;
    }

    QStringList args{script, QStringLiteral("--exit-on-eof")};
    if (m_options.tcp)
        args << QStringLiteral("--tcp-port") << QString::number(m_options.tcpPort) << QStringLiteral("--reuse-port");
    if (!m_options.rtuDevice.isEmpty())
        args << QStringLiteral("--rtu") << m_options.rtuDevice;
    args << m_options.extraArgs;

    m_pending.clear();
    m_process.start(QString::fromLatin1(kPython), args);
    if (!m_process.waitForStarted(timeoutMs)) {
        qWarning("HubSimulator: %s did not start: %s", kPython, qPrintable(m_process.errorString()));
        return false;
    }

    const QString ready = readLine(timeoutMs);
    if (!ready.startsWith(QLatin1String("READY "))) {
        qWarning("HubSimulator: no READY line, got '%s'", qPrintable(ready));
        stop();
        return false;
    }
    // "READY tcp=<port or -> rtu=<device or ->"
    m_tcpPort = 0;
    for (const QString &field : ready.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (field.startsWith(QLatin1String("tcp=")))
            m_tcpPort = field.mid(4).toUShort();
    }
    if (m_tcpPort != 0 && (!m_heldPort || m_heldPort->port() != m_tcpPort)) {
        m_heldPort = std::make_unique<ReservedPort>(m_tcpPort, true);
        if (!m_heldPort->isValid()) {
            qWarning("HubSimulator: cannot hold TCP port %u", unsigned(m_tcpPort));
            stop();
            return false;
        }
    }
    return true;
}

void HubSimulator::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    m_pending.clear();
}

bool HubSimulator::restart(int timeoutMs)
{
    stop();
    if (m_tcpPort != 0)
        m_options.tcpPort = m_tcpPort;
    return start(timeoutMs);
}

bool HubSimulator::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

quint16 HubSimulator::tcpPort() const
{
    return m_tcpPort;
}

QString HubSimulator::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype newline = m_pending.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = m_pending.left(newline);
            m_pending.remove(0, newline + 1);
            return QString::fromUtf8(line).trimmed();
        }
        m_pending += m_process.readAllStandardOutput();
        if (m_pending.contains('\n'))
            continue;
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            return {};
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

QString HubSimulator::command(const QString &line, int timeoutMs)
{
    if (!isRunning()) {
        qWarning("HubSimulator: command '%s' while the simulator is not running", qPrintable(line));
        return {};
    }
    m_process.write(line.toUtf8() + '\n');
    m_process.waitForBytesWritten(timeoutMs);
    const QString answer = readLine(timeoutMs);
    if (answer.isEmpty())
        qWarning("HubSimulator: no answer to '%s'", qPrintable(line));
    return answer;
}

QVector<quint16> HubSimulator::get(int unit, int reg, int count)
{
    const QString answer = command(QStringLiteral("get %1 %2 %3").arg(unit).arg(reg).arg(count));
    const QStringList words = answer.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) != QLatin1String("OK") || words.size() != count + 1) {
        qWarning("HubSimulator: get %d %d %d failed: %s", unit, reg, count, qPrintable(answer));
        return {};
    }
    QVector<quint16> values;
    values.reserve(count);
    for (qsizetype i = 1; i < words.size(); ++i)
        values.append(words.at(i).toUShort());
    return values;
}

bool HubSimulator::set(int unit, int reg, const QVector<int> &values)
{
    QString line = QStringLiteral("set %1 %2").arg(unit).arg(reg);
    for (int value : values)
        line += QLatin1Char(' ') + QString::number(value);
    const QString answer = command(line);
    if (answer != QLatin1String("OK")) {
        qWarning("HubSimulator: '%s' failed: %s", qPrintable(line), qPrintable(answer));
        return false;
    }
    return true;
}

QStringList HubSimulator::writeLog()
{
    QStringList words = command(QStringLiteral("log")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) != QLatin1String("OK"))
        return {};
    words.removeFirst();
    return words;
}

QVector<HubSimulator::TimedWrite> HubSimulator::timedWriteLog()
{
    QStringList words = command(QStringLiteral("logtimes")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) != QLatin1String("OK"))
        return {};
    words.removeFirst();
    QVector<TimedWrite> writes;
    writes.reserve(words.size());
    for (const QString &word : words) {
        const qsizetype colon = word.indexOf(QLatin1Char(':'));
        writes.append({word.left(colon).toDouble(), word.mid(colon + 1)});
    }
    return writes;
}

namespace {
QString withUnits(QString line, const QVector<int> &units)
{
    for (int unit : units)
        line += QLatin1Char(' ') + QString::number(unit);
    return line;
}
} // namespace

bool HubSimulator::silence(const QVector<int> &units)
{
    return command(withUnits(QStringLiteral("silence"), units)).startsWith(QLatin1String("OK"));
}

bool HubSimulator::unsilence(const QVector<int> &units)
{
    return command(withUnits(QStringLiteral("unsilence"), units)).startsWith(QLatin1String("OK"));
}

bool HubSimulator::delayReplies(int ms, const QVector<int> &units)
{
    return command(withUnits(QStringLiteral("delay %1").arg(ms), units)) == QLatin1String("OK");
}

QString TcpSettingsIni(quint16 port, int timeoutMs)
{
    return QStringLiteral("[TForm1]\r\nEdit1.Text=127\r\nEdit2.Text=0\r\nEdit3.Text=0\r\nEdit4.Text=1\r\nEdit16.Text=") +
           QString::number(port) + QStringLiteral("\r\nEdit5.Text=") + QString::number(timeoutMs) +
           QStringLiteral("\r\nRadioButton1.Checked=True\r\nRadioButton2.Checked=False\r\n");
}

bool WriteTcpSettingsIni(const QString &dataFolder, quint16 port, int timeoutMs)
{
    if (!QDir(dataFolder).mkpath(QStringLiteral("VelkarHubProjects")))
        return false;
    QFile ini(dataFolder + QStringLiteral("/VelkarHubProjects/Settings.ini"));
    const QByteArray text = TcpSettingsIni(port, timeoutMs).toLatin1();
    return ini.open(QIODevice::WriteOnly | QIODevice::Truncate) && ini.write(text) == text.size();
}
