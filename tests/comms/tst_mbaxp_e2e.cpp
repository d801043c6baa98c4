// The Modbus control against the hub simulator over Modbus TCP on loopback.
#include "MbaxpTestKit.h"

#include "support/HubSimulator.h"

#include <QTcpSocket>
#include <QTest>

#include <memory>

class TestMbaxpE2e : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readGivesTheHubsWords();
    void singleAndMultipleWritesReachTheHub();
    void updateOnceRunsOnce();
    void updateEnableRunsAtItsRate();
    void updateDisableStopsTheRepetition();
    void redefinitionWhileRepeatingIsUsedFromNextRun();
    void wordsBeyondAShortReadKeepEarlierValues();
    void exceptionReplyGivesTheUnitsCode_data();
    void exceptionReplyGivesTheUnitsCode();
    void timeOutThenAnotherHandleWorks();
    void fiftyWritesOnHandleZeroReachTheHubInOrder();
    void simulatorStoppedAndRestartedRecovers();
    void writeWhileDownIsNeverSentLater();
    void silentUnitIsSetAsideWhileTheOthersKeepTheirRates();
    void writeToASilentUnitIsSentAndTimesOut();
    void readOverwrittenByAWriteIsRunAgain_data();
    void readOverwrittenByAWriteIsRunAgain();
    void overloadServesEveryBlockShortPeriodsMoreOften();
    void repliesFromAnotherUnitAreNeverDelivered();

private:
    std::unique_ptr<TMbaxp> open(int captureWords = 0, int timeoutMs = 1000);
    int reads(int unit, int reg);

    HubSimulator sim_;
    Recorder rec_;
    std::unique_ptr<TMbaxp> m_;
};

void TestMbaxpE2e::initTestCase() { QVERIFY(sim_.start()); }

