#include "flash/record_keys.h"

#include "ports/port_map.h"

namespace quarn::flash {

gang::RecordKeys recordKeysFor(const FlashOptions& o, const UnitTarget& target) {
    // The stable name survives a re-plug into another socket; a port that
    // resolved to nothing is known only by the name it was given.
    const QString slot = target.device.isEmpty() ? target.port : stableNameFor(target.device);
    return {o.station, o.operatorName, o.serials.value(target.port), slot};
}

gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target) {
    gang::UnitJob job;
    job.port = target.port;
    job.device = target.device;
    job.deviceProblem = target.why;
    job.filePath = o.filePath;
    job.downloadLength = o.downloadLength;
    job.image = o.image;
    job.maxRepeats = o.maxRepeats;
    job.keys = recordKeysFor(o, target);
    return job;
}

}  // namespace quarn::flash
