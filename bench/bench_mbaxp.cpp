// Benchmark of the Modbus control: every register block of the window against the hub
// simulator. Three runs, each printing, for every repeated block, the runs per second
// achieved against its nominal rate:
//   tcp     loopback Modbus TCP, every unit answering, a write on handle 0 about every
//           200 ms; also the time from UpdateOnce of a write to its OnResultOk and the CPU
//           time of this process;
//   silent  the same with link 4's unit (20) silent (its blocks fail with 18 once it is
//           set aside), measured after a warm-up in which its demotion period grows to
//           its longest; the writes go to the answering links only;
//   rtu     Modbus RTU at 9600 baud on a socat pseudo-terminal pair with units 17 to 20
//           silent, measured once all four are set aside; also the longest time between
//           two general-data results (the window's watchdog check allows 2 s).
//
//   bench_mbaxp [--seconds N] [--warmup S] [--run tcp|silent|rtu|all]
//   (defaults: 30 s measured, 30 s warm-up for "silent", all three runs)
#include "comms/TMbaxp.h"
#include "support/HubSimulator.h"
#include "support/PtyPair.h"
#include "support/WindowBlocks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

struct Stats {
    int ok = 0;
    std::map<int, int> errors;
    qint64 firstNs = -1;
    qint64 lastNs = -1;
    qint64 longestGapNs = 0;
    int errorCount() const
    {
        int n = 0;
        for (const auto &[code, count] : errors)
            n += count;
        return n;
    }
};

struct Run {
    const char *name;
    bool rtu = false;
    std::vector<int> silentUnits;
    int warmupS = 0;         // before measuring (after the silent units are set aside)
    bool writes = false;     // a write on handle 0 about every 200 ms
    std::vector<int> writeUnits;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until done() or the time is up; false when the time ran out.
template <typename Done> bool waitFor(Done done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() >= ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int runOne(const Run &run, int seconds)
{
    std::printf("\n== %s ==\n", run.name);
    PtyPair pty;
    HubSimulator::Options options;
    if (run.rtu) {
        if (!pty.start()) {
            std::fprintf(stderr, "bench_mbaxp: no pseudo-terminal pair (socat)\n");
            return 1;
        }
        options.tcp = false;
        options.rtuDevice = pty.deviceB();
    }
    if (!run.silentUnits.empty()) {
        QStringList units;
        for (int u : run.silentUnits)
            units << QString::number(u);
        options.extraArgs = {QStringLiteral("--silent"), units.join(QLatin1Char(','))};
    }
    HubSimulator sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "bench_mbaxp: the hub simulator did not start\n");
        return 1;
    }

    constexpr int ComPort = 7;
    TMbaxp m;
    if (run.rtu) {
        qputenv("VELKARHUB_COM7", pty.deviceA().toLocal8Bit());
        m.Connection = ComPort;
        m.BaudRate = 5; // 9600, as the window opens RTU
        m.Parity = 0;
        m.ProtocolMode = 0;
    } else {
        m.Connection = 0;
        m.IPAddr1 = 127, m.IPAddr2 = 0, m.IPAddr3 = 0, m.IPAddr4 = 1;
        m.TCPIPPort = sim.tcpPort();
        m.Timeout = 1000; // the window's first-start time-out
    }

    QElapsedTimer clock;
    clock.start();
    std::map<int16_t, Stats> stats;
    std::vector<double> writeMs;
    std::deque<qint64> writeStartNs; // writes complete in the order they were issued
    int writeErrors = 0;
    // Only writes issued from here on are counted (set when the measured window starts).
    qint64 windowStartNs = std::numeric_limits<qint64>::max();

