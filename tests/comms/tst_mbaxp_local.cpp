// The Modbus control against scripted units inside the test process: buffers, event
// delivery, scheduling, request encoding, reply checking, connection failures.
#include "MbaxpTestKit.h"

#include "support/ReservedPort.h"
#include "utilities/Exceptions.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(UnitScript::Answer)

namespace {

// Reads, writes and handles used throughout.
constexpr int16_t ReadA = 2;
constexpr int16_t ReadB = 9;
constexpr int16_t Write0 = 0;

std::unique_ptr<TMbaxp> connectedTo(FakeTcpUnit &unit, Recorder &rec, int captureWords = 0, int timeoutMs = 1000)
{
    auto m = std::make_unique<TMbaxp>();
    rec.attach(*m, captureWords);
    unit.attachTo(*m);
    m->Timeout = int16_t(timeoutMs);
    m->OpenConnection();
    return m;
}

bool waitConnected(TMbaxp &m) { return QTest::qWaitFor([&] { return m.IsConnected(); }, 3000); }

// A row's answer to a request: as given, with the normal reply's PDU when normalPdu.
UnitScript::Answer rowAnswer(UnitScript &unit, const UnitScript::Request &r, UnitScript::Answer answer, bool normalPdu)
{
    if (normalPdu)
        answer.pdu = unit.normal(r).pdu;
    return answer;
}

} // namespace

class TestMbaxpLocal : public QObject {
    Q_OBJECT

private slots:
    void registerIndexOutsideBufferThrows_data();
    void registerIndexOutsideBufferThrows();
    void everyHandleHasItsOwnBuffer();
    void eventsAreQueuedNeverRaisedInsideCalls();
    void eventsKeepArrivingInNestedLoop();
    void handlerSeesWordsOfItsOwnRun();
    void resultCountIsWhatTheRunCarried();
    void handlerMayStartTheSameHandleAgain();
    void functionCodesOfWrites_data();
    void functionCodesOfWrites();
    void blocksNoUnitAccepts_data();
    void blocksNoUnitAccepts();
    void repliesAreCheckedAgainstTheirRequest_data();
    void repliesAreCheckedAgainstTheirRequest();
    void failedRepliesAreNotTimeOuts_data();
    void failedRepliesAreNotTimeOuts();
    void lateReplyIsNotMatchedToNextRun();
    void updateOnceIsCoalescedIntoPendingRun();
    void dueWhilePendingRunsOnceAfter();
    void lateRunDoesNotBurst_data();
    void lateRunDoesNotBurst();
    void updateEnableAgainKeepsSchedule();
    void updateDisableDropsQueuedRepeatOnly();
    void writesGoAheadOfQueuedPolls();
    void consecutiveWritesOnHandleZeroAllSentInOrder();
    void writeWhileClosedFailsAndIsNeverSent();
    void connectFailuresGive13_data();
    void connectFailuresGive13();
    void reconnectsWithBoundedErrors();
    void connectAttemptHasADeadline();
    void throwingHandlerDoesNotStopDelivery();
    void connectionDropFailsWiredAndQueuedWrites();
    void closeConnectionStopsAndOpenResumes();
    void pacedWritesKeepTheirGapAndLetReadsBetween();
    void pacedWriteWaitsForOverlappingReads();
    void writeEventsComeInStartOrder_data();
    void writeEventsComeInStartOrder();
    void closeSendsEveryWaitingWrite_data();
    void closeSendsEveryWaitingWrite();
    void closeStops_data();
    void closeStops();
    void timeOutPutsTheUnitBehind();
    void silentUnitIsDemotedAndProbed();
    void probesGoOneAtATimeInTurn();
    void reconnectClearsDemotions_data();
    void reconnectClearsDemotions();
    void readOverwrittenByAWriteIsRunAgain_data();
    void readOverwrittenByAWriteIsRunAgain();
};

void TestMbaxpLocal::registerIndexOutsideBufferThrows_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("minus one") << -1;
    QTest::newRow("buffer size") << int(IMbaxp::BufferWords);
    QTest::newRow("largest") << 32767;
    QTest::newRow("smallest") << -32768;
}

void TestMbaxpLocal::registerIndexOutsideBufferThrows()
{
    QFETCH(int, index);
    TMbaxp m;
    m.Set_Register(3, 0, 11);
    m.Set_Register(3, 124, 22);
    try {
        m.Get_Register(3, int16_t(index));
        QFAIL("Get_Register did not throw");
    } catch (const EListError &e) {
        QVERIFY2(e.Message().contains(QString::number(index)), qPrintable(e.Message()));
    }
    QVERIFY_THROWS_EXCEPTION(EListError, m.Set_Register(3, int16_t(index), 99));
    // The buffer is untouched by the refused calls.
    QCOMPARE(m.Get_Register(3, 0), int16_t(11));
    QCOMPARE(m.Get_Register(3, 124), int16_t(22));
}

void TestMbaxpLocal::everyHandleHasItsOwnBuffer()
{
    TMbaxp m;
    const int16_t handles[] = {-32768, -1, 0, 1, 6, 120, 32767};
    for (const int16_t h : handles)
        QCOMPARE(m.Get_Register(h, 5), int16_t(0)); // zero before anything
    for (const int16_t h : handles)
        for (int16_t i = 0; i < IMbaxp::BufferWords; ++i)
            m.Set_Register(h, i, int16_t(h ^ i));
    for (const int16_t h : handles)
        for (int16_t i = 0; i < IMbaxp::BufferWords; ++i)
            QCOMPARE(m.Get_Register(h, i), int16_t(h ^ i));
    // A new definition keeps the words set before it.
    m.PresetMultipleRegisters(1, 16, 100, 10, 1000);
    m.ReadHoldingRegisters(1, 17, 0, 120, 500);
    QCOMPARE(m.Get_Register(1, 119), int16_t(1 ^ 119));
}

void TestMbaxpLocal::eventsAreQueuedNeverRaisedInsideCalls()
{
    TMbaxp m;
    Recorder rec;
    rec.attach(m);
    m.ReadHoldingRegisters(ReadA, 16, 0, 4, 500);
    m.PresetSingleRegister(Write0, 16, 0, 1000);
    m.UpdateOnce(ReadA);  // not connected
    m.UpdateOnce(Write0); // not connected
    m.UpdateOnce(77);     // no block defined
    QCOMPARE(rec.events.size(), size_t(0));
    QThread::msleep(150); // a blocking pause of the thread delivers nothing
    QCOMPARE(rec.events.size(), size_t(0));
    QTRY_COMPARE(rec.events.size(), size_t(3));
    QCOMPARE(rec.events[0].handle, ReadA);
    QCOMPARE(rec.events[0].error, MbaxpError::NotConnected);
    QCOMPARE(rec.events[1].handle, Write0);
    QCOMPARE(rec.events[1].error, MbaxpError::NotConnected);
    QCOMPARE(rec.events[2].handle, int16_t(77));
    QCOMPARE(rec.events[2].error, int16_t(1));
}

void TestMbaxpLocal::eventsKeepArrivingInNestedLoop()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    int duringNested = 0;
    bool inNested = false;
    bool nestedDone = false;
    rec.then = [&](const Recorder::Event &e) {
        if (inNested) {
            ++duringNested;
            return;
        }
        if (e.handle == ReadA && !nestedDone) {
            nestedDone = true;
            inNested = true;
            QEventLoop loop; // what a modal box does
            QTimer::singleShot(400, &loop, &QEventLoop::quit);
            loop.exec();
            inNested = false;
        }
    };
    m->ReadHoldingRegisters(ReadA, 16, 0, 2, 60000);
    m->ReadHoldingRegisters(ReadB, 16, 10, 2, 40);
    m->UpdateOnce(ReadA);
    m->UpdateEnable(ReadB);
    QTRY_VERIFY_WITH_TIMEOUT(nestedDone && !inNested, 3000);
    QVERIFY2(duringNested >= 3, qPrintable(QString::number(duringNested)));
}

