#include "comms/ModbusTcpTransport.h"

#include "comms/IMbaxp.h"
#include "comms/ModbusPdu.h"

#include <QModbusPdu>

namespace {

// Bytes read from the socket at a time: the frame being assembled stays small.
constexpr qint64 ReadChunk = 4096;
// What the socket itself may hold before the peer is made to wait.
constexpr qint64 SocketBuffer = 64 * 1024;

quint16 be16(const QByteArray &b, int i) { return quint16((quint8(b.at(i)) << 8) | quint8(b.at(i + 1))); }

void put16(QByteArray &b, quint16 v)
{
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

} // namespace

ModbusTcpTransport::ModbusTcpTransport(const QString &address, quint16 port, QObject *parent)
    : ModbusTransport(parent), address_(address), port_(port), socket_(this), timer_(this)
{
    socket_.setReadBufferSize(SocketBuffer);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ModbusTcpTransport::onTimeout);
    connect(&socket_, &QTcpSocket::readyRead, this, &ModbusTcpTransport::onReadyRead);
    connect(&socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState) { changed(false); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // A wait that timed out leaves the connection as it was.
        if (e != QAbstractSocket::SocketTimeoutError)
            changed(true);
    });
}

bool ModbusTcpTransport::open()
{
    socket_.connectToHost(address_, port_);
    return socket_.state() != QAbstractSocket::UnconnectedState;
}

void ModbusTcpTransport::close()
{
    abandon();
    buffer_.clear();
    socket_.abort();
}

QModbusDevice::State ModbusTcpTransport::state() const
{
    switch (socket_.state()) {
    case QAbstractSocket::ConnectedState:
        return QModbusDevice::ConnectedState;
    case QAbstractSocket::UnconnectedState:
        return QModbusDevice::UnconnectedState;
    case QAbstractSocket::ClosingState:
        return QModbusDevice::ClosingState;
    default:
        return QModbusDevice::ConnectingState;
    }
}

bool ModbusTcpTransport::send(int unit, const QModbusRequest &request, int timeoutMs)
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return false;
    const QByteArray pdu = ModbusPdu::Bytes(request);
    ++transaction_;
    // The header's fields in the order of their offsets, then the PDU.
    QByteArray frame;
    put16(frame, transaction_);
    put16(frame, 0);
    put16(frame, quint16(pdu.size() + 1));
    frame.append(char(quint8(unit)));
    Q_ASSERT(frame.size() == HeaderBytes);
    frame += pdu;
    if (socket_.write(frame) != frame.size())
        return false;
    pending_ = true;
    timer_.start(timeoutMs);
    return true;
}

void ModbusTcpTransport::abandon()
{
    pending_ = false;
    timer_.stop();
}

void ModbusTcpTransport::onReadyRead()
{
    while (socket_.state() == QAbstractSocket::ConnectedState) {
        const QByteArray chunk = socket_.read(ReadChunk);
        if (chunk.isEmpty())
            return;
        buffer_ += chunk;
        if (!takeFrames())
            return;
    }
}

// Takes every whole frame from the buffer; false when the stream is out of step.
bool ModbusTcpTransport::takeFrames()
{
    while (buffer_.size() >= HeaderBytes) {
        const int length = be16(buffer_, LengthOffset);
        if (length < MinLength || length > MaxLength) {
            outOfStep(MbaxpError::InvalidReply);
            return false;
        }
        // The length field counts the bytes from the unit id on: the unit id and the PDU.
        const int frameBytes = UnitOffset + length;
        if (buffer_.size() < frameBytes)
            return true;
        const quint16 transaction = be16(buffer_, TransactionOffset);
        const quint16 protocol = be16(buffer_, ProtocolOffset);
        Answer a;
        a.unit = quint8(buffer_.at(UnitOffset));
        a.pdu = buffer_.mid(HeaderBytes, frameBytes - HeaderBytes);
        buffer_.remove(0, frameBytes);
        if (!pending_ || transaction != transaction_)
            continue; // a late reply to an earlier request
        abandon();
        if (protocol != 0) {
            a = Answer{};
            a.error = MbaxpError::InvalidReply;
        }
        answer(a);
    }
    return true;
}

void ModbusTcpTransport::onTimeout()
{
    if (!pending_)
        return;
    if (!buffer_.isEmpty()) {
        // A frame began and never ended: what follows cannot be told apart from it.
        outOfStep(MbaxpError::Timeout);
        return;
    }
    abandon();
    Answer a;
    a.error = MbaxpError::Timeout;
    answer(a);
}

// The byte stream has lost its frame boundaries: the request waiting fails with `error`
// and the connection is dropped.
void ModbusTcpTransport::outOfStep(int16_t error)
{
    const bool waiting = pending_;
    buffer_.clear();
    abandon();
    socket_.abort();
    if (waiting) {
        Answer a;
        a.error = error;
        answer(a);
    }
    changed(true);
}