    m.OnResultOk = [&](int16_t handle) {
        const qint64 now = clock.nsecsElapsed();
        if (handle == 0) {
            if (!writeStartNs.empty()) {
                if (writeStartNs.front() >= windowStartNs)
                    writeMs.push_back(double(now - writeStartNs.front()) / 1e6);
                writeStartNs.pop_front();
            }
            return;
        }
        Stats &s = stats[handle];
        ++s.ok;
        if (s.firstNs < 0)
            s.firstNs = now;
        else
            s.longestGapNs = std::max(s.longestGapNs, now - s.lastNs);
        s.lastNs = now;
        if (handle == 2) {
            // The general-data decoder asks for the hub statistics after each result.
            const WindowBlock &b = HubStatisticsBlock;
            m.ReadHoldingRegisters(b.handle, b.unit, b.address, b.quantity, b.rate);
            m.UpdateOnce(b.handle);
        }
    };
    m.OnResultError = [&](int16_t handle, int16_t error) {
        if (handle == 0) {
            if (!writeStartNs.empty()) {
                if (writeStartNs.front() >= windowStartNs)
                    ++writeErrors;
                writeStartNs.pop_front();
            }
        } else {
            ++stats[handle].errors[error];
        }
    };

    m.OpenConnection();
    if (!waitFor([&] { return m.IsConnected(); }, 5000)) {
        std::fprintf(stderr, "bench_mbaxp: no connection to the simulator\n");
        return 1;
    }
    const std::vector<WindowBlock> blocks = windowBlocks();
    for (const WindowBlock &b : blocks) {
        m.ReadHoldingRegisters(b.handle, b.unit, b.address, b.quantity, b.rate);
        if (b.repeated)
            m.UpdateEnable(b.handle);
        else
            m.UpdateOnce(b.handle);
    }

    // A write on handle 0 about every 200 ms, as an operator's commands would come.
    int writes = 0;
    QTimer writer;
    writer.setInterval(200);
    QObject::connect(&writer, &QTimer::timeout, [&] {
        const int unit = run.writeUnits[size_t(writes) % run.writeUnits.size()];
        m.PresetSingleRegister(0, int16_t(unit), 1999 + writes % 100, 1000); // 4x2000..4x2099
        m.Set_Register(0, 0, int16_t(writes));
        writeStartNs.push_back(clock.nsecsElapsed());
        m.UpdateOnce(0);
        ++writes;
    });
    if (run.writes)
        writer.start();

    const auto allSetAside = [&] {
        return std::all_of(run.silentUnits.begin(), run.silentUnits.end(),
                           [&](int u) { return m.DemotionPeriodMs(int16_t(u)) > 0; });
    };
    QElapsedTimer setAside;
    setAside.start();
    if (!waitFor(allSetAside, 120000)) {
        std::fprintf(stderr, "bench_mbaxp: the silent units were not set aside\n");
        return 1;
    }
    if (!run.silentUnits.empty())
        std::printf("silent units %s set aside after %.1f s\n", qPrintable(options.extraArgs.value(1)),
                    double(setAside.elapsed()) / 1000.0);
    if (run.warmupS > 0)
        runFor(run.warmupS * 1000);

