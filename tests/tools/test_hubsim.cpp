// Checks that tools/hubsim.py serves the register map the program relies on,
// using Qt's own Modbus clients as an independent master.

#include "support/HubSimulator.h"
#include "support/ModbusFrames.h"
#include "support/PtyPair.h"
#include "support/ReservedPort.h"
#include "comms/ModbusPdu.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QVariant>

#include <memory>

namespace {

struct Result {
    QModbusDevice::Error error = QModbusDevice::NoError;
    int exceptionCode = 0;
    QVector<quint16> values;
    int startAddress = -1; // zero-based, as the reply gives it
    bool ok() const { return error == QModbusDevice::NoError; }
};

Result finish(QModbusReply *reply, int timeoutMs)
{
    Result result;
    if (!reply) {
        result.error = QModbusDevice::ConnectionError;
        return result;
    }
    if (!reply->isFinished()) {
        QSignalSpy finished(reply, &QModbusReply::finished);
        finished.wait(timeoutMs);
    }
    if (!reply->isFinished()) {
        result.error = QModbusDevice::TimeoutError;
    } else {
        result.error = reply->error();
        if (result.error == QModbusDevice::ProtocolError)
            result.exceptionCode = ModbusPdu::ExceptionCode(reply->rawResult());
        result.values = reply->result().values();
        result.startAddress = reply->result().startAddress();
    }
    reply->deleteLater();
    return result;
}

// Reads `count` holding registers from the one-based register number `reg`.
Result readRegisters(QModbusClient &client, int unit, int reg, int count, int timeoutMs = 5000)
{
    const QModbusDataUnit request(QModbusDataUnit::HoldingRegisters, reg - 1, quint16(count));
    return finish(client.sendReadRequest(request, unit), timeoutMs);
}

// One value goes out as "write single register", several as "write multiple registers".
Result writeRegisters(QModbusClient &client, int unit, int reg, const QVector<quint16> &values)
{
    const QModbusDataUnit request(QModbusDataUnit::HoldingRegisters, reg - 1, values);
    return finish(client.sendWriteRequest(request, unit), 5000);
}

std::unique_ptr<QModbusTcpClient> connectTcp(quint16 port, int timeoutMs = 1000)
{
    auto client = std::make_unique<QModbusTcpClient>();
    client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    client->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    client->setTimeout(timeoutMs);
    client->setNumberOfRetries(0);
    if (!client->connectDevice())
        return nullptr;
    const bool connected = QTest::qWaitFor(
        [&] { return client->state() == QModbusDevice::ConnectedState; }, 5000);
    return connected ? std::move(client) : nullptr;
}

QVector<quint16> textWords(const QString &text)
{
    QVector<quint16> words;
    for (QChar c : text)
        words.append(c.unicode());
    return words;
}

QVector<quint16> sequence(int first, int count)
{
    QVector<quint16> words;
    for (int i = 0; i < count; ++i)
        words.append(quint16(first + i));
    return words;
}

// The simulator serving Modbus TCP, and Modbus RTU on the first device of the pair.
std::unique_ptr<HubSimulator> startTcpAndRtu(const PtyPair &pty, const QStringList &extraArgs = {})
{
    HubSimulator::Options options;
    options.rtuDevice = pty.deviceA();
    options.extraArgs = extraArgs;
    auto sim = std::make_unique<HubSimulator>(options);
    return sim->start() ? std::move(sim) : nullptr;
}

const QVector<quint16> kStarterTypes{41, 42, 30, 20, 50, 10, 23, 31, 43, 0};

} // namespace

class TestHubSim : public QObject {
    Q_OBJECT

private slots:
    void servesEveryBlockAtFullLength();
    void unservedAddressAnswersException2_data();
    void unservedAddressAnswersException2();
    void unservedUnitGetsNoReply();
    void writesAreKeptAndLogged();
    void commandsAnswerOneLineEach();
    void watchdogCountsAndFreezeStopsIt();
    void startupOptionsClockAndReboot();
    void groupDataHandshake();
    void rtuServesTheSameMap();
    void restartReusesTheTcpPort();
    void silentUnitsDropEveryRequest();
    void replyDelayHoldsRepliesAsTheyWere();
    void readRoundTripIsFast();
    void everyNthReplyMalformed();
    void everyNthReplyFromAnotherUnit();
    void busyReadsAnswerException6();
};

