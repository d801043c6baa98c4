// The 100 ms supervision, driven tick by tick on a clock the test sets.
#include "FormHarness.h"

#include <QtTest>

namespace {
constexpr uint32_t G = 0xFF00FF00, Y = 0xFFFFFF00, R = 0xFFFF0000, g = 0xFF808080;

// A window whose own 100 ms timer is stopped before it can tick, so that only the test
// ticks it and every lamp starts at step 0.
FormHarness::Options Hidden()
{
    FormHarness::Options options;
    options.show = false;
    return options;
}

struct Supervised {
    FormHarness h{Hidden()};
    TForm1 &f;
    Supervised() : f(h.form())
    {
        f.Frame->Timer2->SetEnabled(false);
        h.Show();
    }

    // One tick; with healthy communications the last message is 100 ms old.
    void Tick(bool healthy = true)
    {
        h.clock.Advance(100);
        if (healthy)
            f.LastCommsRec = h.clock.now.addMSecs(-100);
        f.Timer2Timer(f.Frame->Timer2);
    }
    // Ages the last message to exactly ms and ticks once.
    void TickAtAge(int ms)
    {
        f.LastCommsRec = h.clock.now.addMSecs(-ms);
        f.Timer2Timer(f.Frame->Timer2);
    }
};

std::vector<uint32_t> Repeat(std::initializer_list<std::pair<int, uint32_t>> runs)
{
    std::vector<uint32_t> out;
    for (auto [count, colour] : runs)
        out.insert(out.end(), static_cast<size_t>(count), colour);
    return out;
}

enum Lamp { Power, Link1, Link4, Network };
} // namespace

Q_DECLARE_METATYPE(std::vector<uint32_t>)

class TestFormSupervision : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void messageAge_data();
    void messageAge();
    void watchdogFreeze();
    void startUpBeforeAnyMessage();
    void lampPatterns_data();
    void lampPatterns();
    void unhealthyCommunications();
    void networkLampKeepsItsColour();
    void steadyTickRepaintsNothing();
};

void TestFormSupervision::messageAge_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("healthy");
    QTest::newRow("0 ms") << 0 << "Milliseconds since last message" << "0" << true;
    QTest::newRow("999 ms") << 999 << "Milliseconds since last message" << "999" << true;
    QTest::newRow("1000 ms") << 1000 << "Seconds since last message" << "1" << true;
    QTest::newRow("4998 ms") << 4998 << "Seconds since last message" << "4" << true;
    QTest::newRow("4999 ms") << 4999 << "Seconds since last message" << "4" << false;
    QTest::newRow("an hour") << 3600000 << "Seconds since last message" << "3600" << false;
    QTest::newRow("clock set back 2 s") << -2000 << "Seconds since last message" << "2" << true;
}

void TestFormSupervision::messageAge()
{
    QFETCH(int, age);
    QFETCH(QString, caption);
    QFETCH(QString, value);
    QFETCH(bool, healthy);
    Supervised s;
    s.TickAtAge(age);
    QCOMPARE(s.f.Comms->Label89->Caption(), caption);
    QCOMPARE(s.f.Comms->Label90->Caption(), value);
    QCOMPARE(s.f.CommsDandy, healthy);
}

void TestFormSupervision::watchdogFreeze()
{
    Supervised s;
    s.f.Stats_WDCount = 5;
    s.Tick(); // moved: from 0 to 5
    QCOMPARE(s.f.WDLag, int16_t(0));
    for (int i = 1; i <= 19; ++i)
        s.Tick();
    // 19 unchanged ticks: still alive.
    QVERIFY(s.f.WDogDanndy);
    QVERIFY(!s.f.Overview->Label88->Visible());
    QCOMPARE(s.f.Overview->Label18->FontColor(), QColor(0, 0, 128));
    s.Tick();
    // The 20th: frozen, while communications are healthy.
    QVERIFY(!s.f.WDogDanndy);
    QVERIFY(s.f.Overview->Label88->Visible());
    QCOMPARE(s.f.Overview->Label88->Caption(), QStringLiteral("Watchdog Frozen - check VelkarHub"));
    QCOMPARE(s.f.Overview->Label18->FontColor(), QColor(255, 0, 0));
    // It stays frozen however long the counter does not move.
    for (int i = 0; i < 40000; ++i)
        s.Tick();
    QVERIFY(!s.f.WDogDanndy);
    QCOMPARE(s.f.WDLag, int16_t(INT16_MAX));
    // Communications lost too: the text says so.
    s.TickAtAge(5000);
    QCOMPARE(s.f.Overview->Label88->Caption(), QStringLiteral("Communications error - check VelkarHub"));
    // A moving counter: alive again, navy; the warning stays while communications are down.
    s.f.Stats_WDCount = 6;
    s.TickAtAge(6000);
    QVERIFY(s.f.WDogDanndy);
    QCOMPARE(s.f.Overview->Label18->FontColor(), QColor(0, 0, 128));
    QVERIFY(s.f.Overview->Label88->Visible());
    QCOMPARE(s.f.Overview->Label88->Caption(), QStringLiteral("Communications error - check VelkarHub"));
    s.f.Stats_WDCount = 7;
    s.Tick();
    QVERIFY(!s.f.Overview->Label88->Visible());
}