void TestMbaxpLocal::handlerSeesWordsOfItsOwnRun()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    // Each read is answered with the number of the request in every word.
    int served = 0;
    unit.script = [&](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (r.fc() != 3)
            return std::nullopt;
        ++served;
        for (int i = 0; i < r.field2(); ++i)
            unit.regs[size_t(r.address() + i)] = quint16(served * 100 + i);
        return std::nullopt;
    };
    Recorder rec;
    auto m = connectedTo(unit, rec, 5);
    m->ReadHoldingRegisters(ReadA, 17, 999, 5, 20);
    m->UpdateEnable(ReadA);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(ReadA) >= 10, 3000);
    m->UpdateDisable(ReadA);
    for (size_t k = 0; k < rec.events.size(); ++k)
        for (int i = 0; i < 5; ++i)
            QCOMPARE(rec.events[k].words[size_t(i)], int16_t((k + 1) * 100 + i));
}

void TestMbaxpLocal::resultCountIsWhatTheRunCarried()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers(150);
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    constexpr int16_t Link2 = 18;
    QCOMPARE(m->ResultCount(Link2), int16_t(0)); // before any result
    std::vector<int16_t> seen; // ResultCount inside each OnResultOk of the read
    rec.then = [&](const Recorder::Event &e) {
        if (e.handle == Link2 && e.error == 0)
            seen.push_back(m->ResultCount(Link2));
    };
    // A short read, defined again with 9 words while it is on the wire: its result still
    // carries the 7 it was sent with; the next run carries 9.
    m->ReadHoldingRegisters(Link2, 18, 999, 7, 1000);
    m->UpdateOnce(Link2);
    QTRY_COMPARE(unit.requests.size(), size_t(1));
    QCOMPARE(unit.requests[0].field2(), 7);
    m->ReadHoldingRegisters(Link2, 18, 999, 9, 1000);
    QTRY_COMPARE(rec.okCount(Link2), 1);
    QCOMPARE(seen, std::vector<int16_t>{7});
    QCOMPARE(m->ResultCount(Link2), int16_t(7)); // the last delivered, after its event
    m->UpdateOnce(Link2);
    QTRY_COMPARE(rec.okCount(Link2), 2);
    QCOMPARE(seen, (std::vector<int16_t>{7, 9}));

    // A failed run carries nothing and leaves the count of the last result.
    unit.script = [](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (r.fc() != 3)
            return std::nullopt;
        UnitScript::Answer a;
        a.pdu = QByteArray("\x83\x02", 2);
        return a;
    };
    m->UpdateOnce(Link2);
    QTRY_COMPARE(rec.errorCount(Link2), 1);
    QCOMPARE(m->ResultCount(Link2), int16_t(9));
    // A write's result carries no words.
    m->PresetSingleRegister(Write0, 17, 1000, 1000);
    m->Set_Register(Write0, 0, 5);
    m->UpdateOnce(Write0);
    QTRY_COMPARE(rec.okCount(Write0), 1);
    QCOMPARE(m->ResultCount(Write0), int16_t(0));
}

void TestMbaxpLocal::handlerMayStartTheSameHandleAgain()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    constexpr int16_t GroupRead = 6;
    m->ReadHoldingRegisters(GroupRead, 17, 1302, 17, 500);
    rec.then = [&](const Recorder::Event &e) {
        if (e.handle == GroupRead && rec.count(GroupRead) < 4)
            m->UpdateOnce(GroupRead); // "still busy": read again from inside the result
    };
    m->UpdateOnce(GroupRead);
    QTRY_COMPARE(rec.okCount(GroupRead), 4);
    QTest::qWait(100);
    QCOMPARE(rec.count(GroupRead), 4);
    QCOMPARE(unit.countFc(3), 4);
}

void TestMbaxpLocal::functionCodesOfWrites_data()
{
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QByteArray>("pdu");
    QTest::newRow("single register: function 6") << true << 1 << QByteArray::fromHex("06012c8001");
    QTest::newRow("multiple, one register: function 16") << false << 1 << QByteArray::fromHex("10012c0001028001");
    QTest::newRow("multiple, three registers: function 16")
        << false << 3 << QByteArray::fromHex("10012c0003068001fffe0003");
}

void TestMbaxpLocal::functionCodesOfWrites()
{
    QFETCH(bool, single);
    QFETCH(int, quantity);
    QFETCH(QByteArray, pdu);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    if (single)
        m->PresetSingleRegister(Write0, 18, 300, 1000);
    else
        m->PresetMultipleRegisters(Write0, 18, 300, int16_t(quantity), 1000);
    m->Set_Register(Write0, 0, int16_t(0x8001));
    m->Set_Register(Write0, 1, -2);
    m->Set_Register(Write0, 2, 3);
    m->UpdateOnce(Write0);
    QTRY_COMPARE(rec.count(Write0), 1);
    QCOMPARE(rec.events[0].error, int16_t(0));
    QCOMPARE(unit.requests.size(), size_t(1));
    QCOMPARE(unit.requests[0].unit, 18);
    QCOMPARE(unit.requests[0].pdu.toHex(), pdu.toHex());
}

void TestMbaxpLocal::blocksNoUnitAccepts_data()
{
    QTest::addColumn<int>("kind"); // 0 none, 1 read, 2 multiple write
    QTest::addColumn<int>("slave");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<int>("error");
    QTest::newRow("no block defined") << 0 << 16 << 0 << 1 << 1;
    QTest::newRow("read of 0 registers") << 1 << 16 << 0 << 0 << 3;
    QTest::newRow("read of 125 registers: the largest sent") << 1 << 16 << 0 << 125 << 0;
    QTest::newRow("read of 126 registers") << 1 << 16 << 0 << 126 << 3;
    QTest::newRow("write of 123 registers: the largest sent") << 2 << 16 << 0 << 123 << 0;
    QTest::newRow("write of 124 registers") << 2 << 16 << 0 << 124 << 3;
    QTest::newRow("unit id 300") << 1 << 300 << 0 << 1 << 3;
    QTest::newRow("negative address") << 1 << 16 << -1 << 1 << 2;
    QTest::newRow("range beyond 65535") << 1 << 16 << 65535 << 2 << 2;
}

void TestMbaxpLocal::blocksNoUnitAccepts()
{
    QFETCH(int, kind);
    QFETCH(int, slave);
    QFETCH(int, address);
    QFETCH(int, quantity);
    QFETCH(int, error);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    if (kind == 1)
        m->ReadHoldingRegisters(5, int16_t(slave), address, int16_t(quantity), 1000);
    else if (kind == 2)
        m->PresetMultipleRegisters(5, int16_t(slave), address, int16_t(quantity), 1000);
    m->UpdateOnce(5);
    QTRY_COMPARE(rec.count(5), 1);
    QCOMPARE(int(rec.events[0].error), error);
    if (error != 0) {
        QCOMPARE(unit.requests.size(), size_t(0)); // answered by the control itself
    } else {
        QCOMPARE(unit.requests.size(), size_t(1));
        QCOMPARE(unit.requests[0].fc(), kind == 1 ? 3 : 16);
        QCOMPARE(unit.requests[0].field2(), quantity);
    }
}

