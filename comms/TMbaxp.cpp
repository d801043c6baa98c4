#include "comms/TMbaxp.h"

#include "comms/ModbusRtuTransport.h"
#include "comms/ModbusTcpTransport.h"
#include "comms/SerialPorts.h"
#include "utilities/Exceptions.h"

#include <QDebug>
#include <QEventLoop>
#include <QModbusPdu>
#include <QSerialPort>

#include <algorithm>
#include <exception>
#include <limits>

namespace {

constexpr int16_t NoError = 0;
// Answers the control gives itself for a block no unit could accept (see TMbaxp.h).
constexpr int16_t IllegalFunction = 1;
constexpr int16_t IllegalDataAddress = 2;
constexpr int16_t IllegalDataValue = 3;

constexpr int MaxReadQuantity = 125;
constexpr int MaxWriteQuantity = 123;

// Bytes of a request and of its normal reply on an RTU line (unit id, PDU, CRC).
int rtuFrameBytes(bool isWrite, bool single, int quantity)
{
    if (!isWrite)
        return 8 + 5 + 2 * quantity;
    if (single)
        return 8 + 8;
    return 9 + 2 * quantity + 8;
}

} // namespace

TMbaxp::TMbaxp(QObject *parent) : QObject(parent)
{
    clock_.start();
    for (QTimer *t : {&pollTimer_, &kickTimer_, &checkTimer_, &retryTimer_, &connectTimer_, &safetyTimer_, &paceTimer_}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    kickTimer_.setInterval(0);
    checkTimer_.setInterval(0);
    connect(&pollTimer_, &QTimer::timeout, this, &TMbaxp::onPollTimer);
    connect(&kickTimer_, &QTimer::timeout, this, &TMbaxp::pump);
    connect(&checkTimer_, &QTimer::timeout, this, &TMbaxp::checkClient);
    connect(&retryTimer_, &QTimer::timeout, this, &TMbaxp::onRetryTimer);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        if (link_ == Link::Connecting)
            attemptFailed();
    });
    connect(&safetyTimer_, &QTimer::timeout, this, &TMbaxp::onSafetyNet);
    connect(&paceTimer_, &QTimer::timeout, this, &TMbaxp::pump);
}

TMbaxp::~TMbaxp()
{
    destroying_ = true;
    // Writes still waiting are sent while the connection is up, within the bound; what
    // could not be is said on stderr (no one is left to deliver an event to).
    const WriteFlush flushed = flushWrites({});
    if (flushed.GivenUp() > 0)
        qWarning("Modbus control: %d of %d writes waiting at its destruction were given up (%d not sent, %d not answered)",
                 flushed.GivenUp(), flushed.waiting, flushed.notSent, flushed.unanswered);
    paceTimer_.stop();
    abandonReply();
    wire_ = Wire{};
    if (client_) {
        ModbusTransport *c = client_;
        client_ = nullptr;
        c->onAnswer = nullptr;
        c->onChange = nullptr;
        c->close();
        delete c;
    }
}

// ---------------------------------------------------------------------------------------
// Definitions and buffers

void TMbaxp::define(int16_t handle, Kind kind, int16_t slave, int32_t address, int16_t quantity, int32_t rate)
{
    stateOf(handle).block = Block{kind, slave, address, quantity, rate};
}

void TMbaxp::ReadHoldingRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity,
                                  int32_t UpdateRate)
{
    define(Handle, Kind::Read, SlaveID, Address, Quantity, UpdateRate);
}

void TMbaxp::PresetSingleRegister(int16_t Handle, int16_t SlaveID, int32_t Address, int32_t UpdateRate)
{
    define(Handle, Kind::WriteSingle, SlaveID, Address, 1, UpdateRate);
}

void TMbaxp::PresetMultipleRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity,
                                     int32_t UpdateRate)
{
    define(Handle, Kind::WriteMultiple, SlaveID, Address, Quantity, UpdateRate);
}

int16_t TMbaxp::Get_Register(int16_t Handle, int16_t Index) const
{
    if (Index < 0 || Index >= BufferWords)
        throw EListError(QStringLiteral("Register index %1 of handle %2 is outside 0 to %3")
                             .arg(Index).arg(Handle).arg(BufferWords - 1));
    const auto it = handles_.find(Handle);
    return it == handles_.end() ? int16_t(0) : it->second.words[size_t(Index)];
}

void TMbaxp::Set_Register(int16_t Handle, int16_t Index, int16_t Value)
{
    if (Index < 0 || Index >= BufferWords)
        throw EListError(QStringLiteral("Register index %1 of handle %2 is outside 0 to %3")
                             .arg(Index).arg(Handle).arg(BufferWords - 1));
    stateOf(Handle).words[size_t(Index)] = Value;
}

