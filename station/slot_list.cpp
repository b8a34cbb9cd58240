#include "station/slot_list.h"

#include <QDir>
#include <QFileInfo>

#include "ports/port_map.h"

namespace quarn::station {

namespace {

Slot slotFor(int k, const QString& given) {
    Slot s;
    s.name = QStringLiteral("Slot %1").arg(k);
    s.given = given;
    s.stableName = given;
    const QString upper = given.toUpper();
    bool number = false;
    const int com = upper.startsWith(QLatin1String("COM")) ? upper.mid(3).toInt(&number) : 0;
    if (number && !given.contains(QLatin1Char('/'))) {
        s.stableName = com >= 1 && com <= kComCount ? resolveComDevice(com, &s.why) : QString();
        if (s.stableName.isEmpty() && s.why.isEmpty())
            s.why = QStringLiteral("%1 is no port: COM1 to COM%2 or a device path")
                        .arg(given)
                        .arg(kComCount);
    }
    return s;
}

}  // namespace

QStringList adapterLinks(const QString& serialRoot) {
    const QDir dir(serialRoot + QStringLiteral("/by-path"));
    QStringList links;
    for (const QString& name :
         dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        links << dir.absoluteFilePath(name);
    return links;
}

QList<Slot> slotsFrom(const QStringList& ports, const QSettings& settings, SlotSource* source,
                      const QString& serialRoot) {
    QStringList names = ports;
    *source = SlotSource::CommandLine;
    if (names.isEmpty()) {
        names = settings.value(QStringLiteral("station/ports")).toStringList();
        *source = SlotSource::Settings;
    }
    QList<Slot> slotList;
    if (names.isEmpty()) {
        *source = SlotSource::Adapters;
        rescanAdapters(slotList, serialRoot);
        return slotList;
    }
    for (const QString& name : names)
        slotList << slotFor(static_cast<int>(slotList.size()) + 1, name);
    return slotList;
}

int rescanAdapters(QList<Slot>& slotList, const QString& serialRoot) {
    int added = 0;
    for (const QString& link : adapterLinks(serialRoot)) {
        const bool known = std::any_of(slotList.begin(), slotList.end(),
                                       [&](const Slot& s) { return s.stableName == link; });
        if (known) continue;
        slotList << slotFor(static_cast<int>(slotList.size()) + 1, link);
        ++added;
    }
    return added;
}

QString slotDevice(const Slot& slot, QString* why) {
    if (slot.stableName.isEmpty()) {
        if (why) *why = slot.why;
        return QString();
    }
    const QFileInfo info(slot.stableName);
    if (!info.exists()) {
        if (why) *why = QStringLiteral("%1 is not plugged in").arg(slot.stableName);
        return QString();
    }
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? slot.stableName : canonical;
}

}  // namespace quarn::station
