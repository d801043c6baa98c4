// The program itself (its binary, beside this test) against the hub simulator over
// Modbus TCP on loopback, ended by a signal as a logout, kill or Ctrl+C in a terminal
// would: it closes as its close button does, saving its settings and its operator log and
// writing the identification text to the hub, and ends with exit code 0.
#include "support/HubSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program started on a fresh data folder whose settings connect it to the simulator,
// once it polls the hub and has read the identification text.
struct RunningProgram {
    HubSimulator simulator;
    QTemporaryDir data;
    QProcess process;
    QByteArray iniWritten;
    static QByteArray ReadFile(const QString &path) { return ::ReadFile(path); }

    QString IniPath() const { return data.path() + QStringLiteral("/VelkarHubProjects/Settings.ini"); }

    bool Start()
    {
        if (!simulator.start() || !data.isValid() || !WriteTcpSettingsIni(data.path(), simulator.tcpPort(), 1000))
            return false;
        iniWritten = ReadFile(IniPath());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/VelkarHubInterface"));
        process.start();
        if (!process.waitForStarted(10000))
            return false;
        const auto reads = [this](const char *what) { return simulator.command(QString::fromLatin1(what)).mid(3).toInt(); };
        if (!QTest::qWaitFor([&] { return reads("reads 16 9000") > 0; }, 20000))
            return false;
        // Two general-data reads later the program has taken in the identification text.
        const int general = reads("reads 16 500");
        return QTest::qWaitFor([&] { return reads("reads 16 500") >= general + 2; }, 20000);
    }

    // The last line of the operator log file.
    QString LastLogLine() const
    {
        const QList<QByteArray> lines = ReadFile(data.path() + QStringLiteral("/VelkarHubData/Log.txt")).trimmed().split('\n');
        return QString::fromLatin1(lines.last()).trimmed();
    }

    // Only to the program while it runs (a pid of 0 would signal this test's own group).
    void Signal(int number) const
    {
        const qint64 pid = process.processId();
        if (pid > 0 && process.state() == QProcess::Running)
            ::kill(pid_t(pid), number);
    }

    // The identification text writes the simulator received.
    QStringList IdentWrites() { return simulator.writeLog().filter(QRegularExpression(QStringLiteral("^16:9000:"))); }
};

} // namespace

class TestAppSignals : public QObject {
    Q_OBJECT
private slots:
    void endingSignalClosesTheWindow_data();
    void endingSignalClosesTheWindow();
    void secondSignalDuringTheCloseChangesNothing();
};

void TestAppSignals::endingSignalClosesTheWindow_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestAppSignals::endingSignalClosesTheWindow()
{
    QFETCH(int, number);
    RunningProgram program;
    QVERIFY(program.Start());
    QCOMPARE(program.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    program.Signal(number);
    QVERIFY(program.process.waitForFinished(30000));
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    // The settings were saved: every stored control, not only those written before.
    const QByteArray ini = program.ReadFile(program.IniPath());
    QVERIFY2(ini != program.iniWritten && ini.contains("Edit6.Text="), ini.constData());
    QVERIFY(ini.contains("Edit16.Text=" + QByteArray::number(program.simulator.tcpPort())));
    // The identification text was written to the hub, once.
    QCOMPARE(program.IdentWrites().size(), qsizetype(1));
    // The operator log was saved with its last line.
    QVERIFY2(program.LastLogLine().endsWith(QStringLiteral(" : Closing Package")), qPrintable(program.LastLogLine()));
}

void TestAppSignals::secondSignalDuringTheCloseChangesNothing()
{
    // The hub answers slowly, so that the close waits for the identification text's write
    // when the second signal comes: the close goes on, once, to its end.
    RunningProgram program;
    QVERIFY(program.Start());
    QVERIFY(program.simulator.delayReplies(400, {16}));
    QCOMPARE(program.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    program.Signal(SIGTERM);
    QTest::qWait(150);
    program.Signal(SIGTERM);
    program.Signal(SIGINT);
    QVERIFY(program.process.waitForFinished(30000));
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    QCOMPARE(program.IdentWrites().size(), qsizetype(1));
    QVERIFY(program.ReadFile(program.IniPath()).contains("Edit6.Text="));
    QVERIFY2(program.LastLogLine().endsWith(QStringLiteral(" : Closing Package")), qPrintable(program.LastLogLine()));
    const QByteArray errors = program.process.readAllStandardError();
    QVERIFY2(errors.contains("VelkarHub: closing already"), errors.constData());
}

QTEST_MAIN(TestAppSignals)
#include "test_app_signals.moc"