int16_t TMbaxp::checkBlock(const Block &block)
{
    if (block.kind == Kind::None)
        return IllegalFunction;
    if (block.slave < 0 || block.slave > 255)
        return IllegalDataValue;
    const int maxQuantity = block.kind == Kind::Read ? MaxReadQuantity : MaxWriteQuantity;
    if (block.quantity < 1 || block.quantity > maxQuantity)
        return IllegalDataValue;
    if (block.address < 0 || int64_t(block.address) + block.quantity - 1 > 65535)
        return IllegalDataAddress;
    return NoError;
}

int TMbaxp::effectiveRate(int32_t rate) { return std::max<int32_t>(rate, MinUpdateRateMs); }

// A write changes what a read of the same unit gives when their register ranges meet.
bool TMbaxp::overlaps(const Block &read, const Block &write)
{
    return read.slave == write.slave && read.address < int64_t(write.address) + write.quantity &&
           write.address < int64_t(read.address) + read.quantity;
}

int TMbaxp::RtuTimeoutMs(int baud, int frameBytes)
{
    baud = std::max(baud, 1);
    const int lineMs = int((int64_t(frameBytes) * 11 * 1000 + baud - 1) / baud);
    return RtuReplyTimeoutMs + lineMs;
}

// ---------------------------------------------------------------------------------------
// Starting and stopping runs

void TMbaxp::UpdateEnable(int16_t Handle)
{
    HandleState &st = stateOf(Handle);
    if (st.enabled)
        return; // already repeating: keep its schedule
    st.enabled = true;
    st.nextDue = clock_.elapsed() + effectiveRate(st.block.rate);
    if (link_ != Link::Closed)
        runDue(Handle, dueNow());
    restartPollTimer();
}

void TMbaxp::UpdateOnce(int16_t Handle)
{
    const HandleState &st = stateOf(Handle);
    switch (st.block.kind) {
    case Kind::None:
        post(Handle, IllegalFunction);
        break;
    case Kind::Read:
        startRead(Handle, true, dueNow());
        break;
    case Kind::WriteSingle:
    case Kind::WriteMultiple:
        startWrite(Handle, false);
        break;
    }
}

void TMbaxp::UpdateOncePaced(int16_t Handle, int32_t GapMs)
{
    const Kind kind = stateOf(Handle).block.kind;
    if (kind == Kind::WriteSingle || kind == Kind::WriteMultiple)
        startWrite(Handle, false, std::max<int32_t>(GapMs, 0));
    else
        UpdateOnce(Handle);
}

void TMbaxp::UpdateDisable(int16_t Handle)
{
    HandleState &st = stateOf(Handle);
    st.enabled = false;
    if (st.queued && !st.queuedOnce)
        unqueueRead(Handle);
    if (st.runAgain && !st.runAgainOnce)
        st.runAgain = false;
    if (st.repeatWriteQueued) {
        st.repeatWriteQueued = false;
        writeQueue_.erase(std::remove_if(writeQueue_.begin(), writeQueue_.end(),
                                         [Handle](const WriteJob &j) { return j.fromRepeat && j.handle == Handle; }),
                          writeQueue_.end());
    }
    restartPollTimer();
}

TMbaxp::Due TMbaxp::dueNow() { return Due{clock_.elapsed(), nextSeq_++}; }

// One repetition of an enabled handle, due at `due`.
void TMbaxp::runDue(int16_t handle, Due due)
{
    switch (stateOf(handle).block.kind) {
    case Kind::None:
        post(handle, IllegalFunction);
        break;
    case Kind::Read:
        startRead(handle, false, due);
        break;
    case Kind::WriteSingle:
    case Kind::WriteMultiple:
        startWrite(handle, true);
        break;
    }
}

void TMbaxp::startRead(int16_t handle, bool once, Due due)
{
    HandleState &st = stateOf(handle);
    if (st.queued) {
        // Not sent yet: this run will read fresh words anyway.
        st.queuedOnce = st.queuedOnce || once;
        return;
    }
    if (st.onWire) {
        if (!st.runAgain)
            st.runAgainDue = due;
        st.runAgain = true;
        st.runAgainOnce = st.runAgainOnce || once;
        return;
    }
    if (link_ == Link::Closed) {
        post(handle, MbaxpError::NotConnected);
        return;
    }
    if (st.block.kind == Kind::Read && isDemoted(st.block.slave)) {
        if (!mayProbe(st.block.slave)) {
            post(handle, MbaxpError::NoReply);
            return;
        }
        startProbe(handle, st.block.slave);
    }
    enqueueRead(handle, once, due);
    if (link_ == Link::Connected)
        kick();
    else
        ensureAttempt();
}

void TMbaxp::enqueueRead(int16_t handle, bool once, Due due)
{
    HandleState &st = stateOf(handle);
    // A unit whose last request timed out waits one time-out's length behind the others.
    if (timedOut(st.block.slave))
        due.at = std::max(due.at, lastTimeoutEnd_) + lastTimeoutMs_;
    st.queued = true;
    st.queuedOnce = once;
    st.ready = Ready{due, handle};
    ready_.insert(st.ready);
}

