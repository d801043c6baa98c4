// The window with the real communications control against the hub simulator under
// faults: the hub unreachable for a while, the RTU device unplugged and plugged in again,
// malformed replies, units that stop answering, a burst of operator writes and a data
// folder that cannot be written. Each prints what it measured (error counts, recovery
// times) beside what it asserts.
#include "LiveForm.h"
#include "support/PtyPair.h"
#include "utilities/TextFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>

#include <optional>
#include <set>

namespace {

// The COM port of a first start without settings.
constexpr int DefaultComPort = 3;

// Every repeated block of the table, by handle.
std::set<int> RepeatedHandles()
{
    std::set<int> handles{1, 2, 9};
    for (int first : {17, 27, 37, 47, 57, 67, 77})
        for (int l = 0; l < 4; ++l)
            handles.insert(first + l);
    return handles;
}

// The unit a handle's block reads: 16 for the hub's, 17 to 20 for a link's.
int UnitOf(int handle) { return handle < 17 ? 16 : 17 + (handle - 17) % 10; }

// Whether every one of the handles has completed since `since`.
bool AllRanSince(const LiveForm &live, const std::map<int, int> &since, const std::set<int> &handles)
{
    return std::all_of(handles.begin(), handles.end(), [&](int h) {
        const auto now = live.results.find(h);
        const auto before = since.find(h);
        return now != live.results.end() && now->second > (before == since.end() ? 0 : before->second);
    });
}

int Total(const std::map<int, int> &counts)
{
    int n = 0;
    for (const auto &[key, count] : counts)
        n += count;
    return n;
}

// What was counted from `before` to `after`, key by key (keys with no change left out).
std::map<int, int> Since(const std::map<int, int> &before, const std::map<int, int> &after)
{
    std::map<int, int> change;
    for (const auto &[key, count] : after) {
        const auto old = before.find(key);
        const int d = count - (old == before.end() ? 0 : old->second);
        if (d != 0)
            change[key] = d;
    }
    return change;
}

QString Codes(const std::map<int, int> &errors)
{
    QStringList parts;
    for (const auto &[code, count] : errors)
        parts << QStringLiteral("%1 x%2").arg(code).arg(count);
    return parts.join(QStringLiteral(", "));
}

// Results per second of each handle over a measured period.
std::map<int, double> Rates(const std::map<int, int> &before, const std::map<int, int> &after, qint64 ms)
{
    std::map<int, double> rates;
    for (const auto &[handle, count] : Since(before, after))
        rates[handle] = 1000.0 * count / double(ms);
    return rates;
}

// How polling came back after an outage, in ms from the moment the hub was back: its
// first result, and a result of every repeated block; -1 when it did not within timeoutMs.
struct Recovery {
    qint64 firstResultMs = -1;
    qint64 allBlocksMs = -1;
};

Recovery AwaitRecovery(LiveForm &live, int timeoutMs)
{
    Recovery r;
    QElapsedTimer back;
    back.start();
    const std::map<int, int> atReturn = live.results;
    if (QTest::qWaitFor([&] { return Total(live.results) > Total(atReturn); }, timeoutMs))
        r.firstResultMs = back.elapsed();
    if (QTest::qWaitFor([&] { return AllRanSince(live, atReturn, RepeatedHandles()); }, timeoutMs))
        r.allBlocksMs = back.elapsed();
    return r;
}

// Whether the errors of an outage are all of the connection's kind (or time-outs, when the
// line went away under a request).
bool ConnectionErrorsOnly(const std::map<int, int> &errors, bool timeouts)
{
    return std::all_of(errors.begin(), errors.end(), [timeouts](const auto &e) {
        return e.first == MbaxpError::ConnectionRefused || e.first == MbaxpError::ConnectionLost ||
               e.first == MbaxpError::NotConnected || (timeouts && e.first == MbaxpError::Timeout);
    });
}

// At most one failure per block (the repeated ones and the two read once) and connect
// attempt; the attempts come 250 ms after the loss, then 0.5, 1 and 2 s apart: fewer
// than six in 4 s.
int OutageErrorBound() { return (int(RepeatedHandles().size()) + 2) * 6; }

} // namespace