void TestFormSupervision::startUpBeforeAnyMessage()
{
    Supervised s;
    // No message yet: the age is that of the zero date, and communications are unhealthy.
    for (int i = 0; i < 20; ++i)
        s.Tick(false);
    QCOMPARE(s.f.Comms->Label89->Caption(), QStringLiteral("Seconds since last message"));
    QVERIFY(s.f.Comms->Label90->Caption().toLongLong() > 3'000'000'000LL);
    QVERIFY(s.f.Overview->Label88->Visible());
    QCOMPARE(s.f.Overview->Label88->Caption(), QStringLiteral("Communications error - check VelkarHub"));
    QCOMPARE(s.f.Overview->Label18->FontColor(), QColor(255, 0, 0));
    QCOMPARE(s.f.Overview->ILLed2->Color(), g);
    QVERIFY(s.f.Overview->ILLed2->Value());
}

void TestFormSupervision::lampPatterns_data()
{
    QTest::addColumn<int>("lamp");
    QTest::addColumn<int>("word"); // high byte: mode, low byte: colour code
    QTest::addColumn<std::vector<uint32_t>>("cycle");
    QTest::newRow("power colour cycle") << int(Power) << 0x0004 << Repeat({{10, G}, {10, Y}, {10, R}});
    QTest::newRow("power colour cycle, any mode") << int(Power) << 0x0B04 << Repeat({{10, G}, {10, Y}, {10, R}});
    QTest::newRow("power double flash") << int(Power) << 0x0201 << Repeat({{3, G}, {2, g}, {3, G}, {11, g}});
    QTest::newRow("power has no slow blink") << int(Power) << 0x0B02 << Repeat({{25, Y}});
    QTest::newRow("power steady red") << int(Power) << 0x0003 << Repeat({{5, R}});
    QTest::newRow("link slow blink yellow") << int(Link1) << 0x0B02 << Repeat({{10, Y}, {11, g}});
    QTest::newRow("link double flash red") << int(Link4) << 0x0203 << Repeat({{3, R}, {2, g}, {3, R}, {11, g}});
    QTest::newRow("link has no colour cycle") << int(Link1) << 0x0004 << Repeat({{5, g}});
    QTest::newRow("link code 0 steady") << int(Link4) << 0x0000 << Repeat({{5, g}});
    QTest::newRow("network 2 flashes") << int(Network) << 0x0201 << Repeat({{3, G}, {2, g}, {3, G}, {11, g}});
    QTest::newRow("network 3 flashes")
        << int(Network) << 0x0302 << Repeat({{3, Y}, {2, g}, {3, Y}, {2, g}, {2, Y}, {11, g}});
    QTest::newRow("network 4 flashes")
        << int(Network) << 0x0403 << Repeat({{3, R}, {2, g}, {3, R}, {2, g}, {2, R}, {2, g}, {2, R}, {11, g}});
    QTest::newRow("network 5 flashes") << int(Network) << 0x0501
                                       << Repeat({{3, G}, {2, g}, {3, G}, {2, g}, {2, G}, {2, g}, {2, G}, {2, g}, {2, G}, {11, g}});
    QTest::newRow("network steady green") << int(Network) << 0x0001 << Repeat({{5, G}});
}

void TestFormSupervision::lampPatterns()
{
    QFETCH(int, lamp);
    QFETCH(int, word);
    QFETCH(std::vector<uint32_t>, cycle);
    Supervised s;
    std::vector<int16_t> general(31, 0);
    const size_t index = lamp == Power ? 25 : lamp == Network ? 26 : lamp == Link1 ? 27 : 30;
    general[index] = static_cast<int16_t>(word);
    s.h.control.DeliverOk(2, general);
    TILLed *led = lamp == Power ? s.f.Overview->ILLed2 : lamp == Network ? s.f.Overview->Net_LED : lamp == Link1 ? s.f.Overview->LinkLamps[0] : s.f.Overview->LinkLamps[3];
    // Two whole cycles, from step 0.
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < 2 * cycle.size(); ++i) {
        s.Tick();
        QVERIFY(led->Value());
        seen.push_back(led->Color());
    }
    std::vector<uint32_t> expected = cycle;
    expected.insert(expected.end(), cycle.begin(), cycle.end());
    QCOMPARE(seen, expected);
}

