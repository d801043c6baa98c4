// The Modbus control over Modbus RTU on a pseudo-terminal pair: against the hub
// simulator, and against a scripted unit for broken frames.
#include "MbaxpTestKit.h"

#include "support/HubSimulator.h"
#include "support/PtyPair.h"

#include <QTest>

#include <memory>
#include <optional>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

[[nodiscard]] auto pointComPortAt(const QString &device) { return scopedEnv("VELKARHUB_COM7", device.toLocal8Bit()); }

// The hub simulator on one end of a pseudo-terminal pair (Modbus RTU only), and COM port 7
// pointing at the other end while this lives.
struct HubOnPty {
    PtyPair pty;
    std::unique_ptr<HubSimulator> sim;
    std::optional<decltype(pointComPortAt(QString()))> restore;

    bool start(const QStringList &simulatorArgs = {})
    {
        if (!pty.start())
            return false;
        sim = std::make_unique<HubSimulator>(HubSimulator::Options{false, 0, pty.deviceB(), simulatorArgs});
        if (!sim->start())
            return false;
        restore.emplace(pointComPortAt(pty.deviceA()));
        return true;
    }
};

// A bare pseudo-terminal: the control opens the slave side; the test keeps both ends
// (the line settings the control chose are read back from the slave side).
struct Pty {
    int master = -1;
    int slave = -1;
    QString slaveName;

    bool open()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        slaveName = QString::fromLocal8Bit(name);
        return true;
    }
    ~Pty()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
};

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
    void lineSettingsReadBack_data();
    void lineSettingsReadBack();
    void timeOutIncludesTheLineTime_data();
    void timeOutIncludesTheLineTime();
    void timeOutOfASilentUnitWaitsForTheLineTime();
    void hubKeepsItsRateWithTheLinksSilent();
    void repliesFromAnotherAddressAreNeverDelivered();
};

void TestMbaxpRtu::readAndWriteThroughTheHubSimulator()
{
    HubOnPty hub;
    QVERIFY(hub.start());
    QVERIFY(hub.sim->set(19, 1000, {5, -6, 7, 8, 9, 10, 11, 12, 13}));
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
    QCOMPARE(hub.sim->writeLog(), (QStringList{QStringLiteral("20:2005:321"), QStringLiteral("17:2011:1,2,65533")}));

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
    const auto restore = pointComPortAt(pty.deviceA());
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
    HubOnPty hub;
    QVERIFY(hub.start());
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
    QTest::newRow("another function code") << false << -1 << QByteArray::fromHex("0406000100020003") << 16;
    QTest::newRow("an exception from another unit") << false << 21 << QByteArray::fromHex("8302") << 16;
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
    const auto restore = pointComPortAt(pty.deviceA());
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
    const auto restoreCom9 = scopedEnv("VELKARHUB_COM9", "/nonexistent/velkarhub-tty");
    Recorder rec;
    auto m = openRtu(rec, 9);
    m->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(2), 1, 2000);
    QCOMPARE(rec.events[0].error, MbaxpError::ConnectionRefused);
    QVERIFY(!m->IsConnected());
    // A COM port with no device at all behaves the same.
    const auto restoreDevDir = scopedEnv("VELKARHUB_DEV_DIR", "/nonexistent");
    Recorder rec2;
    auto m2 = openRtu(rec2, 250);
    m2->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m2->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec2.count(2), 1, 2000);
    QCOMPARE(rec2.events[0].error, MbaxpError::ConnectionRefused);
}

void TestMbaxpRtu::deviceThatVanishesIsReopenedWithoutAFlood()
{
    auto pty = std::make_unique<PtyPair>();
    QVERIFY(pty->start());
    auto unit = std::make_unique<FakeRtuUnit>();
    QVERIFY(unit->open(pty->deviceB()));
    const auto restore = pointComPortAt(pty->deviceA());
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
    const auto restoreAgain = pointComPortAt(pty->deviceA());
    const int ok = rec.okCount(27);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(27) >= ok + 3, 5000);
}

