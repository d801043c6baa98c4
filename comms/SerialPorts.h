#pragma once
// How a COM-port number maps to a Linux serial device, one rule for opening a port and
// for listing the USB serial ports:
//   COM 1 to 100   <-> /dev/ttyACM0 to /dev/ttyACM99  (USB CDC devices, as a hub on a USB cable)
//   COM 101 to 200 <-> /dev/ttyUSB0 to /dev/ttyUSB99  (USB serial adapters)
// The environment variable VELKARHUB_COM<n> (for example VELKARHUB_COM7=/tmp/pty-a) names
// the device of COM port n instead, and such a port is listed too; VELKARHUB_DEV_DIR
// replaces /dev as the folder that is searched.
#include <QString>
#include <QStringList>
#include <cstdint>

namespace SerialPorts {

// The device path of COM port n, or an empty text when n has no device.
QString DeviceForComPort(int32_t comPort);

// The COM ports whose devices exist, as "COM<n>" in ascending order of n.
QStringList UsbSerialComPorts();

// The baud rate of a BaudRate code: 0 300, 1 600, 2 1200, 3 2400, 4 4800, 5 9600,
// 6 19200, 7 38400, 8 57600, 9 115200; any other code gives 9600.
int BaudForCode(int16_t code);

} // namespace SerialPorts
