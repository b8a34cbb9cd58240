#pragma once
// Inside figures/: the plant's figures by hour (yield) and by UTC day
// (causes, sockets), read for every row of the filter or, with a valid
// `from`, for the rows started from then on; and their sums into the view's
// causes and sockets (plantfeed/plant_view.h). Each is summed from the
// summaries and the period's part hours (figures/summary_split.h); with
// summaries false, from quarn_sessions alone.

#include "pg/query_run.h"
#include "plantfeed/plant_view.h"

namespace quarn::plantfeed {

using pg::QueryFailure;

bool readHours(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
               bool summaries, QList<HourYield>* out, QueryFailure* f);
bool readCauseDays(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                   bool summaries, QList<CauseDay>* out, QueryFailure* f);
bool readSocketDays(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                    bool summaries, QList<SocketDay>* out, QueryFailure* f);

// view->hours (with the mismatches when view->approvalMismatches is not
// -1), causeDays and socketDays, read one after the other on db; or,
// with `open`, causes and sockets on connections of their own at the same
// time (plantfeed/plant_queries.h); from view->summaries. False with *f on the
// first that failed.
bool readBuckets(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                 const ConnectionOpener& open, PlantView* view, QueryFailure* f);

// view->causes (most frequent first) and view->sockets (judged) from its
// days; view->approvalMismatches (unless -1) from its hours.
void sumBuckets(PlantView* view);

}  // namespace quarn::plantfeed