class TestFormFaultsE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void hubUnreachableFor4sAndBack();
    void rtuDeviceUnpluggedAndBack();
    void malformedReplies_data();
    void malformedReplies();
    void someUnitsSilent();
    void burstOfOperatorWrites();
    void unwritableDataFolder();
    void repliesFromAnotherUnit();
};

void TestFormFaultsE2e::hubUnreachableFor4sAndBack()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 15000);

    const std::map<int, int> errorsBefore = live.errors;
    live.simulator.stop();
    QTest::qWait(4000);
    const std::map<int, int> outage = Since(errorsBefore, live.errors);
    QVERIFY(!f.Frame->ILLed1->Value());
    QVERIFY(!live.control.IsConnected());

    QVERIFY(live.simulator.restart());
    const Recovery back = AwaitRecovery(live, 10000);
    qInfo("hub away 4 s: %d error events (%s); first result %lld ms after it was back, every block %lld ms",
          Total(outage), qPrintable(Codes(outage)), static_cast<long long>(back.firstResultMs), static_cast<long long>(back.allBlocksMs));

    // The control tries again at most 2 s after its last attempt: polling resumes within
    // that (plus the first request's time, with a margin for a loaded machine).
    QVERIFY(back.allBlocksMs >= 0);
    QVERIFY2(back.firstResultMs <= 2000 + 1000, qPrintable(QString::number(back.firstResultMs)));
    // Only connection errors, and no storm.
    QVERIFY2(ConnectionErrorsOnly(outage, false), qPrintable(Codes(outage)));
    QVERIFY2(Total(outage) <= OutageErrorBound(), qPrintable(Codes(outage)));
    QTRY_VERIFY_WITH_TIMEOUT(f.Frame->ILLed1->Value(), 3000);
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormFaultsE2e::rtuDeviceUnpluggedAndBack()
{
    LiveRtu rtu;
    QVERIFY(rtu.Start());
    LiveForm &live = *rtu.live;
    TForm1 &f = *live.form;
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 20000);

    const std::map<int, int> errorsBefore = live.errors;
    rtu.pty.unplug();
    QVERIFY(!QFileInfo::exists(rtu.pty.deviceA()));
    QTest::qWait(4000);
    const std::map<int, int> outage = Since(errorsBefore, live.errors);
    QVERIFY(!live.control.IsConnected());
    QVERIFY2(f.Comms->Label4->Caption().startsWith(QStringLiteral("13 : ")) || f.Comms->Label4->Caption().startsWith(QStringLiteral("14 : ")),
             qPrintable(f.Comms->Label4->Caption()));
    // The last second of the outage is as quiet as the reconnect delays make it.
    const std::map<int, int> lastSecondBefore = live.errors;
    QTest::qWait(1000);
    const int lastSecond = Total(Since(lastSecondBefore, live.errors));

    QVERIFY(rtu.pty.replug());
    const Recovery back = AwaitRecovery(live, 15000);
    qInfo("RTU device away 5 s: %d error events in the first 4 s (%s), %d in the 5th; first result %lld ms after it was back, every block %lld ms",
          Total(outage), qPrintable(Codes(outage)), lastSecond, static_cast<long long>(back.firstResultMs),
          static_cast<long long>(back.allBlocksMs));

    QVERIFY(back.allBlocksMs >= 0);
    QVERIFY2(ConnectionErrorsOnly(outage, true), qPrintable(Codes(outage)));
    QVERIFY2(Total(outage) <= OutageErrorBound(), qPrintable(Codes(outage)));
    QVERIFY2(lastSecond <= OutageErrorBound() / 6, qPrintable(QString::number(lastSecond)));
    QTRY_VERIFY_WITH_TIMEOUT(f.Frame->ILLed1->Value(), 3000);
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormFaultsE2e::malformedReplies_data()
{
    QTest::addColumn<bool>("overRtu");
    QTest::addColumn<int>("code"); // the control's code for such a reply
    QTest::newRow("TCP: short reads, wrong echoes") << false << int(MbaxpError::InvalidReply);
    QTest::newRow("RTU: bad CRC") << true << int(MbaxpError::CrcOrFraming);
}

