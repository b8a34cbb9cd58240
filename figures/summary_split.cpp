#include "figures/summary_split.h"

#include <QStringList>

#include "figures/filter_sql.h"
#include "figures/rules_sql.h"

namespace quarn::figures {

namespace {

QDateTime hourDown(const QDateTime& t) {
    const QDateTime u = t.toUTC();
    return QDateTime(u.date(), QTime(u.time().hour(), 0), Qt::UTC);
}

QDateTime hourUp(const QDateTime& t) {
    const QDateTime down = hourDown(t);
    return down == t ? down : down.addSecs(3600);
}

QDateTime dayDown(const QDateTime& t) { return QDateTime(t.toUTC().date(), QTime(0, 0), Qt::UTC); }

QDateTime dayUp(const QDateTime& t) {
    const QDateTime down = dayDown(t);
    return down == t ? down : down.addDays(1);
}

recordlog::RecordFilter between(recordlog::RecordFilter f, const QDateTime& since,
                                const QDateTime& until) {
    f.since = since;
    f.until = until;
    return f;
}

// [since, until) of `outer` cut at `lo` and `hi` (each invalid: no cut on
// that side): the inner part (nothing when empty) and the outer parts.
void cut(const recordlog::RecordFilter& outer, const QDateTime& lo, const QDateTime& hi,
         QList<recordlog::RecordFilter>* inner, QList<recordlog::RecordFilter>* rest) {
    if (lo.isValid() && hi.isValid() && lo >= hi) return *rest << outer, void();
    *inner << between(outer, lo.isValid() ? lo : outer.since, hi.isValid() ? hi : outer.until);
    if (lo.isValid() && lo != outer.since) *rest << between(outer, outer.since, lo);
    if (hi.isValid() && hi != outer.until) *rest << between(outer, hi, outer.until);
}

}  // namespace

PeriodSplit splitPeriod(const recordlog::RecordFilter& filter, bool byDay) {
    PeriodSplit split;
    QList<recordlog::RecordFilter> hours;
    cut(filter, filter.since.isValid() ? hourUp(filter.since) : QDateTime(),
        filter.until.isValid() ? hourDown(filter.until) : QDateTime(), &hours, &split.edges);
    if (hours.isEmpty() || !byDay) return split.hours = hours, split;
    const recordlog::RecordFilter& h = hours.first();
    cut(h, h.since.isValid() ? dayUp(h.since) : QDateTime(),
        h.until.isValid() ? dayDown(h.until) : QDateTime(), &split.days, &split.hours);
    return split;
}

QString summaryWhere(const recordlog::RecordFilter& whole, QVariantList* binds,
                     const QString& condition, const QString& column) {
    QStringList terms;
    if (whole.since.isValid()) terms << column + QStringLiteral(" >= ?::timestamptz");
    if (whole.since.isValid()) *binds << sqlTime(whole.since);
    if (whole.until.isValid())
        terms << QStringLiteral("%1 < ?::timestamptz AND %1 > '-infinity'").arg(column);
    if (whole.until.isValid()) *binds << sqlTime(whole.until);
    // The station and the image as filterSql says them: the summaries
    // have those columns under the same names.
    const QString rest = filterSql({{}, {}, whole.station, whole.image}, binds);
    if (!rest.isEmpty()) terms << rest.mid(QStringLiteral(" WHERE ").size());
    if (!condition.isEmpty()) terms << condition;
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(" AND ");
}

QString dayRowsAsHours(const QString& dayTable) {
    return QStringLiteral("(SELECT d.*, d.day AS hour FROM %1 d) AS d").arg(dayTable);
}

QString summarySource(const recordlog::RecordFilter& filter, bool summaries,
                      const SummaryRead& read, QVariantList* binds) {
    const auto rows = [&](const recordlog::RecordFilter& part) {
        return QStringLiteral("SELECT %1 FROM quarn_sessions%2")
            .arg(read.rowColumns, whereAnd(part, read.rowCondition, binds));
    };
    QStringList parts;
    if (!summaries) {
        parts << rows(filter);
    } else {
        const PeriodSplit split = splitPeriod(filter, !read.dayTable.isEmpty());
        for (const recordlog::RecordFilter& days : split.days)
            parts << QStringLiteral("SELECT %1 FROM %2%3")
                         .arg(read.columns, dayRowsAsHours(read.dayTable),
                              summaryWhere(days, binds, read.condition));
        for (const recordlog::RecordFilter& hours : split.hours)
            parts << QStringLiteral("SELECT %1 FROM %2%3")
                         .arg(read.columns, read.table, summaryWhere(hours, binds, read.condition));
        for (const recordlog::RecordFilter& edge : split.edges) parts << rows(edge);
    }
    if (parts.isEmpty()) parts << rows(filter);  // since after until: no row
    return QStringLiteral("(") + parts.join(QStringLiteral(" UNION ALL ")) +
           QStringLiteral(") AS x");
}

QString oneIf(const QString& condition) {
    return QStringLiteral("CASE WHEN %1 THEN 1 ELSE 0 END").arg(condition);
}

}  // namespace quarn::figures
