#pragma once
// Inside plant/: the charts' figures (first-pass yield by hour and station,
// the failures by cause, every socket's sessions and failures) summed from
// the summaries and the period's part hours (plant/summary_source.h).
// summaries false: from quarn_sessions alone (plant/summary_source.h).

#include "database/query_run.h"
#include "plant/plant_queries.h"

namespace quarn::plant {

using records::QueryFailure;

// verdict: the table has server_approved, and the hours count the mismatches.
bool readHours(QSqlDatabase& db, const RecordFilter& filter, bool summaries, bool verdict,
               QList<HourYield>* out, QueryFailure* f);
bool readCauses(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                QList<FailureCause>* out, QueryFailure* f);
bool readSockets(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                 QList<SocketCount>* out, QueryFailure* f);

// view->hours (with the mismatches when view->approvalMismatches is not
// -1), causes (most frequent first) and sockets (judged), read one after
// the other on db; or, with `open`, causes and sockets on connections of
// their own at the same time (plant/plant_queries.h). False with *f on the
// first that failed.
bool readBuckets(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                 const ConnectionOpener& open, PlantView* view, QueryFailure* f);

}  // namespace quarn::plant
