#include "flash/unit_jobs.h"

namespace quarn::flash {

gang::JobBase jobBaseFor(const FlashOptions& o) {
    gang::JobBase base;
    base.filePath = o.filePath;
    base.downloadLength = o.downloadLength;
    base.image = o.image;
    base.maxRepeats = o.maxRepeats;
    base.station = o.station;
    base.operatorName = o.operatorName;
    return base;
}

gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target) {
    return gang::buildJob(jobBaseFor(o), target.port, o.serials.value(target.port));
}

}  // namespace quarn::flash