void TestFormFaultsE2e::malformedReplies()
{
    QFETCH(bool, overRtu);
    QFETCH(int, code);
    LiveForm tcp;
    LiveRtu rtu;
    if (overRtu)
        QVERIFY(rtu.Start());
    else
        QVERIFY(tcp.Start());
    LiveForm &live = overRtu ? *rtu.live : tcp;
    TForm1 &f = *live.form;
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 20000);

    const std::map<int, int> resultsBefore = live.results;
    const std::map<int, int> errorsBefore = live.errors;
    QCOMPARE(live.simulator.command(QStringLiteral("corrupt 7")), QStringLiteral("OK 7 0"));
    QElapsedTimer phase;
    phase.start();
    // Polling goes on: every block runs, the malformed replies among them.
    QTRY_VERIFY_WITH_TIMEOUT(AllRanSince(live, resultsBefore, RepeatedHandles()) && phase.elapsed() >= 8000, 60000);
    const QStringList answer = live.simulator.command(QStringLiteral("corrupt 0")).split(QLatin1Char(' '));
    QCOMPARE(answer.value(0), QStringLiteral("OK"));
    const int malformed = answer.value(2).toInt();
    const int results = Total(Since(resultsBefore, live.results));
    // The last malformed reply may still be on its way (over RTU it waits for the time-out).
    QTest::qWait(overRtu ? 2500 : 1000);
    const std::map<int, int> errors = Since(errorsBefore, live.errors);
    qInfo("%lld ms with every 7th reply malformed: %d malformed replies, %d error events (%s), %d results",
          static_cast<long long>(phase.elapsed()), malformed, Total(errors), qPrintable(Codes(errors)), results);

    QVERIFY(malformed >= 3);
    // Each malformed reply is one error event with the malformed-reply code, and no other
    // error came.
    QCOMPARE(Codes(errors), QStringLiteral("%1 x%2").arg(code).arg(malformed));
    QVERIFY2(f.Comms->Label4->Caption().startsWith(QString::number(code) + QStringLiteral(" : ")), qPrintable(f.Comms->Label4->Caption()));
    // Six good replies for each malformed one.
    QVERIFY2(results >= 6 * (malformed - 1), qPrintable(QString::number(results)));
    // Nothing escaped to the exception handling; the lamp is on with the next result.
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
    QTRY_VERIFY_WITH_TIMEOUT(f.Frame->ILLed1->Value(), 3000);
}

void TestFormFaultsE2e::someUnitsSilent()
{
    LiveForm live;
    QVERIFY(live.Start());
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 15000);
    QTest::qWait(1000);

    constexpr int MeasureMs = 8000;
    std::map<int, int> before = live.results;
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(MeasureMs);
    const std::map<int, double> baseline = Rates(before, live.results, timer.elapsed());

    // Links 2 and 4 stop answering; once they are set aside the others run as before.
    const std::set<int> silent{18, 20};
    QCOMPARE(live.simulator.command(QStringLiteral("silence 18 20")), QStringLiteral("OK 18 20"));
    QTRY_VERIFY_WITH_TIMEOUT(live.control.DemotionPeriodMs(18) > 0 && live.control.DemotionPeriodMs(20) > 0, 15000);
    QTest::qWait(1000);
    const std::map<int, int> errorsBefore = live.errors;
    before = live.results;
    timer.restart();
    QTest::qWait(MeasureMs);
    const std::map<int, double> during = Rates(before, live.results, timer.elapsed());
    const std::map<int, int> errors = Since(errorsBefore, live.errors);

    // The rates are printed (bench_mbaxp measures them steadily); what is asserted is that
    // the answering units' blocks are still read while the others are silent.
    QString figures;
    double worst = 10;
    for (int handle : RepeatedHandles()) {
        const double b = baseline.count(handle) ? baseline.at(handle) : 0;
        const double d = during.count(handle) ? during.at(handle) : 0;
        if (silent.count(UnitOf(handle))) {
            QVERIFY2(d == 0, qPrintable(QStringLiteral("handle %1 of a silent unit had results").arg(handle)));
            continue;
        }
        QVERIFY2(b > 0, qPrintable(QStringLiteral("handle %1 had no results").arg(handle)));
        QVERIFY2(d > 0, qPrintable(QStringLiteral("handle %1 of an answering unit had no results while others were silent").arg(handle)));
        figures += QStringLiteral(" %1:%2/%3").arg(handle).arg(b, 0, 'f', 2).arg(d, 0, 'f', 2);
        worst = std::min(worst, d / b);
    }
    qInfo("results/s before/with units 18 and 20 silent:%s", qPrintable(figures));
    qInfo("worst ratio %.2f; errors while silent: %s", worst, qPrintable(Codes(errors)));
    // The silent units' blocks fail with time-outs and "no reply".
    for (const auto &[code, count] : errors)
        QVERIFY2(code == MbaxpError::Timeout || code == MbaxpError::NoReply, qPrintable(Codes(errors)));

    // They answer again: a probe brings each back within its demotion period.
    QCOMPARE(live.simulator.command(QStringLiteral("unsilence")), QStringLiteral("OK"));
    before = live.results;
    QTRY_VERIFY_WITH_TIMEOUT(AllRanSince(live, before, {18, 20, 38, 40}), 30000);
}

