// Benchmark of the Modbus control: every register block of the window against the hub
// simulator. Four runs, each printing, for every repeated block, the runs per second
// achieved against its nominal rate, its mean period as a multiple of the nominal one and
// the longest time between two of its results:
//   tcp     loopback Modbus TCP, every unit answering, a write on handle 0 about every
//           200 ms; also the time from UpdateOnce of a write to its OnResultOk and the CPU
//           time of this process;
//   silent  the same with link 4's unit (20) silent (its blocks fail with 18 once it is
//           set aside); the writes go to the answering links only;
//   rtu     Modbus RTU at 9600 baud on a socat pseudo-terminal pair with units 17 to 20
//           silent, as on a site where no link is wired;
//   links   loopback Modbus TCP (Timeout 1000 ms) with units 17 to 20 silent.
// Runs with silent units are measured once every silent unit is set aside and its
// demotion period has grown to its longest (then --warmup S more); they also print the
// general data's (handle 2) and the statistics' (handle 3) longest gaps, which the
// window's watchdog check allows 2 s, and afterwards let the silent units answer again
// one at a time, printing how long each took to be found.
//
//   bench_mbaxp [--seconds N] [--warmup S] [--run tcp|silent|rtu|links|all]
//   (defaults: 30 s measured, no extra warm-up, all four runs)
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
    int gapsOverTwoPeriods = 0; // results more than two nominal periods after the one before
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
    int warmupS = 0;         // before measuring, once the silent units' periods are at their longest
    bool writes = false;     // a write on handle 0 about every 200 ms
    std::vector<int> writeUnits;
    int timeoutMs = 1000;    // TCP
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
        m.Timeout = int16_t(run.timeoutMs);
    }

    QElapsedTimer clock;
    clock.start();
    std::map<int16_t, Stats> stats;
    std::map<int16_t, int32_t> rateOf; // nominal period of each block, ms
    std::map<int16_t, int16_t> unitOf;
    for (const WindowBlock &b : windowBlocks()) {
        rateOf[b.handle] = b.rate;
        unitOf[b.handle] = b.unit;
    }
    rateOf[HubStatisticsBlock.handle] = 500; // read after each general-data result
    unitOf[HubStatisticsBlock.handle] = HubStatisticsBlock.unit;
    std::map<int, qint64> foundNs; // silent units that answer again: their first result
    // A set-aside unit is sent only its probes, and each one it does not answer ends in a
    // time-out: when they ended, by unit, from the measured window on.
    std::map<int, std::vector<qint64>> probeEndsNs;
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
        if (s.firstNs < 0) {
            s.firstNs = now;
        } else {
            s.longestGapNs = std::max(s.longestGapNs, now - s.lastNs);
            if (now - s.lastNs > 2 * qint64(rateOf[handle]) * 1000000)
                ++s.gapsOverTwoPeriods;
        }
        s.lastNs = now;
        if (!foundNs.count(unitOf[handle]))
            foundNs[unitOf[handle]] = now;
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
            if (error == 12 && clock.nsecsElapsed() >= windowStartNs)
                probeEndsNs[unitOf[handle]].push_back(clock.nsecsElapsed());
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

    const auto allAtLeast = [&](int periodMs) {
        return [&run, &m, periodMs] {
            return std::all_of(run.silentUnits.begin(), run.silentUnits.end(),
                               [&](int u) { return m.DemotionPeriodMs(int16_t(u)) >= periodMs; });
        };
    };
    QElapsedTimer setAside;
    setAside.start();
    if (!waitFor(allAtLeast(1), 120000)) {
        std::fprintf(stderr, "bench_mbaxp: the silent units were not set aside\n");
        return 1;
    }
    if (!run.silentUnits.empty()) {
        std::printf("silent units %s set aside after %.1f s\n", qPrintable(options.extraArgs.value(1)),
                    double(setAside.elapsed()) / 1000.0);
        if (!waitFor(allAtLeast(TMbaxp::DemotionMaxMs), 600000)) {
            std::fprintf(stderr, "bench_mbaxp: the demotion periods did not reach their longest\n");
            return 1;
        }
        std::printf("their demotion periods at the longest (%d ms) after %.1f s\n", TMbaxp::DemotionMaxMs,
                    double(setAside.elapsed()) / 1000.0);
    }
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
    std::printf("%-7s %-5s %-8s %-5s %-9s %-6s %-9s %-8s %-10s %-8s %-8s %s\n", "handle", "unit", "address", "count",
                "rate ms", "runs", "runs/s", "nominal", "deviation", "period", "max gap", "errors");
    int outside5 = 0;
    double worstDeviation = 0;
    double worstHubPeriod = 0;
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
            std::printf("%-7d %-5d %-8d %-5d %-9s %-6d %-9s %-8.3f %-10s %-8s %-8s %s(silent unit)\n", b.handle,
                        b.unit, b.address, b.quantity, rateText, s.ok, "-", nominal, "-", "-", "-", errors.c_str());
            return;
        }
        if (std::abs(deviation) > 5.0)
            ++outside5;
        worstDeviation = std::max(worstDeviation, std::abs(deviation));
        // The mean period as a multiple of the nominal one.
        const double period = achieved > 0 ? nominal / achieved : 0.0;
        if (b.unit == 16)
            worstHubPeriod = std::max(worstHubPeriod, period);
        std::printf("%-7d %-5d %-8d %-5d %-9s %-6d %-9.3f %-8.3f %+7.2f %%  x%-7.3f %-8.0f %s\n", b.handle, b.unit,
                    b.address, b.quantity, rateText, s.ok, achieved, nominal, deviation, period,
                    double(s.longestGapNs) / 1e6, errors.c_str());
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
    std::printf("blocks of unit 16: longest mean period x%.3f of nominal\n", worstHubPeriod);
    std::printf("general data (handle 2): longest time between two results %.0f ms, %d gaps over 1000 ms\n",
                double(stats[2].longestGapNs) / 1e6, stats[2].gapsOverTwoPeriods);
    std::printf("statistics (handle 3): longest time between two results %.0f ms (the watchdog allows 2000)\n",
                double(stats[HubStatisticsBlock.handle].longestGapNs) / 1e6);

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

    if (!run.silentUnits.empty()) {
        int probes = 0;
        qint64 longestNs = 0, shortestNs = std::numeric_limits<qint64>::max();
        std::vector<qint64> all;
        for (const auto &[unit, ends] : probeEndsNs) {
            probes += int(ends.size());
            all.insert(all.end(), ends.begin(), ends.end());
            for (size_t k = 1; k < ends.size(); ++k)
                longestNs = std::max(longestNs, ends[k] - ends[k - 1]);
        }
        std::sort(all.begin(), all.end());
        for (size_t k = 1; k < all.size(); ++k)
            shortestNs = std::min(shortestNs, all[k] - all[k - 1]);
        std::printf("probes of the silent units: %d (%.1f a minute); longest time between two probes of one unit "
                    "%.1f s, shortest between two probes %.1f s\n",
                    probes, probes * 60.0 / wallS, double(longestNs) / 1e9,
                    all.size() > 1 ? double(shortestNs) / 1e9 : 0.0);
    }

    // The silent units answer again, one at a time: how long until each is found (its
    // first result), the others staying silent meanwhile.
    double longestFoundS = 0;
    for (const int unit : run.silentUnits) {
        foundNs.erase(unit);
        const qint64 backNs = clock.nsecsElapsed();
        if (!sim.unsilence({unit})) {
            std::fprintf(stderr, "bench_mbaxp: the simulator did not let unit %d answer again\n", unit);
            return 1;
        }
        if (!waitFor([&] { return foundNs.count(unit) > 0; }, 120000)) {
            std::printf("unit %d answers again: not found within 120 s\n", unit);
            continue;
        }
        const double foundS = double(foundNs[unit] - backNs) / 1e9;
        longestFoundS = std::max(longestFoundS, foundS);
        std::printf("unit %d answers again: found after %.1f s\n", unit, foundS);
    }
    if (!run.silentUnits.empty())
        std::printf("units that answer again: the longest took %.1f s to be found\n", longestFoundS);
    m.CloseConnection();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    int warmup = 0;
    std::string which = "all";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--warmup") == 0 && i + 1 < argc) {
            warmup = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--run") == 0 && i + 1 < argc) {
            which = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--warmup S] [--run tcp|silent|rtu|links|all]\n", argv[0]);
            return 2;
        }
    }

    const Run runs[] = {
        {"tcp: loopback Modbus TCP, every unit answering", false, {}, 0, true, {17, 18, 19, 20}},
        {"silent: loopback Modbus TCP, unit 20 (link 4) silent", false, {20}, warmup, true, {17, 18, 19}},
        {"rtu: Modbus RTU at 9600 baud on a pseudo-terminal, units 17 to 20 silent", true, {17, 18, 19, 20},
         warmup, false, {}},
        {"links: loopback Modbus TCP, Timeout 1000 ms, units 17 to 20 silent", false, {17, 18, 19, 20}, warmup,
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