// Every block the program reads, at the length it reads it, with the plant's data.
void TestHubSim::servesEveryBlockAtFullLength()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    const Result settings = readRegisters(*client, 16, 100, 109);
    QVERIFY(settings.ok());
    QCOMPARE(settings.values.size(), 109);
    QCOMPARE(settings.values.mid(6, 20),
             (QVector<quint16>{2, 2, 10, 0, 502, 1000, 0, 1, 192, 168, 1, 50, 192, 168, 1, 1, 255, 255,
                               255, 0}));
    QCOMPARE(settings.values.at(26), quint16(0x0007));
    QCOMPARE(settings.values.mid(27, 16),
             (QVector<quint16>{192, 168, 1, 10, 99, 192, 168, 1, 200, 210, 10, 20, 0, 1, 30, 0}));
    QCOMPARE(settings.values.mid(42, 65), QVector<quint16>(65, 0));
    QCOMPARE(settings.values.at(107), quint16(0));
    QCOMPARE(settings.values.at(108), quint16(0x0005));

    const Result general = readRegisters(*client, 16, 500, 31);
    QVERIFY(general.ok());
    QCOMPARE(general.values.mid(0, 6), (QVector<quint16>{4, 60, 2, 6, 0xBEEF, 0x1234}));
    QCOMPARE(general.values.mid(8, 3), (QVector<quint16>{0x1A00, 0x3C2B, 0x5E4D}));
    QCOMPARE(general.values.at(11) & 0x0009, 0);  // neither time nor reboot wanted
    QCOMPARE(general.values.at(12), quint16(0x000F));
    QCOMPARE(general.values.mid(13, 12),
             (QVector<quint16>{127, 0, 0, 1, 127, 0, 0, 254, 255, 0, 0, 0}));
    QCOMPARE(general.values.mid(25, 6),
             (QVector<quint16>{0x0001, 0x0301, 0x0B01, 0x0201, 0x0002, 0x0003}));

    const Result statistics = readRegisters(*client, 16, 600, 37);
    QVERIFY(statistics.ok());
    QCOMPARE(statistics.values.size(), 37);
    QCOMPARE(statistics.values.at(18), quint16(0));  // no blocked connections

    const Result runtime = readRegisters(*client, 16, 7000, 10);
    QVERIFY(runtime.ok());
    QCOMPARE(runtime.values, QVector<quint16>(10, 0));

    const Result ident = readRegisters(*client, 16, 9000, 15);
    QVERIFY(ident.ok());
    QCOMPARE(ident.values, textWords(QStringLiteral("VelkarHub Sim  ")));

    for (int unit = 17; unit <= 20; ++unit) {
        const int link = unit - 16;
        const Result linkSettings = readRegisters(*client, unit, 1000, 9);
        QVERIFY(linkSettings.ok());
        QCOMPARE(linkSettings.values,
                 (QVector<quint16>{quint16(link), quint16(link), 96, 0, 9, 0, 10, 0, 2}));

        const Result linkStatistics = readRegisters(*client, unit, 1100, 12);
        QVERIFY(linkStatistics.ok());
        QCOMPARE(linkStatistics.values.size(), 12);

        const Result group = readRegisters(*client, unit, 1303, 17);
        QVERIFY(group.ok());
        QCOMPARE(group.values.size(), 17);

        for (int reg : {2000, 3800, 3900, 4000}) {
            const Result words = readRegisters(*client, unit, reg, 100);
            QVERIFY2(words.ok(), qPrintable(QStringLiteral("unit %1 4x%2").arg(unit).arg(reg)));
            QCOMPARE(words.values.size(), 100);
        }

        // The starter list repeats over the 100 addresses, rotated by one place per link.
        const Result types = readRegisters(*client, unit, 6000, 100);
        QVERIFY(types.ok());
        for (int address = 0; address < 100; ++address) {
            const quint16 expected = kStarterTypes.at((address + link - 1) % 10);
            QCOMPARE(types.values.at(address), expected);
        }
        // A status word shows the starter is available exactly where a starter is.
        const Result status = readRegisters(*client, unit, 3800, 100);
        for (int address = 0; address < 100; ++address)
            QCOMPARE(bool(status.values.at(address) & 0x8000), types.values.at(address) != 0);

        // The windows of addresses 0 and 99 are the first and last 120 registers;
        // word j of address a's window is link * 1000 + a + j.
        for (int address : {0, 99}) {
            const Result window = readRegisters(*client, unit, 5000 + address, 120);
            QVERIFY(window.ok());
            QCOMPARE(window.values, sequence(link * 1000 + address, 120));
        }
    }

    QCOMPARE(sim.command(QStringLiteral("reads 17 6000")), QStringLiteral("OK 1"));
    QCOMPARE(sim.command(QStringLiteral("reads 20 5099")), QStringLiteral("OK 1"));
    QCOMPARE(sim.command(QStringLiteral("reads 20 5098")), QStringLiteral("OK 0"));
}

void TestHubSim::unservedAddressAnswersException2_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("count");

    QTest::newRow("before the hub settings") << 16 << 99 << 1;
    QTest::newRow("after the hub settings") << 16 << 209 << 1;
    QTest::newRow("across the end of the settings") << 16 << 200 << 10;
    QTest::newRow("before the general data") << 16 << 499 << 2;
    QTest::newRow("after the general data") << 16 << 531 << 1;
    QTest::newRow("after the statistics") << 16 << 637 << 1;
    QTest::newRow("after the run-time message") << 16 << 7010 << 1;
    QTest::newRow("after the identification text") << 16 << 9000 << 16;
    QTest::newRow("link register on the hub unit") << 16 << 1000 << 9;
    QTest::newRow("hub register on a link unit") << 17 << 500 << 31;
    QTest::newRow("after the link settings") << 17 << 1009 << 1;
    QTest::newRow("after the link statistics") << 18 << 1112 << 1;
    QTest::newRow("before the group data") << 19 << 1302 << 2;
    QTest::newRow("after the group data") << 20 << 1320 << 1;
    QTest::newRow("after the command words") << 17 << 2100 << 1;
    QTest::newRow("before the status words") << 17 << 3799 << 1;
    QTest::newRow("after the fault words") << 17 << 4100 << 1;
    QTest::newRow("before the configuration windows") << 17 << 4999 << 1;
    QTest::newRow("after the last configuration window") << 17 << 5100 << 120;
    QTest::newRow("after the starter types") << 17 << 6100 << 1;
}

