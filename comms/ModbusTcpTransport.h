#pragma once
// Modbus TCP over a QTcpSocket, with the framing of our own.
//
// Each request gets the next transaction id, protocol id 0 and the unit id. The transport
// matches a reply to its request by the transaction id and the protocol id; the unit id and
// the PDU are handed on as they came, and the control (TMbaxp) checks them against the
// request: the unit id, then the function code of a normal reply (an exception reply is
// taken by its exception code), the byte count of a read, the address and value echoed by
// a single-register write and the address and count echoed by a multiple write.
//
// A frame that carries another transaction id is a late reply to an earlier request (one
// that timed out): it is discarded and the request goes on waiting. The right transaction
// id with a protocol id other than 0 is an invalid reply. A length field that no Modbus
// frame can have, or part of a frame still waiting when the request times out, means the
// byte stream is out of step: the request fails (an invalid reply, or its time-out) and the
// connection is dropped, so that the control opens it afresh. At most one frame is held
// while it comes in.
#include "comms/ModbusTransport.h"

#include <QTcpSocket>
#include <QTimer>

class ModbusTcpTransport final : public ModbusTransport {
public:
    // The MBAP length field counts the unit id and the PDU: at least a function code, at
    // most the largest PDU (253 bytes).
    static constexpr int MinLength = 2;
    static constexpr int MaxLength = 254;

    // Offsets of the MBAP header's fields (16-bit ones big-endian); the PDU follows it.
    static constexpr int TransactionOffset = 0;
    static constexpr int ProtocolOffset = 2;
    static constexpr int LengthOffset = 4;
    static constexpr int UnitOffset = 6;
    static constexpr int HeaderBytes = UnitOffset + 1;

    ModbusTcpTransport(const QString &address, quint16 port, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    QModbusDevice::State state() const override;
    bool send(int unit, const QModbusRequest &request, int timeoutMs) override;
    void abandon() override;

private:
    void onReadyRead();
    bool takeFrames();
    void onTimeout();
    void outOfStep(int16_t error);

    QString address_;
    quint16 port_;
    QTcpSocket socket_;
    QTimer timer_;
    QByteArray buffer_;
    bool pending_ = false;   // a request waits for its reply ...
    quint16 transaction_ = 0; // ... with this transaction id
};
