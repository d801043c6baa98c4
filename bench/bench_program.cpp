// Benchmark of the whole program: the real VelkarHubInterface in a real X window (a
// virtual display, Xvfb), polling the simulated hub over loopback TCP. Prints the
// program's CPU time as a share of one core with the overview page shown and with a
// port page shown (the operator's Ctrl+Tab, sent with xdotool), beside a plain pymodbus
// client polling the same block table in the same run (tools/peer_poll.py).
//
//   bench_program [--seconds N] [--warmup N]     (default 30 and 5)
#include "support/HubSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// User plus system CPU time of a process, in seconds, from /proc.
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name (which may hold blanks) start behind the last ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields[11].toDouble() + fields[12].toDouble(); // utime, stime
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The share of one core a process used over the next `seconds`.
double MeasureCore(qint64 pid, int seconds)
{
    const double before = CpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(static_cast<unsigned long>(seconds));
    const double after = CpuSeconds(pid);
    return 100.0 * (after - before) / (double(wall.elapsed()) / 1000.0);
}

bool Run(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    int warmup = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--warmup") == 0)
            warmup = std::max(1, std::atoi(argv[i + 1]));
    }
    const QString source = QString::fromUtf8(VELKARHUB_SOURCE_DIR_DEFAULT);

    // A virtual display of its own; Xvfb writes the number it took to our pipe.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("1400x1000x24"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp")});
    if (!xvfb.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_program: Xvfb did not start\n");
        return 1;
    }
    const QString display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();

    HubSimulator simulator;
    if (!simulator.start())
        return 1;

    QTemporaryDir data;
    if (!WriteTcpSettingsIni(data.path(), simulator.tcpPort(), 1000))
        return 1;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/VelkarHubInterface"));
    if (!program.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_program: the program did not start\n");
        return 1;
    }
    QThread::sleep(static_cast<unsigned long>(warmup));

    // The peer polls the same table for both measurements together.
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.start(QStringLiteral("/usr/bin/python3"),
               {source + QStringLiteral("/tools/peer_poll.py"), QStringLiteral("--port"), QString::number(simulator.tcpPort()),
                QStringLiteral("--seconds"), QString::number(2 * seconds + warmup + 2)});
    peer.waitForStarted(10000);
    QThread::sleep(1);

    std::printf("Whole program against the simulated hub, %d s each, Release build expected\n", seconds);
    const double peerStart = CpuSeconds(peer.processId());
    QElapsedTimer peerWall;
    peerWall.start();
    const double overview = MeasureCore(program.processId(), seconds);
    std::printf("  overview page shown:  program %.2f %% of one core\n", overview);

    // The operator moves to the first port page with Ctrl+Tab (overview, settings, Port 1).
    // The virtual display has no window manager: the window is given the focus directly.
    const bool switched = Run(QStringLiteral("xdotool"),
                              {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                               QStringLiteral("VelkarHub Interface"), QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                               QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("200"), QStringLiteral("ctrl+Tab"),
                               QStringLiteral("ctrl+Tab")},
                              env);
    if (!switched)
        std::printf("  (xdotool could not switch the page: the port page figure is the overview's)\n");
    QThread::sleep(static_cast<unsigned long>(warmup));
    const double port = MeasureCore(program.processId(), seconds);
    const double peerCore = 100.0 * (CpuSeconds(peer.processId()) - peerStart) / (double(peerWall.elapsed()) / 1000.0);
    std::printf("  port page 1 shown:    program %.2f %% of one core\n", port);
    std::printf("  peer (pymodbus client, same block table): %.2f %% of one core\n", peerCore);
    if (peerCore > 0)
        std::printf("  ratio program / peer: overview %.1f, port page %.1f\n", overview / peerCore, port / peerCore);
    std::printf("  targets: overview below 1.0 %%, port page below 1.5 %%\n");

    program.kill();
    program.waitForFinished(5000);
    peer.waitForFinished(static_cast<int>(seconds + 10) * 1000);
    std::printf("  peer: %s\n", peer.readAllStandardOutput().trimmed().constData());
    xvfb.kill();
    xvfb.waitForFinished(5000);
    return 0;
}
