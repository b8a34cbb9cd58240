#pragma once
// Which ports are the station's slots, and whether each is plugged in.
//
// The slots, first rule that applies:
//  1. the ports given with -p, in that order (COMn resolves through the port
//     mapping; a device path is used as it is);
//  2. `ports=` in the [station] group of the settings file: a list of device
//     paths or stable names, in order; it fixes the list;
//  3. the machine's USB serial adapters: the links under
//     <serialRoot>/by-path, sorted by name, so that a hub's sockets come in
//     their physical order. New adapters join as new slots (rescanAdapters).
// Slot K is named "Slot K". A slot is plugged in while what it was given
// leads to a device now (a COM number through the port mapping, asked again
// each time; a link followed); pulled adapters keep their slot so that the
// same socket comes back as the same slot.

#include <QList>
#include <QString>
#include <QStringList>

#include "core/settings.h"

namespace quarn::station {

struct Slot {
    QString name;        // "Slot K"
    QString given;       // as named on the command line or in settings, else the by-path link
    QString stableName;  // the by-path link of an adapter found on the hub, else what was given
};

enum class SlotSource { CommandLine, Settings, Adapters };

// serialRoot: where by-path lives (/dev/serial; tests give a folder of their own).
QList<Slot> slotsFrom(const QStringList& ports, const Settings& settings, SlotSource* source,
                      const QString& serialRoot = QStringLiteral("/dev/serial"));

// The adapters' by-path links, sorted, absolute.
QStringList adapterLinks(const QString& serialRoot);

// Adds a slot for each adapter link not already a slot; returns how many were added.
int rescanAdapters(QList<Slot>& slotList, const QString& serialRoot);

// A short name of the slot's adapter for its tile (record/socket_name.h, as the
// plant names the socket): the hub's socket of a
// by-path link ("USB 1.3"), the maker and serial number of a by-id link
// ("FTDI A50285BI"), else the last part of what was given ("ttyUSB0", "COM2").
QString adapterShortName(const Slot& slot);

// The device a slot opens now (gang::resolvePortNow of what it was given),
// or empty with the reason when it is not plugged in.
QString slotDevice(const Slot& slot, QString* why = nullptr);

}  // namespace quarn::station