// Takes a waiting read out of the ready set without sending it.
void TMbaxp::unqueueRead(int16_t handle)
{
    HandleState &st = stateOf(handle);
    if (!st.queued)
        return;
    ready_.erase(st.ready);
    st.queued = st.queuedOnce = false;
    if (probing(handle) && !(wire_.active && wire_.probe))
        silent_.probeDropped();
}

// A write was started: a read of its registers on the wire, or one whose result waits to
// be delivered, gives words from before the write. Its result is not delivered; the read
// runs again, after the write.
void TMbaxp::rerunReadsBehind(const Block &write)
{
    if (wire_.active && !wire_.isWrite && overlaps(wire_.block, write))
        wire_.stale = true;
    struct Run {
        int16_t handle;
        bool once;
        Due due;
    };
    std::vector<Run> again; // started once the loop is done: starting may post events
    for (Event &e : events_) {
        if (e.read && !e.withdrawn && overlaps(e.block, write)) {
            e.withdrawn = true;
            again.push_back({e.handle, e.once, e.due});
        }
    }
    for (const Run &r : again)
        startRead(r.handle, r.once, r.due);
}

void TMbaxp::startWrite(int16_t handle, bool fromRepeat, int gapMs)
{
    HandleState &st = stateOf(handle);
    // Without a connection no write waits (they all failed when it went), so this event
    // still comes after those of every write started before.
    if (link_ != Link::Connected) {
        post(handle, MbaxpError::NotConnected);
        return;
    }
    if (fromRepeat && st.repeatWriteQueued)
        return;
    WriteJob job;
    job.handle = handle;
    job.block = st.block;
    job.fromRepeat = fromRepeat;
    job.gapMs = gapMs;
    // A block no unit could accept is answered in its turn, after the writes before it.
    job.refused = checkBlock(st.block);
    if (job.refused == NoError)
        job.values.assign(st.words.begin(), st.words.begin() + st.block.quantity);
    writeQueue_.push_back(std::move(job));
    if (fromRepeat)
        st.repeatWriteQueued = true;
    if (writeQueue_.back().refused == NoError)
        rerunReadsBehind(writeQueue_.back().block);
    kick();
}

// ---------------------------------------------------------------------------------------
// The wire: one request at a time, writes first

void TMbaxp::kick()
{
    if (!kickTimer_.isActive())
        kickTimer_.start();
}

// How long a queued write must still wait for its gap; 0 when it may go now.
qint64 TMbaxp::paceWaitMs(const WriteJob &job) const
{
    if (job.gapMs <= 0 || !anyWriteEnded_)
        return 0;
    // To the nanosecond, rounded up: never a fraction of a millisecond early.
    const qint64 leftNs = lastWriteEndNs_ + qint64(job.gapMs) * 1000000 - clock_.nsecsElapsed();
    return leftNs <= 0 ? 0 : (leftNs + 999999) / 1000000;
}

// The read to send next: the first of the ready set, but while writes wait (for their
// gap) none that overlaps one of them, which goes after them; -1 for none.
int TMbaxp::nextRead()
{
    for (const Ready &r : ready_) {
        const Block &read = stateOf(r.handle).block;
        const bool behindAWrite = std::any_of(writeQueue_.begin(), writeQueue_.end(), [&read](const WriteJob &j) {
            return j.refused == NoError && overlaps(read, j.block);
        });
        if (!behindAWrite)
            return r.handle;
    }
    return -1;
}

void TMbaxp::pump()
{
    while (link_ == Link::Connected && !wire_.active && !clientConnectionError_) {
        if (flush_ && flush_->stop != FlushStop::None)
            break; // the close has given up the rest
        if (!writeQueue_.empty()) {
            if (writeQueue_.front().refused != NoError) {
                WriteJob job = std::move(writeQueue_.front());
                writeQueue_.pop_front();
                if (job.fromRepeat)
                    stateOf(job.handle).repeatWriteQueued = false;
                post(job.handle, job.refused);
                noteFlushed(job.refused);
                continue;
            }
            const qint64 waitMs = paceWaitMs(writeQueue_.front());
            if (waitMs == 0) {
                WriteJob job = std::move(writeQueue_.front());
                writeQueue_.pop_front();
                sendWrite(std::move(job));
                continue;
            }
            // The first write waits for its gap (and those behind it with it); the reads
            // may use the line meanwhile.
            paceTimer_.start(int(waitMs));
        }
        if (destroying_ || flushLoop_)
            break;
        const int handle = nextRead();
        if (handle < 0)
            break;
        sendRead(int16_t(handle));
    }
    if (flushLoop_ && writeQueue_.empty() && !wire_.active)
        flushLoop_->quit();
}

