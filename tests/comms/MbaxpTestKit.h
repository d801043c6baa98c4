#pragma once
// Test kit for the Modbus control: an event recorder and two scripted Modbus units
// that run inside the test process (one on TCP, one on a serial device), for the cases
// the hub simulator cannot produce on purpose: malformed replies and frames, slow
// replies, bad CRCs, and an exact view of every request on the wire.
#include "comms/TMbaxp.h"
#include "support/HubSimulator.h"
#include "support/ModbusFrames.h"
#include "support/WindowBlocks.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

// Sets an environment variable for the rest of the scope: the returned guard puts back
// what was there before, also when the test fails.
[[nodiscard]] inline auto scopedEnv(const char *name, const QByteArray &value)
{
    const bool wasSet = qEnvironmentVariableIsSet(name);
    const QByteArray before = qgetenv(name);
    qputenv(name, value);
    return qScopeGuard([name, wasSet, before] {
        if (wasSet)
            qputenv(name, before);
        else
            qunsetenv(name);
    });
}

// Records every event of a control, with the first words of the buffer as the handler
// sees them.
struct Recorder {
    struct Event {
        int16_t handle = 0;
        int16_t error = 0; // 0 for OnResultOk
        qint64 atMs = 0;
        std::vector<int16_t> words;
    };

    std::vector<Event> events;
    QElapsedTimer clock;
    int captureWords = 0;
    // Called after an event was recorded, from inside the control's handler.
    std::function<void(const Event &)> then;

    void attach(TMbaxp &m, int wordsToCapture = 0)
    {
        clock.start();
        captureWords = wordsToCapture;
        m.OnResultOk = [this, &m](int16_t handle) {
            Event e{handle, 0, clock.elapsed(), {}};
            for (int i = 0; i < captureWords; ++i)
                e.words.push_back(m.Get_Register(handle, int16_t(i)));
            events.push_back(e);
            if (then)
                then(events.back());
        };
        m.OnResultError = [this](int16_t handle, int16_t error) {
            events.push_back(Event{handle, error, clock.elapsed(), {}});
            if (then)
                then(events.back());
        };
    }

    int count(int handle, int error = -1) const
    {
        int n = 0;
        for (const Event &e : events)
            if (e.handle == handle && (error < 0 || e.error == error))
                ++n;
        return n;
    }
    int okCount(int handle) const { return count(handle, 0); }
    int errorCount(int handle) const { return count(handle) - okCount(handle); }
    const Event *last(int handle) const
    {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->handle == handle)
                return &*it;
        return nullptr;
    }
};

// Runs per second of a handle's successful runs from event `from` on, from their spacing:
// (runs - 1) over the time from the first to the last; 0 with fewer than two runs.
inline double achievedRate(const Recorder &rec, int handle, size_t from = 0)
{
    int runs = 0;
    qint64 first = 0, last = 0;
    for (size_t k = from; k < rec.events.size(); ++k) {
        const Recorder::Event &e = rec.events[k];
        if (e.handle != handle || e.error != 0)
            continue;
        if (runs++ == 0)
            first = e.atMs;
        last = e.atMs;
    }
    return runs > 1 && last > first ? (runs - 1) * 1000.0 / double(last - first) : 0.0;
}

// True when every unit from `first` to `last` is set aside (demoted) by the control.
inline bool allDemoted(const TMbaxp &m, int16_t first, int16_t last)
{
    for (int16_t u = first; u <= last; ++u)
        if (m.DemotionPeriodMs(u) == 0)
            return false;
    return true;
}

// Defines and starts the window's blocks on m, the hub statistics once after each
// general-data result as the window does (through rec.then).
inline void startWindowBlocks(TMbaxp &m, Recorder &rec)
{
    for (const WindowBlock &b : windowBlocks()) {
        m.ReadHoldingRegisters(b.handle, b.unit, b.address, b.quantity, b.rate);
        if (b.repeated)
            m.UpdateEnable(b.handle);
        else
            m.UpdateOnce(b.handle);
    }
    rec.then = [&m](const Recorder::Event &e) {
        if (e.handle != 2 || e.error != 0)
            return;
        const WindowBlock &s = HubStatisticsBlock;
        m.ReadHoldingRegisters(s.handle, s.unit, s.address, s.quantity, s.rate);
        m.UpdateOnce(s.handle);
    };
}