void TestMbaxpLocal::repliesAreCheckedAgainstTheirRequest_data()
{
    using Answer = UnitScript::Answer;
    const auto pdu = [](const char *hex) {
        Answer a;
        a.pdu = QByteArray::fromHex(hex);
        return a;
    };
    const auto fromUnit = [](int unit, Answer a = {}) {
        a.unit = unit;
        return a;
    };
    const auto raw = [](const char *hex) {
        Answer a;
        a.before = QByteArray::fromHex(hex);
        return a;
    };
    Answer protocol1;
    protocol1.protocol = 1;
    Answer lateFirst;
    lateFirst.earlier = QByteArray::fromHex("0306005b005c005d");
    Answer otherTransaction;
    otherTransaction.transactionDelta = 1;

    QTest::addColumn<int>("fc");          // the request that is answered badly: 3, 6 or 16
    QTest::addColumn<Answer>("answer");   // what is sent back for it
    QTest::addColumn<bool>("normalPdu");  // the answer's PDU is the normal reply's
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("reconnects"); // the control opens the connection afresh
    // The request of each row reads or writes 3 registers at 100 of unit 17 (6: one
    // register, value 7); the unit holds 11, 12, 13 there.
    QTest::newRow("fewer registers than asked") << 3 << pdu("030400010002") << false << 16 << false;
    QTest::newRow("byte count not the quantity") << 3 << pdu("0304000100020003") << false << 16 << false;
    QTest::newRow("byte count one less than asked") << 3 << pdu("0305000b000c000d") << false << 16 << false;
    QTest::newRow("byte count one more than asked") << 3 << pdu("0307000b000c000d") << false << 16 << false;
    QTest::newRow("another function code") << 3 << pdu("0406000100020003") << false << 16 << false;
    QTest::newRow("exception 2") << 3 << pdu("8302") << false << 2 << false;
    QTest::newRow("exception 11") << 3 << pdu("830b") << false << 11 << false;
    QTest::newRow("exception 12 is no Modbus code") << 3 << pdu("830c") << false << 16 << false;
    QTest::newRow("exception 0x51 is no Modbus code") << 3 << pdu("8351") << false << 16 << false;
    QTest::newRow("single write echo with another value") << 6 << pdu("0600640008") << false << 16 << false;
    QTest::newRow("single write echo of another address") << 6 << pdu("0600650007") << false << 16 << false;
    QTest::newRow("multiple write echo with another quantity") << 16 << pdu("1000640002") << false << 16 << false;
    QTest::newRow("multiple write echo of another address") << 16 << pdu("1000650003") << false << 16 << false;
    QTest::newRow("single write answered with function 16") << 6 << pdu("1000640007") << false << 16 << false;
    QTest::newRow("multiple write answered with function 6") << 16 << pdu("0600640003") << false << 16 << false;
    QTest::newRow("multiple write exception 4") << 16 << pdu("9004") << false << 4 << false;
    QTest::newRow("a read answered by another unit") << 3 << fromUnit(18) << true << 16 << false;
    QTest::newRow("a write answered by another unit") << 6 << fromUnit(18) << true << 16 << false;
    QTest::newRow("an exception from another unit") << 3 << fromUnit(18, pdu("8302")) << false << 16 << false;
    QTest::newRow("protocol id 1") << 3 << protocol1 << true << 16 << false;
    QTest::newRow("a late reply comes first, then the right one") << 3 << lateFirst << true << 0 << false;
    QTest::newRow("only a reply with another transaction id") << 3 << otherTransaction << true << 12 << false;
    QTest::newRow("a length no frame has: 1024") << 3 << raw("123400000400110300") << true << 16 << true;
    QTest::newRow("a length no frame has: 1") << 3 << raw("12340000000111") << true << 16 << true;
    QTest::newRow("a frame cut short") << 3 << raw("0001000000641103c8000b000c") << false << 12 << true;
}

// Nothing of a reply that does not fit its request is decoded: the run fails and the
// next one is answered and matched properly.
void TestMbaxpLocal::repliesAreCheckedAgainstTheirRequest()
{
    QFETCH(int, fc);
    QFETCH(UnitScript::Answer, answer);
    QFETCH(bool, normalPdu);
    QFETCH(int, error);
    QFETCH(bool, reconnects);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    for (int i = 0; i < 3; ++i)
        unit.regs[size_t(100 + i)] = quint16(11 + i);
    for (int i = 0; i < 10; ++i)
        unit.regs[size_t(200 + i)] = quint16(1000 + i);
    bool spoiled = false;
    unit.script = [&](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (spoiled || r.fc() != fc)
            return std::nullopt;
        spoiled = true;
        return rowAnswer(unit, r, answer, normalPdu);
    };
    Recorder rec;
    auto m = connectedTo(unit, rec, 4, 300);
    QVERIFY(waitConnected(*m));
    constexpr int16_t H = 40;
    if (fc == 3)
        m->ReadHoldingRegisters(H, 17, 100, 3, 1000);
    else if (fc == 6)
        m->PresetSingleRegister(H, 17, 100, 1000);
    else
        m->PresetMultipleRegisters(H, 17, 100, 3, 1000);
    m->Set_Register(H, 0, 7);
    m->Set_Register(H, 3, 55);
    m->UpdateOnce(H);
    QTRY_COMPARE(rec.count(H), 1);
    QCOMPARE(int(rec.events[0].error), error);
    if (fc == 3 && error != 0)
        QCOMPARE(m->Get_Register(H, 0), int16_t(7)); // a failed read changes no word
    if (fc == 3 && error == 0)
        QCOMPARE(rec.events[0].words, (std::vector<int16_t>{11, 12, 13, 55}));
    m->ReadHoldingRegisters(ReadB, 17, 200, 4, 1000);
    m->UpdateOnce(ReadB);
    QTRY_COMPARE(rec.count(ReadB), 1);
    QCOMPARE(rec.last(ReadB)->error, int16_t(0));
    QCOMPARE(rec.last(ReadB)->words, (std::vector<int16_t>{1000, 1001, 1002, 1003}));
    QCOMPARE(unit.connections(), reconnects ? 2 : 1);
    QCOMPARE(rec.events.size(), size_t(2));
}

void TestMbaxpLocal::failedRepliesAreNotTimeOuts_data()
{
    using Answer = UnitScript::Answer;
    Answer exception;
    exception.pdu = QByteArray::fromHex("8302");
    Answer otherUnit;
    otherUnit.unit = 18;
    Answer protocol1;
    protocol1.protocol = 1;
    Answer shortRead;
    shortRead.pdu = QByteArray::fromHex("0300");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("normalPdu");
    QTest::addColumn<int>("error");
    QTest::newRow("exception 2") << exception << false << 2;
    QTest::newRow("another unit's reply") << otherUnit << true << 16;
    QTest::newRow("protocol id 1") << protocol1 << true << 16;
    QTest::newRow("no registers") << shortRead << false << 16;
}

// A unit that keeps answering one block badly is there: it is never set aside, however
// many such replies come, and its other blocks keep delivering.
void TestMbaxpLocal::failedRepliesAreNotTimeOuts()
{
    QFETCH(UnitScript::Answer, answer);
    QFETCH(bool, normalPdu);
    QFETCH(int, error);
    constexpr int16_t Failing = 40, Good = 41;
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.regs[7] = 70;
    unit.script = [&](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (r.address() != 100)
            return std::nullopt;
        return rowAnswer(unit, r, answer, normalPdu);
    };
    Recorder rec;
    auto m = connectedTo(unit, rec, 1, 200);
    QVERIFY(waitConnected(*m));
    int longestPeriod = 0;
    rec.then = [&](const Recorder::Event &) { longestPeriod = std::max(longestPeriod, m->DemotionPeriodMs(17)); };
    m->ReadHoldingRegisters(Failing, 17, 100, 1, 30);
    m->ReadHoldingRegisters(Good, 17, 7, 1, 1000);
    m->UpdateEnable(Good);
    m->UpdateEnable(Failing);
    // The good block runs at once and a second later; the failing one some 30 times between.
    QTRY_VERIFY_WITH_TIMEOUT(rec.count(Good) >= 2, 3000);
    m->UpdateDisable(Failing);
    m->UpdateDisable(Good);
    QVERIFY2(rec.count(Failing) >= 2 * TMbaxp::DemoteAfterTimeouts, qPrintable(QString::number(rec.count(Failing))));
    QCOMPARE(rec.count(Failing, error), rec.count(Failing));
    QCOMPARE(rec.errorCount(Good), 0);
    QCOMPARE(rec.last(Good)->words.at(0), int16_t(70));
    QCOMPARE(longestPeriod, 0);
}