bool TMbaxp::sendRead(int16_t handle)
{
    HandleState &st = stateOf(handle);
    const Due due = st.ready.due;
    const bool once = st.queuedOnce;
    ready_.erase(st.ready);
    st.queued = false;
    st.queuedOnce = false;
    const bool wasProbe = probing(handle);
    const int16_t probeSlave = silent_.probeUnit();
    if (wasProbe)
        silent_.probeDropped();
    // The definition is taken now. A handle redefined as a write since it was queued has
    // no read to do: its writes are started by UpdateOnce only.
    if (st.block.kind != Kind::Read)
        return false;
    const int16_t refused = checkBlock(st.block);
    if (refused != NoError) {
        post(handle, refused);
        return false;
    }
    // A read of a demoted unit goes out only as its probe (it may have been redefined to
    // that unit while it waited).
    bool probe = false;
    if (isDemoted(st.block.slave)) {
        if (!(wasProbe && probeSlave == st.block.slave) && !mayProbe(st.block.slave)) {
            post(handle, MbaxpError::NoReply);
            return false;
        }
        probe = true;
        startProbe(handle, st.block.slave);
    }
    Wire w;
    w.handle = handle;
    w.block = st.block;
    w.due = due;
    w.once = once;
    w.probe = probe;
    st.onWire = true;
    send(std::move(w), QModbusRequest(QModbusPdu::ReadHoldingRegisters, quint16(st.block.address),
                                      quint16(st.block.quantity)));
    return true;
}

void TMbaxp::sendWrite(WriteJob job)
{
    Wire w;
    w.isWrite = true;
    w.fromRepeat = job.fromRepeat;
    w.handle = job.handle;
    w.block = job.block;
    w.values = std::move(job.values);
    if (job.fromRepeat)
        stateOf(job.handle).repeatWriteQueued = false;
    if (w.block.kind == Kind::WriteSingle) {
        const QModbusRequest req(QModbusPdu::WriteSingleRegister, quint16(w.block.address), w.values.at(0));
        send(std::move(w), req);
    } else {
        const QList<quint16> values(w.values.begin(), w.values.end());
        const QModbusRequest req(QModbusPdu::WriteMultipleRegisters, quint16(w.block.address),
                                 quint16(w.block.quantity), quint8(2 * w.block.quantity), values);
        send(std::move(w), req);
    }
}

void TMbaxp::send(Wire wire, const QModbusRequest &request)
{
    wire.active = true;
    wire.sentAt = clock_.elapsed();
    const int timeoutMs = requestTimeoutMs(wire.isWrite, wire.block);
    wire_ = std::move(wire);
    if (!client_->send(wire_.block.slave, request, timeoutMs)) {
        // The line refused to send: it has lost its connection. A write was not sent and
        // fails; a read waits for the next connection like the reads behind it.
        safetyTimer_.stop();
        Wire w = std::move(wire_);
        wire_ = Wire{};
        if (w.isWrite) {
            post(w.handle, MbaxpError::NotConnected);
            if (flush_)
                ++flush_->notSent;
            stopFlush(FlushStop::ConnectionLost);
        } else {
            stateOf(w.handle).onWire = false;
            enqueueRead(w.handle, w.once, w.due);
        }
        clientConnectionError_ = true;
        checkTimer_.start();
        return;
    }
    safetyTimer_.start(timeoutMs + SafetyMarginMs);
}

// The time-out of a request: Timeout over TCP, the line's time and RtuReplyTimeoutMs
// over RTU.
int TMbaxp::requestTimeoutMs(bool isWrite, const Block &block) const
{
    if (rtu_)
        return RtuTimeoutMs(rtuBaud_, rtuFrameBytes(isWrite, block.kind == Kind::WriteSingle, block.quantity));
    return tcpTimeoutMs_;
}

void TMbaxp::abandonReply()
{
    if (client_ && wire_.active)
        client_->abandon();
}

void TMbaxp::onReplyFinished(const ModbusTransport::Answer &answer)
{
    if (!wire_.active)
        return;
    std::vector<int16_t> words;
    const int16_t error = errorOf(answer, &words);
    finishWire(error, std::move(words));
    kick();
}

void TMbaxp::onSafetyNet()
{
    if (!wire_.active)
        return;
    abandonReply();
    finishWire(MbaxpError::Timeout, {});
    // The line kept a request it never finished: open the connection afresh.
    if (link_ == Link::Connected)
        connectionLost();
}

namespace {

int16_t exceptionOf(const QByteArray &pdu)
{
    if (pdu.size() != 2)
        return MbaxpError::InvalidReply;
    const int code = quint8(pdu.at(1));
    return code >= 1 && code <= 11 ? int16_t(code) : MbaxpError::InvalidReply;
}

} // namespace

// What came back for the request on the wire: nothing of it is decoded unless it is a
// reply of the unit asked that fits the request.
int16_t TMbaxp::errorOf(const ModbusTransport::Answer &answer, std::vector<int16_t> *words) const
{
    if (answer.error != NoError)
        return answer.error;
    // A broadcast (unit 0 on RTU) gets no reply: a write is done, a read has no words.
    if (answer.broadcast)
        return wire_.isWrite ? NoError : MbaxpError::InvalidReply;
    if (answer.unit != wire_.block.slave)
        return MbaxpError::InvalidReply;
    return checkReply(answer.pdu, words);
}

