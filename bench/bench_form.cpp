// bench_form: the cost of the window's hot paths on a scripted control: one 100 ms
// supervision tick, one general-data decode and one statistics decode, in microseconds
// (median and 99th percentile of many runs). Not a test: it asserts nothing.
//   bench_form [--runs N]   (default 20000)
#include "FormHarness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
struct Figures {
    double median, p99;
};

Figures Measure(int runs, const std::function<void()> &prepare, const std::function<void()> &work)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        prepare();
        timer.start();
        work();
        us.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 20000;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(100, QByteArray(argv[i + 1]).toInt());
    if (qEnvironmentVariableIsEmpty("VELKARHUB_SOURCE_DIR"))
        qputenv("VELKARHUB_SOURCE_DIR", VELKARHUB_SOURCE_DIR_DEFAULT);
    TestEnvironment::Init();
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->Timer2->SetEnabled(false);

    // A hub with steady green lamps, healthy communications and a moving watchdog.
    std::vector<int16_t> general(31, 0);
    general[0] = 4; general[1] = 60; general[2] = 2; general[3] = 6;
    general[4] = int16_t(0xBEEF); general[5] = 0x1234; general[8] = 0x1A00; general[12] = 0x000F;
    for (size_t k = 25; k <= 30; ++k)
        general[k] = 0x0001;
    h.control.DeliverOk(2, general);
    std::vector<int16_t> statistics(37, 7);
    h.control.DeliverOk(3, statistics);

    int16_t watchdog = 0;
    auto steady = [&] {
        h.clock.Advance(100);
        f.LastCommsRec = h.clock.now.addMSecs(-100);
        f.Stats_WDCount = ++watchdog;
    };
    for (int i = 0; i < 3; ++i) {
        steady();
        f.Timer2Timer(f.Frame->Timer2);
    }
    const std::array<TILLed *, 6> lamps{f.Overview->ILLed2, f.Overview->LinkLamps[0], f.Overview->LinkLamps[1], f.Overview->LinkLamps[2], f.Overview->LinkLamps[3], f.Overview->Net_LED};
    int repaintsBefore = 0;
    for (TILLed *lamp : lamps)
        repaintsBefore += lamp->RepaintRequests();

    const Figures tick = Measure(runs, steady, [&] { f.Timer2Timer(f.Frame->Timer2); });
    int repaintsAfter = 0;
    for (TILLed *lamp : lamps)
        repaintsAfter += lamp->RepaintRequests();

    const Figures decodeGeneral = Measure(runs, [&] { h.control.Clear(); }, [&] { f.DecodeGeneralInfo(); });
    const Figures decodeStatistics = Measure(runs, [&] { h.control.Clear(); }, [&] { f.DecodeHubStatistics(); });

    std::printf("bench_form: %d runs each, offscreen, scripted control\n", runs);
    std::printf("%-40s %10s %10s\n", "operation", "median us", "p99 us");
    std::printf("%-40s %10.2f %10.2f\n", "Timer2Timer (steady lamps and labels)", tick.median, tick.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeGeneralInfo", decodeGeneral.median, decodeGeneral.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeHubStatistics", decodeStatistics.median, decodeStatistics.p99);
    std::printf("lamp repaints requested during %d steady ticks: %d\n", runs, repaintsAfter - repaintsBefore);
    return 0;
}
