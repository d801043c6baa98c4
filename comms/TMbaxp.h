#pragma once
// TMbaxp: the window's Modbus master, over Modbus TCP (its own framing on a QTcpSocket,
// ModbusTcpTransport) or Modbus RTU (Qt SerialBus, ModbusRtuTransport).
//
// Everything runs on the thread that owns the object (the GUI thread): the control has
// no threads of its own and is driven entirely by the event loop.
//
// Runs and events
//   Each run of a block (one UpdateOnce, or one repetition of an enabled handle) ends in
//   exactly one event carrying the handle. Events are queued and delivered from the
//   event loop, never from inside a call of the interface, so they never arrive while
//   the thread is blocked and they keep arriving inside a nested event loop (a modal
//   box). The words of a read are copied into the handle's buffer immediately before
//   OnResultOk is called, so during that call Get_Register gives that run's words and
//   ResultCount their number (the quantity the run was sent with). A
//   handle stops being pending before its event is delivered: a handler may start the
//   same handle again.
//
// Scheduling
//   One request is on the wire at a time. When the wire is free, queued writes go first,
//   in order; then, among the reads that wait (the ready set), the one whose run has been
//   due longest: a repeated run is due at its slot, an UpdateOnce at the call; ties go by
//   the order they came due. A repeated handle runs at fixed rate (its due times step by
//   its UpdateRate; a late run does not cause a burst to catch up) and is never queued
//   twice: one that comes due while its previous run waits joins it, one that comes due
//   while its previous run is on the wire runs once right after it. The ready set thus
//   never holds more than one entry per handle, and under overload every block is still
//   served, those with short periods more often. The minimum rate is MinUpdateRateMs.
//   Each UpdateOnce of a write block takes a copy of the definition and of the buffer and
//   is sent on its own, in order.
//
// Every reply is checked against its request
//   A reply is taken only when it fits the request on the wire: the unit asked (the MBAP
//   unit id over TCP, the address over RTU), the function (or it with bit 7 set: an
//   exception reply), for a read a byte count of exactly twice the registers asked and
//   that many words, for a write the echoed address and count (and value for a single
//   write). Anything else is an invalid reply (InvalidReply, 16): nothing of it is
//   decoded, no word reaches the buffer and OnResultError is raised. Over TCP the reply
//   must also carry the request's transaction id and protocol id 0: a frame with another
//   transaction id is a late reply to an earlier request and is discarded (the request
//   goes on waiting); the right one with another protocol id is invalid (16). A length
//   field that no Modbus frame has, or part of a frame still waiting at the time-out,
//   means the byte stream is out of step: the run fails (16, or 12 at the time-out) and
//   the connection is opened afresh as after a connection loss. Over RTU, Qt's client
//   discards a reply from another address or with another function and waits until the
//   time-out: the run then fails with 16 (15 for a bad CRC). An invalid reply, like an
//   exception reply, is a reply: it ends the unit's run of time-outs.
//
// Writes in order, and paced writes
//   Every run of a write block (UpdateOnce, UpdateOncePaced, a repetition) joins one
//   queue and ends in its event in the order it was started: a block the control refuses
//   itself (see Error codes) waits in the queue like the others and is answered, without
//   being sent, when its turn comes. A paced write (UpdateOncePaced(Handle, GapMs)) goes
//   on the wire no earlier than GapMs after the write before it ended on the wire (its
//   reply, or its failure), so the unit has that long to itself after each paced write,
//   whatever the line's speed, and each paced write starts at least GapMs after the one
//   before started, at the unit's end as on ours. While the first write of the queue waits
//   for its gap, the reads that wait use the line (each may hold it for its own time on
//   the line), except those that overlap a waiting write, which go after it; the writes
//   behind it wait too.
//
// A unit that stops answering is set aside
//   A time-out puts the units whose last request timed out (until they answer) one
//   time-out's length behind the others: each of their reads counts as due that much
//   later than it came due, and no earlier than that long after the latest time-out
//   ended. So the reads of other units that come due during a time-out or soon after it
//   (as one that a result handler starts), and those due at the same time as a probe, go
//   first.
//   After DemoteAfterTimeouts consecutive time-outs of one unit (reads and writes alike;
//   any reply, an exception or a broken frame too, ends the count) the unit is demoted
//   for DemotionFirstMs: its reads are not sent, and each of its runs fails at once with
//   NoReply (18): the reads that wait when it is demoted, and each run that comes due
//   while it is. Once the period is over, a run of the unit that comes due is sent as a
//   probe (never a read the window did not ask for). A reply to the probe restores the
//   unit at once (its blocks run at their rates again from their next due time); a
//   time-out demotes it again with the period doubled, up to DemotionMaxMs, so a unit
//   that answers again is found within about that time. The probes of all demoted units
//   share one schedule (SilentUnits): while one probe waits or is on the wire no other
//   is sent; after a probe the next one waits ProbeGapFactor times as long as that probe
//   was on the wire; and among the units whose periods are over, the one that has been
//   due for its probe longest goes first (round robin), unless it has no enabled read to
//   come due. Units that do not answer thus hold the others up by at most one time-out
//   at a time, and take at most a fifth of the line's time once demoted.
//   Writes to a demoted unit are still sent (a time-out reports them; a reply restores
//   the unit). A connection loss, a reconnect and CloseConnection clear every demotion.
//
// Read after write
//   A read result handed to the window never predates a write started (UpdateOnce, or a
//   repetition of a write block) to the same unit and an overlapping register range after
//   the read was sent: when such a write is started while the read is on the wire, or
//   while its result waits to be delivered, that result is not delivered; the read runs
//   again (after the write, as writes go first) and only that run's result is delivered,
//   still one event per run. A failed read is reported as it came (it carries no words).
//   Reads that have not been sent yet go after the write anyway.
//
// Writes are never sent late
//   A write started while not connected fails at once with NotConnected (17); writes
//   waiting when the connection drops fail with 17, one on the wire with
//   ConnectionLost (14). Nothing is kept to be sent when the link returns.
//
// The close
//   SendWaitingWrites (and the destructor, for writes still waiting then) sends the
//   writes that wait, in order and paced, without sending reads or delivering events (a
//   local event loop that takes no user input runs meanwhile; a read already on the wire
//   is let finish). It stops when none is left, at the first write that times out (the
//   unit is not answering: the writes behind it are given up), when the connection is
//   lost, and at its bound: for each write waiting its gap plus its time-out, plus the
//   time-out of the request on the wire and SafetyMarginMs, so that it never cuts short
//   a unit that answers each write in time (a whole "All Config" of 100 paced writes at
//   9600 baud takes about 30 s; its bound is about 160 s). The destructor writes to
//   stderr what it gave up.
//
// Connection
//   OpenConnection takes the properties as they stand; the reconnects use the same ones.
//   Connection 0: Modbus TCP to IPAddr1.IPAddr2.IPAddr3.IPAddr4 : TCPIPPort; a part
//   outside 0..255 or a port outside 1..65535 fails the connection with
//   ConnectionRefused (13). The per-request time-out is Timeout ms (10 to 32767; no
//   retries).
//   Connection n > 0: Modbus RTU on SerialPorts::DeviceForComPort(n), BaudRate code as
//   SerialPorts::BaudForCode, Parity 0 none / 1 odd / 2 even (other values: none), 8
//   data bits, 1 stop bit. ProtocolMode 0 is Modbus RTU; every other value behaves as 0.
//   The RTU time-out is RtuReplyTimeoutMs after the request, plus the time the request
//   and its reply take on the line at the chosen baud rate (11 bits a character; see
//   RtuTimeoutMs); Timeout is not used for RTU.
//   A connect attempt is abandoned after ConnectDeadlineMs. A failed attempt fails the
//   reads waiting for it once with 13. While blocks are enabled or runs wait and the
//   connection is down, the control reconnects by itself: the first attempt
//   ReconnectFirstDelayMs after the loss, the delay doubling after each failed attempt
//   up to ReconnectMaxDelayMs. Repeated reads that come due while down wait (one per
//   handle) for the next attempt. CloseConnection stops everything including the
//   reconnecting: waiting writes fail with 17 (one on the wire with 14), reads are
//   dropped without an event; enabled handles stay enabled and run again from the next
//   OpenConnection. OpenConnection on an open connection closes it first.
//
// Error codes: MbaxpError in IMbaxp.h; texts in ModbusErrors.txt. Exception replies give
//   the unit's code 1..11 (any other code gives 16); replies that do not fit the request
//   give 16 (see above). A block that no unit could accept
//   is answered by the control itself with the exception a Modbus unit gives for it,
//   without sending: 1 for a handle with no block defined, 3 for a quantity outside
//   1..125 (read) or 1..123 (write) or a unit id outside 0..255, 2 for an address range
//   beyond 0..65535.
#include "comms/IMbaxp.h"
#include "comms/ModbusTransport.h"
#include "comms/SilentUnits.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <deque>
#include <map>
#include <set>
#include <vector>