// The control reads blocks in which the simulator's units hold different data (the hub's
// general data and run-time message, each link's settings and a configuration window),
// each every 100 ms, while the simulator sends every Nth reply from another unit, until
// `results` events have come (settleMs more for the last run on the wire). Every result
// delivered carries the asked unit's words, and each reply from another unit is one
// failed run with an invalid reply (16). rec must capture 100 words.
inline void readWhileOtherUnitsAnswer(TMbaxp &m, Recorder &rec, HubSimulator &sim, int every, int results, int settleMs)
{
    struct Read {
        int16_t handle, unit;
        int32_t address;
        int16_t count;
    };
    std::vector<Read> reads{{2, 16, 499, 31}, {9, 16, 6999, 10}};
    for (int16_t link = 0; link < 4; ++link) {
        reads.push_back({int16_t(17 + link), int16_t(17 + link), 999, 9});
        reads.push_back({int16_t(37 + link), int16_t(17 + link), 4999, 100});
    }
    std::map<int16_t, std::vector<int16_t>> expected;
    for (const Read &r : reads) {
        const QVector<quint16> words = sim.get(r.unit, r.address + 1, r.count);
        QCOMPARE(words.size(), int(r.count));
        for (const quint16 w : words)
            expected[r.handle].push_back(int16_t(w));
        m.ReadHoldingRegisters(r.handle, r.unit, r.address, r.count, 100);
    }
    QCOMPARE(sim.command(QStringLiteral("wrongunit %1").arg(every)), QStringLiteral("OK %1 0").arg(every));
    const size_t from = rec.events.size();
    for (const Read &r : reads)
        m.UpdateEnable(r.handle);
    QTRY_VERIFY_WITH_TIMEOUT(rec.events.size() - from >= size_t(results), 60000);
    for (const Read &r : reads)
        m.UpdateDisable(r.handle);
    QTest::qWait(settleMs);
    const QStringList answer = sim.command(QStringLiteral("wrongunit 0")).split(QLatin1Char(' '));
    QCOMPARE(answer.value(0), QStringLiteral("OK"));
    const int fromOthers = answer.value(2).toInt();
    int delivered = 0, refused = 0;
    for (size_t k = from; k < rec.events.size(); ++k) {
        const Recorder::Event &e = rec.events[k];
        if (e.error != 0) {
            QCOMPARE(e.error, MbaxpError::InvalidReply);
            ++refused;
            continue;
        }
        const std::vector<int16_t> &want = expected[e.handle];
        QVERIFY2(std::equal(want.begin(), want.end(), e.words.begin()),
                 qPrintable(QStringLiteral("handle %1 delivered another unit's words").arg(e.handle)));
        ++delivered;
    }
    qInfo("%d results delivered, %d refused, %d replies from another unit", delivered, refused, fromOthers);
    QVERIFY(fromOthers >= results / every / 2);
    QCOMPARE(refused, fromOthers);
    QVERIFY(delivered >= fromOthers);
}

// The Modbus behaviour both scripted units share: a request PDU in, an answer out.
struct UnitScript {
    struct Request {
        int unit = 0;
        QByteArray pdu; // function code and data
        qint64 atMs = 0; // when it came, on the script's clock
        int fc() const { return pdu.isEmpty() ? -1 : quint8(pdu.at(0)); }
        int address() const { return pdu.size() >= 3 ? be16(pdu, 1) : -1; }
        int field2() const { return pdu.size() >= 5 ? be16(pdu, 3) : -1; } // quantity or value
    };
    struct Answer {
        QByteArray pdu;      // empty: no answer at all
        int delayMs = 0;     // answer after this time
        bool badCrc = false; // RTU only: spoil the CRC
        int unit = -1;       // answer as another unit id
        // TCP only: the MBAP header's protocol id, and the transaction id as the request's
        // plus this.
        int protocol = 0;
        int transactionDelta = 0;
        QByteArray earlier;  // TCP only: first a reply with this PDU and the transaction id
                             // before the request's (a late reply to an earlier request)
        QByteArray before;   // TCP only: raw bytes sent ahead of everything
    };

    UnitScript() { clock.start(); }

    std::array<quint16, 65536> regs{};
    std::vector<Request> requests;
    QElapsedTimer clock;
    // Unit ids that never answer (their requests are still recorded).
    std::set<int> silentUnits;
    // A script may replace the normal answer; std::nullopt keeps it.
    std::function<std::optional<Answer>(const Request &)> script;

    Answer answer(Request r)
    {
        r.atMs = clock.elapsed();
        requests.push_back(r);
        if (silentUnits.count(r.unit))
            return {};
        if (script) {
            if (auto a = script(r))
                return *a;
        }
        return normal(r);
    }

    // Every request gets its normal answer, after the delay the function gives for it.
    void delayAnswers(std::function<int(const Request &)> delayMs)
    {
        script = [this, delayMs = std::move(delayMs)](const Request &r) -> std::optional<Answer> {
            Answer a = normal(r);
            a.delayMs = delayMs(r);
            return a;
        };
    }
    void delayAnswers(int delayMs)
    {
        delayAnswers([delayMs](const Request &) { return delayMs; });
    }

