#pragma once
// The serial ports this machine has, and the stable names that find a port
// again after a replug.
//
// Discovery sits behind a seam: the port map works on any list of
// PortRecord, so made-up machines test its rules; discoverPorts() is the
// real machine.

#include <QList>
#include <QString>

namespace quarn {

struct PortRecord {
    QString device;      // /dev/ttyUSB0
    QString stableName;  // /dev/serial/by-id/..., by-path/..., or the device path
    QString description;
    QString manufacturer;
    QString serialNumber;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasUsbIds = false;
    bool onBoard = false;  // a UART on the machine (ttyS*), not a USB or ACM adapter
};

// The ports QSerialPortInfo::availablePorts() reports, in its order (the
// port map sorts them by device), each named by stableLinkFor(AdapterFirst).
// Reads sysfs and /dev/serial; opens no port.
QList<PortRecord> discoverPorts();

// Which of udev's two links names a device. The uses want different things:
//  - AdapterFirst (by-id, then by-path): the adapter itself, whatever socket
//    it is plugged into; a COM number is stored under it, so an adapter moved
//    to another socket keeps its number.
//  - SocketFirst (by-path, then by-id): the socket of a hub; a station's slot
//    and a record's `slot` are the socket, so the same place in the rack has
//    the same name whichever adapter sits in it.
enum class LinkOrder { AdapterFirst, SocketFirst };

// The first link, in order's two folders under serialRoot (each read in name
// order), that leads to the same file as device; else device itself (also
// when device does not exist).
QString stableLinkFor(const QString& device, LinkOrder order,
                      const QString& serialRoot = QStringLiteral("/dev/serial"));

}  // namespace quarn