void TestMbaxpLocal::lateReplyIsNotMatchedToNextRun()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.regs[10] = 111;
    unit.regs[20] = 222;
    // Both reads are answered late: the first after its time-out, while the second is on
    // the wire; the second within its time-out.
    unit.delayAnswers([](const UnitScript::Request &r) { return r.address() == 10 ? 450 : 250; });
    Recorder rec;
    auto m = connectedTo(unit, rec, 1, 300);
    m->ReadHoldingRegisters(ReadA, 16, 10, 1, 1000);
    m->ReadHoldingRegisters(ReadB, 16, 20, 1, 1000);
    m->UpdateOnce(ReadA);
    m->UpdateOnce(ReadB);
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(2), 3000);
    QCOMPARE(rec.events[0].handle, ReadA);
    QCOMPARE(rec.events[0].error, MbaxpError::Timeout);
    QCOMPARE(rec.events[1].handle, ReadB);
    QCOMPARE(rec.events[1].error, int16_t(0));
    QCOMPARE(rec.events[1].words.at(0), int16_t(222));
    QCOMPARE(m->Get_Register(ReadA, 0), int16_t(0));
}

void TestMbaxpLocal::updateOnceIsCoalescedIntoPendingRun()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers(150);
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 0, 10, 1000);
    // Queued, not sent yet: the later calls join it.
    for (int i = 0; i < 4; ++i)
        m->UpdateOnce(ReadA);
    QTRY_COMPARE(rec.count(ReadA), 1);
    QTest::qWait(250);
    QCOMPARE(rec.count(ReadA), 1);
    QCOMPARE(unit.countFc(3), 1);
    // On the wire: the later calls give exactly one more run after it.
    m->UpdateOnce(ReadA);
    QTRY_COMPARE(unit.countFc(3), 2);
    for (int i = 0; i < 4; ++i)
        m->UpdateOnce(ReadA);
    QTRY_COMPARE(rec.count(ReadA), 3);
    QTest::qWait(300);
    QCOMPARE(rec.count(ReadA), 3);
    QCOMPARE(unit.countFc(3), 3);
}

void TestMbaxpLocal::dueWhilePendingRunsOnceAfter()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    // Each reply takes 150 ms; the handle comes due every 40 ms.
    unit.delayAnswers(150);
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, 40);
    m->UpdateEnable(ReadA);
    QTest::qWait(1000);
    m->UpdateDisable(ReadA);
    const int sent = unit.countFc(3);
    // About one run per reply time (6 or 7), never one per due time (25).
    QVERIFY2(sent >= 4 && sent <= 9, qPrintable(QString::number(sent)));
    QTRY_COMPARE(rec.count(ReadA), sent); // the run on the wire still reports
    QTest::qWait(300);
    QCOMPARE(unit.countFc(3), sent);
    QCOMPARE(rec.errorCount(ReadA), 0);
}

void TestMbaxpLocal::lateRunDoesNotBurst_data()
{
    QTest::addColumn<bool>("threadBlocked"); // else: the wire is busy with a slow read
    QTest::newRow("GUI thread blocked") << true;
    QTest::newRow("wire busy") << false;
}

void TestMbaxpLocal::lateRunDoesNotBurst()
{
    QFETCH(bool, threadBlocked);
    constexpr int Rate = 1000;
    constexpr int HeldMs = 2500; // due times 1000 and 2000 pass while the handle is held
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers([](const UnitScript::Request &r) { return r.unit == 19 ? HeldMs : 0; });
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, 10000);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, Rate);
    m->ReadHoldingRegisters(ReadB, 19, 0, 1, 60000);
    QElapsedTimer sinceEnable;
    sinceEnable.start();
    m->UpdateEnable(ReadA); // runs now, then due at 1000, 2000, 3000 ...
    QTRY_COMPARE(unit.countTo(16), 1);
    if (threadBlocked) {
        QThread::msleep(quint64(std::max<qint64>(0, HeldMs - sinceEnable.elapsed())));
    } else {
        m->UpdateOnce(ReadB);
        QTRY_COMPARE_WITH_TIMEOUT(rec.count(ReadB), 1, HeldMs + 3000);
        QCOMPARE(rec.events.back().error, int16_t(0));
    }
    if (threadBlocked)
        QCOMPARE(unit.countTo(16), 1); // nothing was sent for it while it was held back
    // Exactly one late run for the due times that passed, then nothing until 3000.
    QTRY_VERIFY(unit.countTo(16) >= 2);
    const qint64 windowEnd = 3 * Rate - 100;
    if (sinceEnable.elapsed() >= windowEnd)
        QSKIP("the late run came too late to watch the time before the next due time");
    QTest::qWait(int(std::min<qint64>(200, windowEnd - sinceEnable.elapsed())));
    QCOMPARE(unit.countTo(16), 2);
    m->UpdateDisable(ReadA);
}

void TestMbaxpLocal::updateEnableAgainKeepsSchedule()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, 200);
    m->UpdateEnable(ReadA);
    // The window registers every block again at each activation.
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(50);
        m->ReadHoldingRegisters(ReadA, 16, 0, 1, 200);
        m->UpdateEnable(ReadA);
    }
    m->UpdateDisable(ReadA);
    QTest::qWait(100);
    // About 1000 ms / 200 ms + 1 = 6 runs; doubling or restarting would give 11 to 21.
    const int runs = rec.okCount(ReadA);
    QVERIFY2(runs >= 3 && runs <= 8, qPrintable(QString::number(runs)));
}

void TestMbaxpLocal::updateDisableDropsQueuedRepeatOnly()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers(200);
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    constexpr int16_t OnceRead = 10;
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, 100);
    m->ReadHoldingRegisters(ReadB, 16, 1, 1, 100);
    m->ReadHoldingRegisters(OnceRead, 16, 2, 1, 100);
    m->UpdateEnable(ReadA);
    m->UpdateEnable(ReadB);
    m->UpdateEnable(OnceRead);
    m->UpdateOnce(OnceRead); // also asked for once: stays after UpdateDisable
    QTRY_COMPARE(unit.countFc(3), 1); // ReadA on the wire, the others queued
    m->UpdateDisable(ReadA);
    m->UpdateDisable(ReadB);
    m->UpdateDisable(OnceRead);
    QTest::qWait(700);
    QCOMPARE(rec.count(ReadA), 1);
    QCOMPARE(rec.count(ReadB), 0);
    QCOMPARE(rec.count(OnceRead), 1);
    QCOMPARE(unit.countFc(3), 2);
}

void TestMbaxpLocal::writesGoAheadOfQueuedPolls()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers([](const UnitScript::Request &r) { return r.fc() == 3 ? 100 : 0; });
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    for (int16_t h = 37; h < 45; ++h) {
        m->ReadHoldingRegisters(h, 17, 3799, 100, 1000);
        m->UpdateEnable(h);
    }
    QTRY_COMPARE(unit.requests.size(), size_t(1)); // one read on the wire, seven waiting
    m->PresetSingleRegister(Write0, 17, 1000, 1000);
    m->Set_Register(Write0, 0, 5);
    m->UpdateOnce(Write0);
    QTRY_COMPARE(rec.count(Write0), 1);
    QVERIFY(unit.requests.size() >= 2);
    QCOMPARE(unit.requests[1].fc(), 6); // right after the read that was on the wire
    QCOMPARE(rec.events.size(), size_t(2));
    QCOMPARE(rec.events[1].handle, Write0);
}