    Answer normal(const Request &r)
    {
        Answer a;
        const int fc = r.fc();
        if (fc == 3 && r.pdu.size() == 5) {
            const int addr = r.address(), n = r.field2();
            a.pdu.append(char(3));
            a.pdu.append(char(2 * n));
            for (int i = 0; i < n; ++i)
                put16(a.pdu, regs[size_t((addr + i) & 0xFFFF)]);
        } else if (fc == 6 && r.pdu.size() == 5) {
            regs[size_t(r.address())] = quint16(r.field2());
            a.pdu = r.pdu;
        } else if (fc == 16 && r.pdu.size() >= 6) {
            const int addr = r.address(), n = r.field2();
            for (int i = 0; i < n && 6 + 2 * i + 1 < r.pdu.size(); ++i)
                regs[size_t((addr + i) & 0xFFFF)] = be16(r.pdu, 6 + 2 * i);
            a.pdu = r.pdu.left(5);
        } else {
            a.pdu.append(char(fc | 0x80));
            a.pdu.append(char(1));
        }
        return a;
    }

    int countFc(int fc) const
    {
        int n = 0;
        for (const Request &r : requests)
            n += r.fc() == fc;
        return n;
    }
    int countTo(int unit, int fc = -1) const
    {
        int n = 0;
        for (const Request &r : requests)
            n += r.unit == unit && (fc < 0 || r.fc() == fc);
        return n;
    }
};

// A Modbus TCP unit on 127.0.0.1, answering every unit id.
class FakeTcpUnit : public UnitScript {
public:
    FakeTcpUnit()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket *s = server_.nextPendingConnection()) {
                sockets_.push_back(s);
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] { onData(s, *buffer); });
            }
        });
    }
    bool listen() { return server_.listen(QHostAddress::LocalHost, 0); }
    // Listens on a socket that already listens (see ReservedPort::takeListening).
    bool adopt(int listeningFd) { return listeningFd >= 0 && server_.setSocketDescriptor(listeningFd); }
    quint16 port() const { return server_.serverPort(); }
    int connections() const { return int(sockets_.size()); }
    // Closes every open connection (the unit "drops" the master); the server keeps listening.
    void dropClients()
    {
        for (QTcpSocket *s : sockets_)
            if (s)
                s->abort();
    }

    void attachTo(TMbaxp &m) const
    {
        m.Connection = 0;
        m.IPAddr1 = 127;
        m.IPAddr2 = 0;
        m.IPAddr3 = 0;
        m.IPAddr4 = 1;
        m.TCPIPPort = port();
    }

private:
    void onData(QTcpSocket *s, QByteArray &buffer)
    {
        buffer += s->readAll();
        while (buffer.size() >= 7) {
            const int length = be16(buffer, 4);
            if (buffer.size() < 6 + length)
                return;
            const quint16 transaction = be16(buffer, 0);
            Request r;
            r.unit = quint8(buffer.at(6));
            r.pdu = buffer.mid(7, length - 1);
            buffer.remove(0, 6 + length);
            const Answer a = answer(r);
            const int unit = a.unit >= 0 ? a.unit : r.unit;
            QByteArray frame = a.before;
            if (!a.earlier.isEmpty())
                frame += mbapFrame(quint16(transaction - 1), 0, unit, a.earlier);
            if (!a.pdu.isEmpty())
                frame += mbapFrame(quint16(transaction + a.transactionDelta), quint16(a.protocol), unit, a.pdu);
            if (frame.isEmpty())
                continue;
            QPointer<QTcpSocket> guard(s);
            if (a.delayMs <= 0) {
                s->write(frame);
            } else {
                QTimer::singleShot(a.delayMs, s, [guard, frame] {
                    if (guard && guard->state() == QAbstractSocket::ConnectedState)
                        guard->write(frame);
                });
            }
        }
    }

    QTcpServer server_;
    std::vector<QPointer<QTcpSocket>> sockets_;
};

// A Modbus RTU unit on a serial device (one end of a pty pair), answering every unit id.
class FakeRtuUnit : public UnitScript {
public:
    bool open(const QString &device)
    {
        port_.setPortName(device);
        if (!port_.open(QIODevice::ReadWrite))
            return false;
        QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { onData(); });
        return true;
    }

private:
    void onData()
    {
        buffer_ += port_.readAll();
        while (buffer_.size() >= 8) {
            const int fc = quint8(buffer_.at(1));
            const int size = fc == 16 ? 9 + quint8(buffer_.at(6)) : 8;
            if (buffer_.size() < size)
                return;
            Request r;
            r.unit = quint8(buffer_.at(0));
            r.pdu = buffer_.mid(1, size - 3);
            buffer_.remove(0, size);
            const Answer a = answer(r);
            if (a.pdu.isEmpty())
                continue;
            QByteArray frame;
            frame.append(char(a.unit >= 0 ? a.unit : r.unit));
            frame += a.pdu;
            quint16 crc = modbusCrc(frame);
            if (a.badCrc)
                crc ^= 0x5A5A;
            frame.append(char(crc & 0xFF));
            frame.append(char(crc >> 8));
            if (a.delayMs <= 0)
                port_.write(frame);
            else
                QTimer::singleShot(a.delayMs, &port_, [this, frame] { port_.write(frame); });
        }
    }

    QSerialPort port_;
    QByteArray buffer_;
};
