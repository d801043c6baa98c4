#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class ReservedPort;

// Start options, used as HubSimulator::Options. (Defined outside the class:
// a nested struct with member initialisers cannot be the default argument of
// its enclosing class's constructor.)
struct HubSimulatorOptions {
    bool tcp = true;          // serve Modbus TCP
    quint16 tcpPort = 0;      // 0: the simulator picks a free port
    QString rtuDevice;        // non-empty: also serve Modbus RTU on this device
    QStringList extraArgs;    // e.g. {"--info-v4", "4", "--time-needed"}
};

// Starts and drives tools/hubsim.py, the VelkarHub simulator, for a test.
//
// The script path comes from the environment variable VELKARHUB_HUBSIM, else it is
// tools/hubsim.py of the source tree (VELKARHUB_SOURCE_DIR, else the one built from). The
// simulator is started with --exit-on-eof, so it also ends when the test
// process dies. Its stderr goes straight to the test's stderr. Its TCP port
// (picked by the simulator unless Options::tcpPort says otherwise) stays held
// by this object from the first start until its destruction, also while the
// simulator is stopped, so that a restart gets it back.
class HubSimulator {
public:
    using Options = HubSimulatorOptions;

    explicit HubSimulator(Options options = {});
    ~HubSimulator();                       // stops the process
    HubSimulator(const HubSimulator &) = delete;
    HubSimulator &operator=(const HubSimulator &) = delete;

    // Starts /usr/bin/python3 <script> and waits for its READY line.
    bool start(int timeoutMs = 15000);
    // Kills the process and waits for it.
    void stop();
    // Starts again on the same TCP port as the last start (held in between).
    bool restart(int timeoutMs = 15000);
    bool isRunning() const;
    quint16 tcpPort() const;

    // Sends one command line and returns its one answer line ("OK ..." or
    // "ERR ..."); an empty string when no answer came in time.
    QString command(const QString &line, int timeoutMs = 5000);
    // `get`: the registers from the one-based register number `reg`; empty on error.
    QVector<quint16> get(int unit, int reg, int count = 1);
    // `set`: values may be signed or unsigned 16-bit.
    bool set(int unit, int reg, const QVector<int> &values);
    // `log`: every write received since start or `clearlog`, as "UNIT:REG:V1,V2".
    QStringList writeLog();
    // `logtimes`: the same writes, each with the time it was received on the monotonic
    // clock, the one QElapsedTimer::msecsSinceReference() reads.
    struct TimedWrite {
        double atMs = 0;
        QString entry; // "UNIT:REG:V1,V2", as writeLog() gives it
    };
    QVector<TimedWrite> timedWriteLog();
    // `silence` / `unsilence`: these units drop every request / answer again.
    bool silence(const QVector<int> &units);
    bool unsilence(const QVector<int> &units = {});
    // `delay`: the reply delay of these units (of every unit when none is given).
    bool delayReplies(int ms, const QVector<int> &units = {});

private:
    QString readLine(int timeoutMs);

    Options m_options;
    QProcess m_process;
    QByteArray m_pending;
    quint16 m_tcpPort = 0;
    std::unique_ptr<ReservedPort> m_heldPort;
};

// The window's Settings.ini that connects it over Modbus TCP (TCP/IP unit 1) to a
// simulator at 127.0.0.1:port with the time-out given.
QString TcpSettingsIni(quint16 port, int timeoutMs);
// Writes that file into <dataFolder>/VelkarHubProjects, creating the folder.
bool WriteTcpSettingsIni(const QString &dataFolder, quint16 port, int timeoutMs);
