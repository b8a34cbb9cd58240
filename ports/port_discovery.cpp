#include "ports/port_discovery.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace quarn {

QString stableLinkFor(const QString& device, LinkOrder order, const QString& serialRoot) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty()) return device;
    const bool adapterFirst = order == LinkOrder::AdapterFirst;
    for (const char* kind :
         {adapterFirst ? "by-id" : "by-path", adapterFirst ? "by-path" : "by-id"}) {
        const QDir dir(serialRoot + QLatin1Char('/') + QLatin1String(kind));
        const auto links =
            dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& link : links)
            if (link.canonicalFilePath() == target) return link.absoluteFilePath();
    }
    return device;
}

QList<PortRecord> discoverPorts() {
    QList<PortRecord> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortRecord port;
        port.device = info.systemLocation();
        port.stableName = stableLinkFor(port.device, LinkOrder::AdapterFirst);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        const QString name = info.portName();
        port.onBoard = !info.hasVendorIdentifier() && !name.startsWith(QLatin1String("ttyUSB")) &&
                       !name.startsWith(QLatin1String("ttyACM"));
        ports << port;
    }
    return ports;
}

}  // namespace quarn
