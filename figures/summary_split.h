#pragma once
// A period read from the summaries where they can answer it: the whole
// hours a filter covers come from the summary tables (keyed by hour), and
// the part of an hour at either edge of since/until from quarn_sessions
// itself, so that a figure over any period is exact but for the median's
// 0.05 s (schema/summary_sql.h) and costs the hours, not the sessions.

#include <QList>
#include <QString>
#include <QVariantList>

#include "recordlog/record_filter.h"

namespace quarn::figures {

struct HourSplit {
    bool whole = false;           // there are whole hours to read from the summaries:
    records::RecordFilter hours;  // their since/until, on whole hours (station, image kept)
    // The partial hours at the edges, filters on quarn_sessions (at most two;
    // one when since and until fall in the same hour or the next).
    QList<records::RecordFilter> edges;
};

HourSplit splitOnHours(const records::RecordFilter& filter);

// " WHERE ..." (or "") of a summary table's rows in `hours` (a filter on whole
// hours: since/until on the hour column, station, image), its values
// appended to *binds. Rows without a start (hour '-infinity') are in it only
// when neither bound is set, as a session without one is in no period.
QString summaryWhere(const records::RecordFilter& hours, QVariantList* binds);

}  // namespace quarn::figures