void TestMbaxpRtu::lineSettingsReadBack_data()
{
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("parity");
    QTest::addColumn<bool>("oddBefore"); // PARODD as the device had it before
    QTest::addColumn<int>("speed");      // termios speed constant
    const int speeds[] = {B300, B600, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
    const int names[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int code = 0; code < 10; ++code)
        QTest::addRow("baud code %d: %d", code, names[code]) << code << 0 << false << speeds[code];
    QTest::newRow("baud code 10: 9600") << 10 << 0 << false << int(B9600);
    QTest::newRow("baud code -1: 9600") << -1 << 0 << false << int(B9600);
    QTest::newRow("parity 1: odd") << 5 << 1 << false << int(B9600);
    QTest::newRow("parity 2: even") << 5 << 2 << true << int(B9600);
    QTest::newRow("parity 0: none, was odd") << 5 << 0 << true << int(B9600);
    QTest::newRow("parity 3: none") << 5 << 3 << false << int(B9600);
    QTest::newRow("parity -1: none, was odd") << 5 << -1 << true << int(B9600);
    QTest::newRow("115200, odd") << 9 << 1 << false << int(B115200);
    QTest::newRow("300, even") << 0 << 2 << true << int(B300);
}

// A pseudo-terminal ignores the line settings for its data but keeps them, except that
// it clears PARENB and forces 8 data bits itself: PARODD tells odd parity from even, and
// no parity leaves it as it was.
void TestMbaxpRtu::lineSettingsReadBack()
{
    QFETCH(int, baudCode);
    QFETCH(int, parity);
    QFETCH(bool, oddBefore);
    QFETCH(int, speed);
    Pty pty;
    QVERIFY(pty.open());
    // Start from other settings, so that nothing passes by default.
    termios t{};
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    t.c_cflag = (t.c_cflag & ~PARODD) | (oddBefore ? PARODD : 0) | CSTOPB;
    const speed_t other = speed == B1200 ? B2400 : B1200;
    ::cfsetospeed(&t, other);
    ::cfsetispeed(&t, other);
    QCOMPARE(::tcsetattr(pty.slave, TCSANOW, &t), 0);

    const auto restore = scopedEnv("VELKARHUB_COM7", pty.slaveName.toLocal8Bit());
    Recorder rec;
    auto m = std::make_unique<TMbaxp>();
    rec.attach(*m);
    m->Connection = ComPort;
    m->BaudRate = int16_t(baudCode);
    m->Parity = int16_t(parity);
    m->ProtocolMode = 0;
    m->OpenConnection();
    QTRY_VERIFY(m->IsConnected());
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    QCOMPARE(int(::cfgetospeed(&t)), speed);
    QCOMPARE(int(::cfgetispeed(&t)), speed);
    const bool odd = parity == 1 || (parity != 2 && oddBefore);
    QCOMPARE(bool(t.c_cflag & PARODD), odd);
    QCOMPARE(int(t.c_cflag & CSTOPB), 0); // one stop bit
    QCOMPARE(rec.events.size(), size_t(0));
}

void TestMbaxpRtu::timeOutIncludesTheLineTime_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("frameBytes");
    QTest::addColumn<int>("timeoutMs");
    // A read of n registers: 8 bytes out, 5 + 2n back; 11 bits a character, rounded up.
    QTest::newRow("300 baud, 1 register") << 300 << 15 << TMbaxp::RtuReplyTimeoutMs + 550;
    QTest::newRow("9600 baud, 100 registers") << 9600 << 213 << TMbaxp::RtuReplyTimeoutMs + 245;
    QTest::newRow("9600 baud, 9 registers") << 9600 << 31 << TMbaxp::RtuReplyTimeoutMs + 36;
    QTest::newRow("115200 baud, a single write") << 115200 << 16 << TMbaxp::RtuReplyTimeoutMs + 2;
}

