#include "gang/session_record.h"

#include "gang/unit_job.h"

namespace quarn::gang {

void applyKeys(record::UnitRecord& r, const RecordKeys& keys) {
    r.station = keys.station;
    r.operatorName = keys.operatorName;
    r.serial = keys.serial;
    r.slot = keys.slot;
}

record::UnitRecord makeRecord(const UnitJob& job, const SessionResult& result,
                              const QDateTime& started, double seconds) {
    record::UnitRecord rec;
    // A unit whose port led nowhere ran no session: the job's image tells.
    rec.imageSha256 = !result.imageSha256.isEmpty() ? result.imageSha256 : job.image.sha256();
    applyKeys(rec, job.keys);
    rec.port = job.port;
    rec.device = job.device;
    rec.file = job.image.path();
    rec.length = job.image.length();
    rec.blocks = result.blocksSent;
    rec.repeats = result.repeats;
    rec.sha256 = result.sha256;
    rec.outcome = result.outcome;
    rec.message = result.reasonText;
    rec.shownMessage = result.reasonShown;
    rec.started = started;
    rec.seconds = seconds;
    return rec;
}

}  // namespace quarn::gang
