#include "station/slot_list.h"

#include <QDir>
#include <QFileInfo>

#include "gang/job_builder.h"
#include "record/socket_name.h"

namespace quarn::station {

namespace {

Slot slotFor(int k, const QString& given) {
    return {QStringLiteral("Slot %1").arg(k), given, given};
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

QList<Slot> slotsFrom(const QStringList& ports, const Settings& settings, SlotSource* source,
                      const QString& serialRoot) {
    QStringList names = ports;
    *source = SlotSource::CommandLine;
    if (names.isEmpty()) {
        names = settings.value(SettingKey::StationPorts).toStringList();
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

QString adapterShortName(const Slot& slot) { return record::socketShortName(slot.stableName); }

QString slotDevice(const Slot& slot, QString* why) {
    QString reason;
    const QString device = gang::resolvePortNow(slot.given, &reason);
    if (why) *why = reason;
    return device;
}

}  // namespace quarn::station
