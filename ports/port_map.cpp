#include "ports/port_map.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

#include "core/settings.h"
#include "ports/settings_health.h"

namespace quarn {

namespace {

QString nameOf(const PortRecord& port) {
    return port.stableName.isEmpty() ? port.device : port.stableName;
}

QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

// ttyS2 before ttyS10: the trailing number compares as a number.
bool deviceLess(const QString& a, const QString& b) {
    auto split = [](const QString& s) {
        qsizetype i = s.size();
        while (i > 0 && s.at(i - 1).isDigit()) --i;
        return std::make_pair(s.left(i), s.mid(i).toLongLong());
    };
    return split(a) < split(b);
}

}  // namespace

QString comFromEnvironment(int com) {
    if (com < 1 || com > kComCount) return QString();
    return environmentText(comSetting(com)).value_or(QString());
}

PortMap::PortMap(Settings& settings, QList<PortRecord> ports)
    : settings_(settings), ports_(std::move(ports)) {
    std::stable_sort(ports_.begin(), ports_.end(), [](const PortRecord& a, const PortRecord& b) {
        return deviceLess(a.device, b.device);
    });
}

QString PortMap::stored(int com) const { return settings_.value(comSetting(com)).toString(); }

const PortRecord* PortMap::portNamed(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (const PortRecord& port : ports_)
        if (name == port.stableName || name == port.device) return &port;
    const QString target = canonical(name);
    if (target.isEmpty()) return nullptr;
    for (const PortRecord& port : ports_)
        if (canonical(port.device) == target) return &port;
    return nullptr;
}

const PortRecord* PortMap::portFor(int com) const { return portNamed(stored(com)); }

int PortMap::comOf(const PortRecord& port) const {
    for (int com = 1; com <= kComCount; ++com) {
        const PortRecord* mapped = portFor(com);
        if (mapped && mapped->device == port.device) return com;
    }
    return 0;
}

QList<int> PortMap::numberNewPorts() {
    const QStringList unnumbered = settings_.value(SettingKey::Unnumbered).toStringList();
    QList<const PortRecord*> fresh;
    for (const PortRecord& port : ports_)
        if (comOf(port) == 0 && !unnumbered.contains(nameOf(port))) fresh << &port;
    std::stable_sort(fresh.begin(), fresh.end(), [](const PortRecord* a, const PortRecord* b) {
        if (a->onBoard != b->onBoard) return a->onBoard;
        return deviceLess(a->device, b->device);
    });
    QList<int> given;
    for (const PortRecord* port : fresh) {
        int com = 1;
        while (com <= kComCount && !stored(com).isEmpty()) ++com;
        if (com > kComCount) break;
        settings_.setValue(comSetting(com), nameOf(*port));
        given << com;
    }
    return given;
}

QString PortMap::resolve(int com, QString* why) const {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return QString();
    };
    if (com < 1 || com > kComCount)
        return fail(QStringLiteral("COM%1 is not a port number: use COM1 to COM%2")
                        .arg(com)
                        .arg(kComCount));
    const QString env = comFromEnvironment(com);
    if (!env.isEmpty()) return env;
    const QString name = stored(com);
    if (name.isEmpty())
        return fail(
            QStringLiteral("nothing is assigned to COM%1; %2").arg(com).arg(machineSummary()));
    if (const PortRecord* port = portNamed(name)) return port->device;
    if (QFileInfo::exists(name)) return name;  // a device discovery does not list, e.g. a pty link
    return fail(QStringLiteral("COM%1 is assigned to %2, which is not plugged in; %3")
                    .arg(com)
                    .arg(name, machineSummary()));
}

bool PortMap::assign(int com, const QString& device, QString* message) {
    auto say = [message](const QString& text, bool ok) {
        if (message) *message = text;
        return ok;
    };
    if (com < 1 || com > kComCount)
        return say(
            QStringLiteral("COM%1 is not a port number: use COM1 to COM%2").arg(com).arg(kComCount),
            false);
    QStringList unnumbered = settings_.value(SettingKey::Unnumbered).toStringList();
    if (device.isEmpty()) {
        const QString old = stored(com);
        if (old.isEmpty()) return say(QStringLiteral("COM%1 was not assigned").arg(com), true);
        const PortRecord* port = portFor(com);
        if (port && !unnumbered.contains(nameOf(*port))) {  // keep it from taking a number again
            unnumbered << nameOf(*port);
            settings_.setValue(SettingKey::Unnumbered, unnumbered);
        }
        settings_.remove(comSetting(com));
        return say(QStringLiteral("COM%1 removed (was %2)").arg(com).arg(old), true);
    }
    const PortRecord* port = portNamed(device);
    QString name;
    if (port)
        name = nameOf(*port);
    else if (QFileInfo::exists(device))
        name = QFileInfo(device).absoluteFilePath();
    else
        return say(QStringLiteral("no such device: %1; %2").arg(device, machineSummary()), false);
    QString moved;
    for (int other = 1; other <= kComCount; ++other) {
        const QString value = stored(other);
        if (other == com || value.isEmpty()) continue;
        if (value == name || (port && portNamed(value) == port)) {
            settings_.remove(comSetting(other));
            moved = QStringLiteral(", no longer COM%1").arg(other);
        }
    }
    if (unnumbered.removeAll(name) > 0) {
        if (unnumbered.isEmpty())
            settings_.remove(SettingKey::Unnumbered);
        else
            settings_.setValue(SettingKey::Unnumbered, unnumbered);
    }
    settings_.setValue(comSetting(com), name);
    const QString now = port && port->device != name ? " (" + port->device + ")" : QString();
    return say(QStringLiteral("COM%1 = %2%3%4").arg(com).arg(name, now, moved), true);
}

QString PortMap::machineSummary() const {
    if (ports_.isEmpty()) return QStringLiteral("this machine has no serial ports");
    QStringList names;
    for (const PortRecord& port : ports_)
        names << (port.description.isEmpty()
                      ? port.device
                      : QStringLiteral("%1 (%2)").arg(port.device, port.description));
    return QStringLiteral("this machine has: ") + names.join(QLatin1String(", "));
}

QString resolveComDevice(int com, QString* why) {
    const QString named = comFromEnvironment(com);
    if (!named.isEmpty()) return named;
    Settings settings;
    if (!settings.usable()) {
        if (why) *why = settings.problem();
        return QString();
    }
    PortMap map(settings, discoverPorts());
    if (!map.numberNewPorts().isEmpty()) saveNumberedPorts(settings);
    return map.resolve(com, why);
}

}  // namespace quarn
