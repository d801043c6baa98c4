#pragma once
// The bytes of a Modbus reply as received: function code byte, then data. Qt's inline
// accessors of the function code load an enum that may hold a value outside its range
// for exception replies (undefined behaviour); the library's own serialiser gives the
// bytes as they are.
#include <QByteArray>
#include <QDataStream>
#include <QModbusPdu>

namespace ModbusPdu {

inline QByteArray Bytes(const QModbusPdu &pdu)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << pdu;
    return bytes;
}

// The exception code of an exception reply (function code with bit 7 set), else 0.
inline int ExceptionCode(const QModbusPdu &pdu)
{
    const QByteArray bytes = Bytes(pdu);
    if (bytes.size() != 2 || (quint8(bytes.at(0)) & 0x80) == 0)
        return 0;
    return quint8(bytes.at(1));
}

} // namespace ModbusPdu
