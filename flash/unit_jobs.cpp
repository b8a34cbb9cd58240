#include "flash/unit_jobs.h"

#include "recordwriter/retest_limit.h"

namespace quarn::flash {

gang::JobBase jobBaseFor(const FlashOptions& o) {
    gang::JobBase base{o.image, o.maxRepeats, o.station, o.operatorName, gang::defaultSerialRoot()};
    if (o.retest)
        base.retestCheck = [limit = o.retest](const QString& serial) {
            return limit->check(serial);
        };
    return base;
}

gang::UnitJob unitJobFor(const FlashOptions& o, const UnitTarget& target) {
    return gang::buildJob(jobBaseFor(o), target.port, o.serials.value(target.port));
}

}  // namespace quarn::flash