void TestMbaxpE2e::init()
{
    rec_ = Recorder{};
    if (!sim_.isRunning())
        QVERIFY(sim_.restart());
    QCOMPARE(sim_.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    QVERIFY(sim_.unsilence());
    QVERIFY(sim_.delayReplies(0));
    QCOMPARE(sim_.command(QStringLiteral("wrongunit 0")).left(4), QStringLiteral("OK 0"));
}

void TestMbaxpE2e::cleanup() { m_.reset(); }

std::unique_ptr<TMbaxp> TestMbaxpE2e::open(int captureWords, int timeoutMs)
{
    auto m = std::make_unique<TMbaxp>();
    rec_.attach(*m, captureWords);
    m->Connection = 0;
    m->IPAddr1 = 127, m->IPAddr2 = 0, m->IPAddr3 = 0, m->IPAddr4 = 1;
    m->TCPIPPort = sim_.tcpPort();
    m->Timeout = int16_t(timeoutMs);
    m->OpenConnection();
    if (!QTest::qWaitFor([&] { return m->IsConnected(); }, 3000))
        qWarning("the control did not connect to the simulator");
    return m;
}

int TestMbaxpE2e::reads(int unit, int reg)
{
    const QString answer = sim_.command(QStringLiteral("reads %1 %2").arg(unit).arg(reg));
    return answer.startsWith(QLatin1String("OK ")) ? answer.mid(3).toInt() : -1;
}

void TestMbaxpE2e::readGivesTheHubsWords()
{
    QVERIFY(sim_.set(17, 1000, {1, -2, 3, 65535, 40000, 6, 7, 8, 9}));
    m_ = open(12);
    m_->ReadHoldingRegisters(17, 17, 999, 9, 1000);
    m_->ReadHoldingRegisters(2, 16, 499, 31, 500);
    m_->UpdateOnce(17);
    m_->UpdateOnce(2);
    QTRY_COMPARE(rec_.events.size(), size_t(2));
    QCOMPARE(rec_.events[0].handle, int16_t(17));
    QCOMPARE(rec_.events[0].error, int16_t(0));
    QCOMPARE(rec_.events[0].words, (std::vector<int16_t>{1, -2, 3, -1, -25536, 6, 7, 8, 9, 0, 0, 0}));
    QCOMPARE(rec_.events[1].handle, int16_t(2));
    QCOMPARE(rec_.events[1].error, int16_t(0));
    const QVector<quint16> general = sim_.get(16, 500, 31);
    QCOMPARE(general.size(), 31);
    for (int i = 0; i < 31; ++i)
        QCOMPARE(m_->Get_Register(2, int16_t(i)), int16_t(general[i]));
}

void TestMbaxpE2e::singleAndMultipleWritesReachTheHub()
{
    m_ = open();
    m_->PresetSingleRegister(0, 17, 2000, 1000);
    m_->Set_Register(0, 0, -5);
    m_->UpdateOnce(0);
    m_->PresetMultipleRegisters(0, 18, 2010, 4, 1000);
    for (int16_t i = 0; i < 4; ++i)
        m_->Set_Register(0, i, int16_t(100 + i));
    m_->UpdateOnce(0);
    QTRY_COMPARE(rec_.count(0), 2);
    QCOMPARE(rec_.okCount(0), 2);
    QCOMPARE(sim_.get(17, 2001, 1), (QVector<quint16>{65531}));
    QCOMPARE(sim_.get(18, 2011, 4), (QVector<quint16>{100, 101, 102, 103}));
    QCOMPARE(sim_.writeLog(), (QStringList{QStringLiteral("17:2001:65531"), QStringLiteral("18:2011:100,101,102,103")}));
}

void TestMbaxpE2e::updateOnceRunsOnce()
{
    m_ = open();
    const int before = reads(19, 3800);
    m_->ReadHoldingRegisters(39, 19, 3799, 100, 200);
    m_->UpdateOnce(39);
    QTRY_COMPARE(rec_.count(39), 1);
    QTest::qWait(500);
    QCOMPARE(rec_.count(39), 1);
    QCOMPARE(rec_.okCount(39), 1);
    QCOMPARE(reads(19, 3800), before + 1);
}

void TestMbaxpE2e::updateEnableRunsAtItsRate()
{
    m_ = open();
    const int before = reads(20, 1100);
    m_->ReadHoldingRegisters(30, 20, 1099, 12, 100);
    m_->UpdateEnable(30);
    QTest::qWait(1200);
    m_->UpdateDisable(30);
    QTest::qWait(100);
    // 1200 ms at 100 ms: about 12 or 13 runs.
    const int runs = reads(20, 1100) - before;
    QVERIFY2(runs >= 8 && runs <= 15, qPrintable(QString::number(runs)));
    QCOMPARE(rec_.okCount(30), runs);
    QCOMPARE(rec_.errorCount(30), 0);
}

void TestMbaxpE2e::updateDisableStopsTheRepetition()
{
    m_ = open();
    m_->ReadHoldingRegisters(27, 17, 1099, 12, 50);
    m_->UpdateEnable(27);
    QTRY_VERIFY(rec_.count(27) >= 3);
    m_->UpdateDisable(27);
    QTest::qWait(50); // the run on the wire, if any, still reports
    const int atStop = rec_.count(27);
    const int readsAtStop = reads(17, 1100);
    QTest::qWait(400);
    QCOMPARE(rec_.count(27), atStop);
    QCOMPARE(reads(17, 1100), readsAtStop);
    // It can be enabled again.
    m_->UpdateEnable(27);
    QTRY_VERIFY(rec_.count(27) > atStop);
}

void TestMbaxpE2e::redefinitionWhileRepeatingIsUsedFromNextRun()
{
    QVERIFY(sim_.set(17, 2001, {11, 12}));
    QVERIFY(sim_.set(18, 2051, {21, 22, 23}));
    m_ = open(3);
    m_->ReadHoldingRegisters(77, 17, 2000, 2, 100);
    m_->UpdateEnable(77);
    QTRY_VERIFY(rec_.okCount(77) >= 2);
    QCOMPARE(rec_.last(77)->words, (std::vector<int16_t>{11, 12, 0}));
    // Redefined while it repeats: from the next run on, the new block is read.
    m_->ReadHoldingRegisters(77, 18, 2050, 3, 100);
    const size_t at = rec_.events.size();
    QTest::qWait(650);
    m_->UpdateDisable(77);
    bool seenNew = false;
    for (size_t k = at; k < rec_.events.size(); ++k) {
        const auto &w = rec_.events[k].words;
        if (w == std::vector<int16_t>{21, 22, 23})
            seenNew = true;
        else
            QVERIFY2(!seenNew && k == at, "an old block after the new one, or more than one old");
    }
    QVERIFY(seenNew);
    const int newReads = reads(18, 2051);
    // Still at its rate: about 6 runs in 650 ms, no burst.
    QVERIFY2(newReads >= 3 && newReads <= 9, qPrintable(QString::number(newReads)));
}

void TestMbaxpE2e::wordsBeyondAShortReadKeepEarlierValues()
{
    QVERIFY(sim_.set(18, 1000, {11, 12, 13, 14, 15, 16, 17, 18, 19}));
    m_ = open();
    m_->ReadHoldingRegisters(18, 18, 999, 9, 1000);
    m_->UpdateOnce(18);
    QTRY_COMPARE(rec_.okCount(18), 1);
    QVERIFY(sim_.set(18, 1000, {21, 22, 23, 24, 25, 26, 27, 28, 29}));
    m_->ReadHoldingRegisters(18, 18, 999, 7, 1000); // the short link-settings read
    m_->UpdateOnce(18);
    QTRY_COMPARE(rec_.okCount(18), 2);
    const int16_t expected[9] = {21, 22, 23, 24, 25, 26, 27, 18, 19};
    for (int16_t i = 0; i < 9; ++i)
        QCOMPARE(m_->Get_Register(18, i), expected[i]);
    QCOMPARE(m_->Get_Register(18, 9), int16_t(0));
    QVERIFY(sim_.set(18, 1000, {1, 1, 96, 0, 9, 0, 10, 0, 2}));
}

void TestMbaxpE2e::exceptionReplyGivesTheUnitsCode_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("quantity");
    QTest::newRow("unit 16, 4x1") << 16 << 0 << 1;
    QTest::newRow("unit 17, past the end of 4x1000..4x1008") << 17 << 1007 << 3;
    QTest::newRow("unit 20, 4x7000") << 20 << 6999 << 10;
}

