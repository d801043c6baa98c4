// Benchmark of the Modbus control: every register block of the window against the hub
// simulator over loopback TCP, with a write on handle 0 about every 200 ms. Prints, for
// each repeated block, the runs per second achieved against its nominal rate; the time
// from UpdateOnce of a write to its OnResultOk; and the CPU time of this process.
//
//   bench_mbaxp [--seconds N]     (default 30)
#include "comms/TMbaxp.h"
#include "support/HubSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct BlockDef {
    int16_t handle;
    int16_t unit;
    int32_t address;
    int16_t quantity;
    int32_t rate;
    bool repeated;
};

struct Stats {
    int ok = 0;
    int errors = 0;
    qint64 firstNs = -1;
    qint64 lastNs = -1;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::vector<BlockDef> windowBlocks()
{
    std::vector<BlockDef> blocks = {
        {2, 16, 499, 31, 500, true},
        {9, 16, 6999, 10, 500, true},
        {10, 16, 8999, 15, 60000, false},
        {1, 16, 99, 109, 2000, true},
    };
    for (int16_t L = 0; L < 4; ++L) {
        const int16_t unit = int16_t(17 + L);
        blocks.push_back({int16_t(17 + L), unit, 999, 9, 1000, true});
        blocks.push_back({int16_t(27 + L), unit, 1099, 12, 500, true});
        blocks.push_back({int16_t(37 + L), unit, 3799, 100, 1000, true});
        blocks.push_back({int16_t(47 + L), unit, 3899, 100, 1000, true});
        blocks.push_back({int16_t(57 + L), unit, 3999, 100, 1000, true});
        blocks.push_back({int16_t(67 + L), unit, 5999, 100, 2500, true});
        blocks.push_back({int16_t(77 + L), unit, 1999, 100, 1000, true});
    }
    return blocks;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("VELKARHUB_HUBSIM"))
        qputenv("VELKARHUB_HUBSIM", VELKARHUB_DEFAULT_HUBSIM);

    HubSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "bench_mbaxp: the hub simulator did not start\n");
        return 1;
    }

    TMbaxp m;
    m.Connection = 0;
    m.IPAddr1 = 127, m.IPAddr2 = 0, m.IPAddr3 = 0, m.IPAddr4 = 1;
    m.TCPIPPort = sim.tcpPort();
    m.Timeout = 1000;

    QElapsedTimer clock;
    clock.start();
    std::map<int16_t, Stats> stats;
    std::vector<double> writeMs;
    std::deque<qint64> writeStartNs; // writes complete in the order they were issued
    int writeErrors = 0;
    std::map<int, int> errorCodes;

    m.OnResultOk = [&](int16_t handle) {
        const qint64 now = clock.nsecsElapsed();
        if (handle == 0) {
            if (!writeStartNs.empty()) {
                writeMs.push_back(double(now - writeStartNs.front()) / 1e6);
                writeStartNs.pop_front();
            }
            return;
        }
        Stats &s = stats[handle];
        ++s.ok;
        if (s.firstNs < 0)
            s.firstNs = now;
        s.lastNs = now;
        if (handle == 2) {
            // The general-data decoder asks for the hub statistics after each result.
            m.ReadHoldingRegisters(3, 16, 599, 37, 500);
            m.UpdateOnce(3);
        }
    };
    m.OnResultError = [&](int16_t handle, int16_t error) {
        ++errorCodes[error];
        if (handle == 0) {
            ++writeErrors;
            if (!writeStartNs.empty())
                writeStartNs.pop_front();
        } else {
            ++stats[handle].errors;
        }
    };

    m.OpenConnection();
    QElapsedTimer connectWait;
    connectWait.start();
    while (!m.IsConnected() && connectWait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!m.IsConnected()) {
        std::fprintf(stderr, "bench_mbaxp: no connection to the simulator\n");
        return 1;
    }

    const std::vector<BlockDef> blocks = windowBlocks();
    for (const BlockDef &b : blocks) {
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
        m.PresetSingleRegister(0, int16_t(17 + writes % 4), 1999 + writes % 100, 1000); // 4x2000..4x2099
        m.Set_Register(0, 0, int16_t(writes));
        writeStartNs.push_back(clock.nsecsElapsed());
        m.UpdateOnce(0);
        ++writes;
    });
    writer.start();

    const double cpuStart = cpuSeconds();
    const qint64 wallStartNs = clock.nsecsElapsed();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wallS = double(clock.nsecsElapsed() - wallStartNs) / 1e9;
    const double cpuS = cpuSeconds() - cpuStart;
    writer.stop();

