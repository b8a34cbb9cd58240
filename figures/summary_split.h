#pragma once
// A period read from the summaries where they can answer it: the whole
// hours a filter covers come from the summary tables (keyed by hour), and
// the part of an hour at either edge of since/until from quarn_sessions
// itself, so that a figure over any period is exact but for the median's
// 0.05 s (figures/rules_sql.h) and costs the hours, not the sessions.

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "pg/query_run.h"
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
// condition: one more term on the summary's rows (none when empty).
QString summaryWhere(const records::RecordFilter& hours, QVariantList* binds,
                     const QString& condition = QString());

// One figure's two sides, as SQL: the same columns, in the same order.
struct SummaryRead {
    QString table;         // quarn_summary_hours, ...
    QString columns;       // from the summary's row
    QString condition;     // on the summary's rows
    QString rowColumns;    // from a quarn_sessions row
    QString rowCondition;  // on quarn_sessions' rows
};

// "(SELECT ... UNION ALL SELECT ...) AS x" over the filter's rows: the whole
// hours from read.table, the part hours at the edges from quarn_sessions;
// its values appended to *binds. summaries false (tables missing, or not
// granted to this login): every row from quarn_sessions.
QString summarySource(const records::RecordFilter& filter, bool summaries, const SummaryRead& read,
                      QVariantList* binds);

// "CASE WHEN condition THEN 1 ELSE 0 END": a row's count toward a sum (0 for NULL).
QString oneIf(const QString& condition);

}  // namespace quarn::figures
