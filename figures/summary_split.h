#pragma once
// A period read from the summaries where they can answer it: the whole UTC
// days it covers from the summaries by day, the whole hours of the part
// days at its edges from the summaries by hour, and the part of an hour at
// either edge of since/until from quarn_sessions itself (its indexes on
// started), so that a figure over any period is exact but for the median's
// 0.05 s (figures/rules_sql.h) and costs the days and hours, not the
// sessions. The summaries are views (database/sql/0010_kept_summaries.sql)
// of what the server has folded and the deltas of the latest pushes: every
// figure is a sum of their rows.

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "pg/query_run.h"
#include "recordlog/record_filter.h"

namespace quarn::figures {

struct PeriodSplit {
    // Filters (station and image kept) on whole UTC days, on whole hours,
    // and on the part hours at the edges; each list empty when there is no
    // such part. Days: at most one range; hours and edges: at most two.
    QList<recordlog::RecordFilter> days, hours, edges;
};

// byDay false: no days, whole hours from since to until.
PeriodSplit splitPeriod(const recordlog::RecordFilter& filter, bool byDay = true);

// " WHERE ..." (or "") of a summary's rows in `whole` (a filter on whole
// hours or days: since/until on `column`, station, image), its values
// appended to *binds. Rows without a start ('-infinity') are in it only
// when neither bound is set, as a session without one is in no period.
// condition: one more term on the summary's rows (none when empty).
QString summaryWhere(const recordlog::RecordFilter& whole, QVariantList* binds,
                     const QString& condition = QString(),
                     const QString& column = QStringLiteral("hour"));

// One figure's two sides, as SQL: the same columns, in the same order.
struct SummaryRead {
    QString table;         // the view by hour: quarn_summary_hours, ...
    QString columns;       // from the summary's row (its time is `hour`)
    QString condition;     // on the summary's rows
    QString rowColumns;    // from a quarn_sessions row
    QString rowCondition;  // on quarn_sessions' rows
    QString dayTable;      // the view by day (quarn_summary_days, ...); empty: none
};

// A summary's rows of whole days as rows of whole hours: its columns, and
// hour, the day's start. For the `FROM` of a read that names `hour`.
QString dayRowsAsHours(const QString& dayTable);

// "(SELECT ... UNION ALL SELECT ...) AS x" over the filter's rows: whole days
// from read.dayTable, whole hours from read.table, the part hours at the
// edges from quarn_sessions; its values appended to *binds. summaries false
// (not granted to this login): every row from quarn_sessions.
QString summarySource(const recordlog::RecordFilter& filter, bool summaries,
                      const SummaryRead& read, QVariantList* binds);

// "CASE WHEN condition THEN 1 ELSE 0 END": a row's count toward a sum (0 for NULL).
QString oneIf(const QString& condition);

}  // namespace quarn::figures
