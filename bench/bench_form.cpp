// bench_form: the cost of the window's hot paths on a scripted control: one 100 ms
// supervision tick, one general-data decode, one statistics decode and the 100-word
// starter decodes with their grid column, in microseconds (median and 99th percentile of
// many runs); and the repaints per second of a port page against a steady hub. Not a
// test: it asserts nothing.
// With --run allconfig (or all): "All Config" of port 3 with the window on the real
// control against the hub simulator, over loopback TCP and over RTU on a pseudo-terminal
// pair (where the link units answer 250 ms late, the time a 120-register write takes on a
// 9600 baud line): the span on the wire of the 100 writes (first to last as the
// simulator received them), the smallest gap between two of them, and when "Writing
// complete" showed against the last write's arrival.
//   bench_form [--runs N] [--run hot|allconfig|all] [--rtu-delay MS]
//   (defaults: 20000 runs, hot, the link units' RTU replies 250 ms late)
#include "FormHarness.h"
#include "LiveForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
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

// The monotonic clock in ms, the one the simulator's `logtimes` uses.
double MonotonicMs()
{
    QElapsedTimer now;
    now.start();
    return double(now.msecsSinceReference());
}

// "All Config" of port 3 on a live window; prints its figures. Returns false when the
// window, the simulator or the writes did not come.
bool AllConfigOnTheWire(LiveForm &live, const char *name)
{
    constexpr int Port = 3;
    constexpr int Unit = 16 + Port;
    if (!live.Settle(15000)) {
        std::fprintf(stderr, "bench_form: %s: the window did not settle\n", name);
        return false;
    }
    TForm1 &f = *live.form;
    TestUi::ClickTab(f, f.Comms->TabSheet7);
    if (!live.AllowCommands())
        return false;
    live.simulator.command(QStringLiteral("clearlog"));
    TLabel *progress = f.Ports[Port - 1]->ClearItems.Progress;
    QStringList errorTimes;
    const double clickedAt = MonotonicMs();
    auto inner = live.control.OnResultError;
    live.control.OnResultError = [&, inner](int16_t handle, int16_t error) {
        if (errorTimes.size() < 5)
            errorTimes << QStringLiteral("%1/%2 at %3").arg(handle).arg(error).arg(MonotonicMs() - clickedAt, 0, 'f', 0);
        inner(handle, error);
    };
    live.ClickAllConfig(Port);
    const double returnedAt = MonotonicMs();
    double completeAt = -1;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 180000) {
        if (completeAt < 0 && progress->Caption() == QStringLiteral("Writing complete"))
            completeAt = MonotonicMs();
        if (completeAt >= 0 && live.ConfigWindowWrites(Unit).size() >= 100)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    const QVector<HubSimulator::TimedWrite> writes = live.ConfigWindowWrites(Unit);
    if (writes.size() < 100 || completeAt < 0) {
        QStringList errors;
        for (const auto &[code, count] : live.errors)
            errors << QStringLiteral("%1 x%2").arg(code).arg(count);
        std::fprintf(stderr, "bench_form: %s: %lld writes arrived, \"Writing complete\" %s; errors: %s\n", name,
                     static_cast<long long>(writes.size()), completeAt < 0 ? "never showed" : "showed",
                     qPrintable(errors.join(QStringLiteral(", ")) + QStringLiteral("; first: ") + errorTimes.join(QStringLiteral(", "))));
        return false;
    }
    double smallestGap = 1e9;
    for (qsizetype k = 1; k < writes.size(); ++k)
        smallestGap = std::min(smallestGap, writes[k].atMs - writes[k - 1].atMs);
    std::printf("%-4s  span of the 100 writes %9.1f ms   smallest gap %7.1f ms   click handler %8.1f ms\n", name,
                writes.last().atMs - writes.first().atMs, smallestGap, returnedAt - clickedAt);
    std::printf("      \"Writing complete\" %9.1f ms after the click, %9.1f ms %s the last write arrived\n",
                completeAt - clickedAt, std::abs(completeAt - writes.last().atMs),
                completeAt >= writes.last().atMs ? "after" : "BEFORE");
    return true;
}

int RunAllConfig(int rtuDelayMs)
{
    std::printf("bench_form: \"All Config\" of port 3, window on the real control against the simulator\n");
    bool ok = true;
    {
        LiveForm live;
        ok = live.Start() && AllConfigOnTheWire(live, "tcp") && ok;
    }
    {
        LiveRtu rtu;
        // By default the time a write of 120 registers (and its reply) takes on a 9600 baud line.
        ok = rtu.Start() && rtu.live->simulator.delayReplies(rtuDelayMs, {17, 18, 19, 20}) && AllConfigOnTheWire(*rtu.live, "rtu") && ok;
    }
    return ok ? 0 : 1;
}

int RunHotPaths(int runs)
{
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

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 20000;
    QByteArray run = "hot";
    int rtuDelayMs = 250;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(100, QByteArray(argv[i + 1]).toInt());
        else if (QByteArray(argv[i]) == "--run")
            run = argv[i + 1];
        else if (QByteArray(argv[i]) == "--rtu-delay")
            rtuDelayMs = std::max(0, QByteArray(argv[i + 1]).toInt());
    }
    if (qEnvironmentVariableIsEmpty("VELKARHUB_SOURCE_DIR"))
        qputenv("VELKARHUB_SOURCE_DIR", VELKARHUB_SOURCE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("VELKARHUB_HUBSIM"))
        qputenv("VELKARHUB_HUBSIM", QByteArray(VELKARHUB_SOURCE_DIR_DEFAULT) + "/tools/hubsim.py");
    TestEnvironment::Init();
    int result = 0;
    if (run == "hot" || run == "all")
        result |= RunHotPaths(runs);
    if (run == "allconfig" || run == "all")
        result |= RunAllConfig(rtuDelayMs);
    return result;
}
