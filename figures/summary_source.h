#pragma once
// Inside figures/: where a figure's rows come from. The summaries (one row per
// hour and key, kept by the server as records arrive) cover the whole UTC
// hours of the period; the part hours at its edges come from quarn_sessions
// itself (a period from 09:20: 09:20 to 10:00 from the rows, 10:00 on from
// the summaries), so a view's cost follows the hours it shows, not the rows.
// Both sides give rows of the same columns for the figure's query to sum.

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <utility>

#include "database/query_run.h"
#include "recordlog/record_filter.h"

namespace quarn::plant {

// One figure's two sides, as SQL: the same columns, in the same order.
struct SummaryRead {
    QString table;         // quarn_summary_hours, ...
    QString columns;       // from the summary's row
    QString condition;     // on the summary's rows
    QString rowColumns;    // from a quarn_sessions row
    QString rowCondition;  // on quarn_sessions' rows
};

// The period cut at whole UTC hours: [from, until) from the summaries
// (invalid: open at that end; whole false: no whole hour in it), and the
// part hours at its edges, each [first, second), from the rows.
struct HourSplit {
    bool whole = true;
    QDateTime from, until;
    QList<std::pair<QDateTime, QDateTime>> edges;
};
HourSplit splitHours(const QDateTime& since, const QDateTime& until);

// "(SELECT ... UNION ALL SELECT ...) AS x" over the filter's rows, its values
// appended to *binds. summaries false (tables missing, or not granted to
// this login): every row from quarn_sessions, as before there were any.
QString summarySource(const records::RecordFilter& filter, bool summaries, const SummaryRead& read,
                      QVariantList* binds);

// "CASE WHEN condition THEN 1 ELSE 0 END": a row's count toward a sum (0 for NULL).
QString oneIf(const QString& condition);

// Whether this login can read the summaries; false with *f when the look fails.
bool readsSummaries(QSqlDatabase& db, bool* has, records::QueryFailure* f);

}  // namespace quarn::plant