class QByteArray;
class QEventLoop;
class QModbusRequest;

class TMbaxp final : public QObject, public IMbaxp {
    Q_OBJECT

public:
    static constexpr int MinUpdateRateMs = 10;
    static constexpr int RtuReplyTimeoutMs = 1000;
    static constexpr int ConnectDeadlineMs = 3000;
    static constexpr int ReconnectFirstDelayMs = 250;
    static constexpr int ReconnectMaxDelayMs = 2000;
    // A request that the line never answers nor times out is given up this long after its
    // own time-out: the run fails with Timeout and the connection is opened afresh.
    static constexpr int SafetyMarginMs = 2000;
    // A unit with this many consecutive time-outs is demoted, first for DemotionFirstMs,
    // the period doubling after each probe that times out up to DemotionMaxMs; after a
    // probe the next one (of any unit) waits ProbeGapFactor times that probe's length.
    static constexpr int DemoteAfterTimeouts = SilentUnits::DemoteAfterTimeouts;
    static constexpr int DemotionFirstMs = SilentUnits::DemotionFirstMs;
    static constexpr int DemotionMaxMs = SilentUnits::DemotionMaxMs;
    static constexpr int ProbeGapFactor = SilentUnits::ProbeGapFactor;

    // The RTU time-out of a request whose frame and normal reply take frameBytes bytes in
    // all, at baud: RtuReplyTimeoutMs plus their time on the line (11 bits a character).
    static int RtuTimeoutMs(int baud, int frameBytes);

