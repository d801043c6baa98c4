// soak_program: the whole window on the real communications control polling the hub
// simulator over loopback TCP for a long time, the operator's way: the overview and the
// four port pages shown in turn, an identification text applied at each round, every
// received result logged (so the operator log's memo runs at its 10,000-line cap). Prints
// at the start, at regular points and at the end: the resident memory, the length of
// every queue inside the control (reads waiting, writes waiting, events waiting) and in
// the window (the memo's lines and its document's blocks and undo steps, the fault log),
// and the results and errors counted. Not a test: it asserts nothing. Offscreen unless
// QT_QPA_PLATFORM says otherwise; a Release build gives the meaningful figures.
//   soak_program [--minutes N] [--page-seconds S]   (default 10 and 5)
#include "LiveForm.h"

#include "mainform/pages/DiagnosticsPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), -1 when missing.
long StatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

int Total(const std::map<int, int> &counts)
{
    int n = 0;
    for (const auto &[key, count] : counts)
        n += count;
    return n;
}

struct Sample {
    qint64 ms = 0;
    long rssKb = 0;
    int results = 0;
    int errors = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELKARHUB_SOURCE_DIR"))
        qputenv("VELKARHUB_SOURCE_DIR", VELKARHUB_SOURCE_DIR_DEFAULT);
    double minutes = 10;
    int pageSeconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--minutes") == 0)
            minutes = std::max(0.1, std::atof(argv[i + 1]));
        else if (std::strcmp(argv[i], "--page-seconds") == 0)
            pageSeconds = std::max(1, std::atoi(argv[i + 1]));
    }
    QApplication app(argc, argv);
    TestEnvironment::Init();

    LiveForm live;
    if (!live.Start()) {
        std::fprintf(stderr, "soak_program: the simulator or the window did not start\n");
        return 1;
    }
    TForm1 &f = *live.form;
    TMemo &memo = *f.Diagnostics->Memo4;
    f.Comms->CheckBox2->SetChecked(true); // every received result goes into the operator log

    const std::array<TTabSheet *, 5> pages{f.Overview->TabSheet8, f.Ports[0]->Sheet, f.Ports[1]->Sheet, f.Ports[2]->Sheet,
                                           f.Ports[3]->Sheet};
    std::printf("Soak: the window polling the simulated hub for %.1f min, pages shown in turn every %d s, "
                "every result logged\n",
                minutes, pageSeconds);
    std::printf("%7s %9s %9s %8s %7s %6s %6s %6s %6s %6s %6s %6s\n", "min", "RSS kB", "results", "per s", "errors", "reads",
                "writes", "events", "memo", "blocks", "undo", "faults");
    std::fflush(stdout);

    QElapsedTimer clock;
    clock.start();
    const qint64 totalMs = qint64(minutes * 60000);
    const qint64 sampleEveryMs = std::max<qint64>(10000, totalMs / 10);
    qint64 nextSample = 0;
    qint64 nextPage = 0;
    size_t page = 0;
    int round = 0;
    Sample previous;
    std::vector<Sample> samples;
    qint64 capReachedMs = -1;
    long rssAtCapKb = 0;
    int maxReads = 0, maxWrites = 0, maxEvents = 0;

    for (;;) {
        const qint64 now = clock.elapsed();
        if (now >= nextPage) {
            TestUi::ClickTab(f, pages[page]);
            if (page == 0) {
                // The operator writes an identification text at each round.
                f.Overview->Edit15->Widget()->setFocus();
                QTest::keyClick(f.Overview->Edit15->Widget(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("Soak %1").arg(++round));
                QTest::mouseClick(f.Overview->Button38->Widget(), Qt::LeftButton);
            }
            page = (page + 1) % pages.size();
            nextPage += pageSeconds * 1000;
        }
        maxReads = std::max(maxReads, live.control.WaitingReads());
        maxWrites = std::max(maxWrites, live.control.WaitingWrites());
        maxEvents = std::max(maxEvents, live.control.WaitingEvents());
        if (capReachedMs < 0 && memo.Count() >= 10000) {
            capReachedMs = now;
            rssAtCapKb = StatusKb("VmRSS");
        }
        if (now >= nextSample || now >= totalMs) {
            const Sample s{now, StatusKb("VmRSS"), Total(live.results), live.ErrorCount()};
            const double perSecond = samples.empty() ? 0 : 1000.0 * (s.results - previous.results) / double(std::max<qint64>(1, now - previous.ms));
            std::printf("%7.2f %9ld %9d %8.1f %7d %6d %6d %6d %6d %6d %6d %6lld\n", double(now) / 60000.0, s.rssKb, s.results, perSecond,
                        s.errors, live.control.WaitingReads(), live.control.WaitingWrites(), live.control.WaitingEvents(),
                        memo.Count(), memo.TextEdit()->document()->blockCount(), memo.TextEdit()->document()->availableUndoSteps(),
                        static_cast<long long>(f.FaultLog->size()));
            std::fflush(stdout);
            samples.push_back(s);
            previous = s;
            nextSample += sampleEveryMs;
            if (now >= totalMs)
                break;
        }
        QTest::qWait(50);
    }

    const Sample &first = samples.front();
    const Sample &last = samples.back();
    // The memo grows until its cap (and the memory with it); flat means from then on.
    std::printf("RSS: start %ld kB, end %ld kB, peak %ld kB\n", first.rssKb, last.rssKb, StatusKb("VmHWM"));
    if (capReachedMs >= 0)
        std::printf("RSS from the memo's cap (%.1f min, %ld kB) to the end: %+ld kB over %.1f min\n", double(capReachedMs) / 60000.0,
                    rssAtCapKb, last.rssKb - rssAtCapKb, double(last.ms - capReachedMs) / 60000.0);
    std::printf("largest queues seen (polled every 50 ms): reads %d, writes %d, events %d\n", maxReads, maxWrites, maxEvents);
    std::printf("operator log memo: %d lines, %d blocks in its document, %d undo steps%s\n", memo.Count(),
                memo.TextEdit()->document()->blockCount(), memo.TextEdit()->document()->availableUndoSteps(),
                capReachedMs >= 0 ? " (at its cap)" : " (below its cap of 10,000: run longer)");
    QString codes;
    for (const auto &[code, count] : live.errors)
        codes += QStringLiteral(" %1 x%2").arg(code).arg(count);
    std::printf("results %d, errors %d (codes:%s), identification texts applied %d, writes received by the simulator %lld\n",
                last.results, last.errors, codes.isEmpty() ? " none" : qPrintable(codes), round,
                static_cast<long long>(live.simulator.writeLog().size()));
    std::printf("Label93 (last unexpected exception): %s\n",
                f.Comms->Label93->Visible() ? qPrintable(f.Comms->Label93->Caption()) : "none");
    return 0;
}