void TestMbaxpLocal::consecutiveWritesOnHandleZeroAllSentInOrder()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 17, 3799, 100, 50);
    m->UpdateEnable(ReadA);
    // One set of 120 zeros under 100 definitions, then single writes of distinct values.
    for (int16_t i = 0; i < 120; ++i)
        m->Set_Register(Write0, i, 0);
    for (int k = 0; k < 100; ++k) {
        m->PresetMultipleRegisters(Write0, 18, 4999 + k, 120, 1000);
        m->UpdateOnce(Write0);
    }
    for (int k = 0; k < 20; ++k) {
        m->PresetSingleRegister(Write0, 19, 1000 + k, 1000);
        m->Set_Register(Write0, 0, int16_t(k * 3));
        m->UpdateOnce(Write0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(Write0), 120, 5000);
    QCOMPARE(rec.errorCount(Write0), 0);
    std::vector<UnitScript::Request> writes;
    for (const auto &r : unit.requests)
        if (r.fc() != 3)
            writes.push_back(r);
    QCOMPARE(writes.size(), size_t(120));
    for (int k = 0; k < 100; ++k) {
        QCOMPARE(writes[size_t(k)].fc(), 16);
        QCOMPARE(writes[size_t(k)].address(), 4999 + k);
        QCOMPARE(writes[size_t(k)].field2(), 120);
        QCOMPARE(writes[size_t(k)].pdu.mid(6), QByteArray(240, '\0'));
    }
    for (int k = 0; k < 20; ++k) {
        QCOMPARE(writes[size_t(100 + k)].fc(), 6);
        QCOMPARE(writes[size_t(100 + k)].unit, 19);
        QCOMPARE(writes[size_t(100 + k)].address(), 1000 + k);
        QCOMPARE(writes[size_t(100 + k)].field2(), k * 3);
    }
    m->UpdateDisable(ReadA);
}

void TestMbaxpLocal::writeWhileClosedFailsAndIsNeverSent()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    TMbaxp m;
    Recorder rec;
    rec.attach(m);
    unit.attachTo(m);
    m.PresetSingleRegister(Write0, 17, 1000, 1000);
    m.Set_Register(Write0, 0, 1);
    m.UpdateOnce(Write0); // never opened
    m.OpenConnection();
    m.UpdateOnce(Write0); // connecting: not connected yet either
    QTRY_COMPARE(rec.count(Write0), 2);
    QCOMPARE(rec.count(Write0, MbaxpError::NotConnected), 2);
    QVERIFY(waitConnected(m));
    m.ReadHoldingRegisters(ReadA, 17, 0, 1, 50);
    m.UpdateEnable(ReadA);
    QTest::qWait(300);
    QVERIFY(rec.okCount(ReadA) >= 2);
    QCOMPARE(unit.countFc(6), 0);
}

void TestMbaxpLocal::connectFailuresGive13_data()
{
    QTest::addColumn<int>("part4");
    QTest::addColumn<QString>("port"); // "unit": the listening unit's; "held": bound, not listening; "zero"
    QTest::newRow("refused") << 1 << QStringLiteral("held");
    QTest::newRow("address part 256") << 256 << QStringLiteral("unit");
    QTest::newRow("address part -1") << -1 << QStringLiteral("unit");
    QTest::newRow("port 0") << 1 << QStringLiteral("zero");
}

void TestMbaxpLocal::connectFailuresGive13()
{
    QFETCH(int, part4);
    QFETCH(QString, port);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    const ReservedPort held;
    QVERIFY(held.isValid());
    TMbaxp m;
    Recorder rec;
    rec.attach(m);
    unit.attachTo(m);
    m.IPAddr4 = int16_t(part4);
    m.TCPIPPort = port == QLatin1String("unit") ? unit.port() : port == QLatin1String("held") ? held.port() : 0;
    m.OpenConnection();
    m.ReadHoldingRegisters(ReadA, 16, 0, 1, 1000);
    m.UpdateOnce(ReadA);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(ReadA), 1, 2000);
    QCOMPARE(rec.events[0].error, MbaxpError::ConnectionRefused);
    QCOMPARE(unit.connections(), 0);
    QVERIFY(!m.IsConnected());
}

void TestMbaxpLocal::reconnectsWithBoundedErrors()
{
    ReservedPort held; // nothing listens on it yet: connects are refused
    QVERIFY(held.isValid());
    TMbaxp m;
    Recorder rec;
    rec.attach(m);
    m.IPAddr1 = 127, m.IPAddr2 = 0, m.IPAddr3 = 0, m.IPAddr4 = 1;
    m.TCPIPPort = held.port();
    m.OpenConnection();
    m.ReadHoldingRegisters(ReadA, 16, 0, 1, 20);
    m.UpdateEnable(ReadA);
    QTest::qWait(2000);
    // Attempts at about 0, 250, 750 and 1750 ms: one error per attempt, not one per due time.
    const int refused = rec.count(ReadA, MbaxpError::ConnectionRefused);
    QVERIFY2(refused >= 2 && refused <= 7, qPrintable(QString::number(refused)));
    QCOMPARE(rec.count(ReadA), refused);
    // The unit appears: polling resumes without any call.
    FakeTcpUnit unit;
    QVERIFY(unit.adopt(held.takeListening()));
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(ReadA) >= 3, 4000);
}

void TestMbaxpLocal::connectAttemptHasADeadline()
{
    // A listener on loopback that never accepts, its backlog filled: further connects get
    // no answer to their SYN and would hang for minutes.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    QCOMPARE(::listen(fd, 0), 0);
    socklen_t len = sizeof addr;
    QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len), 0);
    const quint16 port = ntohs(addr.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    QTest::qWait(200);
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    const bool hangs = !probe.waitForConnected(300);
    probe.abort();
    if (!hangs) {
        ::close(fd);
        QSKIP("this kernel completes connects beyond a full backlog");
    }

    TMbaxp m;
    Recorder rec;
    rec.attach(m);
    m.IPAddr1 = 127, m.IPAddr2 = 0, m.IPAddr3 = 0, m.IPAddr4 = 1;
    m.TCPIPPort = port;
    m.OpenConnection();
    m.ReadHoldingRegisters(ReadA, 16, 0, 1, 1000);
    m.UpdateOnce(ReadA);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(ReadA), 1, TMbaxp::ConnectDeadlineMs + 2000);
    QCOMPARE(rec.events[0].error, MbaxpError::ConnectionRefused);
    m.CloseConnection();
    ::close(fd);
}

void TestMbaxpLocal::throwingHandlerDoesNotStopDelivery()
{
    TMbaxp m;
    int calls = 0;
    m.OnResultError = [&](int16_t, int16_t) {
        ++calls;
        throw ERangeError(QStringLiteral("decoder failure"));
    };
    m.ReadHoldingRegisters(ReadA, 16, 0, 1, 1000);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ERangeError.*decoder failure")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ERangeError.*decoder failure")));
    m.UpdateOnce(ReadA); // not connected: 17
    m.UpdateOnce(ReadA);
    QTRY_COMPARE(calls, 2);
}

void TestMbaxpLocal::connectionDropFailsWiredAndQueuedWrites()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers(300); // the writes stay on the wire
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->PresetSingleRegister(Write0, 17, 1000, 1000);
    m->UpdateOnce(Write0);
    m->PresetSingleRegister(Write0, 17, 1001, 1000);
    m->UpdateOnce(Write0);
    m->ReadHoldingRegisters(ReadA, 17, 0, 1, 100);
    m->UpdateEnable(ReadA);
    QTRY_COMPARE(unit.requests.size(), size_t(1));
    unit.dropClients();
    QTRY_COMPARE(rec.count(Write0), 2);
    QCOMPARE(rec.events[0].error, MbaxpError::ConnectionLost); // it was on the wire
    QCOMPARE(rec.events[1].error, MbaxpError::NotConnected);   // it was waiting
    // The control reconnects by itself and polls again; the failed writes stay failed.
    unit.script = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(ReadA) >= 2, 3000);
    QCOMPARE(unit.countFc(6), 1);
    QCOMPARE(unit.connections(), 2);
}

