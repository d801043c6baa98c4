// bench_form: the cost of the window's hot paths on a scripted control: one 100 ms
// supervision tick, one general-data decode, one statistics decode and the 100-word
// starter decodes with their grid column, in microseconds (median and 99th percentile of
// many runs); and the repaints per second of a port page against a steady hub. Not a
// test: it asserts nothing.
//   bench_form [--runs N]   (default 20000)
#include "FormHarness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
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

// Counts the paint events of one widget and everything inside it.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *root) : root_(root) { qApp->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            (watched == root_ || root_->isAncestorOf(static_cast<QWidget *>(watched))))
            ++count;
        return false;
    }

private:
    QWidget *root_;
};

// Puts 100 words into a handle's buffer, as a result would, without decoding them.
void Load(ScriptedMbaxp &control, int16_t handle, int16_t first)
{
    for (int16_t i = 0; i < 100; ++i)
        control.Set_Register(handle, i, static_cast<int16_t>(first + i * 3));
    control.Clear();
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

    // The starter blocks of link 1: a decode whose 100 cells all change (two word sets in
    // turn) and one against a steady hub (the same words again).
    using namespace RegisterMap;
    f.Ports[0]->LinkSettings.InputDataSize->SetItemIndex(2);
    int flip = 0;
    auto changing = [&](int16_t handle) { return [&, handle] { Load(h.control, handle, static_cast<int16_t>(++flip % 2 ? 1 : 500)); }; };
    auto steadyWords = [&](int16_t handle) { return [&, handle] { Load(h.control, handle, 7); }; };
    const Figures statusChanging = Measure(runs, changing(Handle::StatusWords), [&] { f.DecodeStatusWords(0); });
    const Figures statusSteady = Measure(runs, steadyWords(Handle::StatusWords), [&] { f.DecodeStatusWords(0); });
    const Figures loadChanging = Measure(runs, changing(Handle::LoadWords), [&] { f.DecodeLoadWords(0); });
    h.control.DeliverOk(Handle::StarterTypes, std::vector<int16_t>(100, 41));
    const Figures faultChanging = Measure(runs, changing(Handle::FaultWords), [&] { f.DecodeFaultWords(0); });
    const Figures faultSteady = Measure(runs, steadyWords(Handle::FaultWords), [&] { f.DecodeFaultWords(0); });
    const Figures typesChanging = Measure(runs, changing(Handle::StarterTypes), [&] { f.DecodeStarterTypes(0); });
    const Figures commandsChanging = Measure(runs, changing(Handle::CommandWords), [&] { f.ShowCommandWords(0); });

    // Port 1's page shown; each simulated second brings the 16 blocks of 100 words of the
    // four links (status, load, fault, command), and every 2.5 s their starter types.
    f.Frame->PageControl1->SetActivePage(f.Ports[0]->Sheet);
    auto hubSecond = [&](int second, bool statusMoves) {
        for (int16_t link = 0; link < Links; ++link) {
            const std::vector<int16_t> status(100, statusMoves ? static_cast<int16_t>(0x8000 | (second & 0xFF)) : int16_t(0x8100));
            h.control.DeliverOk(static_cast<int16_t>(Handle::StatusWords + link), status);
            h.control.DeliverOk(static_cast<int16_t>(Handle::LoadWords + link), std::vector<int16_t>(100, 80));
            h.control.DeliverOk(static_cast<int16_t>(Handle::FaultWords + link), std::vector<int16_t>(100, 0x0203));
            h.control.DeliverOk(static_cast<int16_t>(Handle::CommandWords + link), std::vector<int16_t>(100, 0));
            if (second % 5 == 0 || second % 5 == 2)
                h.control.DeliverOk(static_cast<int16_t>(Handle::StarterTypes + link), std::vector<int16_t>(100, 43));
        }
        h.control.Clear();
        QApplication::processEvents();
    };
    constexpr int Seconds = 20;
    for (int second = 0; second < 3; ++second)
        hubSecond(second, false);
    // Let the page's first showing paint before counting.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    PaintCounter paints(f.Ports[0]->Sheet->Widget());
    for (int second = 0; second < Seconds; ++second)
        hubSecond(second, false);
    const int steadyPaints = paints.count;
    paints.count = 0;
    for (int second = 0; second < Seconds; ++second)
        hubSecond(second, true);
    const int movingPaints = paints.count;

    std::printf("bench_form: %d runs each, offscreen, scripted control\n", runs);
    std::printf("%-40s %10s %10s\n", "operation", "median us", "p99 us");
    std::printf("%-40s %10.2f %10.2f\n", "Timer2Timer (steady lamps and labels)", tick.median, tick.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeGeneralInfo", decodeGeneral.median, decodeGeneral.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeHubStatistics", decodeStatistics.median, decodeStatistics.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeStatusWords (100 cells change)", statusChanging.median, statusChanging.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeStatusWords (steady hub)", statusSteady.median, statusSteady.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeLoadWords (100 cells change)", loadChanging.median, loadChanging.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeFaultWords (100 cells change)", faultChanging.median, faultChanging.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeFaultWords (steady hub)", faultSteady.median, faultSteady.p99);
    std::printf("%-40s %10.2f %10.2f\n", "DecodeStarterTypes (100 cells change)", typesChanging.median, typesChanging.p99);
    std::printf("%-40s %10.2f %10.2f\n", "ShowCommandWords (100 cells change)", commandsChanging.median, commandsChanging.p99);
    std::printf("lamp repaints requested during %d steady ticks: %d\n", runs, repaintsAfter - repaintsBefore);
    std::printf("port page repaints per second, steady hub: %.1f (status words changing every second: %.1f)\n",
                double(steadyPaints) / Seconds, double(movingPaints) / Seconds);
    return 0;
}
