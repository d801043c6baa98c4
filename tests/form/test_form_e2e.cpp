// The window with the real communications control against the hub simulator over
// Modbus TCP on loopback: polling, the lamp, the overview, and the supervision when the
// simulator's watchdog freezes or the simulator stops and comes back.
#include "LiveForm.h"

#include <QRegularExpression>
#include <QtTest>
#include <set>

class TestFormE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void pollsEveryBlockAndRecovers();
    void overviewFollowsTheHub();
    void frozenWatchdog();
    void identTextOfABusyHub_data();
    void identTextOfABusyHub();
};

void TestFormE2e::pollsEveryBlockAndRecovers()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    // Every cyclic block of the table, and the once-read hub blocks.
    std::set<int> expected{1, 2, 3, 9, 10};
    for (int first : {17, 27, 37, 47, 57, 67, 77})
        for (int l = 0; l < 4; ++l)
            expected.insert(first + l);
    QTRY_VERIFY_WITH_TIMEOUT(live.AllCompleted(expected), 5000);
    QVERIFY(f.Frame->ILLed1->Value());
    QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("No Issues"));
    QCOMPARE(f.Comms->Label125->Caption(), QStringLiteral("Data Size: 109"));

    // The hub goes away: a connection error is shown and the lamp goes off.
    live.simulator.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Frame->ILLed1->Value(), 5000);
    QVERIFY2(f.Comms->Label4->Caption().startsWith("13 : ") || f.Comms->Label4->Caption().startsWith("14 : ") ||
                 f.Comms->Label4->Caption().startsWith("17 : "),
             qPrintable(f.Comms->Label4->Caption()));
    // It comes back: polling resumes with no operator action.
    QVERIFY(live.simulator.restart());
    live.results.clear();
    QTRY_VERIFY_WITH_TIMEOUT(f.Frame->ILLed1->Value() && live.results.count(2) && live.results.count(37), 10000);
}

void TestFormE2e::overviewFollowsTheHub()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTRY_COMPARE_WITH_TIMEOUT(f.Overview->Label8->Caption(), QStringLiteral("4:60:2:6"), 5000);
    QCOMPARE(f.Overview->Label11->Caption(), QStringLiteral("305446639 (1234BEEF)"));
    QCOMPARE(f.Overview->Label48->Caption(), QStringLiteral("00:1A:2B:3C:4D:5E"));
    QTRY_VERIFY_WITH_TIMEOUT(f.Overview->Label12->Caption().startsWith("Number of Transmissions: "), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(f.Overview->Edit15->Text(), QStringLiteral("VelkarHub Sim  "), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(f.Comms->UnitAddressEdits[0]->Text(), QStringLiteral("127"), 3000);
    // Counters move.
    const QString before = f.Overview->Label18->Caption();
    QTRY_VERIFY_WITH_TIMEOUT(f.Overview->Label18->Caption() != before, 3000);
    // The supervision sees the counter move at its next tick (under load the first
    // statistics can come after the 2 s in which a still counter counts as frozen).
    QTRY_VERIFY_WITH_TIMEOUT(!f.Overview->Label88->Visible(), 1000);

    // The simulator stops: once the age passes 4999 ms the warning reads communications
    // error and the lamps are grey.
    live.simulator.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!f.CommsDandy, 7000);
    QTRY_COMPARE_WITH_TIMEOUT(f.Overview->Label88->Caption(), QStringLiteral("Communications error - check VelkarHub"), 2000);
    QVERIFY(f.Overview->Label88->Visible());
    for (TILLed *lamp : {f.Overview->ILLed2, f.Overview->LinkLamps[0], f.Overview->LinkLamps[1], f.Overview->LinkLamps[2], f.Overview->LinkLamps[3]})
        QCOMPARE(lamp->Color(), 0xFF808080u);
    // It comes back: the warning clears.
    QVERIFY(live.simulator.restart());
    QTRY_VERIFY_WITH_TIMEOUT(!f.Overview->Label88->Visible(), 10000);
    QVERIFY(f.CommsDandy && f.WDogDanndy);
}

void TestFormE2e::frozenWatchdog()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTRY_VERIFY_WITH_TIMEOUT(f.CommsDandy && f.WDogDanndy, 5000);
    QCOMPARE(live.simulator.command("freeze"), QStringLiteral("OK"));
    QElapsedTimer frozen;
    frozen.start();
    QTRY_COMPARE_WITH_TIMEOUT(f.Overview->Label88->Caption(), QStringLiteral("Watchdog Frozen - check VelkarHub"), 4000);
    QVERIFY(f.Overview->Label88->Visible());
    qInfo("watchdog warning after %lld ms", static_cast<long long>(frozen.elapsed()));
    QCOMPARE(f.Overview->Label18->FontColor(), QColor(255, 0, 0));
    QCOMPARE(live.simulator.command("unfreeze"), QStringLiteral("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(!f.Overview->Label88->Visible(), 3000);
    QCOMPARE(f.Overview->Label18->FontColor(), QColor(0, 0, 128));
}

void TestFormE2e::identTextOfABusyHub_data()
{
    QTest::addColumn<int>("busyReads");
    QTest::addColumn<bool>("answered");
    QTest::newRow("busy at the first read") << 1 << true;
    QTest::newRow("busy at every read") << 1000000 << false;
}

void TestFormE2e::identTextOfABusyHub()
{
    // The hub answers the reads of its identification text with "busy" (exception 6): the
    // first one, or every one.
    QFETCH(int, busyReads);
    QFETCH(bool, answered);
    LiveForm live({QStringLiteral("--busy-reads"), QStringLiteral("16:9000:%1").arg(busyReads)});
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    const auto identReads = [&] { return live.simulator.command(QStringLiteral("reads 16 9000")).mid(3).toInt(); };
    if (answered) {
        // Asked again after the refusal, and shown.
        QTRY_COMPARE_WITH_TIMEOUT(f.Overview->Edit15->Text(), QStringLiteral("VelkarHub Sim  "), 5000);
        QVERIFY(identReads() >= 2);
    } else {
        // Asked again and again; the edit holds nothing of the hub's.
        QTRY_VERIFY_WITH_TIMEOUT(identReads() >= 3, 5000);
        QCOMPARE(f.Overview->Edit15->Text(), QString());
    }
    QVERIFY(live.errors[6] >= 1);
    const QVector<quint16> text = live.simulator.get(16, 9000, 15);

    // The close writes back exactly the text the hub gave, or nothing.
    live.form.reset();
    QStringList expected;
    if (answered) {
        QStringList words;
        for (const quint16 w : text)
            words << QString::number(w);
        expected << QStringLiteral("16:9000:") + words.join(QLatin1Char(','));
    }
    QCOMPARE(live.simulator.writeLog().filter(QRegularExpression(QStringLiteral("^16:9000:"))), expected);
    QCOMPARE(live.simulator.get(16, 9000, 15), text);
}

QTEST_MAIN(TestFormE2e)
#include "test_form_e2e.moc"
