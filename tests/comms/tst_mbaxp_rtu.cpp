// The Modbus control over Modbus RTU on a pseudo-terminal pair: against the hub
// simulator, and against a scripted unit for broken frames.
#include "MbaxpTestKit.h"

#include "support/HubSimulator.h"
#include "support/PtyPair.h"

#include <QTest>

#include <memory>

namespace {

constexpr int ComPort = 7;

std::unique_ptr<TMbaxp> openRtu(Recorder &rec, int comPort = ComPort, int captureWords = 0)
{
    auto m = std::make_unique<TMbaxp>();
    rec.attach(*m, captureWords);
    m->Connection = comPort;
    m->BaudRate = 5; // 9600 baud
    m->Parity = 0;
    m->ProtocolMode = 0;
    m->OpenConnection();
    return m;
}

void pointComPortAt(const QString &device) { qputenv("VELKARHUB_COM7", device.toLocal8Bit()); }

} // namespace

class TestMbaxpRtu : public QObject {
    Q_OBJECT

private slots:
    void readAndWriteThroughTheHubSimulator();
    void lineSettingsOpenAndRun_data();
    void lineSettingsOpenAndRun();
    void noAnswerGivesTimeOutThenNextRunWorks();
    void brokenFramesGiveErrors_data();
    void brokenFramesGiveErrors();
    void deviceThatCannotBeOpenedGives13();
    void deviceThatVanishesIsReopenedWithoutAFlood();
};

void TestMbaxpRtu::readAndWriteThroughTheHubSimulator()
{
    PtyPair pty;
    QVERIFY(pty.start());
    HubSimulator sim({false, 0, pty.deviceB(), {}});
    QVERIFY(sim.start());
    QVERIFY(sim.set(19, 1000, {5, -6, 7, 8, 9, 10, 11, 12, 13}));
    pointComPortAt(pty.deviceA());
    Recorder rec;
    auto m = openRtu(rec, ComPort, 9);
    QTRY_VERIFY(m->IsConnected());

    m->ReadHoldingRegisters(19, 19, 999, 9, 1000);
    m->UpdateOnce(19);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(19), 1, 3000);
    QCOMPARE(rec.events[0].error, int16_t(0));
    QCOMPARE(rec.events[0].words, (std::vector<int16_t>{5, -6, 7, 8, 9, 10, 11, 12, 13}));

    m->PresetSingleRegister(0, 20, 2004, 1000);
    m->Set_Register(0, 0, 321);
    m->UpdateOnce(0);
    m->PresetMultipleRegisters(0, 17, 2010, 3, 1000);
    m->Set_Register(0, 0, 1);
    m->Set_Register(0, 1, 2);
    m->Set_Register(0, 2, -3);
    m->UpdateOnce(0);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(0), 2, 3000);
    QCOMPARE(rec.okCount(0), 2);
    QCOMPARE(sim.writeLog(), (QStringList{QStringLiteral("20:2005:321"), QStringLiteral("17:2011:1,2,65533")}));

    // A repeated read goes on over the serial line too.
    m->ReadHoldingRegisters(37, 17, 3799, 100, 200);
    m->UpdateEnable(37);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(37) >= 3, 3000);
    QCOMPARE(rec.errorCount(37), 0);
}

void TestMbaxpRtu::lineSettingsOpenAndRun_data()
{
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("protocolMode");
    QTest::newRow("115200, even") << 9 << 2 << 0;
    QTest::newRow("300, odd") << 0 << 1 << 0;
    QTest::newRow("unknown codes behave as 9600, none, RTU") << 42 << 7 << 3;
}

void TestMbaxpRtu::lineSettingsOpenAndRun()
{
    QFETCH(int, baudCode);
    QFETCH(int, parity);
    QFETCH(int, protocolMode);
    PtyPair pty;
    QVERIFY(pty.start());
    FakeRtuUnit unit;
    QVERIFY(unit.open(pty.deviceB()));
    unit.regs[1000] = 77;
    pointComPortAt(pty.deviceA());
    auto m = std::make_unique<TMbaxp>();
    Recorder rec;
    rec.attach(*m, 1);
    m->Connection = ComPort;
    m->BaudRate = int16_t(baudCode);
    m->Parity = int16_t(parity);
    m->ProtocolMode = int16_t(protocolMode);
    m->OpenConnection();
    QTRY_VERIFY(m->IsConnected());
    m->ReadHoldingRegisters(20, 20, 1000, 1, 1000);
    m->UpdateOnce(20);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(20), 1, 3000);
    QCOMPARE(rec.events[0].error, int16_t(0));
    QCOMPARE(rec.events[0].words.at(0), int16_t(77));
    QCOMPARE(unit.requests.size(), size_t(1));
    QCOMPARE(unit.requests[0].unit, 20);
}