    // The measured window.
    stats.clear();
    writes = 0;
    const double cpuStart = cpuSeconds();
    const qint64 wallStartNs = clock.nsecsElapsed();
    windowStartNs = wallStartNs;
    runFor(seconds * 1000);
    const double wallS = double(clock.nsecsElapsed() - wallStartNs) / 1e9;
    const double cpuS = cpuSeconds() - cpuStart;
    writer.stop();

#if defined(__SANITIZE_ADDRESS__)
    const char *build = "with AddressSanitizer+UBSan (slower than a release build)";
#else
    const char *build = "without sanitizers";
#endif
    std::printf("%d s measured%s, %zu blocks, built %s\n", seconds,
                run.warmupS > 0 ? qPrintable(QStringLiteral(" after %1 s of warm-up").arg(run.warmupS)) : "",
                blocks.size() + 1, build);
    std::printf("%-7s %-5s %-8s %-5s %-9s %-6s %-9s %-8s %-10s %s\n", "handle", "unit", "address", "count", "rate ms",
                "runs", "runs/s", "nominal", "deviation", "errors");
    int outside5 = 0;
    double worstDeviation = 0;
    const auto isSilent = [&](int unit) {
        return std::find(run.silentUnits.begin(), run.silentUnits.end(), unit) != run.silentUnits.end();
    };
    auto printRow = [&](const WindowBlock &b, const char *rateText, double nominal) {
        const Stats &s = stats[b.handle];
        // The achieved rate from the runs' own spacing: (runs - 1) intervals between the
        // first and last result, free of the +-1 run of counting in a window.
        const double span = double(s.lastNs - s.firstNs) / 1e9;
        const double achieved = s.ok > 1 && span > 0 ? double(s.ok - 1) / span : 0.0;
        const double deviation = nominal > 0 ? (achieved - nominal) / nominal * 100.0 : 0.0;
        std::string errors;
        for (const auto &[code, n] : s.errors)
            errors += std::to_string(n) + "x" + std::to_string(code) + " ";
        if (isSilent(b.unit)) {
            std::printf("%-7d %-5d %-8d %-5d %-9s %-6d %-9s %-8.3f %-10s %s(silent unit)\n", b.handle, b.unit,
                        b.address, b.quantity, rateText, s.ok, "-", nominal, "-", errors.c_str());
            return;
        }
        if (std::abs(deviation) > 5.0)
            ++outside5;
        worstDeviation = std::max(worstDeviation, std::abs(deviation));
        std::printf("%-7d %-5d %-8d %-5d %-9s %-6d %-9.3f %-8.3f %+7.2f %%  %s\n", b.handle, b.unit, b.address,
                    b.quantity, rateText, s.ok, achieved, nominal, deviation, errors.c_str());
    };
    for (const WindowBlock &b : blocks) {
        if (!b.repeated)
            continue;
        char rate[16];
        std::snprintf(rate, sizeof rate, "%d", b.rate);
        printRow(b, rate, 1000.0 / b.rate);
    }
    // Handle 3 follows handle 2: its nominal rate is handle 2's.
    printRow(HubStatisticsBlock, "after 2", 1000.0 / 500);
    std::printf("blocks of answering units outside 5 %% of their rate: %d (largest deviation %.2f %%)\n", outside5,
                worstDeviation);
    std::printf("general data (handle 2): longest time between two results %.0f ms\n",
                double(stats[2].longestGapNs) / 1e6);

    if (run.writes) {
        std::sort(writeMs.begin(), writeMs.end());
        if (!writeMs.empty()) {
            const size_t n = writeMs.size();
            const double median = n % 2 ? writeMs[n / 2] : (writeMs[n / 2 - 1] + writeMs[n / 2]) / 2;
            std::printf("writes: %zu completed of %d issued, %d failed; UpdateOnce to OnResultOk: median %.3f ms, "
                        "worst %.3f ms\n",
                        n, writes, writeErrors, median, writeMs.back());
        } else {
            std::printf("writes: none completed of %d issued, %d failed\n", writes, writeErrors);
        }
    }
    int totalRuns = 0, totalErrors = 0;
    for (const auto &[handle, s] : stats) {
        totalRuns += s.ok;
        totalErrors += s.errorCount();
    }
    std::printf("reads: %d completed, %d failed (%.1f requests/s with the writes)\n", totalRuns, totalErrors,
                (totalRuns + totalErrors + int(writeMs.size())) / wallS);
    std::printf("CPU time of this process: %.3f s in %.3f s = %.2f %% of one core\n", cpuS, wallS,
                cpuS / wallS * 100.0);
    m.CloseConnection();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    int warmup = 30;
    std::string which = "all";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--warmup") == 0 && i + 1 < argc) {
            warmup = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--run") == 0 && i + 1 < argc) {
            which = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--warmup S] [--run tcp|silent|rtu|all]\n", argv[0]);
            return 2;
        }
    }

    const Run runs[] = {
        {"tcp: loopback Modbus TCP, every unit answering", false, {}, 0, true, {17, 18, 19, 20}},
        {"silent: loopback Modbus TCP, unit 20 (link 4) silent", false, {20}, warmup, true, {17, 18, 19}},
        {"rtu: Modbus RTU at 9600 baud on a pseudo-terminal, units 17 to 20 silent", true, {17, 18, 19, 20}, 0,
         false, {}},
    };
    bool any = false;
    for (const Run &run : runs) {
        if (which != "all" && std::strncmp(run.name, which.c_str(), which.size()) != 0)
            continue;
        any = true;
        if (const int rc = runOne(run, seconds))
            return rc;
    }
    if (!any) {
        std::fprintf(stderr, "bench_mbaxp: no run named %s\n", which.c_str());
        return 2;
    }
    return 0;
}
