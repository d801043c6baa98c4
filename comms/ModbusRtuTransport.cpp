#include "comms/ModbusRtuTransport.h"

#include "comms/IMbaxp.h"
#include "comms/ModbusPdu.h"

#include <QModbusPdu>
#include <QModbusReply>
#include <QTimer>
#include <QVariant>

ModbusRtuTransport::ModbusRtuTransport(const QString &device, int baud, QSerialPort::Parity parity, QObject *parent)
    : ModbusTransport(parent), client_(this)
{
    client_.setConnectionParameter(QModbusDevice::SerialPortNameParameter, device);
    client_.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, baud);
    client_.setConnectionParameter(QModbusDevice::SerialParityParameter, int(parity));
    client_.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, int(QSerialPort::Data8));
    client_.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, int(QSerialPort::OneStop));
    client_.setNumberOfRetries(0);
    // The signals only mark what happened: a client whose device vanished emits
    // errorOccurred without end, and the control acts on it from the event loop.
    connect(&client_, &QModbusDevice::errorOccurred, this,
            [this](QModbusDevice::Error e) { changed(e == QModbusDevice::ConnectionError); });
    connect(&client_, &QModbusDevice::stateChanged, this, [this](QModbusDevice::State) { changed(false); });
}

bool ModbusRtuTransport::open() { return client_.connectDevice(); }

void ModbusRtuTransport::close()
{
    abandon();
    client_.disconnectDevice();
}

QModbusDevice::State ModbusRtuTransport::state() const { return client_.state(); }

bool ModbusRtuTransport::send(int unit, const QModbusRequest &request, int timeoutMs)
{
    abandon();
    client_.setTimeout(timeoutMs);
    QModbusReply *reply = client_.sendRawRequest(request, unit);
    if (!reply)
        return false;
    reply_ = reply;
    const quint64 id = ++id_;
    if (reply->isFinished())
        QTimer::singleShot(0, this, [this, id] { onFinished(id); });
    else
        connect(reply, &QModbusReply::finished, this, [this, id] { onFinished(id); });
    return true;
}

void ModbusRtuTransport::abandon()
{
    if (!reply_)
        return;
    QModbusReply *reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    // A finished reply that is not deleted finishes again when the connection closes.
    reply->deleteLater();
}

void ModbusRtuTransport::onFinished(quint64 id)
{
    if (!reply_ || id != id_)
        return;
    const Answer a = answerOf(reply_);
    const QModbusDevice::Error error = reply_->error();
    abandon();
    if (error == QModbusDevice::ReplyAbortedError || error == QModbusDevice::ConnectionError)
        changed(true);
    answer(a);
}

ModbusTransport::Answer ModbusRtuTransport::answerOf(QModbusReply *reply)
{
    Answer a;
    const QByteArray pdu = ModbusPdu::Bytes(reply->rawResult());
    switch (reply->error()) {
    case QModbusDevice::NoError:
        if (reply->type() == QModbusReply::Broadcast) {
            a.broadcast = true;
            return a;
        }
        break;
    case QModbusDevice::ProtocolError:
        // An exception reply is a reply; anything else the client could not take is not.
        if (pdu.isEmpty() || (quint8(pdu.at(0)) & 0x80) == 0) {
            a.error = MbaxpError::InvalidReply;
            return a;
        }
        break;
    case QModbusDevice::TimeoutError: {
        // Replies discarded on the way are kept by Qt as intermediate errors.
        const auto seen = reply->intermediateErrors();
        a.error = seen.contains(QModbusDevice::ResponseCrcError)          ? MbaxpError::CrcOrFraming
                  : seen.contains(QModbusDevice::ResponseRequestMismatch) ? MbaxpError::InvalidReply
                                                                          : MbaxpError::Timeout;
        return a;
    }
    case QModbusDevice::ReplyAbortedError:
    case QModbusDevice::ConnectionError:
    case QModbusDevice::ReadError:
    case QModbusDevice::WriteError:
        a.error = MbaxpError::ConnectionLost;
        return a;
    default:
        a.error = MbaxpError::InvalidReply;
        return a;
    }
    // The client has matched the reply's address to the request's.
    a.unit = reply->serverAddress();
    a.pdu = pdu;
    return a;
}