void TestMbaxpE2e::exceptionReplyGivesTheUnitsCode()
{
    QFETCH(int, unit);
    QFETCH(int, address);
    QFETCH(int, quantity);
    m_ = open();
    m_->ReadHoldingRegisters(8, int16_t(unit), address, int16_t(quantity), 1000);
    m_->UpdateOnce(8);
    m_->PresetMultipleRegisters(0, int16_t(unit), address, int16_t(quantity), 1000);
    m_->UpdateOnce(0);
    QTRY_COMPARE(rec_.events.size(), size_t(2));
    QCOMPARE(rec_.events[0].error, int16_t(2));
    QCOMPARE(rec_.events[1].error, int16_t(2));
}

void TestMbaxpE2e::timeOutThenAnotherHandleWorks()
{
    auto m = std::make_unique<TMbaxp>();
    rec_.attach(*m);
    m->IPAddr1 = 127, m->IPAddr2 = 0, m->IPAddr3 = 0, m->IPAddr4 = 1;
    m->TCPIPPort = sim_.tcpPort();
    m->Timeout = 200;
    m->OpenConnection();
    m_ = std::move(m);
    m_->ReadHoldingRegisters(5, 5, 999, 9, 1000); // unit 5 does not answer
    m_->ReadHoldingRegisters(9, 16, 6999, 10, 500);
    m_->UpdateOnce(5);
    m_->UpdateOnce(9);
    QTRY_COMPARE_WITH_TIMEOUT(rec_.events.size(), size_t(2), 3000);
    QCOMPARE(rec_.events[0].handle, int16_t(5));
    QCOMPARE(rec_.events[0].error, MbaxpError::Timeout);
    QCOMPARE(rec_.events[1].handle, int16_t(9));
    QCOMPARE(rec_.events[1].error, int16_t(0));
    QVERIFY(m_->IsConnected());
}