void TestMbaxpLocal::closeConnectionStopsAndOpenResumes()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers(50);
    Recorder rec;
    auto m = connectedTo(unit, rec);
    for (int16_t h = 27; h < 31; ++h) {
        m->ReadHoldingRegisters(h, 17, 1099, 12, 100);
        m->UpdateEnable(h);
    }
    QTRY_VERIFY(rec.okCount(30) >= 1);
    m->PresetSingleRegister(Write0, 17, 1000, 1000);
    m->UpdateOnce(Write0); // waits behind the read on the wire
    m->CloseConnection();
    const size_t atClose = rec.events.size();
    QTRY_COMPARE(rec.events.size(), atClose + 1);
    QCOMPARE(rec.events.back().handle, Write0);
    QCOMPARE(rec.events.back().error, MbaxpError::NotConnected);
    const size_t requestsAtClose = unit.requests.size();
    QTest::qWait(300);
    QCOMPARE(rec.events.size(), atClose + 1); // queued reads are dropped silently
    QCOMPARE(unit.requests.size(), requestsAtClose);
    QVERIFY(!m->IsConnected());
    // "Apply to Port" many times over: Close then Open.
    for (int i = 0; i < 20; ++i) {
        m->CloseConnection();
        m->OpenConnection();
        m->OpenConnection();
    }
    const int before = rec.okCount(27);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(27) >= before + 3, 3000);
    QCOMPARE(rec.count(27), rec.okCount(27) + rec.count(27, MbaxpError::NotConnected) +
                                rec.count(27, MbaxpError::ConnectionLost));
    m->CloseConnection();
    m->CloseConnection();
}

namespace {
// The write requests the unit received (function codes 6 and 16), in order.
std::vector<UnitScript::Request> writeRequests(const UnitScript &unit)
{
    std::vector<UnitScript::Request> writes;
    for (const UnitScript::Request &r : unit.requests)
        if (r.fc() == 6 || r.fc() == 16)
            writes.push_back(r);
    return writes;
}

// Queues `count` paced writes of 120 words to unit 17, window after window from 4999.
void queuePacedWindows(TMbaxp &m, int count, int gapMs, int firstValue = 0)
{
    for (int k = 0; k < count; ++k) {
        m.PresetMultipleRegisters(Write0, 17, 4999 + k, 120, 1000);
        m.Set_Register(Write0, 0, int16_t(firstValue + k));
        m.UpdateOncePaced(Write0, gapMs);
    }
}
} // namespace

void TestMbaxpLocal::pacedWritesKeepTheirGapAndLetReadsBetween()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    // The hub's polling goes on: a read that is always due.
    m->ReadHoldingRegisters(ReadA, 16, 499, 31, 10);
    m->UpdateEnable(ReadA);
    constexpr int Gap = 100;
    constexpr int Writes = 8;
    queuePacedWindows(*m, Writes, Gap);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(Write0), Writes, 10000);
    QCOMPARE(rec.okCount(Write0), Writes);
    const std::vector<UnitScript::Request> writes = writeRequests(unit);
    QCOMPARE(int(writes.size()), Writes);
    for (int k = 0; k < Writes; ++k) {
        QCOMPARE(writes[size_t(k)].address(), 4999 + k);
        QCOMPARE(be16(writes[size_t(k)].pdu, 6), quint16(k)); // its own words
    }
    // Each write reached the unit at least the gap after the one before (it went no
    // earlier than the gap after that one was answered), and reads went between them.
    for (int k = 1; k < Writes; ++k) {
        const qint64 from = writes[size_t(k - 1)].atMs, to = writes[size_t(k)].atMs;
        QVERIFY2(to - from >= Gap, qPrintable(QStringLiteral("write %1: %2 ms").arg(k).arg(to - from)));
        const auto readsBetween = std::count_if(unit.requests.begin(), unit.requests.end(), [&](const UnitScript::Request &r) {
            return r.fc() == 3 && r.atMs >= from && r.atMs <= to;
        });
        QVERIFY2(readsBetween > 0, qPrintable(QStringLiteral("no read before write %1").arg(k)));
    }
    // A write that is not paced goes behind the paced ones, without a gap of its own.
    queuePacedWindows(*m, 1, Gap, 50);
    m->PresetSingleRegister(Write0, 18, 7, 1000);
    m->Set_Register(Write0, 0, 77);
    m->UpdateOnce(Write0);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(Write0), Writes + 2, 5000);
    const std::vector<UnitScript::Request> all = writeRequests(unit);
    QCOMPARE(all.back().fc(), 6);
    QCOMPARE(all[all.size() - 2].address(), 4999);
    QVERIFY(all[all.size() - 2].atMs - all[all.size() - 3].atMs >= Gap);
}

void TestMbaxpLocal::pacedWriteWaitsForOverlappingReads()
{
    // While a paced write waits for its gap, a read of the registers it writes waits
    // behind it: its result never predates the write. Other reads go meanwhile.
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec, 1);
    QVERIFY(waitConnected(*m));
    queuePacedWindows(*m, 2, 300, 41);
    m->ReadHoldingRegisters(8, 17, 5000, 120, 1000); // the window of the second write
    m->UpdateOnce(8);
    m->ReadHoldingRegisters(ReadB, 16, 499, 31, 1000);
    m->UpdateOnce(ReadB);
    QTRY_VERIFY_WITH_TIMEOUT(rec.count(8) == 1, 5000);
    QCOMPARE(rec.last(8)->error, int16_t(0));
    QCOMPARE(rec.last(8)->words.at(0), int16_t(42));
    // Where each request came among all the unit received.
    const auto place = [&](int fc, int address) {
        for (size_t i = 0; i < unit.requests.size(); ++i)
            if (unit.requests[i].fc() == fc && unit.requests[i].address() == address)
                return int(i);
        return -1;
    };
    QVERIFY(place(3, 499) >= 0 && place(3, 499) < place(16, 5000)); // the other read went in the gap
    QVERIFY(place(3, 5000) > place(16, 5000));
}

void TestMbaxpLocal::writeEventsComeInStartOrder_data()
{
    // Starts in order; a handle's block refused by the control itself (quantity 0) is
    // answered in its turn, after the writes started before it.
    QTest::addColumn<bool>("pacedFirst");
    QTest::addColumn<int>("replyDelayMs");
    QTest::newRow("behind a write on the wire") << false << 200;
    QTest::newRow("behind a paced write waiting for its gap") << true << 0;
}

void TestMbaxpLocal::writeEventsComeInStartOrder()
{
    QFETCH(bool, pacedFirst);
    QFETCH(int, replyDelayMs);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers([replyDelayMs](const UnitScript::Request &r) { return r.fc() == 16 ? replyDelayMs : 0; });
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    const int16_t first = 116, refused = 117, last = 118;
    if (pacedFirst) {
        // A write that ends at once, so that the next paced one waits for its gap.
        m->PresetSingleRegister(Write0, 16, 8999, 1000);
        m->UpdateOnce(Write0);
        QTRY_COMPARE(rec.count(Write0), 1);
        rec.events.clear();
    }
    m->PresetMultipleRegisters(first, 16, 105, 3, 1000);
    if (pacedFirst)
        m->UpdateOncePaced(first, 300);
    else
        m->UpdateOnce(first);
    m->PresetMultipleRegisters(refused, 17, 1000, 0, 1000);
    m->UpdateOnce(refused);
    m->PresetSingleRegister(last, 18, 1000, 1000);
    m->UpdateOnce(last);
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(3), 5000);
    QCOMPARE(rec.events[0].handle, first);
    QCOMPARE(rec.events[0].error, int16_t(0));
    QCOMPARE(rec.events[1].handle, refused);
    QCOMPARE(rec.events[1].error, int16_t(3));
    QCOMPARE(rec.events[2].handle, last);
    QCOMPARE(rec.events[2].error, int16_t(0));
    QCOMPARE(unit.countFc(16), 1);
    QCOMPARE(unit.countTo(17), 0);
}

void TestMbaxpLocal::closeSendsEveryWaitingWrite_data()
{
    QTest::addColumn<bool>("byDestruction");
    QTest::newRow("SendWaitingWrites") << false;
    QTest::newRow("destruction") << true;
}