void TestMbaxpRtu::noAnswerGivesTimeOutThenNextRunWorks()
{
    PtyPair pty;
    QVERIFY(pty.start());
    HubSimulator sim({false, 0, pty.deviceB(), {}});
    QVERIFY(sim.start());
    pointComPortAt(pty.deviceA());
    Recorder rec;
    auto m = openRtu(rec);
    QTRY_VERIFY(m->IsConnected());
    m->ReadHoldingRegisters(5, 5, 999, 9, 1000); // unit 5 does not answer
    m->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m->UpdateOnce(5);
    m->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(2), 5000);
    QCOMPARE(rec.events[0].error, MbaxpError::Timeout);
    QCOMPARE(rec.events[1].handle, int16_t(2));
    QCOMPARE(rec.events[1].error, int16_t(0));
}

void TestMbaxpRtu::brokenFramesGiveErrors_data()
{
    QTest::addColumn<bool>("badCrc");
    QTest::addColumn<int>("answerAsUnit"); // -1: the unit asked
    QTest::addColumn<QByteArray>("pdu");   // empty: the normal answer
    QTest::addColumn<int>("error");
    QTest::newRow("bad CRC") << true << -1 << QByteArray() << 15;
    QTest::newRow("answer from another unit") << false << 21 << QByteArray() << 16;
    QTest::newRow("fewer registers than asked") << false << -1 << QByteArray::fromHex("030400010002") << 16;
    QTest::newRow("exception 6") << false << -1 << QByteArray::fromHex("8306") << 6;
}

void TestMbaxpRtu::brokenFramesGiveErrors()
{
    QFETCH(bool, badCrc);
    QFETCH(int, answerAsUnit);
    QFETCH(QByteArray, pdu);
    QFETCH(int, error);
    PtyPair pty;
    QVERIFY(pty.start());
    FakeRtuUnit unit;
    QVERIFY(unit.open(pty.deviceB()));
    unit.regs[100] = 4242;
    bool spoiled = false;
    unit.script = [&](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (spoiled)
            return std::nullopt;
        spoiled = true;
        UnitScript::Answer a = unit.normal(r);
        if (!pdu.isEmpty())
            a.pdu = pdu;
        a.badCrc = badCrc;
        a.unit = answerAsUnit;
        return a;
    };
    pointComPortAt(pty.deviceA());
    Recorder rec;
    auto m = openRtu(rec, ComPort, 1);
    QTRY_VERIFY(m->IsConnected());
    m->ReadHoldingRegisters(40, 18, 200, 3, 1000);
    m->ReadHoldingRegisters(41, 18, 100, 1, 1000);
    m->UpdateOnce(40);
    m->UpdateOnce(41);
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(2), 5000);
    QCOMPARE(rec.events[0].handle, int16_t(40));
    QCOMPARE(int(rec.events[0].error), error);
    QCOMPARE(rec.events[1].handle, int16_t(41));
    QCOMPARE(rec.events[1].error, int16_t(0));
    QCOMPARE(rec.events[1].words.at(0), int16_t(4242));
}

void TestMbaxpRtu::deviceThatCannotBeOpenedGives13()
{
    qputenv("VELKARHUB_COM9", "/nonexistent/velkarhub-tty");
    Recorder rec;
    auto m = openRtu(rec, 9);
    m->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(2), 1, 2000);
    QCOMPARE(rec.events[0].error, MbaxpError::ConnectionRefused);
    QVERIFY(!m->IsConnected());
    // A COM port with no device at all behaves the same.
    qputenv("VELKARHUB_DEV_DIR", "/nonexistent");
    Recorder rec2;
    auto m2 = openRtu(rec2, 250);
    m2->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m2->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec2.count(2), 1, 2000);
    QCOMPARE(rec2.events[0].error, MbaxpError::ConnectionRefused);
    qunsetenv("VELKARHUB_DEV_DIR");
    qunsetenv("VELKARHUB_COM9");
}

void TestMbaxpRtu::deviceThatVanishesIsReopenedWithoutAFlood()
{
    auto pty = std::make_unique<PtyPair>();
    QVERIFY(pty->start());
    auto unit = std::make_unique<FakeRtuUnit>();
    QVERIFY(unit->open(pty->deviceB()));
    pointComPortAt(pty->deviceA());
    Recorder rec;
    auto m = openRtu(rec);
    QTRY_VERIFY(m->IsConnected());
    m->ReadHoldingRegisters(27, 17, 1099, 12, 100);
    m->UpdateEnable(27);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(27) >= 3, 3000);

    // The USB cable is pulled: the device goes away.
    unit.reset();
    pty.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!m->IsConnected(), 3000);
    QTest::qWait(1500);
    const int errors = rec.errorCount(27);
    QVERIFY(errors >= 1);
    QVERIFY2(errors <= 8, qPrintable(QString::number(errors)));

    // Plugged in again (here under a new name): polling resumes without any call.
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->start());
    unit = std::make_unique<FakeRtuUnit>();
    QVERIFY(unit->open(pty->deviceB()));
    pointComPortAt(pty->deviceA());
    const int ok = rec.okCount(27);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(27) >= ok + 3, 5000);
}

QTEST_GUILESS_MAIN(TestMbaxpRtu)
#include "tst_mbaxp_rtu.moc"