void TestHubSim::unservedAddressAnswersException2()
{
    QFETCH(int, unit);
    QFETCH(int, reg);
    QFETCH(int, count);

    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    const Result read = readRegisters(*client, unit, reg, count);
    QCOMPARE(read.error, QModbusDevice::ProtocolError);
    QCOMPARE(read.exceptionCode, int(QModbusPdu::IllegalDataAddress));

    const Result write = writeRegisters(*client, unit, reg, QVector<quint16>(count, 7));
    QCOMPARE(write.error, QModbusDevice::ProtocolError);
    QCOMPARE(write.exceptionCode, int(QModbusPdu::IllegalDataAddress));

    // The connection is still good afterwards.
    QVERIFY(readRegisters(*client, 16, 500, 31).ok());
}

// The hub answers units 16 to 20 only; anything else gets no reply at all, and a
// request for a served unit queued behind it is still answered.
void TestHubSim::unservedUnitGetsNoReply()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort(), 400);
    QVERIFY(client);

    for (int unit : {1, 15, 21, 247}) {
        const Result read = readRegisters(*client, unit, 500, 31, 3000);
        QVERIFY2(read.error == QModbusDevice::TimeoutError,
                 qPrintable(QStringLiteral("unit %1 gave error %2").arg(unit).arg(read.error)));
    }

    // Sent back to back, both requests go out in one TCP segment.
    QModbusReply *lost = client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 499, 31), 21);
    QModbusReply *served = client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 499, 31), 16);
    const Result servedResult = finish(served, 3000);
    QVERIFY(servedResult.ok());
    QCOMPARE(servedResult.values.mid(0, 4), (QVector<quint16>{4, 60, 2, 6}));
    QCOMPARE(finish(lost, 3000).error, QModbusDevice::TimeoutError);

    QCOMPARE(client->state(), QModbusDevice::ConnectedState);
    QVERIFY(readRegisters(*client, 17, 6000, 100).ok());
}

void TestHubSim::writesAreKeptAndLogged()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);
    QCOMPARE(sim.writeLog(), QStringList());

    QVERIFY(writeRegisters(*client, 17, 1006, {25}).ok());                 // single register
    QVERIFY(writeRegisters(*client, 16, 114, {10, 0, 0, 7}).ok());         // several registers
    QVERIFY(writeRegisters(*client, 19, 2005, {0x8008}).ok());             // above 32767
    QVERIFY(writeRegisters(*client, 20, 5050, QVector<quint16>(120, 0)).ok());
    const Result refused = writeRegisters(*client, 17, 1009, {1});
    QCOMPARE(refused.exceptionCode, int(QModbusPdu::IllegalDataAddress));

    QCOMPARE(readRegisters(*client, 17, 1006, 1).values, QVector<quint16>{25});
    QCOMPARE(readRegisters(*client, 16, 113, 6).values, (QVector<quint16>{1, 10, 0, 0, 7, 192}));
    QCOMPARE(sim.get(19, 2004, 3), (QVector<quint16>{0, 0x8008, 0}));
    QCOMPARE(readRegisters(*client, 20, 5050, 120).values, QVector<quint16>(120, 0));
    // The window of the next address overlaps: only its last word is left.
    QCOMPARE(readRegisters(*client, 20, 5051, 120).values.last(), quint16(4000 + 5170 - 5000));

    const QString zeros = QStringList(120, QStringLiteral("0")).join(QLatin1Char(','));
    QCOMPARE(sim.writeLog(), (QStringList{QStringLiteral("17:1006:25"), QStringLiteral("16:114:10,0,0,7"),
                                          QStringLiteral("19:2005:32776"), QStringLiteral("20:5050:") + zeros,
                                          QStringLiteral("17:1009:1")}));

    // `set` is the hub itself changing a value: kept, readable, not a write request.
    QVERIFY(sim.set(18, 3900, {-1, 65535, -32768}));
    QCOMPARE(readRegisters(*client, 18, 3900, 3).values, (QVector<quint16>{65535, 65535, 32768}));
    QCOMPARE(sim.writeLog().size(), 5);

    // `logtimes`: the same entries, each with the time it was received, in order.
    const QVector<HubSimulator::TimedWrite> timed = sim.timedWriteLog();
    QStringList entries;
    for (const HubSimulator::TimedWrite &w : timed)
        entries << w.entry;
    QCOMPARE(entries, sim.writeLog());
    for (qsizetype i = 1; i < timed.size(); ++i)
        QVERIFY(timed[i].atMs >= timed[i - 1].atMs);

    QCOMPARE(sim.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    QCOMPARE(sim.writeLog(), QStringList());
    QVERIFY(sim.timedWriteLog().isEmpty());
    // The time is on this process's monotonic clock: between the send and the reply.
    const auto monotonicMs = [] {
        QElapsedTimer now;
        now.start();
        return now.msecsSinceReference();
    };
    const qint64 sentAt = monotonicMs();
    QVERIFY(writeRegisters(*client, 16, 7000, {0}).ok());
    const qint64 answeredAt = monotonicMs();
    QCOMPARE(sim.writeLog(), QStringList{QStringLiteral("16:7000:0")});
    const double receivedAt = sim.timedWriteLog().value(0).atMs;
    QVERIFY2(receivedAt >= double(sentAt) - 1 && receivedAt <= double(answeredAt) + 1,
             qPrintable(QStringLiteral("%1 %2 %3").arg(sentAt).arg(receivedAt, 0, 'f', 3).arg(answeredAt)));
    // A write sent 150 ms after the reply to the one before is logged at least that much
    // later (the earlier one was received before it was answered).
    QTest::qWait(150);
    QVERIFY(writeRegisters(*client, 16, 7000, {1}).ok());
    const QVector<HubSimulator::TimedWrite> two = sim.timedWriteLog();
    QCOMPARE(two.size(), 2);
    QCOMPARE(two[1].entry, QStringLiteral("16:7000:1"));
    QVERIFY2(two[1].atMs - two[0].atMs >= 150, qPrintable(QString::number(two[1].atMs - two[0].atMs)));
}