void TestMbaxpE2e::fiftyWritesOnHandleZeroReachTheHubInOrder()
{
    m_ = open();
    // The window polls meanwhile.
    m_->ReadHoldingRegisters(2, 16, 499, 31, 50);
    m_->UpdateEnable(2);
    QStringList expected;
    for (int k = 0; k < 50; ++k) {
        const int unit = 17 + k % 4;
        if (k % 3 == 0) {
            m_->PresetMultipleRegisters(0, int16_t(unit), 2000 + k, 2, 1000);
            m_->Set_Register(0, 0, int16_t(k));
            m_->Set_Register(0, 1, int16_t(-k));
            expected << QStringLiteral("%1:%2:%3,%4").arg(unit).arg(2001 + k).arg(k).arg(quint16(-k));
        } else {
            m_->PresetSingleRegister(0, int16_t(unit), 2000 + k, 1000);
            m_->Set_Register(0, 0, int16_t(1000 + k));
            expected << QStringLiteral("%1:%2:%3").arg(unit).arg(2001 + k).arg(1000 + k);
        }
        m_->UpdateOnce(0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec_.count(0), 50, 5000);
    QCOMPARE(rec_.okCount(0), 50);
    m_->UpdateDisable(2);
    QCOMPARE(sim_.writeLog(), expected);
}

void TestMbaxpE2e::simulatorStoppedAndRestartedRecovers()
{
    m_ = open();
    m_->ReadHoldingRegisters(37, 17, 3799, 100, 100);
    m_->ReadHoldingRegisters(27, 17, 1099, 12, 100);
    m_->UpdateEnable(37);
    m_->UpdateEnable(27);
    QTRY_VERIFY(rec_.okCount(37) >= 2 && rec_.okCount(27) >= 2);
    sim_.stop();
    QTest::qWait(1500);
    const int errors37 = rec_.errorCount(37);
    const int errors27 = rec_.errorCount(27);
    QVERIFY(errors37 >= 1 && errors27 >= 1);
    // One error per reconnect attempt at most (about 0, 250, 750 ms), not one per due time.
    QVERIFY2(errors37 <= 6 && errors27 <= 6, qPrintable(QStringLiteral("%1 %2").arg(errors37).arg(errors27)));
    for (const auto &e : rec_.events)
        if (e.error != 0)
            QVERIFY2(e.error == MbaxpError::ConnectionLost || e.error == MbaxpError::ConnectionRefused,
                     qPrintable(QString::number(e.error)));
    const int ok37 = rec_.okCount(37);
    const int ok27 = rec_.okCount(27);
    QVERIFY(sim_.restart());
    // Polling resumes by itself, without any call.
    QTRY_VERIFY_WITH_TIMEOUT(rec_.okCount(37) >= ok37 + 3 && rec_.okCount(27) >= ok27 + 3, 5000);
    QVERIFY(m_->IsConnected());
}

void TestMbaxpE2e::writeWhileDownIsNeverSentLater()
{
    m_ = open();
    m_->ReadHoldingRegisters(17, 17, 999, 9, 100);
    m_->UpdateEnable(17);
    QTRY_VERIFY(rec_.okCount(17) >= 1);
    sim_.stop();
    QTRY_VERIFY(!m_->IsConnected());
    m_->PresetSingleRegister(0, 17, 2000, 1000);
    m_->Set_Register(0, 0, 77);
    m_->UpdateOnce(0);
    QTRY_COMPARE(rec_.count(0), 1);
    QCOMPARE(rec_.events.back().error, MbaxpError::NotConnected);
    QVERIFY(sim_.restart());
    const int ok = rec_.okCount(17);
    QTRY_VERIFY_WITH_TIMEOUT(rec_.okCount(17) >= ok + 3, 5000);
    QCOMPARE(sim_.writeLog(), QStringList{});
    QCOMPARE(sim_.get(17, 2001, 1), (QVector<quint16>{0}));
    QCOMPARE(rec_.count(0), 1);
}

void TestMbaxpE2e::silentUnitIsSetAsideWhileTheOthersKeepTheirRates()
{
    constexpr int TimeoutMs = 300;
    constexpr int Silent = 20;
    QVERIFY(sim_.silence({Silent}));
    m_ = open(0, TimeoutMs);
    startWindowBlocks(*m_, rec_);
    const std::vector<WindowBlock> blocks = windowBlocks();
    const auto unitOf = [&](int handle) {
        for (const WindowBlock &b : blocks)
            if (b.handle == handle)
                return int(b.unit);
        return int(HubStatisticsBlock.unit);
    };
    QTRY_VERIFY_WITH_TIMEOUT(m_->DemotionPeriodMs(Silent) > 0, 5000);
    // Its first three runs timed out; then its waiting runs failed at once.
    std::vector<int16_t> silentErrors;
    for (const auto &e : rec_.events)
        if (unitOf(e.handle) == Silent)
            silentErrors.push_back(e.error);
    QVERIFY(silentErrors.size() > size_t(TMbaxp::DemoteAfterTimeouts));
    for (size_t k = 0; k < silentErrors.size(); ++k)
        QCOMPARE(silentErrors[k], k < size_t(TMbaxp::DemoteAfterTimeouts) ? MbaxpError::Timeout : MbaxpError::NoReply);

    const size_t from = rec_.events.size();
    QTest::qWait(7500);
    for (const WindowBlock &b : blocks) {
        if (!b.repeated)
            continue;
        if (b.unit == Silent) {
            QCOMPARE(rec_.okCount(b.handle), 0);
            QVERIFY2(rec_.count(b.handle, MbaxpError::NoReply) >= 1, qPrintable(QString::number(b.handle)));
            continue;
        }
        const double nominal = 1000.0 / b.rate;
        const double achieved = achievedRate(rec_, b.handle, from);
        QVERIFY2(std::abs(achieved - nominal) <= 0.10 * nominal,
                 qPrintable(QStringLiteral("handle %1: %2 runs/s, nominal %3").arg(b.handle).arg(achieved).arg(nominal)));
        QCOMPARE(rec_.errorCount(b.handle), 0);
    }
    const double statistics = achievedRate(rec_, HubStatisticsBlock.handle, from);
    QVERIFY2(std::abs(statistics - 2.0) <= 0.2, qPrintable(QString::number(statistics)));
    for (size_t k = from; k < rec_.events.size(); ++k) {
        const auto &e = rec_.events[k];
        if (unitOf(e.handle) == Silent)
            QVERIFY2(e.error == MbaxpError::NoReply || e.error == MbaxpError::Timeout, // a probe
                     qPrintable(QString::number(e.error)));
    }

    // It answers again: each of its blocks is back within the demotion period, the time
    // until one of its runs comes due as the probe, and one period of the block. (A probe
    // that was already on its way when the unit came back times out and doubles the
    // period: the period is taken once that one is over.)
    QVERIFY(m_->DemotionPeriodMs(Silent) >= TMbaxp::DemotionFirstMs);
    QVERIFY(sim_.unsilence({Silent}));
    QTest::qWait(TimeoutMs + 200);
    const int periodMs = m_->DemotionPeriodMs(Silent);
    QElapsedTimer since;
    since.start();
    constexpr int ShortestRate = 500;
    for (const WindowBlock &b : blocks) {
        if (b.unit != Silent)
            continue;
        const qint64 bound = periodMs + ShortestRate + b.rate + 1000;
        QTRY_VERIFY_WITH_TIMEOUT(rec_.okCount(b.handle) >= 1, int(std::max<qint64>(1, bound - since.elapsed())));
    }
    QCOMPARE(m_->DemotionPeriodMs(Silent), 0);
}

void TestMbaxpE2e::writeToASilentUnitIsSentAndTimesOut()
{
    QVERIFY(sim_.silence({20}));
    m_ = open(0, 300);
    m_->ReadHoldingRegisters(30, 20, 1099, 12, 100);
    m_->UpdateEnable(30);
    QTRY_VERIFY_WITH_TIMEOUT(m_->DemotionPeriodMs(20) > 0, 3000);
    m_->PresetSingleRegister(0, 20, 2000, 1000);
    m_->Set_Register(0, 0, 77);
    m_->UpdateOnce(0);
    QTRY_COMPARE_WITH_TIMEOUT(rec_.count(0), 1, 3000);
    QCOMPARE(rec_.last(0)->error, MbaxpError::Timeout);
    // The unit got it (and, being silent, did nothing with it).
    QCOMPARE(sim_.writeLog(), QStringList{QStringLiteral("20:2001:77")});
    QCOMPARE(sim_.get(20, 2001, 1), (QVector<quint16>{0}));
    m_->UpdateDisable(30);
}

void TestMbaxpE2e::readOverwrittenByAWriteIsRunAgain_data()
{
    QTest::addColumn<bool>("waiting"); // its result waits to be delivered; else it is on the wire
    QTest::newRow("read on the wire") << false;
    QTest::newRow("result waiting to be delivered") << true;
}

// The link settings of link 1 (4x1000..4x1008) are read while the operator changes
// 4x1002; the read of link 2's settings went before and is not touched.
void TestMbaxpE2e::readOverwrittenByAWriteIsRunAgain()
{
    QFETCH(bool, waiting);
    constexpr int16_t Undefined = 77;
    QVERIFY(sim_.delayReplies(400, {17}));
    m_ = open(9);
    const QVector<quint16> link2 = sim_.get(18, 1000, 9);
    const int reads17 = reads(17, 1000), reads18 = reads(18, 1000);
    m_->ReadHoldingRegisters(18, 18, 999, 9, 60000);
    m_->ReadHoldingRegisters(17, 17, 999, 9, 60000);
    const auto write = [this] {
        m_->PresetSingleRegister(0, 17, 1001, 1000);
        m_->Set_Register(0, 0, 55);
        m_->UpdateOnce(0);
    };
    bool replyTaken = false;
    if (waiting) {
        // Another event's handler is still running when the read's reply comes in (read
        // here from the control's socket): the result waits when the handler writes.
        rec_.then = [&](const Recorder::Event &e) {
            if (e.handle != Undefined)
                return;
            auto *socket = m_->findChild<QTcpSocket *>();
            replyTaken = socket && socket->waitForReadyRead(3000);
            write();
        };
    }
    m_->UpdateOnce(18);
    m_->UpdateOnce(17);
    QTRY_COMPARE(reads(17, 1000), reads17 + 1); // on the wire, its reply held back by the simulator
    QCOMPARE(rec_.count(18), 1);
    if (waiting)
        m_->UpdateOnce(Undefined); // answered by the control at once
    else
        write();
    QTRY_COMPARE(rec_.count(0), 1);
    QCOMPARE(rec_.last(0)->error, int16_t(0));
    QTRY_COMPARE_WITH_TIMEOUT(rec_.count(17), 1, 3000);
    QTest::qWait(600);
    QCOMPARE(replyTaken, waiting);
    QCOMPARE(rec_.count(17), 1); // exactly one event for the run
    QCOMPARE(rec_.last(17)->error, int16_t(0));
    QCOMPARE(rec_.last(17)->words.at(2), int16_t(55)); // what the operator wrote
    const QVector<quint16> link1 = sim_.get(17, 1000, 9);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(rec_.last(17)->words.at(size_t(i)), int16_t(link1[i]));
    QCOMPARE(reads(17, 1000), reads17 + 2);
    // The read of another unit is delivered as it came.
    QCOMPARE(rec_.count(18), 1);
    QCOMPARE(reads(18, 1000), reads18 + 1);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(rec_.last(18)->words.at(size_t(i)), int16_t(link2[i]));
    QVERIFY(sim_.set(17, 1002, {96}));
}

void TestMbaxpE2e::overloadServesEveryBlockShortPeriodsMoreOften()
{
    // Each reply takes 30 ms: 12 blocks ask for about 1.6 s of wire time a second.
    QVERIFY(sim_.delayReplies(30));
    m_ = open();
    struct Group {
        int16_t firstHandle;
        int16_t unit;
        int32_t rate;
    };
    const Group groups[] = {{101, 17, 100}, {111, 18, 400}, {121, 19, 1600}};
    constexpr int PerGroup = 4;
    int handles = 0;
    for (const Group &g : groups) {
        for (int16_t k = 0; k < PerGroup; ++k) {
            m_->ReadHoldingRegisters(int16_t(g.firstHandle + k), g.unit, 999, 9, g.rate);
            m_->UpdateEnable(int16_t(g.firstHandle + k));
            ++handles;
        }
    }
    int mostWaiting = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { mostWaiting = std::max(mostWaiting, m_->WaitingReads()); });
    sampler.start(5);
    QTest::qWait(6000);
    sampler.stop();
    for (const Group &g : groups)
        for (int16_t k = 0; k < PerGroup; ++k)
            m_->UpdateDisable(int16_t(g.firstHandle + k));

    double runs[3] = {};
    for (int gi = 0; gi < 3; ++gi) {
        for (int16_t k = 0; k < PerGroup; ++k) {
            const int16_t h = int16_t(groups[gi].firstHandle + k);
            QVERIFY2(rec_.okCount(h) >= 1, qPrintable(QStringLiteral("handle %1 never served").arg(h)));
            runs[gi] += rec_.okCount(h);
        }
    }
    QVERIFY2(runs[0] > runs[1] && runs[1] > runs[2],
             qPrintable(QStringLiteral("runs by period 100/400/1600 ms: %1 %2 %3").arg(runs[0]).arg(runs[1]).arg(runs[2])));
    // Overloaded indeed (the 100 ms blocks fell short of their rate), and the ready set
    // never held more than one read per handle.
    QVERIFY2(runs[0] < 0.9 * PerGroup * 60, qPrintable(QString::number(runs[0])));
    QVERIFY2(mostWaiting > 1 && mostWaiting <= handles, qPrintable(QString::number(mostWaiting)));
    QTRY_COMPARE(m_->WaitingReads(), 0);
}

// A gateway that answers half the requests with another unit's reply (the right
// transaction id, function and byte count, another unit id).
void TestMbaxpE2e::repliesFromAnotherUnitAreNeverDelivered()
{
    m_ = open(100);
    readWhileOtherUnitsAnswer(*m_, rec_, sim_, 2, 400, 300);
}

QTEST_GUILESS_MAIN(TestMbaxpE2e)
#include "tst_mbaxp_e2e.moc"