    explicit TMbaxp(QObject *parent = nullptr);
    ~TMbaxp() override;

    void ReadHoldingRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity,
                              int32_t UpdateRate) override;
    void PresetSingleRegister(int16_t Handle, int16_t SlaveID, int32_t Address, int32_t UpdateRate) override;
    void PresetMultipleRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity,
                                 int32_t UpdateRate) override;

    int16_t Get_Register(int16_t Handle, int16_t Index) const override;
    void Set_Register(int16_t Handle, int16_t Index, int16_t Value) override;
    int16_t ResultCount(int16_t Handle) const override;

    void UpdateEnable(int16_t Handle) override;
    void UpdateOnce(int16_t Handle) override;
    void UpdateOncePaced(int16_t Handle, int32_t GapMs) override;
    void UpdateDisable(int16_t Handle) override;
    WriteFlush SendWaitingWrites(const std::function<void(int Waiting)> &progress) override;

    void OpenConnection() override;
    void CloseConnection() override;

    // True while the connection is up (for diagnostics and tests).
    bool IsConnected() const { return link_ == Link::Connected; }
    // Reads waiting in the ready set (for diagnostics and tests).
    int WaitingReads() const { return int(ready_.size()); }
    // Writes waiting to be sent, and events waiting to be delivered (diagnostics, tests).
    int WaitingWrites() const { return int(writeQueue_.size()); }
    int WaitingEvents() const { return int(events_.size()); }
    // The demotion period of a unit in ms, 0 while it is not demoted (diagnostics, tests).
    int DemotionPeriodMs(int16_t SlaveID) const { return silent_.periodMs(SlaveID); }

