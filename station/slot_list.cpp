#include "station/slot_list.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "gang/job_builder.h"

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

QString adapterShortName(const Slot& slot) {
    const QString name = QFileInfo(slot.stableName).fileName();
    static const QRegularExpression socket(
        QStringLiteral("usb-\\d+:([\\d.]+):[\\d.]+-port(\\d+)$"));
    static const QRegularExpression byId(QStringLiteral("^usb-(.+)-if\\d+-port\\d+$"));
    const QRegularExpressionMatch s = socket.match(name);
    if (s.hasMatch())
        return QStringLiteral("USB ") + s.captured(1) +
               (s.captured(2) == QLatin1String("0") ? QString() : QLatin1Char('/') + s.captured(2));
    const QRegularExpressionMatch id = byId.match(name);
    if (!id.hasMatch() && slot.stableName.startsWith(QLatin1String("/dev/")))
        return slot.stableName.mid(5);  // "ttyUSB0", "pts/3"
    if (!id.hasMatch()) return name;
    const QStringList parts = id.captured(1).split(QLatin1Char('_'), Qt::SkipEmptyParts);
    return parts.size() < 2 ? id.captured(1) : parts.first() + QLatin1Char(' ') + parts.last();
}

QString slotDevice(const Slot& slot, QString* why) {
    QString reason;
    const QString device = gang::resolvePortNow(slot.given, &reason);
    if (why) *why = reason;
    return device;
}

}  // namespace quarn::station
