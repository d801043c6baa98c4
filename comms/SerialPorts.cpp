#include "comms/SerialPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <map>

namespace SerialPorts {
namespace {

QString DeviceDir()
{
    const QString dir = qEnvironmentVariable("VELKARHUB_DEV_DIR");
    return dir.isEmpty() ? QStringLiteral("/dev") : dir;
}

QString OverrideFor(int32_t comPort)
{
    return qEnvironmentVariable(qPrintable(QStringLiteral("VELKARHUB_COM%1").arg(comPort)));
}

} // namespace

QString DeviceForComPort(int32_t comPort)
{
    const QString forced = OverrideFor(comPort);
    if (!forced.isEmpty())
        return forced;
    if (comPort >= 1 && comPort <= 100)
        return DeviceDir() + QStringLiteral("/ttyACM%1").arg(comPort - 1);
    if (comPort >= 101 && comPort <= 200)
        return DeviceDir() + QStringLiteral("/ttyUSB%1").arg(comPort - 101);
    return {};
}

QStringList UsbSerialComPorts()
{
    std::map<int, QString> ports;
    static const QRegularExpression pattern(QStringLiteral("^tty(ACM|USB)(\\d{1,2})$"));
    const QStringList names = QDir(DeviceDir()).entryList(
        {QStringLiteral("ttyACM*"), QStringLiteral("ttyUSB*")}, QDir::System | QDir::Files | QDir::AllEntries);
    for (const QString &name : names) {
        const auto m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const int k = m.captured(2).toInt();
        const int com = (m.captured(1) == QLatin1String("ACM") ? 1 : 101) + k;
        ports[com] = QStringLiteral("COM%1").arg(com);
    }
    const auto env = QProcessEnvironment::systemEnvironment();
    static const QRegularExpression overridePattern(QStringLiteral("^VELKARHUB_COM(\\d+)$"));
    for (const QString &key : env.keys()) {
        const auto m = overridePattern.match(key);
        if (m.hasMatch() && QFileInfo::exists(env.value(key)))
            ports[m.captured(1).toInt()] = QStringLiteral("COM%1").arg(m.captured(1).toInt());
    }
    QStringList list;
    for (const auto &entry : ports)
        list << entry.second;
    return list;
}

int BaudForCode(int16_t code)
{
    static const int table[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    if (code >= 0 && code < static_cast<int16_t>(std::size(table)))
        return table[code];
    return 9600;
}

} // namespace SerialPorts