// A normal reply must answer the request on the wire exactly. pdu: function code, data.
int16_t TMbaxp::checkReply(const QByteArray &pdu, std::vector<int16_t> *words) const
{
    if (pdu.isEmpty())
        return MbaxpError::InvalidReply;
    const int fc = quint8(pdu.at(0));
    if (fc & 0x80)
        return exceptionOf(pdu);
    const auto u8 = [&pdu](int i) { return quint8(pdu.at(i)); };
    const auto u16 = [&u8](int i) { return quint16((u8(i) << 8) | u8(i + 1)); };
    const Block &b = wire_.block;
    switch (b.kind) {
    case Kind::Read: {
        const int n = b.quantity;
        if (fc != QModbusPdu::ReadHoldingRegisters || pdu.size() != 2 + 2 * n || u8(1) != 2 * n)
            return MbaxpError::InvalidReply;
        words->resize(size_t(n));
        for (int i = 0; i < n; ++i)
            (*words)[size_t(i)] = int16_t(u16(2 + 2 * i));
        return NoError;
    }
    case Kind::WriteSingle:
        if (fc != QModbusPdu::WriteSingleRegister || pdu.size() != 5 || u16(1) != quint16(b.address) ||
            u16(3) != wire_.values.at(0))
            return MbaxpError::InvalidReply;
        return NoError;
    case Kind::WriteMultiple:
        if (fc != QModbusPdu::WriteMultipleRegisters || pdu.size() != 5 || u16(1) != quint16(b.address) ||
            u16(3) != quint16(b.quantity))
            return MbaxpError::InvalidReply;
        return NoError;
    case Kind::None:
        break;
    }
    return MbaxpError::InvalidReply;
}

void TMbaxp::finishWire(int16_t error, std::vector<int16_t> words)
{
    safetyTimer_.stop();
    Wire w = std::move(wire_);
    wire_ = Wire{};
    if (w.isWrite) {
        // The gap of the next paced write counts from now.
        lastWriteEndNs_ = clock_.nsecsElapsed();
        anyWriteEnded_ = true;
        post(w.handle, error);
        noteOutcome(w, error);
        noteFlushed(error);
        return;
    }
    HandleState &st = stateOf(w.handle);
    st.onWire = false;
    // Words read before a write to them was started are not handed on: the run is redone.
    const bool redo = w.stale && error == NoError;
    if (!redo)
        postRead(w, error, std::move(words));
    noteOutcome(w, error);
    if (link_ == Link::Closed)
        return;
    if (redo)
        startRead(w.handle, w.once, w.due);
    if (st.runAgain) {
        const bool once = st.runAgainOnce;
        st.runAgain = false;
        st.runAgainOnce = false;
        startRead(w.handle, once, st.runAgainDue);
    }
}

// ---------------------------------------------------------------------------------------
// Units that stop answering

bool TMbaxp::mayProbe(int16_t slave) const
{
    return silent_.mayProbe(slave, clock_.elapsed(), [this](int16_t unit) { return hasRepeatingRead(unit); });
}

// Whether runs of the unit keep coming due: a read of it is enabled.
bool TMbaxp::hasRepeatingRead(int16_t slave) const
{
    return std::any_of(handles_.begin(), handles_.end(), [slave](const auto &e) {
        const HandleState &st = e.second;
        return st.enabled && st.block.kind == Kind::Read && st.block.slave == slave;
    });
}

void TMbaxp::startProbe(int16_t handle, int16_t slave)
{
    silent_.probeStarted(slave);
    probeHandle_ = handle;
}

// What a finished request tells of its unit.
void TMbaxp::noteOutcome(const Wire &w, int16_t error)
{
    if (error == MbaxpError::ConnectionLost || error == MbaxpError::NotConnected) {
        // Nothing heard either way; the connection's own handling follows.
        if (w.probe)
            silent_.probeDropped();
        return;
    }
    const qint64 now = clock_.elapsed();
    const int16_t slave = w.block.slave;
    if (w.probe)
        silent_.probeEnded(now, now - w.sentAt);
    if (error != MbaxpError::Timeout) {
        // Any reply, an exception or one that does not fit the request too: the unit is
        // there. It is restored at once.
        silent_.answered(slave);
        return;
    }
    if (silent_.timedOut(slave, w.probe, now))
        failWaitingReadsOf(slave);
    putBehind(now, now - w.sentAt);
}

// The unit is demoted: its waiting reads fail at once.
void TMbaxp::failWaitingReadsOf(int16_t slave)
{
    std::vector<int16_t> waiting;
    for (const Ready &r : ready_) {
        const Block &b = stateOf(r.handle).block;
        if (b.kind == Kind::Read && b.slave == slave && !probing(r.handle))
            waiting.push_back(r.handle);
    }
    for (const int16_t handle : waiting) {
        unqueueRead(handle);
        post(handle, MbaxpError::NoReply);
    }
}

