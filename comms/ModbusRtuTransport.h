#pragma once
// Modbus RTU on a serial device, through Qt's serial client. The client sends one request
// at a time and itself discards a reply whose CRC is wrong or whose address or function
// does not fit the request (it keeps them as intermediate errors and goes on waiting
// until the time-out); such a run fails with CrcOrFraming or InvalidReply, not Timeout.
#include "comms/ModbusTransport.h"

#include <QModbusRtuSerialClient>
#include <QSerialPort>

class QModbusReply;

class ModbusRtuTransport final : public ModbusTransport {
public:
    // 8 data bits, 1 stop bit.
    ModbusRtuTransport(const QString &device, int baud, QSerialPort::Parity parity, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    QModbusDevice::State state() const override;
    bool send(int unit, const QModbusRequest &request, int timeoutMs) override;
    void abandon() override;

private:
    void onFinished(quint64 id);
    static Answer answerOf(QModbusReply *reply);

    QModbusRtuSerialClient client_;
    QModbusReply *reply_ = nullptr;
    quint64 id_ = 0; // of the request in reply_
};