void TestHubSim::commandsAnswerOneLineEach()
{
    HubSimulator sim;
    QVERIFY(sim.start());

    QVERIFY(sim.command(QStringLiteral("bogus")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("get 21 500")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("get 16 99")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("set 16 530 1 2")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("set 16 500 70000")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("runtime 1")).startsWith(QLatin1String("ERR ")));
    QCOMPARE(sim.get(16, 500, 4), (QVector<quint16>{4, 60, 2, 6}));  // nothing changed

    QCOMPARE(sim.command(QStringLiteral("runtime 2 -7 MAIN.PRG")), QStringLiteral("OK"));
    QVector<quint16> expected{2, 65529};
    const QByteArray name = QByteArray("MAIN.PRG").leftJustified(16, ' ');
    for (int i = 0; i < 16; i += 2)
        expected.append(quint16(quint8(name.at(i)) | quint8(name.at(i + 1)) << 8));
    QCOMPARE(sim.get(16, 7000, 10), expected);
    QCOMPARE(sim.command(QStringLiteral("runtime 0 0 x")), QStringLiteral("OK"));
    QCOMPARE(sim.get(16, 7000, 1), QVector<quint16>{0});

    QCOMPARE(sim.command(QStringLiteral("quit")), QStringLiteral("OK"));
    QVERIFY(QTest::qWaitFor([&] { return !sim.isRunning(); }, 5000));
}

void TestHubSim::watchdogCountsAndFreezeStopsIt()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    auto watchdog = [&] { return readRegisters(*client, 16, 606, 1).values.value(0); };
    const quint16 first = watchdog();
    QElapsedTimer timer;
    timer.start();
    QTRY_VERIFY_WITH_TIMEOUT(quint16(watchdog() - first) >= 5, 3000);
    // Five steps of 200 ms.
    QVERIFY2(timer.elapsed() >= 600 && timer.elapsed() <= 2000, qPrintable(QString::number(timer.elapsed())));

    QCOMPARE(sim.command(QStringLiteral("freeze")), QStringLiteral("OK"));
    const quint16 frozen = watchdog();
    QTest::qWait(700);  // several watchdog periods with no change
    QCOMPARE(watchdog(), frozen);

    QCOMPARE(sim.command(QStringLiteral("unfreeze")), QStringLiteral("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(watchdog() != frozen, 2000);

    // Setting the counter makes it count on from there, wrapping at 65535.
    QVERIFY(sim.set(16, 606, {-3}));
    QVERIFY(watchdog() >= 65533);
    QTRY_VERIFY_WITH_TIMEOUT(watchdog() < 100, 3000);

    // Transmissions and receptions count the requests served.
    const QVector<quint16> before = readRegisters(*client, 16, 600, 2).values;
    const QVector<quint16> after = readRegisters(*client, 16, 600, 2).values;
    QCOMPARE(after.value(0), quint16(before.value(0) + 1));
    QCOMPARE(after.value(1), quint16(before.value(1) + 1));
}

void TestHubSim::startupOptionsClockAndReboot()
{
    HubSimulator::Options options;
    options.extraArgs = QStringList{QStringLiteral("--freeze-watchdog"), QStringLiteral("--time-needed"),
                                    QStringLiteral("--info-v2"), QStringLiteral("67"),
                                    QStringLiteral("--info-v4"), QStringLiteral("4")};
    HubSimulator sim(options);
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    const Result general = readRegisters(*client, 16, 500, 31);
    QCOMPARE(general.values.mid(0, 4), (QVector<quint16>{4, 67, 2, 4}));
    QCOMPARE(general.values.at(11) & 0x0001, 1);  // date and time needed
    QCOMPARE(readRegisters(*client, 16, 600, 37).values.size(), 37);

    const quint16 watchdog = sim.get(16, 606).value(0);
    QTest::qWait(500);  // more than two watchdog periods
    QCOMPARE(readRegisters(*client, 16, 606, 1).values, QVector<quint16>{watchdog});

    // The clock starts at the local time.
    const QVector<quint16> clock = readRegisters(*client, 16, 100, 6).values;
    QCOMPARE(clock.size(), 6);
    const QDateTime hubTime(QDate(2000 + clock[2], clock[1], clock[0]), QTime(clock[3], clock[4], clock[5]));
    QVERIFY2(qAbs(hubTime.secsTo(QDateTime::currentDateTime())) <= 5, qPrintable(hubTime.toString()));

    // Sending the time sets it, clears "time needed", and the clock runs on from it.
    QVERIFY(writeRegisters(*client, 16, 100, {7, 3, 25, 14, 5, 9}).ok());
    QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0001, 0);
    QCOMPARE(readRegisters(*client, 16, 100, 5).values, (QVector<quint16>{7, 3, 25, 14, 5}));
    QTRY_VERIFY_WITH_TIMEOUT(readRegisters(*client, 16, 105, 1).values.value(0) > 9, 3000);

    // A hub that keeps asking: every clock write leaves "time needed" set, until it
    // stops asking; "once" asks until the next clock write.
    QCOMPARE(sim.command(QStringLiteral("asktime keep")), QStringLiteral("OK"));
    for (int send = 0; send < 2; ++send) {
        QVERIFY(writeRegisters(*client, 16, 100, {7, 3, 25, 14, 5, 9}).ok());
        QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0001, 1);
    }
    QCOMPARE(sim.command(QStringLiteral("asktime off")), QStringLiteral("OK"));
    QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0001, 0);
    QCOMPARE(sim.command(QStringLiteral("asktime once")), QStringLiteral("OK"));
    QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0001, 1);
    QVERIFY(writeRegisters(*client, 16, 100, {7, 3, 25, 14, 5, 9}).ok());
    QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0001, 0);
    QVERIFY(sim.command(QStringLiteral("asktime always")).startsWith(QStringLiteral("ERR ")));

    // A reboot request clears "reboot required" and leaves the clock alone.
    QVERIFY(sim.set(16, 511, {0x0008}));
    QVERIFY(writeRegisters(*client, 16, 100, {82, 69, 66, 79, 79, 84}).ok());
    QCOMPARE(readRegisters(*client, 16, 511, 1).values.value(0) & 0x0008, 0);
    QCOMPARE(readRegisters(*client, 16, 100, 5).values, (QVector<quint16>{7, 3, 25, 14, 5}));
    QVERIFY(sim.writeLog().contains(QStringLiteral("16:100:82,69,66,79,79,84")));

    // An impossible date stops the clock at what was written.
    QVERIFY(writeRegisters(*client, 16, 101, {13}).ok());
    QCOMPARE(readRegisters(*client, 16, 101, 1).values, QVector<quint16>{13});
}

