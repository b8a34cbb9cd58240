#pragma once
// The step from a session's result to its record (record/unit_record.h):
// the one place a record is made, for every front end that loads units.

#include <QDateTime>

#include "link/download_session.h"
#include "record/unit_record.h"

namespace quarn::gang {

struct UnitJob;
struct RecordKeys;
// The keys the front end knows (station, operator, serial, slot) into r.
void applyKeys(record::UnitRecord& r, const RecordKeys& keys);

// The record of one unit's session: what the job asked for, what the result
// says, when it started and how long it took.
record::UnitRecord makeRecord(const UnitJob& job, const SessionResult& result,
                              const QDateTime& started, double seconds);

}  // namespace quarn::gang