void TestFormSupervision::unhealthyCommunications()
{
    Supervised s;
    std::vector<int16_t> general(31, 0);
    general[25] = 0x0004; // power: colour cycle
    general[27] = 0x0001; // link 1: steady green
    general[28] = 0x0B02; // link 2: slow blink
    s.h.control.DeliverOk(2, general);
    for (int i = 0; i < 12; ++i)
        s.Tick();
    QCOMPARE(s.f.Overview->ILLed2->Color(), Y);
    QCOMPARE(s.f.Overview->LinkLamps[0]->Color(), G);
    // Unhealthy: every lamp grey, while the power lamp's position keeps advancing.
    for (int i = 0; i < 10; ++i) {
        s.TickAtAge(5000 + i);
        QCOMPARE(s.f.Overview->ILLed2->Color(), g);
        QCOMPARE(s.f.Overview->LinkLamps[0]->Color(), g);
        QCOMPARE(s.f.Overview->LinkLamps[1]->Color(), g);
    }
    // Back to healthy: the cycle resumes at the position reached (step 22: red).
    s.Tick();
    QCOMPARE(s.f.Overview->ILLed2->Color(), R);
    QCOMPARE(s.f.Overview->LinkLamps[0]->Color(), G);
}

void TestFormSupervision::networkLampKeepsItsColour()
{
    Supervised s;
    std::vector<int16_t> general(31, 0);
    general[26] = 0x0002; // yellow, steady
    s.h.control.DeliverOk(2, general);
    s.Tick();
    QCOMPARE(s.f.Overview->Net_LED->Color(), Y);
    // Code 5, steady: the colour does not change, not even while communications are down.
    general[26] = 0x0005;
    s.h.control.DeliverOk(2, general);
    for (int i = 0; i < 50; ++i)
        s.TickAtAge(6000);
    QCOMPARE(s.f.Overview->Net_LED->Color(), Y);
    // With its code below 4 it follows the rule of the other lamps.
    general[26] = 0x0003;
    s.h.control.DeliverOk(2, general);
    s.TickAtAge(6000);
    QCOMPARE(s.f.Overview->Net_LED->Color(), g);
}

void TestFormSupervision::steadyTickRepaintsNothing()
{
    Supervised s;
    std::vector<int16_t> general(31, 0);
    for (size_t k = 25; k <= 30; ++k)
        general[k] = 0x0001;
    s.h.control.DeliverOk(2, general);
    s.f.Stats_WDCount = 3;
    s.Tick();
    s.Tick();
    const std::array<TILLed *, 6> lamps{s.f.Overview->ILLed2, s.f.Overview->LinkLamps[0], s.f.Overview->LinkLamps[1], s.f.Overview->LinkLamps[2], s.f.Overview->LinkLamps[3], s.f.Overview->Net_LED};
    std::array<int, 6> before{};
    for (size_t i = 0; i < lamps.size(); ++i)
        before[i] = lamps[i]->RepaintRequests();
    for (int i = 0; i < 10; ++i) {
        s.f.Stats_WDCount = static_cast<int16_t>(4 + i);
        s.Tick();
    }
    for (size_t i = 0; i < lamps.size(); ++i)
        QCOMPARE(lamps[i]->RepaintRequests(), before[i]);
}

QTEST_MAIN(TestFormSupervision)
#include "test_form_supervision.moc"