void TestHubSim::groupDataHandshake()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    // Address 7, group 3 on link 2.
    QVERIFY(writeRegisters(*client, 18, 1303, {7, 3}).ok());
    for (int busy = 0; busy < 2; ++busy) {
        const Result reply = readRegisters(*client, 18, 1303, 17);
        QVERIFY(reply.ok());
        QCOMPARE(reply.values.mid(0, 3), (QVector<quint16>{7, 3, 1}));
    }
    for (int ready = 0; ready < 2; ++ready) {
        const Result reply = readRegisters(*client, 18, 1303, 17);
        QVERIFY(reply.ok());
        QCOMPARE(reply.values.mid(0, 3), (QVector<quint16>{7, 3, 2}));
        QCOMPARE(reply.values.mid(5, 11), sequence(7 * 100 + 3 * 10, 11));
        QCOMPARE(reply.values.at(16), quint16(11));
    }
    QCOMPARE(sim.command(QStringLiteral("reads 18 1303")), QStringLiteral("OK 4"));

    // Another link is not involved.
    QCOMPARE(readRegisters(*client, 19, 1305, 1).values, QVector<quint16>{0});

    // A new request starts over: busy again, the old data gone.
    QVERIFY(writeRegisters(*client, 18, 1303, {99, 0}).ok());
    const Result busy = readRegisters(*client, 18, 1303, 17);
    QCOMPARE(busy.values.at(2), quint16(1));
    QCOMPARE(busy.values.mid(5, 12), QVector<quint16>(12, 0));
    readRegisters(*client, 18, 1303, 17);
    QCOMPARE(readRegisters(*client, 18, 1303, 17).values.mid(2, 4), (QVector<quint16>{2, 0, 0, 9900}));

    // An item above 10 stops the request.
    QVERIFY(writeRegisters(*client, 17, 1303, {5, 11}).ok());
    for (int read = 0; read < 4; ++read)
        QCOMPARE(readRegisters(*client, 17, 1303, 17).values.at(2), quint16(3));
}

// One process serves TCP and RTU from the same register map.
void TestHubSim::rtuServesTheSameMap()
{
    PtyPair pty;
    QVERIFY(pty.start());
    const auto sim = startTcpAndRtu(pty);
    QVERIFY(sim);
    auto tcp = connectTcp(sim->tcpPort());
    QVERIFY(tcp);

    QModbusRtuSerialClient rtu;
    rtu.setConnectionParameter(QModbusDevice::SerialPortNameParameter, pty.deviceB());
    rtu.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud9600);
    rtu.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    rtu.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    rtu.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::OneStop);
    rtu.setTimeout(500);
    rtu.setNumberOfRetries(0);
    QVERIFY(rtu.connectDevice());
    QTRY_COMPARE(rtu.state(), QModbusDevice::ConnectedState);

    struct Block { int unit, reg, count; };
    for (const Block &block : {Block{16, 500, 31}, Block{16, 9000, 15}, Block{17, 1000, 9},
                               Block{18, 3800, 100}, Block{19, 4000, 100}, Block{20, 6000, 100},
                               Block{17, 5099, 120}}) {
        const Result overRtu = readRegisters(rtu, block.unit, block.reg, block.count);
        QVERIFY2(overRtu.ok(), qPrintable(QStringLiteral("%1:%2 error %3").arg(block.unit).arg(block.reg)
                                              .arg(overRtu.error)));
        QCOMPARE(overRtu.values, readRegisters(*tcp, block.unit, block.reg, block.count).values);
    }

    // Writes over RTU are seen over TCP and logged, a full window among them.
    QVERIFY(writeRegisters(rtu, 20, 2042, {0x0008}).ok());
    QVERIFY(writeRegisters(rtu, 17, 5010, QVector<quint16>(120, 0)).ok());
    QCOMPARE(readRegisters(*tcp, 20, 2042, 1).values, QVector<quint16>{8});
    QCOMPARE(readRegisters(*tcp, 17, 5009, 122).values,
             QVector<quint16>{1009} + QVector<quint16>(120, 0) + QVector<quint16>{1130});
    const QStringList log = sim->writeLog();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(0), QStringLiteral("20:2042:8"));
    QVERIFY(log.at(1).startsWith(QLatin1String("17:5010:0,0,")));

    const Result unserved = readRegisters(rtu, 16, 99, 1);
    QCOMPARE(unserved.exceptionCode, int(QModbusPdu::IllegalDataAddress));
    QCOMPARE(readRegisters(rtu, 21, 500, 1, 3000).error, QModbusDevice::TimeoutError);
    QVERIFY(readRegisters(rtu, 16, 500, 31).ok());

    rtu.disconnectDevice();
}