void TestFormFaultsE2e::burstOfOperatorWrites()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    const HubSettingsPage &s = *f.HubSettings;
    TestUi::ClickTab(f, s.TabSheet1);
    QTRY_COMPARE_WITH_TIMEOUT(s.EthernetTimeoutAction->ItemIndex(), 0, 15000);
    // The page's first settings result writes the values it shows back (they are the
    // hub's); those writes have gone once the next result is in.
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));

    // 50 operator writes as fast as the operator's events come: the controlling-device
    // time-out action (one register) and the hub's clock from the PC (six), in turn.
    QStringList expected;
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 25; ++i) {
        const int item = (i + 1) % 4;
        auto *button = f.Window()->findChild<QRadioButton *>(QStringLiteral("EthernetTimeoutAction_item%1").arg(item));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        QCOMPARE(s.EthernetTimeoutAction->ItemIndex(), item);
        expected << QStringLiteral("16:112:%1").arg(item);
        TestUi::Click(s.Btn_UpdateTime);
        expected << QStringLiteral("16:100:");
    }

    const qint64 clicksMs = burst.elapsed();
    QStringList log;
    QTRY_VERIFY_WITH_TIMEOUT((log = live.simulator.writeLog()).size() >= 50, 20000);
    qInfo("50 operator writes clicked in %lld ms, all received by %lld ms", static_cast<long long>(clicksMs),
          static_cast<long long>(burst.elapsed()));
    // Nothing else is written meanwhile, by the results coming back either.
    QTest::qWait(3000);
    log = live.simulator.writeLog();
    QVERIFY2(log.size() == 50, qPrintable(log.join(QLatin1Char(' '))));
    static const QRegularExpression clock(QStringLiteral("^16:100:\\d+,\\d+,\\d+,\\d+,\\d+,\\d+$"));
    for (int i = 0; i < 50; ++i) {
        if (i % 2 == 0)
            QCOMPARE(log[i], expected[i]);
        else
            QVERIFY2(clock.match(log[i]).hasMatch(), qPrintable(log[i]));
    }
    QCOMPARE(live.simulator.get(16, 112), QVector<quint16>{quint16(25 % 4)});
    QCOMPARE(live.ErrorCount(), 0);
    QVERIFY(!f.Comms->Label93->Visible());
}

