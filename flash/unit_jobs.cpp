#include "flash/unit_jobs.h"

namespace quarn::flash {

gang::JobBase jobBaseFor(const FlashOptions& o) {
    return {o.image, o.maxRepeats, o.station, o.operatorName, gang::defaultSerialRoot()};
}

gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target) {
    return gang::buildJob(jobBaseFor(o), target.port, o.serials.value(target.port));
}

}  // namespace quarn::flash