void TestHubSim::restartReusesTheTcpPort()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    const quint16 port = sim.tcpPort();
    QVERIFY(port != 0);
    auto client = connectTcp(port);
    QVERIFY(client);
    QVERIFY(writeRegisters(*client, 17, 1004, {5}).ok());

    for (int round = 0; round < 2; ++round) {
        sim.stop();
        QVERIFY(!sim.isRunning());
        QTRY_COMPARE(client->state(), QModbusDevice::UnconnectedState);
        // Meanwhile the port is held: refused to a connect, and no one else can take it.
        QVERIFY(client->connectDevice());
        QTRY_COMPARE(client->state(), QModbusDevice::UnconnectedState);
        QVERIFY(!ReservedPort(port).isValid());

        QVERIFY(sim.restart());
        QVERIFY(sim.isRunning());
        QCOMPARE(sim.tcpPort(), port);
        QVERIFY(client->connectDevice());
        QTRY_COMPARE(client->state(), QModbusDevice::ConnectedState);
        // A fresh hub: what was written before is gone.
        QCOMPARE(readRegisters(*client, 17, 1004, 1).values, QVector<quint16>{9});
        QVERIFY(writeRegisters(*client, 17, 1004, {5}).ok());
    }
}

void TestHubSim::silentUnitsDropEveryRequest()
{
    HubSimulator sim({true, 0, {}, {QStringLiteral("--silent"), QStringLiteral("19")}});
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort(), 300);
    QVERIFY(client);
    QCOMPARE(sim.command(QStringLiteral("silence")), QStringLiteral("OK 19"));
    QCOMPARE(readRegisters(*client, 19, 1000, 9, 3000).error, QModbusDevice::TimeoutError);
    QVERIFY(readRegisters(*client, 17, 1000, 9).ok());

    // Switched at run time; requests are still counted and writes logged, not carried out.
    QCOMPARE(sim.command(QStringLiteral("silence 17 20")), QStringLiteral("OK 17 19 20"));
    QCOMPARE(readRegisters(*client, 17, 1000, 9, 3000).error, QModbusDevice::TimeoutError);
    QCOMPARE(readRegisters(*client, 20, 3800, 100, 3000).error, QModbusDevice::TimeoutError);
    QCOMPARE(writeRegisters(*client, 17, 1004, {7}).error, QModbusDevice::TimeoutError);
    QVERIFY(readRegisters(*client, 16, 500, 31).ok());
    QVERIFY(readRegisters(*client, 18, 1000, 9).ok());
    QCOMPARE(sim.command(QStringLiteral("reads 17 1000")), QStringLiteral("OK 2"));
    QCOMPARE(sim.writeLog(), QStringList{QStringLiteral("17:1004:7")});
    QCOMPARE(sim.get(17, 1004), QVector<quint16>{9});

    QVERIFY(sim.command(QStringLiteral("silence 21")).startsWith(QLatin1String("ERR ")));
    QCOMPARE(sim.command(QStringLiteral("unsilence 17")), QStringLiteral("OK 19 20"));
    QVERIFY(readRegisters(*client, 17, 1000, 9).ok());
    QCOMPARE(sim.command(QStringLiteral("unsilence")), QStringLiteral("OK"));
    QVERIFY(readRegisters(*client, 19, 1000, 9).ok());
    QVERIFY(readRegisters(*client, 20, 3800, 100).ok());
    QCOMPARE(client->state(), QModbusDevice::ConnectedState);
}

void TestHubSim::replyDelayHoldsRepliesAsTheyWere()
{
    HubSimulator sim({true, 0, {}, {QStringLiteral("--reply-delay"), QStringLiteral("300")}});
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort(), 3000);
    QVERIFY(client);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(readRegisters(*client, 16, 500, 31).ok());
    QVERIFY2(timer.elapsed() >= 280, qPrintable(QString::number(timer.elapsed()))); // every unit

    // Only unit 18 held back: its reply comes after that of a later request to unit 17,
    // with the values as they were when its request came.
    QCOMPARE(sim.command(QStringLiteral("delay 0")), QStringLiteral("OK"));
    QCOMPARE(sim.command(QStringLiteral("delay 500 18")), QStringLiteral("OK"));
    QVERIFY(sim.command(QStringLiteral("delay -1")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim.command(QStringLiteral("delay 5 15")).startsWith(QLatin1String("ERR ")));
    QModbusReply *held = client->sendReadRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 999, 9), 18);
    QModbusReply *quick = client->sendReadRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 999, 9), 17);
    QTRY_COMPARE(sim.command(QStringLiteral("reads 18 1000")), QStringLiteral("OK 1"));
    QVERIFY(sim.set(18, 1000, {70, 71}));
    QSignalSpy heldDone(held, &QModbusReply::finished);
    const Result quickResult = finish(quick, 3000);
    QVERIFY(quickResult.ok());
    QCOMPARE(heldDone.count(), 0);
    const Result heldResult = finish(held, 3000);
    QVERIFY(heldResult.ok());
    QCOMPARE(heldResult.values.mid(0, 3), (QVector<quint16>{2, 2, 96}));
    QCOMPARE(readRegisters(*client, 18, 1000, 2).values, (QVector<quint16>{70, 71}));
}

