#include "gang/job_builder.h"

#include <QFileInfo>

#include "core/settings.h"
#include "ports/port_discovery.h"
#include "ports/port_map.h"

namespace quarn::gang {

namespace {

// 1..kComCount for "COMn" (any case, no path), else 0; *named says whether
// the name looked like a COM number at all.
int comNumberOf(const QString& port, bool* named) {
    const QString upper = port.trimmed().toUpper();
    *named = upper.startsWith(QLatin1String("COM")) && !port.contains(QLatin1Char('/'));
    bool number = false;
    const int n = *named ? upper.mid(3).toInt(&number) : 0;
    return number && n >= 1 && n <= kComCount ? n : 0;
}

}  // namespace

QString defaultSerialRoot() { return resolvedSetting(SettingKey::SerialRoot).toString(); }

QString resolvePortNow(const QString& port, QString* why) {
    bool named = false;
    const int com = comNumberOf(port, &named);
    if (named && com == 0) {
        *why = QStringLiteral("%1 is no port: COM1 to COM%2 or a device path")
                   .arg(port)
                   .arg(kComCount);
        return QString();
    }
    const QString path = com > 0 ? resolveComDevice(com, why) : port;
    if (path.isEmpty()) return QString();
    const QFileInfo info(path);
    if (!info.exists()) {
        *why = QStringLiteral("%1 is not plugged in").arg(path);
        return QString();
    }
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QString slotNameFor(const QString& port, const QString& device, const QString& serialRoot) {
    if (device.isEmpty()) return port;
    return stableLinkFor(device, LinkOrder::SocketFirst, serialRoot);
}

RecordKeys recordKeysFor(const JobBase& base, const QString& slot, const QString& serial) {
    return {base.station, base.operatorName, serial.trimmed(), slot};
}

UnitJob buildJob(const JobBase& base, const QString& port, const QString& serial) {
    UnitJob job;
    job.port = port;
    job.device = resolvePortNow(port, &job.deviceProblem);
    // A path that is not there now is still tried, so that the serial
    // layer's own reason for the failure stands in the record.
    bool named = false;
    if (job.device.isEmpty() && comNumberOf(port, &named) == 0 && !named) {
        job.device = port;
        job.deviceProblem.clear();
    }
    job.image = base.image;
    job.maxRepeats = base.maxRepeats;
    job.retestCheck = base.retestCheck;
    job.keys = recordKeysFor(base, slotNameFor(port, job.device, base.serialRoot), serial);
    return job;
}

}  // namespace quarn::gang