void TestMbaxpLocal::closeSendsEveryWaitingWrite()
{
    // The close sends all that waits, paced, however long that takes within its bound:
    // here 30 writes the unit answers 60 ms late each, paced 20 ms (about 2.4 s).
    QFETCH(bool, byDestruction);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.delayAnswers([](const UnitScript::Request &r) { return r.fc() == 16 ? 60 : 0; });
    Recorder rec;
    auto m = connectedTo(unit, rec);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 499, 31, 10);
    m->UpdateEnable(ReadA);
    QTRY_VERIFY(rec.okCount(ReadA) > 0);
    queuePacedWindows(*m, 30, 20, 100);
    const size_t eventsBefore = rec.events.size();
    if (byDestruction) {
        m.reset();
    } else {
        std::vector<int> progress;
        const IMbaxp::WriteFlush flushed = m->SendWaitingWrites([&](int waiting) { progress.push_back(waiting); });
        QCOMPARE(flushed.waiting, 30);
        QCOMPARE(flushed.answered, 30);
        QCOMPARE(flushed.GivenUp(), 0);
        QCOMPARE(flushed.stop, IMbaxp::FlushStop::None);
        QCOMPARE(progress.front(), 30);
        QCOMPARE(progress.back(), 0);
        QCOMPARE(progress.size(), size_t(31));
        QVERIFY(!m->IsConnected());
    }
    const qint64 flushEnd = unit.clock.elapsed();
    const std::vector<UnitScript::Request> writes = writeRequests(unit);
    QCOMPARE(int(writes.size()), 30);
    for (int k = 0; k < 30; ++k)
        QCOMPARE(be16(writes[size_t(k)].pdu, 6), quint16(100 + k));
    for (int k = 1; k < 30; ++k)
        QVERIFY(writes[size_t(k)].atMs - writes[size_t(k - 1)].atMs >= 20);
    // No read was sent once the close began, no event was delivered, and nothing more goes.
    const auto readsAfterFirstWrite = std::count_if(unit.requests.begin(), unit.requests.end(), [&](const UnitScript::Request &r) {
        return r.fc() == 3 && r.atMs > writes.front().atMs;
    });
    QCOMPARE(readsAfterFirstWrite, 0);
    QTest::qWait(200);
    QCOMPARE(rec.events.size(), eventsBefore);
    QVERIFY(std::none_of(unit.requests.begin(), unit.requests.end(), [&](const UnitScript::Request &r) { return r.atMs > flushEnd; }));
}

void TestMbaxpLocal::closeStops_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("a write times out") << "timeout";
    QTest::newRow("the connection is lost") << "drop";
}

void TestMbaxpLocal::closeStops()
{
    // At the fourth write the unit stops answering, or drops the connection: the close
    // gives up there, and the writes behind it are never sent.
    QFETCH(QString, fault);
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, 300);
    QVERIFY(waitConnected(*m));
    const bool drop = fault == QLatin1String("drop");
    unit.script = [&unit, drop](const UnitScript::Request &r) -> std::optional<UnitScript::Answer> {
        if (r.fc() != 16 || r.address() != 4999 + 3)
            return std::nullopt;
        if (drop)
            QTimer::singleShot(20, [&unit] { unit.dropClients(); });
        return UnitScript::Answer{}; // no answer
    };
    queuePacedWindows(*m, 10, 10);
    const IMbaxp::WriteFlush flushed = m->SendWaitingWrites({});
    QCOMPARE(flushed.waiting, 10);
    QCOMPARE(flushed.answered, 3);
    QCOMPARE(flushed.unanswered, 1);
    QCOMPARE(flushed.notSent, 6);
    QCOMPARE(flushed.stop, drop ? IMbaxp::FlushStop::ConnectionLost : IMbaxp::FlushStop::Timeout);
    QTest::qWait(300);
    QCOMPARE(int(writeRequests(unit).size()), 4);
}

void TestMbaxpLocal::timeOutPutsTheUnitBehind()
{
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.silentUnits = {20};
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, 200);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(40, 20, 0, 1, 60000);
    m->ReadHoldingRegisters(41, 20, 1, 1, 60000);
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, 60000);
    m->UpdateOnce(40);
    m->UpdateOnce(41);
    m->UpdateOnce(ReadA); // came due last, but before the time-out of unit 20 ended
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(3), 3000);
    QCOMPARE(unit.requests.size(), size_t(3));
    QCOMPARE(unit.requests[0].unit, 20);
    QCOMPARE(unit.requests[1].unit, 16);
    QCOMPARE(unit.requests[2].unit, 20);
    QCOMPARE(rec.count(40, MbaxpError::Timeout), 1);
    QCOMPARE(rec.okCount(ReadA), 1);
    QCOMPARE(rec.count(41, MbaxpError::Timeout), 1);

    // A run of that unit that comes due later still waits one time-out's length behind:
    // a read of another unit that comes due just after it goes first.
    constexpr int16_t Slow = 42;
    unit.delayAnswers([](const UnitScript::Request &r) { return r.unit == 16 && r.address() == 7 ? 100 : 0; });
    m->ReadHoldingRegisters(Slow, 16, 7, 1, 60000);
    m->UpdateOnce(Slow); // keeps the wire busy while the next two come due
    QTRY_COMPARE(unit.requests.size(), size_t(4));
    m->UpdateOnce(41);
    m->UpdateOnce(ReadA);
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), size_t(6), 3000);
    QCOMPARE(unit.requests.size(), size_t(6));
    QCOMPARE(unit.requests[4].unit, 16);
    QCOMPARE(unit.requests[5].unit, 20);
}

void TestMbaxpLocal::silentUnitIsDemotedAndProbed()
{
    constexpr int16_t Silent = 40;
    constexpr int TimeoutMs = 200;
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.silentUnits = {20};
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, TimeoutMs);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(Silent, 20, 0, 1, 100);
    m->UpdateEnable(Silent);

    // Three time-outs, then each run fails at once and nothing is sent.
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(Silent, MbaxpError::Timeout), TMbaxp::DemoteAfterTimeouts, 3000);
    QCOMPARE(m->DemotionPeriodMs(20), TMbaxp::DemotionFirstMs);
    QCOMPARE(unit.countTo(20), TMbaxp::DemoteAfterTimeouts);
    const qint64 lastTimedOutSentAt = unit.requests.back().atMs;
    for (int k = 0; k < TMbaxp::DemoteAfterTimeouts; ++k)
        QCOMPARE(rec.events[size_t(k)].error, MbaxpError::Timeout);

    // One probe after the period; it times out: demoted again for twice as long.
    QTRY_COMPARE_WITH_TIMEOUT(unit.countTo(20), TMbaxp::DemoteAfterTimeouts + 1, TMbaxp::DemotionFirstMs + 2000);
    QVERIFY2(unit.requests.back().atMs - lastTimedOutSentAt >= TimeoutMs + TMbaxp::DemotionFirstMs - 20,
             qPrintable(QString::number(unit.requests.back().atMs - lastTimedOutSentAt)));
    const int failedAtOnce = rec.count(Silent, MbaxpError::NoReply);
    QVERIFY2(failedAtOnce >= 10, qPrintable(QString::number(failedAtOnce))); // about 20 due runs
    QCOMPARE(rec.events[size_t(TMbaxp::DemoteAfterTimeouts)].error, MbaxpError::NoReply);
    QTRY_COMPARE(rec.count(Silent, MbaxpError::Timeout), TMbaxp::DemoteAfterTimeouts + 1);
    QCOMPARE(m->DemotionPeriodMs(20), 2 * TMbaxp::DemotionFirstMs);
    QCOMPARE(rec.okCount(Silent), 0);

    // A write to the demoted unit is still sent; the unit answers it again, which
    // restores it at once: its block runs at its rate from the next due time.
    unit.silentUnits.clear();
    m->PresetSingleRegister(Write0, 20, 5, 1000);
    m->Set_Register(Write0, 0, 9);
    m->UpdateOnce(Write0);
    QTRY_COMPARE(rec.count(Write0), 1);
    QCOMPARE(rec.last(Write0)->error, int16_t(0));
    QCOMPARE(unit.regs[5], quint16(9));
    QCOMPARE(m->DemotionPeriodMs(20), 0);
    QTRY_VERIFY_WITH_TIMEOUT(rec.okCount(Silent) >= 3, 1500); // long before the next probe
    m->UpdateDisable(Silent);
}