// A time-out ended at `end` after `lengthMs`: the waiting reads of every unit whose last
// request timed out count as due no earlier than one time-out's length after that end.
void TMbaxp::putBehind(qint64 end, qint64 lengthMs)
{
    lastTimeoutEnd_ = end;
    lastTimeoutMs_ = lengthMs;
    const qint64 at = end + lengthMs;
    std::vector<Ready> moved;
    for (const Ready &r : ready_)
        if (r.due.at < at && timedOut(stateOf(r.handle).block.slave))
            moved.push_back(r);
    for (Ready r : moved) {
        ready_.erase(r);
        r.due.at = at;
        stateOf(r.handle).ready = r;
        ready_.insert(r);
    }
}

void TMbaxp::clearDemotions()
{
    silent_.clear();
    lastTimeoutEnd_ = 0;
    lastTimeoutMs_ = 0;
}

// ---------------------------------------------------------------------------------------
// Connection

void TMbaxp::OpenConnection()
{
    if (link_ != Link::Closed)
        CloseConnection();
    retryDelayMs_ = ReconnectFirstDelayMs;
    // The properties as they stand now are used by this and every later reconnect.
    settings_ = Settings{Connection, BaudRate, Parity, Timeout, {IPAddr1, IPAddr2, IPAddr3, IPAddr4}, TCPIPPort};
    // Enabled handles run as soon as the connection is up, then at their rate.
    const qint64 now = clock_.elapsed();
    for (auto &[handle, st] : handles_)
        if (st.enabled)
            st.nextDue = now;
    startAttempt();
    restartPollTimer();
}

void TMbaxp::CloseConnection()
{
    retryTimer_.stop();
    connectTimer_.stop();
    pollTimer_.stop();
    if (wire_.active) {
        const bool isWrite = wire_.isWrite;
        const int16_t handle = wire_.handle;
        abandonReply();
        safetyTimer_.stop();
        wire_ = Wire{};
        if (isWrite) {
            lastWriteEndNs_ = clock_.nsecsElapsed();
            anyWriteEnded_ = true;
            post(handle, MbaxpError::ConnectionLost); // it may or may not have reached the unit
        } else {
            stateOf(handle).onWire = false;
        }
    }
    failWaitingWrites();
    dropWaitingReads();
    clearDemotions();
    teardownClient();
    link_ = Link::Closed;
}

void TMbaxp::failWaitingWrites()
{
    paceTimer_.stop();
    std::deque<WriteJob> jobs;
    jobs.swap(writeQueue_);
    for (const WriteJob &job : jobs) {
        if (job.fromRepeat)
            stateOf(job.handle).repeatWriteQueued = false;
        post(job.handle, job.refused != NoError ? job.refused : MbaxpError::NotConnected);
        if (flush_ && job.refused == NoError)
            ++flush_->notSent;
    }
}

// ---------------------------------------------------------------------------------------
// The close: the waiting writes are sent, nothing else

IMbaxp::WriteFlush TMbaxp::SendWaitingWrites(const std::function<void(int)> &progress)
{
    WriteFlush flushed = flushWrites(progress);
    // What is left is given up: nothing more goes out, and no event of an earlier run is
    // delivered.
    CloseConnection();
    events_.clear();
    return flushed;
}

// Sends the writes that wait, as the close wants them (see TMbaxp.h).
IMbaxp::WriteFlush TMbaxp::flushWrites(const std::function<void(int)> &progress)
{
    WriteFlush flushed;
    pollTimer_.stop();
    retryTimer_.stop();
    // Reads not yet sent are of no use any more, nor are results not yet delivered.
    dropWaitingReads();
    events_.clear();
    const auto waitingWrites = [this] {
        return int(std::count_if(writeQueue_.begin(), writeQueue_.end(),
                                 [](const WriteJob &j) { return j.refused == NoError; }));
    };
    flushed.waiting = waitingWrites() + (wire_.active && wire_.isWrite ? 1 : 0);
    if (flushed.waiting == 0) {
        flushed.refused = int(writeQueue_.size());
        writeQueue_.clear();
        return flushed;
    }
    if (link_ != Link::Connected) {
        flushed.notSent = flushed.waiting;
        flushed.stop = FlushStop::NotConnected;
        return flushed;
    }
    if (progress)
        progress(flushed.waiting);
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, &loop, [this] { stopFlush(FlushStop::TimeUp); });
    bound.start(flushBoundMs());
    flushLoop_ = &loop;
    flush_ = &flushed;
    flushProgress_ = progress;
    kick();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    flushLoop_ = nullptr;
    flush_ = nullptr;
    flushProgress_ = nullptr;
    paceTimer_.stop();
    // Given up: the write on the wire (it may or may not have reached the unit) and those
    // not sent.
    if (wire_.active && wire_.isWrite)
        ++flushed.unanswered;
    flushed.notSent += waitingWrites();
    return flushed;
}

// For each write waiting its gap and its time-out, the time-out of the request on the
// wire, and the margin of a reply that Qt never finishes.
int TMbaxp::flushBoundMs() const
{
    qint64 ms = SafetyMarginMs;
    if (wire_.active)
        ms += requestTimeoutMs(wire_.isWrite, wire_.block);
    for (const WriteJob &job : writeQueue_)
        if (job.refused == NoError)
            ms += job.gapMs + requestTimeoutMs(true, job.block);
    return int(std::min<qint64>(ms, std::numeric_limits<int>::max()));
}