private:
    enum class Kind : uint8_t { None, Read, WriteSingle, WriteMultiple };
    enum class Link : uint8_t { Closed, Connecting, Connected, Down };

    struct Block {
        Kind kind = Kind::None;
        int16_t slave = 0;
        int32_t address = 0;
        int16_t quantity = 0;
        int32_t rate = 0;
    };

    // When a run came due, and its place among runs that came due at the same time.
    struct Due {
        qint64 at = 0;
        quint64 seq = 0;
    };

    // An entry of the ready set: ordered by due time, then by the order runs came due.
    struct Ready {
        Due due;
        int16_t handle = 0;
        bool operator<(const Ready &o) const
        {
            return due.at != o.due.at ? due.at < o.due.at : due.seq < o.due.seq;
        }
    };

    struct HandleState {
        Block block;
        std::array<int16_t, BufferWords> words{};
        int16_t resultCount = 0;   // words of the result delivered last
        bool enabled = false;
        qint64 nextDue = 0;
        bool queued = false;       // a read of this handle waits in ready_ ...
        Ready ready;               // ... as this entry
        bool queuedOnce = false;   // ... asked for by UpdateOnce (kept by UpdateDisable)
        bool onWire = false;       // a read of this handle is on the wire
        bool runAgain = false;     // run the read once more when the one on the wire ends
        bool runAgainOnce = false; // ... asked for by UpdateOnce (kept by UpdateDisable)
        Due runAgainDue;           // ... when that run came due
        bool repeatWriteQueued = false;
    };

    struct WriteJob {
        int16_t handle = 0;
        Block block;
        std::vector<quint16> values;
        bool fromRepeat = false;
        int gapMs = 0;              // paced: no earlier than this after the last write ended
        int16_t refused = 0;        // the control's own answer: not sent, answered in turn
    };

    struct Wire {
        bool active = false;
        bool isWrite = false;
        bool fromRepeat = false;
        int16_t handle = 0;
        Block block;
        std::vector<quint16> values;
        // A read: the run it serves, whether it probes a demoted unit, and whether a write
        // to its registers was started while it was on the wire.
        Due due;
        bool once = false;
        bool probe = false;
        bool stale = false;
        qint64 sentAt = 0;
    };

    struct Event {
        int16_t handle = 0;
        int16_t error = 0;
        std::vector<int16_t> words;
        // A successful read waiting to be delivered: its block and run, so that a write
        // started to its registers can withdraw it and run it again.
        bool read = false;
        Block block;
        Due due;
        bool once = false;
        bool withdrawn = false;
    };

    HandleState &stateOf(int16_t handle) { return handles_[handle]; }
    void define(int16_t handle, Kind kind, int16_t slave, int32_t address, int16_t quantity, int32_t rate);
    static int16_t checkBlock(const Block &block);
    static int effectiveRate(int32_t rate);
    static bool overlaps(const Block &read, const Block &write);

    Due dueNow();
    void runDue(int16_t handle, Due due);
    void startRead(int16_t handle, bool once, Due due);
    void startWrite(int16_t handle, bool fromRepeat, int gapMs = 0);
    void enqueueRead(int16_t handle, bool once, Due due);
    void unqueueRead(int16_t handle);
    void rerunReadsBehind(const Block &write);
    void pump();
    int nextRead();
    bool sendRead(int16_t handle);
    void sendWrite(WriteJob job);
    void send(Wire wire, const QModbusRequest &request);
    void onReplyFinished(const ModbusTransport::Answer &answer);
    int requestTimeoutMs(bool isWrite, const Block &block) const;
    qint64 paceWaitMs(const WriteJob &job) const;
    void onSafetyNet();
    int16_t errorOf(const ModbusTransport::Answer &answer, std::vector<int16_t> *words) const;
    int16_t checkReply(const QByteArray &pdu, std::vector<int16_t> *words) const;
    void finishWire(int16_t error, std::vector<int16_t> words);
    void abandonReply();

    // Units that stop answering.
    bool isDemoted(int16_t slave) const { return silent_.isDemoted(slave); }
    bool mayProbe(int16_t slave) const;
    bool hasRepeatingRead(int16_t slave) const;
    void startProbe(int16_t handle, int16_t slave);
    bool probing(int16_t handle) const { return silent_.probing() && probeHandle_ == handle; }
    void noteOutcome(const Wire &wire, int16_t error);
    void failWaitingReadsOf(int16_t slave);
    bool timedOut(int16_t slave) const { return silent_.hasTimedOut(slave); }
    void putBehind(qint64 end, qint64 lengthMs);
    void clearDemotions();

    void startAttempt();
    void onClientSignal(bool connectionError);
    void checkClient();
    void onConnected();
    void attemptFailed();
    void connectionLost();
    void scheduleRetry(int delayMs);
    void ensureAttempt();
    void onRetryTimer();
    bool hasWork() const;
    void teardownClient();
    void failWaitingWrites();
    void dropWaitingReads();
    WriteFlush flushWrites(const std::function<void(int)> &progress);
    int flushBoundMs() const;
    void noteFlushed(int16_t error);
    void stopFlush(FlushStop stop);

    void restartPollTimer();
    void onPollTimer();

    void kick();
    void post(int16_t handle, int16_t error, std::vector<int16_t> words = {});
    void postRead(const Wire &wire, int16_t error, std::vector<int16_t> words);
    void deliverNext();

    std::map<int16_t, HandleState> handles_;
    std::set<Ready> ready_;
    quint64 nextSeq_ = 1;
    std::deque<WriteJob> writeQueue_;
    qint64 lastWriteEndNs_ = 0;  // when the last write on the wire ended (clock_, ns) ...
    bool anyWriteEnded_ = false; // ... once one has
    Wire wire_;
    std::deque<Event> events_;

    SilentUnits silent_;
    int16_t probeHandle_ = 0;    // the probe, while one waits or is on the wire
    qint64 lastTimeoutEnd_ = 0;  // when the latest time-out ended ...
    qint64 lastTimeoutMs_ = 0;   // ... and how long it took

    // The connection properties taken by OpenConnection.
    struct Settings {
        int32_t connection = 0;
        int16_t baudCode = 5;
        int16_t parity = 0;
        int16_t timeout = 1000;
        std::array<int16_t, 4> ip{};
        int32_t port = 502;
    };

    Settings settings_;
    Link link_ = Link::Closed;
    bool rtu_ = false;
    int rtuBaud_ = 9600;
    int tcpTimeoutMs_ = 1000;
    ModbusTransport *client_ = nullptr;
    bool clientConnectionError_ = false;
    int retryDelayMs_ = ReconnectFirstDelayMs;
    qint64 nextAttemptAt_ = 0;
    bool destroying_ = false;
    // While the close sends the waiting writes: its loop, what became of them, and whom to
    // tell how many wait.
    QEventLoop *flushLoop_ = nullptr;
    WriteFlush *flush_ = nullptr;
    std::function<void(int)> flushProgress_;

    QElapsedTimer clock_;
    QTimer pollTimer_;
    QTimer kickTimer_;
    QTimer checkTimer_;
    QTimer retryTimer_;
    QTimer connectTimer_;
    QTimer safetyTimer_;
    QTimer paceTimer_;
};
