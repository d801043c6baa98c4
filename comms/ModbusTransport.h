#pragma once
// The line under the Modbus control: one request at a time to a unit, and what came back
// for it, over Modbus TCP (ModbusTcpTransport) or Modbus RTU (ModbusRtuTransport). The
// control does the scheduling and checks every reply against its request; a transport
// frames requests and replies, times a request out and tells when its connection changes.
//
// Callbacks come from the event loop (a socket's or a timer's signal), never from inside
// a call of this interface.
#include <QByteArray>
#include <QModbusDevice>
#include <QObject>

#include <cstdint>
#include <functional>

class QModbusRequest;

class ModbusTransport : public QObject {
public:
    // What came back for the request on the line.
    struct Answer {
        // 0: a reply came (unit, pdu), to be checked against the request. Otherwise the
        // MbaxpError code of a request that got no usable reply: Timeout, CrcOrFraming,
        // InvalidReply or ConnectionLost.
        int16_t error = 0;
        int unit = -1;          // the unit id the reply carries
        QByteArray pdu;         // function code and data, as received
        bool broadcast = false; // a broadcast (RTU unit 0): done, and no reply is given
    };

    using QObject::QObject;

    // Starts connecting; false when that fails at once. state() tells how it goes on.
    virtual bool open() = 0;
    // Closes the connection; a request on the line is abandoned.
    virtual void close() = 0;
    virtual QModbusDevice::State state() const = 0;
    // Sends one request to the unit, to be answered within timeoutMs. Its answer comes
    // through onAnswer exactly once, unless abandon() or close() comes first. False when
    // it cannot be sent (the connection has gone).
    virtual bool send(int unit, const QModbusRequest &request, int timeoutMs) = 0;
    // Forgets the request on the line: no answer is given for it.
    virtual void abandon() = 0;

    std::function<void(const Answer &)> onAnswer;
    // The connection changed state, or failed (connectionError): see state().
    std::function<void(bool connectionError)> onChange;

protected:
    void answer(const Answer &a)
    {
        if (onAnswer)
            onAnswer(a);
    }
    void changed(bool connectionError)
    {
        if (onChange)
            onChange(connectionError);
    }
};