// A write ended (or a refused one was answered) while the close sends them.
void TMbaxp::noteFlushed(int16_t error)
{
    if (!flush_)
        return;
    if (error == NoError)
        ++flush_->answered;
    else if (error == MbaxpError::Timeout || error == MbaxpError::ConnectionLost || error == MbaxpError::NotConnected)
        ++flush_->unanswered;
    else
        ++flush_->refused;
    if (error == MbaxpError::Timeout)
        stopFlush(FlushStop::Timeout);
    else if (error == MbaxpError::ConnectionLost || error == MbaxpError::NotConnected)
        stopFlush(FlushStop::ConnectionLost);
    if (flushProgress_)
        flushProgress_(int(std::count_if(writeQueue_.begin(), writeQueue_.end(),
                                         [](const WriteJob &j) { return j.refused == NoError; })));
}

void TMbaxp::stopFlush(FlushStop stop)
{
    if (!flush_ || !flushLoop_)
        return;
    if (flush_->stop == FlushStop::None)
        flush_->stop = stop;
    flushLoop_->quit();
}

void TMbaxp::dropWaitingReads()
{
    ready_.clear();
    for (auto &[handle, st] : handles_) {
        st.queued = st.queuedOnce = false;
        st.runAgain = st.runAgainOnce = false;
    }
}

void TMbaxp::startAttempt()
{
    teardownClient();
    link_ = Link::Connecting;
    clientConnectionError_ = false;
    rtu_ = settings_.connection > 0;

    ModbusTransport *c = nullptr;
    if (!rtu_) {
        const auto &ip = settings_.ip;
        const bool validAddress = std::all_of(ip.begin(), ip.end(), [](int p) { return p >= 0 && p <= 255; });
        if (!validAddress || settings_.port < 1 || settings_.port > 65535) {
            attemptFailed();
            return;
        }
        c = new ModbusTcpTransport(QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]),
                                   quint16(settings_.port), this);
        tcpTimeoutMs_ = std::clamp<int>(settings_.timeout, 10, 32767);
    } else {
        // The device is looked up at each attempt: a USB adapter plugged in again may
        // come back under the same COM port.
        const QString device = SerialPorts::DeviceForComPort(settings_.connection);
        if (device.isEmpty()) {
            attemptFailed();
            return;
        }
        rtuBaud_ = SerialPorts::BaudForCode(settings_.baudCode);
        const QSerialPort::Parity parity = settings_.parity == 1   ? QSerialPort::OddParity
                                           : settings_.parity == 2 ? QSerialPort::EvenParity
                                                                   : QSerialPort::NoParity;
        c = new ModbusRtuTransport(device, rtuBaud_, parity, this);
    }
    client_ = c;
    // The line's signals only mark what happened; checkClient acts on it from the event
    // loop, outside Qt's own processing (an RTU client whose device vanished emits
    // errorOccurred without end).
    c->onAnswer = [this](const ModbusTransport::Answer &a) { onReplyFinished(a); };
    c->onChange = [this](bool connectionError) { onClientSignal(connectionError); };
    if (!c->open()) {
        attemptFailed();
        return;
    }
    connectTimer_.start(ConnectDeadlineMs);
    checkTimer_.start();
}

void TMbaxp::onClientSignal(bool connectionError)
{
    if (connectionError)
        clientConnectionError_ = true;
    if (!checkTimer_.isActive())
        checkTimer_.start();
}

void TMbaxp::checkClient()
{
    if (!client_)
        return;
    const QModbusDevice::State state = client_->state();
    if (link_ == Link::Connecting) {
        if (clientConnectionError_ || state == QModbusDevice::UnconnectedState)
            attemptFailed();
        else if (state == QModbusDevice::ConnectedState)
            onConnected();
    } else if (link_ == Link::Connected) {
        if (clientConnectionError_ || state != QModbusDevice::ConnectedState)
            connectionLost();
    }
}

void TMbaxp::onConnected()
{
    link_ = Link::Connected;
    clearDemotions();
    connectTimer_.stop();
    retryDelayMs_ = ReconnectFirstDelayMs;
    kick();
}

void TMbaxp::attemptFailed()
{
    if (wire_.active) {
        abandonReply();
        finishWire(MbaxpError::ConnectionLost, {});
    }
    teardownClient();
    link_ = Link::Down;
    clearDemotions();
    // Each read that waited for this attempt fails once; repeated handles come due again
    // at their rate and wait for the next attempt.
    std::set<Ready> waiting;
    waiting.swap(ready_);
    for (const Ready &r : waiting) {
        const int16_t handle = r.handle;
        HandleState &st = stateOf(handle);
        st.queued = st.queuedOnce = false;
        st.runAgain = st.runAgainOnce = false;
        post(handle, MbaxpError::ConnectionRefused);
    }
    failWaitingWrites();
    scheduleRetry(retryDelayMs_);
    retryDelayMs_ = std::min(retryDelayMs_ * 2, ReconnectMaxDelayMs);
}

