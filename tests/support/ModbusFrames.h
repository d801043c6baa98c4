#pragma once
// Modbus frames byte by byte, for tests that look at what goes over the wire: big-endian
// words, the RTU CRC, and whole Modbus TCP and Modbus RTU frames.
#include <QByteArray>
#include <QtGlobal>

inline quint16 be16(const QByteArray &b, int i) { return quint16((quint8(b.at(i)) << 8) | quint8(b.at(i + 1))); }
inline void put16(QByteArray &b, quint16 v)
{
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

// Modbus CRC-16 (polynomial 0xA001, start 0xFFFF), low byte first on the line.
inline quint16 modbusCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// A Modbus TCP frame: MBAP header (transaction id, protocol id, length, unit id), PDU.
inline QByteArray mbapFrame(quint16 transaction, quint16 protocol, int unit, const QByteArray &pdu)
{
    QByteArray frame;
    put16(frame, transaction);
    put16(frame, protocol);
    put16(frame, quint16(pdu.size() + 1));
    frame.append(char(quint8(unit)));
    return frame + pdu;
}

// A Modbus RTU frame: unit id, PDU, CRC.
inline QByteArray rtuFrame(int unit, const QByteArray &pdu)
{
    QByteArray frame(1, char(quint8(unit)));
    frame += pdu;
    const quint16 crc = modbusCrc(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}
