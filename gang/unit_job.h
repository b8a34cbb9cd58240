#pragma once
// What one unit of a gang (gang/unit.h) is given: the job, and the keys its
// record names beside the session itself.

#include <QString>
#include <functional>

#include "image/download_image.h"
#include "record/retest.h"

namespace quarn::gang {

// What a record names beside the session itself, as the front end knows
// it: the station, who runs it, the unit's serial number (empty when none)
// and the adapter's stable name.
struct RecordKeys {
    QString station;
    QString operatorName;
    QString serial;
    QString slot;
};

// What one unit loads, and where.
struct UnitJob {
    QString port;           // as the user named it: COMn, a device path, a slot's name
    QString device;         // the device it leads to; empty when it leads nowhere
    QString deviceProblem;  // why it leads nowhere, for the record
    DownloadImage image;    // what is sent: the file as read before any port opened
    int maxRepeats = 0;     // a block refused this often in a row fails the unit; 0: never
    // Only look whether a unit answers (link/unit_probe.h), sending nothing
    // after the handshake: the record's outcome is good when one answered,
    // handshake when the line stayed silent, port when the port did not open,
    // interrupted when nothing was learnt (bytes that were no echo, a stop).
    bool probeOnly = false;
    RecordKeys keys;
    // The retest limit's word on keys.serial, asked on the unit's thread
    // before its port opens (recordwriter/retest_limit.h); none: no limit.
    std::function<record::RetestWord(const QString& serial)> retestCheck = nullptr;
    // progressed() for every answered block; false: at stage changes and
    // refused blocks only, for an owner that reads progress() on a clock of
    // its own (a rack of 32 units answers some 450 blocks a second).
    bool everyBlock = true;
};

}  // namespace quarn::gang