#if defined(__SANITIZE_ADDRESS__)
    const char *build = "with AddressSanitizer+UBSan (slower than a release build)";
#else
    const char *build = "without sanitizers";
#endif
    std::printf("bench_mbaxp: %d s, %zu blocks, loopback TCP to the hub simulator, built %s\n", seconds,
                blocks.size() + 1, build);
    std::printf("%-7s %-5s %-8s %-5s %-9s %-8s %-9s %-8s %s\n", "handle", "unit", "address", "count", "rate ms",
                "runs", "runs/s", "nominal", "deviation");
    int worstOver5 = 0;
    double worstDeviation = 0;
    auto printRow = [&](int16_t handle, int16_t unit, int32_t address, int16_t quantity, const char *rateText,
                        double nominal) {
        const Stats &s = stats[handle];
        // The achieved rate from the runs' own spacing: (runs - 1) intervals between the
        // first and last result, free of the +-1 run of counting in a window.
        const double span = double(s.lastNs - s.firstNs) / 1e9;
        const double achieved = s.ok > 1 && span > 0 ? double(s.ok - 1) / span : 0.0;
        const double deviation = nominal > 0 ? (achieved - nominal) / nominal * 100.0 : 0.0;
        if (std::abs(deviation) > 5.0)
            ++worstOver5;
        worstDeviation = std::max(worstDeviation, std::abs(deviation));
        std::printf("%-7d %-5d %-8d %-5d %-9s %-8d %-9.3f %-8.3f %+.2f %%%s\n", handle, unit, address, quantity,
                    rateText, s.ok, achieved, nominal, deviation, s.errors ? "  (errors!)" : "");
    };
    for (const BlockDef &b : blocks) {
        if (!b.repeated)
            continue;
        char rate[16];
        std::snprintf(rate, sizeof rate, "%d", b.rate);
        printRow(b.handle, b.unit, b.address, b.quantity, rate, 1000.0 / b.rate);
    }
    // Handle 3 follows handle 2: its nominal rate is handle 2's.
    printRow(3, 16, 599, 37, "after 2", 1000.0 / 500);
    std::printf("handle 10 (once): %d run(s)\n", stats[10].ok);
    std::printf("blocks outside 5 %% of their rate: %d (largest deviation %.2f %%)\n", worstOver5, worstDeviation);

    std::sort(writeMs.begin(), writeMs.end());
    if (!writeMs.empty()) {
        const double median = writeMs.size() % 2 ? writeMs[writeMs.size() / 2]
                                                 : (writeMs[writeMs.size() / 2 - 1] + writeMs[writeMs.size() / 2]) / 2;
        std::printf("writes: %zu completed of %d issued, %d failed; UpdateOnce to OnResultOk: median %.3f ms, "
                    "worst %.3f ms\n",
                    writeMs.size(), writes, writeErrors, median, writeMs.back());
    } else {
        std::printf("writes: none completed of %d issued, %d failed\n", writes, writeErrors);
    }
    int totalRuns = 0, totalErrors = 0;
    for (const auto &[handle, s] : stats) {
        totalRuns += s.ok;
        totalErrors += s.errors;
    }
    std::printf("reads: %d completed, %d failed (%.1f requests/s with the writes)\n", totalRuns, totalErrors,
                (totalRuns + totalErrors + int(writeMs.size())) / wallS);
    for (const auto &[code, n] : errorCodes)
        std::printf("  error %d: %d time(s)\n", code, n);
    std::printf("CPU time of this process: %.3f s in %.3f s = %.2f %% of one core\n", cpuS, wallS,
                cpuS / wallS * 100.0);
    m.CloseConnection();
    return 0;
}
