#pragma once
// The one place a unit's job is made, for every front end that loads units
// (quarn-flash, its --watch, the station): the port looked up again before
// each attempt, the slot's stable name, and the record's keys.
//
// Contract
// - resolvePortNow() asks the port mapping again each time it is called, so a
//   COM number whose adapter came back on another device node, or a by-id or
//   by-path link that now points elsewhere, leads to the device it is now.
//   Nothing is cached; nothing is opened.
// - slotNameFor() is the record's "slot": the same name for the same socket
//   from every front end, whatever the user typed to reach it.
// - buildJob() never fails: a COM number that leads nowhere gives a job whose
//   device is empty and whose deviceProblem says why (the unit then ends
//   with outcome port); a path that is missing is still tried, so the serial
//   layer says why it does not open.

#include <QString>
#include <optional>

#include "gang/unit.h"

namespace quarn::gang {

// $QUARN_SERIAL_ROOT (a folder of by-path and by-id links, as for tests),
// else /dev/serial.
QString defaultSerialRoot();

// What every unit of a run or a rack shares.
struct JobBase {
    DownloadImage image;  // what every unit is sent, read once before any port opened
    int maxRepeats = 0;
    QString station;
    QString operatorName;
    QString serialRoot = defaultSerialRoot();  // where by-path and by-id live
    // The retest limit every unit is asked of (gang/unit.h); none: no limit.
    std::function<record::RetestWord(const QString& serial)> retestCheck = nullptr;
};

// COMn (1..4) through the port mapping; anything else as a path, links
// followed to the device they lead to now. Empty with *why when it leads
// nowhere (COM number unassigned or unplugged, path missing).
QString resolvePortNow(const QString& port, QString* why);

// The stable name of the socket a device sits in: its by-path link under
// serialRoot, else its by-id link, else the device path. A port that leads
// nowhere is known by the name it was given.
QString slotNameFor(const QString& port, const QString& device,
                    const QString& serialRoot = QStringLiteral("/dev/serial"));

// The keys a record carries beside the session: the base's station and
// operator, the unit's serial number, and the slot's stable name.
RecordKeys recordKeysFor(const JobBase& base, const QString& slot, const QString& serial);

// One unit's job on port, the port resolved now.
UnitJob buildJob(const JobBase& base, const QString& port, const QString& serial);

}  // namespace quarn::gang
