// The bookkeeping of units that stop answering, on a clock of its own: the period's
// ceiling over many probes, the turns of several demoted units, and restoring.
#include "comms/SilentUnits.h"

#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace {

// The window's blocks of each unit come due at least this often.
constexpr qint64 TickMs = 500;

// Drives SilentUnits as the control does: every tick a run of each unit comes due, the
// units in the order given (the first always first); a run that may go out as the probe
// does, and times out after probeMs.
struct Line {
    SilentUnits units;
    qint64 now = 0;
    struct Probe {
        int16_t unit;
        qint64 at;
        int periodAfter; // the unit's demotion period once the probe timed out
    };
    std::vector<Probe> probes;

    void demote(const std::vector<int16_t> &silent)
    {
        for (const int16_t u : silent)
            for (int k = 0; k < SilentUnits::DemoteAfterTimeouts; ++k)
                units.timedOut(u, false, now);
    }

    void run(const std::vector<int16_t> &order, qint64 probeMs, qint64 untilMs,
             const std::function<bool(int16_t)> &willComeDue = [](int16_t) { return true; })
    {
        while (now < untilMs) {
            for (const int16_t u : order) {
                if (!willComeDue(u) || !units.mayProbe(u, now, willComeDue))
                    continue;
                units.probeStarted(u);
                QVERIFY(!units.mayProbe(u, now, willComeDue)); // one probe at a time
                const qint64 sentAt = now;
                now += probeMs;
                units.probeEnded(now, probeMs);
                units.timedOut(u, true, now);
                probes.push_back({u, sentAt, units.periodMs(u)});
            }
            now += TickMs;
        }
    }
};

} // namespace

class TestSilentUnits : public QObject {
    Q_OBJECT

private slots:
    void periodStopsAtItsCeiling();
    void probesTakeTurns_data();
    void probesTakeTurns();
    void aUnitWithNoRunsComingDueHoldsNoOneUp();
    void aReplyRestoresTheUnit();
};

// A unit that stays silent through many probes: its period doubles up to the ceiling and
// stays there, so it is probed at least once a ceiling's time.
void TestSilentUnits::periodStopsAtItsCeiling()
{
    Line line;
    line.demote({20});
    QCOMPARE(line.units.periodMs(20), SilentUnits::DemotionFirstMs);
    constexpr qint64 ProbeMs = 1000;
    line.run({20}, ProbeMs, 40LL * 60 * 1000);
    int expected = SilentUnits::DemotionFirstMs;
    for (size_t k = 0; k < line.probes.size(); ++k) {
        expected = std::min(2 * expected, SilentUnits::DemotionMaxMs);
        QCOMPARE(line.probes[k].periodAfter, expected);
        if (k > 0)
            QVERIFY(line.probes[k].at - line.probes[k - 1].at <= SilentUnits::DemotionMaxMs + ProbeMs + TickMs);
    }
    QVERIFY2(line.probes.size() >= 60, qPrintable(QString::number(line.probes.size())));
    QCOMPARE(line.probes.back().periodAfter, SilentUnits::DemotionMaxMs);
}

void TestSilentUnits::probesTakeTurns_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("probeMs");
    QTest::newRow("four units, short probes: their periods set the pace") << 4 << 100;
    QTest::newRow("four units, long probes: the gap after each sets the pace") << 4 << 3000;
    QTest::newRow("two units, time-outs of 1 s") << 2 << 1000;
}

// Several demoted units share one probe schedule: one probe at a time, each the gap after
// the one before, and the units in turn, so that none waits while another is probed
// again, whatever the order their runs come due in.
void TestSilentUnits::probesTakeTurns()
{
    QFETCH(int, units);
    QFETCH(int, probeMs);
    std::vector<int16_t> silent;
    for (int u = 0; u < units; ++u)
        silent.push_back(int16_t(17 + u));
    Line line;
    line.demote(silent);
    line.run(silent, probeMs, 20LL * 60 * 1000);
    const auto &probes = line.probes;
    QVERIFY2(probes.size() >= size_t(4 * units), qPrintable(QString::number(probes.size())));
    for (size_t k = 1; k < probes.size(); ++k)
        QVERIFY(probes[k].at - probes[k - 1].at >= (1 + SilentUnits::ProbeGapFactor) * qint64(probeMs));
    // Round robin: any `units` probes in a row probe every unit once.
    for (size_t k = 0; k + size_t(units) <= probes.size(); ++k) {
        std::map<int16_t, int> seen;
        for (size_t j = k; j < k + size_t(units); ++j)
            ++seen[probes[j].unit];
        QVERIFY2(seen.size() == size_t(units), qPrintable(QStringLiteral("probes %1 to %2").arg(k).arg(k + units - 1)));
    }
}

// A demoted unit whose blocks were stopped has no run to take its turn: the others are
// probed meanwhile. Once its runs come due again, its turn comes first.
void TestSilentUnits::aUnitWithNoRunsComingDueHoldsNoOneUp()
{
    Line line;
    line.demote({17});
    line.now += 100;
    line.demote({18});
    line.now += SilentUnits::DemotionFirstMs;
    const auto only18 = [](int16_t u) { return u == 18; };
    QVERIFY(line.units.mayProbe(18, line.now, only18));
    const auto both = [](int16_t) { return true; };
    QVERIFY(!line.units.mayProbe(18, line.now, both)); // 17 has been due longer
    QVERIFY(line.units.mayProbe(17, line.now, both));
    line.run({17, 18}, 1000, line.now + 60000, only18);
    QVERIFY(line.probes.size() >= 2);
    for (const auto &p : line.probes)
        QCOMPARE(p.unit, int16_t(18));
    QCOMPARE(line.units.periodMs(17), SilentUnits::DemotionFirstMs);
    line.now += 60000;
    QVERIFY(line.units.mayProbe(17, line.now, both));
}

void TestSilentUnits::aReplyRestoresTheUnit()
{
    SilentUnits units;
    for (int k = 0; k < SilentUnits::DemoteAfterTimeouts - 1; ++k)
        QVERIFY(!units.timedOut(19, false, 0));
    QVERIFY(units.hasTimedOut(19));
    QVERIFY(!units.isDemoted(19));
    QVERIFY(units.timedOut(19, false, 0));
    QVERIFY(units.isDemoted(19));
    // A write that times out while it is demoted changes nothing.
    QVERIFY(!units.timedOut(19, false, 100));
    QCOMPARE(units.periodMs(19), SilentUnits::DemotionFirstMs);
    QVERIFY(!units.mayProbe(19, SilentUnits::DemotionFirstMs - 1, [](int16_t) { return true; }));
    QVERIFY(units.mayProbe(19, SilentUnits::DemotionFirstMs, [](int16_t) { return true; }));
    units.probeStarted(19);
    // Any reply restores it at once; the probe waiting for it is an ordinary read now.
    units.answered(19);
    QVERIFY(!units.isDemoted(19));
    QVERIFY(!units.hasTimedOut(19));
    QCOMPARE(units.periodMs(19), 0);
    QVERIFY(!units.probing());
    // It takes as many time-outs in a row as at first to demote it again.
    for (int k = 0; k < SilentUnits::DemoteAfterTimeouts - 1; ++k)
        QVERIFY(!units.timedOut(19, false, 5000));
    QVERIFY(!units.isDemoted(19));
    QVERIFY(units.timedOut(19, false, 5000));
    QCOMPARE(units.periodMs(19), SilentUnits::DemotionFirstMs);
    units.clear();
    QVERIFY(!units.isDemoted(19));
}

QTEST_GUILESS_MAIN(TestSilentUnits)
#include "tst_silent_units.moc"