void TestHubSim::readRoundTripIsFast()
{
    HubSimulator sim;
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);

    // Warm up, then read one by one as the program does.
    QVERIFY(readRegisters(*client, 17, 3800, 100).ok());
    const int reads = 300;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < reads; ++i)
        QVERIFY(readRegisters(*client, 17 + i % 4, 3800, 100).ok());
    const double averageMs = double(timer.nsecsElapsed()) / 1e6 / reads;
    qInfo("average round trip of a 100-register read: %.3f ms", averageMs);
    QVERIFY2(averageMs < 5.0, qPrintable(QString::number(averageMs)));
    QCOMPARE(sim.command(QStringLiteral("reads 18 3800")), QStringLiteral("OK 75"));
}

// "corrupt N": every Nth reply, over all units and both transports, is malformed; over TCP
// a read lacks its last register and a write echoes a wrong address, over RTU the CRC
// is wrong (a Qt client discards such a frame and times out).
void TestHubSim::everyNthReplyMalformed()
{
    PtyPair pty;
    QVERIFY(pty.start());
    const auto sim = startTcpAndRtu(pty, {QStringLiteral("--corrupt-every"), QStringLiteral("3")});
    QVERIFY(sim);
    auto tcp = connectTcp(sim->tcpPort());
    QVERIFY(tcp);
    QCOMPARE(sim->command(QStringLiteral("corrupt")), QStringLiteral("OK 3 0"));
    for (int i = 1; i <= 6; ++i) {
        const Result read = readRegisters(*tcp, 17, 1000, 9);
        QVERIFY(read.ok());
        QCOMPARE(read.values.size(), i % 3 ? 9 : 8);
    }
    QCOMPARE(sim->command(QStringLiteral("corrupt")), QStringLiteral("OK 3 2"));
    QCOMPARE(writeRegisters(*tcp, 17, 1004, {5}).startAddress, 1003);
    QCOMPARE(writeRegisters(*tcp, 17, 1004, {6}).startAddress, 1003);
    QCOMPARE(writeRegisters(*tcp, 17, 1004, {7}).startAddress, 1002); // a wrong echo
    QCOMPARE(sim->writeLog(), (QStringList{"17:1004:5", "17:1004:6", "17:1004:7"}));

    QModbusRtuSerialClient rtu;
    rtu.setConnectionParameter(QModbusDevice::SerialPortNameParameter, pty.deviceB());
    rtu.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud9600);
    rtu.setTimeout(500);
    rtu.setNumberOfRetries(0);
    QVERIFY(rtu.connectDevice());
    QTRY_COMPARE(rtu.state(), QModbusDevice::ConnectedState);
    // The count starts afresh with each "corrupt N".
    QCOMPARE(sim->command(QStringLiteral("corrupt 2")), QStringLiteral("OK 2 3"));
    QVERIFY(readRegisters(rtu, 16, 500, 31).ok());
    QCOMPARE(readRegisters(rtu, 16, 500, 31, 3000).error, QModbusDevice::TimeoutError);
    QVERIFY(readRegisters(rtu, 16, 500, 31).ok());

    QCOMPARE(sim->command(QStringLiteral("corrupt 0")), QStringLiteral("OK 0 4"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(readRegisters(*tcp, 17, 1000, 9).values.size(), 9);
    QVERIFY(sim->command(QStringLiteral("corrupt -1")).startsWith(QLatin1String("ERR ")));
    rtu.disconnectDevice();
}

namespace {

// Bytes that come back on a device within timeoutMs: at least `size`, or what came by then.
QByteArray readBytes(QIODevice &device, int size, int timeoutMs = 3000)
{
    QByteArray bytes;
    QElapsedTimer waited;
    waited.start();
    while (bytes.size() < size && waited.elapsed() < timeoutMs) {
        if (device.bytesAvailable() == 0)
            device.waitForReadyRead(int(std::max<qint64>(1, timeoutMs - waited.elapsed())));
        bytes += device.readAll();
    }
    return bytes;
}

// A read of `count` registers from the one-based register `reg`, as a PDU.
QByteArray readPdu(int reg, int count)
{
    QByteArray pdu(1, char(3));
    put16(pdu, quint16(reg - 1));
    put16(pdu, quint16(count));
    return pdu;
}

// A read reply's PDU carrying these words.
QByteArray wordsPdu(const QVector<quint16> &words)
{
    QByteArray pdu(1, char(3));
    pdu.append(char(2 * words.size()));
    for (const quint16 w : words)
        put16(pdu, w);
    return pdu;
}

} // namespace

// "wrongunit N": every Nth reply, over all units and both transports, is a valid reply
// from the next unit (16 -> 17 -> ... -> 20 -> 16) with that unit's registers, or its
// number where it has none; the request itself is carried out as usual. Looked at byte
// by byte: Qt's TCP client would not show the MBAP unit id.
void TestHubSim::everyNthReplyFromAnotherUnit()
{
    PtyPair pty;
    QVERIFY(pty.start());
    const auto sim = startTcpAndRtu(pty, {QStringLiteral("--wrong-unit-every"), QStringLiteral("2")});
    QVERIFY(sim);
    QCOMPARE(sim->command(QStringLiteral("wrongunit")), QStringLiteral("OK 2 0"));
    QTcpSocket tcp;
    tcp.connectToHost(QHostAddress::LocalHost, sim->tcpPort());
    QVERIFY(tcp.waitForConnected(5000));
    // One request at a time, each with this transaction id.
    constexpr quint16 transaction = 0x1234;
    const auto askTcp = [&](int unit, const QByteArray &pdu, int replyPduSize) {
        tcp.write(mbapFrame(transaction, 0, unit, pdu));
        return readBytes(tcp, 7 + replyPduSize);
    };

    const QVector<quint16> link1 = sim->get(17, 1000, 9), link2 = sim->get(18, 1000, 9);
    QVERIFY(link1 != link2);
    QCOMPARE(askTcp(17, readPdu(1000, 9), 20), mbapFrame(transaction, 0, 17, wordsPdu(link1)));
    QCOMPARE(askTcp(17, readPdu(1000, 9), 20), mbapFrame(transaction, 0, 18, wordsPdu(link2)));
    QCOMPARE(askTcp(16, readPdu(500, 4), 10), mbapFrame(transaction, 0, 16, wordsPdu(sim->get(16, 500, 4))));
    // Unit 17 has no general data: its number stands in each register.
    QCOMPARE(askTcp(16, readPdu(500, 4), 10), mbapFrame(transaction, 0, 17, wordsPdu({17, 17, 17, 17})));
    QCOMPARE(askTcp(20, readPdu(1000, 2), 6), mbapFrame(transaction, 0, 20, wordsPdu(sim->get(20, 1000, 2))));
    QCOMPARE(askTcp(20, readPdu(1000, 2), 6), mbapFrame(transaction, 0, 16, wordsPdu({16, 16})));
    // A write is carried out and logged, and its echo comes from the next unit.
    const QByteArray write = QByteArray::fromHex("0603eb0007");
    QCOMPARE(askTcp(18, write, 5), mbapFrame(transaction, 0, 18, write));
    QCOMPARE(askTcp(18, write, 5), mbapFrame(transaction, 0, 19, write));
    QCOMPARE(sim->writeLog(), (QStringList{"18:1004:7", "18:1004:7"}));
    QCOMPARE(sim->get(18, 1004), QVector<quint16>{7});
    QCOMPARE(sim->command(QStringLiteral("wrongunit")), QStringLiteral("OK 2 4"));

    // Over RTU the frame comes from another address, its CRC right for it. The count
    // starts afresh with each "wrongunit N".
    QSerialPort rtu;
    rtu.setPortName(pty.deviceB());
    QVERIFY(rtu.open(QIODevice::ReadWrite));
    QCOMPARE(sim->command(QStringLiteral("wrongunit 3")), QStringLiteral("OK 3 4"));
    const QVector<quint16> link3 = sim->get(19, 1000, 9), link4 = sim->get(20, 1000, 9);
    for (int i = 1; i <= 3; ++i) {
        rtu.write(rtuFrame(19, readPdu(1000, 9)));
        QCOMPARE(readBytes(rtu, 23), i < 3 ? rtuFrame(19, wordsPdu(link3)) : rtuFrame(20, wordsPdu(link4)));
    }

    QCOMPARE(sim->command(QStringLiteral("wrongunit 0")), QStringLiteral("OK 0 5"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(askTcp(17, readPdu(1000, 9), 20), mbapFrame(transaction, 0, 17, wordsPdu(link1)));
    QVERIFY(sim->command(QStringLiteral("wrongunit -1")).startsWith(QLatin1String("ERR ")));
    QVERIFY(sim->command(QStringLiteral("wrongunit 1 2")).startsWith(QLatin1String("ERR ")));
}

// --busy-reads UNIT:REG:N: the first N reads of that unit that start at that register
// are answered "slave device busy" and counted; reads that start elsewhere or ask another
// unit, and writes, are served as usual meanwhile. Each block has its own count.
void TestHubSim::busyReadsAnswerException6()
{
    HubSimulator sim({true, 0, {}, {"--busy-reads", "16:9000:2", "--busy-reads", "17:1000:1"}});
    QVERIFY(sim.start());
    auto client = connectTcp(sim.tcpPort());
    QVERIFY(client);
    for (int i = 0; i < 2; ++i) {
        const Result busy = readRegisters(*client, 16, 9000, 15);
        QCOMPARE(busy.error, QModbusDevice::ProtocolError);
        QCOMPARE(busy.exceptionCode, int(QModbusPdu::ServerDeviceBusy));
        QCOMPARE(readRegisters(*client, 16, 9001, 2).values, textWords(QStringLiteral("el")));
        QCOMPARE(readRegisters(*client, 18, 1000, 1).values, QVector<quint16>{2});
    }
    QCOMPARE(readRegisters(*client, 16, 9000, 15).values, textWords(QStringLiteral("VelkarHub Sim  ")));
    QCOMPARE(sim.command(QStringLiteral("reads 16 9000")), QStringLiteral("OK 3"));

    QVERIFY(writeRegisters(*client, 17, 1000, {5}).ok());
    QCOMPARE(readRegisters(*client, 17, 1000, 9).exceptionCode, int(QModbusPdu::ServerDeviceBusy));
    QCOMPARE(readRegisters(*client, 17, 1000, 1).values, QVector<quint16>{5});
    QCOMPARE(client->state(), QModbusDevice::ConnectedState);

    // An option it cannot take stops the simulator before it serves.
    for (const char *bad : {"21:9000:1", "16:9000", "16:0:1", "16:9000:-1", "a:9000:1"}) {
        HubSimulator refused({true, 0, {}, {QStringLiteral("--busy-reads"), QString::fromLatin1(bad)}});
        QVERIFY2(!refused.start(), bad);
    }
}

QTEST_GUILESS_MAIN(TestHubSim)
#include "test_hubsim.moc"