void TestMbaxpRtu::timeOutIncludesTheLineTime()
{
    QFETCH(int, baud);
    QFETCH(int, frameBytes);
    QFETCH(int, timeoutMs);
    QCOMPARE(TMbaxp::RtuTimeoutMs(baud, frameBytes), timeoutMs);
}

// At 300 baud a one-register read takes 550 ms on the line: its time-out comes no sooner
// than that after the reply time-out.
void TestMbaxpRtu::timeOutOfASilentUnitWaitsForTheLineTime()
{
    Pty pty; // nothing answers on the other side
    QVERIFY(pty.open());
    const auto restore = scopedEnv("VELKARHUB_COM7", pty.slaveName.toLocal8Bit());
    Recorder rec;
    auto m = std::make_unique<TMbaxp>();
    rec.attach(*m);
    m->Connection = ComPort;
    m->BaudRate = 0; // 300 baud
    m->OpenConnection();
    QTRY_VERIFY(m->IsConnected());
    m->ReadHoldingRegisters(2, 16, 499, 1, 60000);
    QElapsedTimer sent;
    sent.start();
    m->UpdateOnce(2);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(2), 1, 10000);
    QCOMPARE(rec.events[0].error, MbaxpError::Timeout);
    const qint64 waited = sent.elapsed();
    // 1550 ms expected; without the line time it would be 1000 ms.
    QVERIFY2(waited >= TMbaxp::RtuTimeoutMs(300, 15) - 100, qPrintable(QString::number(waited)));
}

// The hub answers, its four links do not: once they are set aside, the general data
// (500 ms) never waits more than one probe's time-out, so the window's watchdog check
// (2 s) never raises a false alarm.
void TestMbaxpRtu::hubKeepsItsRateWithTheLinksSilent()
{
    HubOnPty hub;
    QVERIFY(hub.start({QStringLiteral("--silent"), QStringLiteral("17,18,19,20")}));
    Recorder rec;
    auto m = openRtu(rec); // 9600 baud, as the window opens it
    QTRY_VERIFY(m->IsConnected());
    startWindowBlocks(*m, rec);
    QTRY_VERIFY_WITH_TIMEOUT(allDemoted(*m, 17, 20), 60000);
    const size_t from = rec.events.size();
    constexpr int WindowMs = 10000;
    QElapsedTimer window;
    window.start();
    QTest::qWait(WindowMs);
    const qint64 windowMs = window.elapsed();
    qint64 previous = -1, longestGap = 0;
    int runs = 0;
    for (size_t k = from; k < rec.events.size(); ++k) {
        const auto &e = rec.events[k];
        if (e.handle != 2)
            continue;
        QCOMPARE(e.error, int16_t(0));
        if (previous >= 0)
            longestGap = std::max(longestGap, e.atMs - previous);
        previous = e.atMs;
        ++runs;
    }
    QVERIFY2(longestGap <= 1500, qPrintable(QStringLiteral("general data %1 ms apart").arg(longestGap)));
    QVERIFY2(runs >= windowMs / 1000, qPrintable(QStringLiteral("%1 runs in %2 ms").arg(runs).arg(windowMs)));
}

// Every third reply comes from another address with a CRC right for it: Qt's client
// discards it and waits out the time-out, and the run fails as an invalid reply.
void TestMbaxpRtu::repliesFromAnotherAddressAreNeverDelivered()
{
    HubOnPty hub;
    QVERIFY(hub.start());
    Recorder rec;
    auto m = openRtu(rec, ComPort, 100);
    QTRY_VERIFY(m->IsConnected());
    readWhileOtherUnitsAnswer(*m, rec, *hub.sim, 3, 15, 2 * TMbaxp::RtuReplyTimeoutMs);
}

QTEST_GUILESS_MAIN(TestMbaxpRtu)
#include "tst_mbaxp_rtu.moc"
