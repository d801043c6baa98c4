#pragma once
// The Modbus communications control as the window sees it: register blocks defined
// under request handles, run once or repeatedly, and one event per run.
//
// Each handle keeps its last definition and a buffer of BufferWords words. A read
// fills words 0 to Quantity-1 of the buffer; the words beyond keep what earlier runs
// (or Set_Register) left there, 0 before anything. Events are delivered from the event
// loop of the GUI thread, never from inside a call of this interface. The events of the
// runs of write blocks come in the order those runs were started (UpdateOnce,
// UpdateOncePaced or a repetition), whatever becomes of each, a block refused by the
// control itself included.
#include <cstdint>
#include <functional>

namespace MbaxpError {
// Codes 1 to 11 are the Modbus exception codes exactly as the unit sends them.
constexpr int16_t Timeout = 12;           // no reply within the time-out
constexpr int16_t ConnectionRefused = 13; // the unit or serial device cannot be reached
constexpr int16_t ConnectionLost = 14;    // the connection went down with the run pending
constexpr int16_t CrcOrFraming = 15;      // RTU reply with a bad CRC or broken frame
constexpr int16_t InvalidReply = 16;      // a reply that does not fit the request (another
                                          // unit, function, size or echo)
constexpr int16_t NotConnected = 17;      // no connection: the run was not sent
constexpr int16_t NoReply = 18;           // the unit is set aside after repeated time-outs:
                                          // the run was not sent (it is probed now and
                                          // then: TMbaxp.h)
} // namespace MbaxpError

class IMbaxp {
public:
    static constexpr int BufferWords = 125;

    virtual ~IMbaxp() = default;

    // Block definitions. Address is zero-based; UpdateRate in milliseconds.
    virtual void ReadHoldingRegisters(int16_t Handle, int16_t SlaveID, int32_t Address,
                                      int16_t Quantity, int32_t UpdateRate) = 0;
    virtual void PresetSingleRegister(int16_t Handle, int16_t SlaveID, int32_t Address,
                                      int32_t UpdateRate) = 0;
    virtual void PresetMultipleRegisters(int16_t Handle, int16_t SlaveID, int32_t Address,
                                         int16_t Quantity, int32_t UpdateRate) = 0;

    // The handle's buffer. An index outside 0..BufferWords-1 throws EListError.
    virtual int16_t Get_Register(int16_t Handle, int16_t Index) const = 0;
    virtual void Set_Register(int16_t Handle, int16_t Index, int16_t Value) = 0;
    // The number of words that the handle's result being delivered carried (during its
    // OnResultOk), or that its last delivered result carried: the quantity of the read
    // as it was sent, which a definition made since does not change; 0 for a write's
    // result, and 0 before any result. Only words 0 to ResultCount-1 of the buffer are
    // that result's; the words beyond are older.
    virtual int16_t ResultCount(int16_t Handle) const = 0;

    virtual void UpdateEnable(int16_t Handle) = 0;
    virtual void UpdateOnce(int16_t Handle) = 0;
    virtual void UpdateDisable(int16_t Handle) = 0;
    // UpdateOnce of a write block that paces the unit: the write starts on the wire no
    // earlier than GapMs after the write before it (any write) has ended on the wire
    // (answered or failed), so also at least GapMs after that one started. While it waits
    // for its gap, reads may use the line; the writes behind it wait too (writes keep
    // their order). For any other block it is UpdateOnce.
    virtual void UpdateOncePaced(int16_t Handle, int32_t GapMs) = 0;

    // What became of the writes that waited when SendWaitingWrites began.
    enum class FlushStop : uint8_t {
        None,           // every one was sent and has ended
        Timeout,        // a write was not answered in time: the unit is not answering
        ConnectionLost, // the connection went down
        NotConnected,   // there was no connection to send them on
        TimeUp,         // the bound ran out
    };
    struct WriteFlush {
        int waiting = 0;    // writes waiting or on the wire when it began
        int answered = 0;   // answered by the unit: done
        int refused = 0;    // answered with an exception, or a reply that does not fit, or
                            // refused by the control itself: not done
        int unanswered = 0; // on the wire when it stopped, or with no reply: perhaps done
        int notSent = 0;    // never sent: given up
        FlushStop stop = FlushStop::None;
        int GivenUp() const { return unanswered + notSent; }
    };
    // For the close: sends the writes that wait (those a handler started and the window
    // may already have reported), in order and paced as they were started, delivering no
    // event, within a bound that fits what waits. It stops early when none is left, when
    // a write times out or the connection is lost. Reads are not sent any more. progress
    // is called with the number of writes still waiting, first when it begins (only when
    // there are any) and after each write that ends. On return the connection is closed
    // and nothing waits: writes not sent are dropped, and no event of any earlier run is
    // delivered.
    virtual WriteFlush SendWaitingWrites(const std::function<void(int Waiting)> &progress) = 0;

    // Opens the connection described by the properties as they stand.
    virtual void OpenConnection() = 0;
    virtual void CloseConnection() = 0;

    // Properties. Connection 0 is Modbus TCP; n > 0 is Modbus RTU on COM port n.
    int32_t Connection = 0;
    int16_t BaudRate = 5;     // RTU: 5 is 9600 baud (see SerialPorts.h for the table)
    int16_t Parity = 0;       // RTU: 0 none, 1 odd, 2 even
    int16_t ProtocolMode = 0; // RTU: 0 is Modbus RTU, 8 data bits, 1 stop bit
    int16_t Timeout = 1000;   // TCP: per-request time-out in ms
    int16_t IPAddr1 = 192, IPAddr2 = 168, IPAddr3 = 1, IPAddr4 = 10;
    int32_t TCPIPPort = 502;

    std::function<void(int16_t Handle)> OnResultOk;
    std::function<void(int16_t Handle, int16_t Error)> OnResultError;
};