// The data folder is a regular file: no settings, no logs can be read or written. The
// window starts as on a first start (Modbus RTU on COM port 3, here the simulator), polls,
// decodes and writes; each failure is reported once; the memo and the fault log keep
// everything, and once the folder is there again the next saves write it all.
void TestFormFaultsE2e::unwritableDataFolder()
{
    const QString data = TestEnvironment::DataFolder();
    QVERIFY(QDir(data).removeRecursively());
    QFile blocker(data);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto restore = qScopeGuard([data] {
        QFile::remove(data);
        QDir().mkpath(data);
    });

    LiveRtu rtu;
    QVERIFY(rtu.Start(QString(), DefaultComPort));
    LiveForm &live = *rtu.live;
    TForm1 &f = *live.form;
    const auto logSaveReports = [&f] { return f.FaultLog->filter(QStringLiteral(" - Exception: EInOutError : Cannot create folder")).size(); };
    // Polls and decodes.
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 20000);
    QCOMPARE(f.Overview->Label8->Caption(), QStringLiteral("4:60:2:6"));
    QCOMPARE(logSaveReports(), 1);
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Exception in App Events"));

    // Every result logged: hundreds of lines, each of which tries the save again.
    f.Comms->CheckBox2->SetChecked(true);
    const std::map<int, int> before = live.results;
    const int memoBefore = f.Diagnostics->Memo4->Count();
    QTest::qWait(5000);
    // Writes.
    TestUi::ClickTab(f, f.HubSettings->TabSheet1);
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    TestUi::Click(f.HubSettings->Btn_UpdateTime);
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.writeLog().size(), 1, 5000);
    // A failure of another kind is reported as well: a character no register holds.
    TestUi::ClickTab(f, f.Overview->TabSheet8);
    QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("x"));
    f.Overview->Edit15->SetText(QStringLiteral("OK") + QChar(0x8000));
    QTest::mouseClick(f.Overview->Button38->Widget(), Qt::LeftButton);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ERangeError : ")), qPrintable(f.Comms->Label93->Caption()));
    f.Comms->CheckBox2->SetChecked(false);
    const int logged = Total(Since(before, live.results));
    const QStringList memo = f.Diagnostics->Memo4->Lines();
    qInfo("%d result lines logged into an unwritable folder; the fault log holds %lld entries",
          logged, static_cast<long long>(f.FaultLog->size()));

    // Each failure once: the operator-log save, the other failure.
    QVERIFY(logged > 100);
    QCOMPARE(logSaveReports(), 1);
    QCOMPARE(f.FaultLog->size(), 2);
    // The memo kept every line.
    QVERIFY(memo.size() - memoBefore >= logged);
    QCOMPARE(TestEnvironment::LogTexts(f).filter(QRegularExpression(QStringLiteral("^Rec Message \\(\\d+\\)$"))).size(), logged);

    // The folder is back: the next line writes the whole memo, and the fault log with it.
    QFile::remove(data);
    QVERIFY(QDir().mkpath(data));
    f.LogMessage(QStringLiteral("folder back"));
    const QStringList saved = TextFiles::Load(data + QStringLiteral("/VelkarHubData/Log.txt")).lines;
    QCOMPARE(saved, f.Diagnostics->Memo4->Lines());
    QCOMPARE(saved.mid(0, memo.size()), memo);
    QCOMPARE(TextFiles::Load(data + QStringLiteral("/VelkarHubData/FaultLog.txt")).lines, *f.FaultLog);
    QCOMPARE(logSaveReports(), 1);
}

// A gateway that mixes up its answers: every third reply, over all units, carries another
// unit's id and data and is otherwise valid. None of them is taken as the asked unit's,
// so the window writes nothing beyond what it writes on a healthy start (its settings
// pages write the hub's own values back on their first result).
void TestFormFaultsE2e::repliesFromAnotherUnit()
{
    QStringList healthy;
    {
        LiveForm live;
        QVERIFY(live.Start());
        QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(RepeatedHandles()), 15000);
        QVERIFY(live.WaitForResults(1, 2, 10000)); // the settings' write-backs are done
        healthy = live.simulator.writeLog();
    }
    QVERIFY(!healthy.isEmpty());

    LiveForm live({QStringLiteral("--wrong-unit-every"), QStringLiteral("3")});
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    constexpr int RunMs = 40000;
    QTest::qWait(RunMs);
    const QStringList answer = live.simulator.command(QStringLiteral("wrongunit 0")).split(QLatin1Char(' '));
    QTest::qWait(1000); // the last of those replies' events
    QStringList log = live.simulator.writeLog();
    qInfo("%d s with every third reply from another unit: %s of them, %d results, errors %s; %lld writes, "
          "%lld on a healthy start",
          RunMs / 1000, qPrintable(answer.value(2)), Total(live.results), qPrintable(Codes(live.errors)),
          static_cast<long long>(log.size()), static_cast<long long>(healthy.size()));

    healthy.sort();
    log.sort();
    QCOMPARE(log, healthy);
    // Every block was read (so every page had its results) and only the other units'
    // replies failed, each as an invalid reply.
    QVERIFY(live.AllCompleted(RepeatedHandles()));
    QCOMPARE(Codes(live.errors), QStringLiteral("%1 x%2").arg(int(MbaxpError::InvalidReply)).arg(answer.value(2)));
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
}

QTEST_MAIN(TestFormFaultsE2e)
#include "test_form_faults_e2e.moc"