void TestMbaxpLocal::probesGoOneAtATimeInTurn()
{
    constexpr int TimeoutMs = 300;
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.silentUnits = {17, 18, 19, 20};
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, TimeoutMs);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(ReadA, 16, 0, 1, 100);
    m->UpdateEnable(ReadA);
    for (int16_t h = 17; h <= 20; ++h) {
        m->ReadHoldingRegisters(h, h, 0, 1, 100);
        m->UpdateEnable(h);
    }
    QTRY_VERIFY_WITH_TIMEOUT(allDemoted(*m, 17, 20), 15000);
    const size_t demotedFrom = unit.requests.size();
    QTest::qWait(8000);
    for (int16_t h = 16; h <= 20; ++h)
        m->UpdateDisable(h == 16 ? ReadA : h);
    const std::vector<UnitScript::Request> requests = unit.requests;

    // After the first request to each silent unit, two time-outs never follow each other:
    // the hub's read, always due, goes between.
    std::set<int> asked;
    size_t firstRoundEnd = 0;
    for (size_t k = 0; k < requests.size() && asked.size() < 4; ++k) {
        if (requests[k].unit != 16)
            asked.insert(requests[k].unit);
        firstRoundEnd = k;
    }
    for (size_t k = firstRoundEnd + 1; k < requests.size(); ++k)
        QVERIFY2(requests[k].unit == 16 || requests[k - 1].unit == 16,
                 qPrintable(QStringLiteral("requests %1 and %2 both to silent units").arg(k - 1).arg(k)));

    // Once demoted, the silent units get probes only, one at a time, the next no sooner
    // than the gap after the end of the one before, and each unit in turn.
    std::vector<qint64> probes;
    std::set<int> probed;
    for (size_t k = demotedFrom; k < requests.size(); ++k) {
        if (requests[k].unit == 16)
            continue;
        probes.push_back(requests[k].atMs);
        if (probes.size() <= 4)
            probed.insert(requests[k].unit);
    }
    QVERIFY2(probes.size() >= 4, qPrintable(QString::number(probes.size())));
    QCOMPARE(probed, (std::set<int>{17, 18, 19, 20}));
    for (size_t k = 1; k < probes.size(); ++k)
        QVERIFY2(probes[k] - probes[k - 1] >= (1 + TMbaxp::ProbeGapFactor) * TimeoutMs - 20,
                 qPrintable(QStringLiteral("probes %1 ms apart").arg(probes[k] - probes[k - 1])));
    QCOMPARE(rec.errorCount(ReadA), 0);
}

void TestMbaxpLocal::reconnectClearsDemotions_data()
{
    QTest::addColumn<bool>("dropped"); // else: CloseConnection and OpenConnection
    QTest::newRow("the unit drops the connection") << true;
    QTest::newRow("closed and opened again") << false;
}

void TestMbaxpLocal::reconnectClearsDemotions()
{
    QFETCH(bool, dropped);
    constexpr int16_t Silent = 40;
    FakeTcpUnit unit;
    QVERIFY(unit.listen());
    unit.silentUnits = {20};
    Recorder rec;
    auto m = connectedTo(unit, rec, 0, 100);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(Silent, 20, 0, 1, 50);
    m->UpdateEnable(Silent);
    QTRY_VERIFY_WITH_TIMEOUT(rec.count(Silent, MbaxpError::NoReply) >= 2, 3000);
    const int sent = unit.countTo(20);
    QElapsedTimer since;
    since.start();
    if (dropped) {
        unit.dropClients();
        QTRY_COMPARE_WITH_TIMEOUT(unit.connections(), 2, 3000);
    } else {
        m->CloseConnection();
        QCOMPARE(m->DemotionPeriodMs(20), 0);
        m->OpenConnection();
    }
    QTRY_VERIFY_WITH_TIMEOUT(m->IsConnected(), 3000);
    QCOMPARE(m->DemotionPeriodMs(20), 0);
    // Its runs are sent again at once, not after the demotion period.
    QTRY_VERIFY_WITH_TIMEOUT(unit.countTo(20) > sent, 1500);
    QVERIFY2(since.elapsed() < TMbaxp::DemotionFirstMs, qPrintable(QString::number(since.elapsed())));
    m->UpdateDisable(Silent);
}

void TestMbaxpLocal::readOverwrittenByAWriteIsRunAgain_data()
{
    QTest::addColumn<int>("unit"); // of the write; the read is unit 17, addresses 1000..1008
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<bool>("runAgain");
    QTest::newRow("a register inside") << 17 << 1001 << 1 << true;
    QTest::newRow("the last register") << 17 << 1008 << 1 << true;
    QTest::newRow("a block reaching the first register") << 17 << 995 << 6 << true;
    QTest::newRow("a block over all of it") << 17 << 990 << 30 << true;
    QTest::newRow("the register after it") << 17 << 1009 << 1 << false;
    QTest::newRow("the registers before it") << 17 << 990 << 10 << false;
    QTest::newRow("another unit") << 18 << 1001 << 1 << false;
}

// A write started while a read is on the wire (the result that waits to be delivered is
// in the simulator tests: it needs a unit outside this thread).
void TestMbaxpLocal::readOverwrittenByAWriteIsRunAgain()
{
    QFETCH(int, unit);
    QFETCH(int, address);
    QFETCH(int, quantity);
    QFETCH(bool, runAgain);
    constexpr int16_t Read = 17;
    FakeTcpUnit hub;
    QVERIFY(hub.listen());
    std::vector<int16_t> before;
    for (int i = 0; i < 9; ++i) {
        hub.regs[size_t(1000 + i)] = quint16(100 + i);
        before.push_back(int16_t(100 + i));
    }
    hub.delayAnswers([](const UnitScript::Request &r) { return r.fc() == 3 ? 300 : 0; });
    Recorder rec;
    auto m = connectedTo(hub, rec, 9);
    QVERIFY(waitConnected(*m));
    m->ReadHoldingRegisters(Read, 17, 1000, 9, 60000);
    m->UpdateOnce(Read);
    QTRY_COMPARE(hub.countFc(3), 1); // the read is on the wire
    if (quantity == 1)
        m->PresetSingleRegister(Write0, int16_t(unit), address, 1000);
    else
        m->PresetMultipleRegisters(Write0, int16_t(unit), address, int16_t(quantity), 1000);
    for (int i = 0; i < quantity; ++i)
        m->Set_Register(Write0, int16_t(i), int16_t(4242 + i));
    m->UpdateOnce(Write0);
    QTRY_COMPARE(rec.count(Write0), 1);
    QCOMPARE(rec.last(Write0)->error, int16_t(0));
    QTRY_COMPARE(rec.count(Read), 1);
    QTest::qWait(400);
    QCOMPARE(rec.count(Read), 1); // one event for the run
    QCOMPARE(rec.last(Read)->error, int16_t(0));
    QCOMPARE(hub.countFc(3), runAgain ? 2 : 1);
    std::vector<int16_t> now;
    for (int i = 0; i < 9; ++i)
        now.push_back(int16_t(hub.regs[size_t(1000 + i)]));
    QCOMPARE(rec.last(Read)->words, runAgain ? now : before);
    if (runAgain) {
        QCOMPARE(hub.requests.size(), size_t(3));
        QCOMPARE(hub.requests[1].fc(), quantity == 1 ? 6 : 16); // the write, then the read again
        QCOMPARE(hub.requests[2].fc(), 3);
    }
}

QTEST_GUILESS_MAIN(TestMbaxpLocal)
#include "tst_mbaxp_local.moc"