void TMbaxp::connectionLost()
{
    if (wire_.active) {
        abandonReply();
        finishWire(MbaxpError::ConnectionLost, {});
    }
    failWaitingWrites();
    teardownClient();
    link_ = Link::Down;
    clearDemotions();
    // Reads that wait stay queued for the next attempt.
    scheduleRetry(retryDelayMs_);
    retryDelayMs_ = std::min(retryDelayMs_ * 2, ReconnectMaxDelayMs);
    stopFlush(FlushStop::ConnectionLost);
}

void TMbaxp::scheduleRetry(int delayMs)
{
    nextAttemptAt_ = clock_.elapsed() + delayMs;
    retryTimer_.stop();
    if (!destroying_ && hasWork())
        retryTimer_.start(delayMs);
}

// Work came while the connection is down: make sure an attempt is coming.
void TMbaxp::ensureAttempt()
{
    if (link_ != Link::Down || destroying_ || retryTimer_.isActive())
        return;
    retryTimer_.start(int(std::max<qint64>(0, nextAttemptAt_ - clock_.elapsed())));
}

void TMbaxp::onRetryTimer()
{
    if (link_ != Link::Down || destroying_)
        return;
    if (hasWork())
        startAttempt();
}

bool TMbaxp::hasWork() const
{
    if (!ready_.empty())
        return true;
    return std::any_of(handles_.begin(), handles_.end(), [](const auto &e) { return e.second.enabled; });
}

void TMbaxp::teardownClient()
{
    connectTimer_.stop();
    if (!client_)
        return;
    abandonReply();
    ModbusTransport *c = client_;
    client_ = nullptr;
    c->onAnswer = nullptr;
    c->onChange = nullptr;
    c->close();
    c->deleteLater();
}

// ---------------------------------------------------------------------------------------
// Repetition

void TMbaxp::restartPollTimer()
{
    if (link_ == Link::Closed || destroying_) {
        pollTimer_.stop();
        return;
    }
    bool any = false;
    qint64 earliest = 0;
    for (const auto &[handle, st] : handles_) {
        if (!st.enabled)
            continue;
        if (!any || st.nextDue < earliest)
            earliest = st.nextDue;
        any = true;
    }
    if (!any) {
        pollTimer_.stop();
        return;
    }
    pollTimer_.start(int(std::max<qint64>(0, earliest - clock_.elapsed())));
}

void TMbaxp::onPollTimer()
{
    const qint64 now = clock_.elapsed();
    for (auto &[handle, st] : handles_) {
        if (!st.enabled || st.nextDue > now)
            continue;
        // Fixed rate: the due time steps by the rate; slots missed while late are skipped.
        const Due due{st.nextDue, nextSeq_++};
        const qint64 rate = effectiveRate(st.block.rate);
        st.nextDue += rate;
        if (st.nextDue <= now)
            st.nextDue += ((now - st.nextDue) / rate + 1) * rate;
        runDue(handle, due);
    }
    restartPollTimer();
}

// ---------------------------------------------------------------------------------------
// Events

void TMbaxp::post(int16_t handle, int16_t error, std::vector<int16_t> words)
{
    Event e;
    e.handle = handle;
    e.error = error;
    e.words = std::move(words);
    events_.push_back(std::move(e));
    QMetaObject::invokeMethod(this, &TMbaxp::deliverNext, Qt::QueuedConnection);
}

// The result of a read run; a successful one stays withdrawable until it is delivered.
void TMbaxp::postRead(const Wire &w, int16_t error, std::vector<int16_t> words)
{
    post(w.handle, error, std::move(words));
    if (error != NoError)
        return;
    Event &e = events_.back();
    e.read = true;
    e.block = w.block;
    e.due = w.due;
    e.once = w.once;
}

void TMbaxp::deliverNext()
{
    if (events_.empty())
        return;
    Event e = std::move(events_.front());
    events_.pop_front();
    if (destroying_ || flushLoop_ || e.withdrawn)
        return;
    if (e.error == NoError) {
        HandleState &st = stateOf(e.handle);
        std::copy(e.words.begin(), e.words.end(), st.words.begin());
        st.resultCount = int16_t(e.words.size());
    }
    // A handler's failure must never unwind into the event loop.
    try {
        if (e.error == NoError) {
            if (OnResultOk)
                OnResultOk(e.handle);
        } else if (OnResultError) {
            OnResultError(e.handle, e.error);
        }
    } catch (const std::exception &ex) {
        qWarning().noquote() << "Failure in a Modbus result handler:" << ExceptionClassName(ex) << ":"
                             << ExceptionMessage(ex);
    } catch (...) {
        qWarning("Unknown failure in a Modbus result handler");
    }
}

int16_t TMbaxp::ResultCount(int16_t Handle) const
{
    const auto it = handles_.find(Handle);
    return it == handles_.end() ? int16_t(0) : it->second.resultCount;
}
