#include "figures/summary_source.h"

#include <QStringList>

namespace quarn::plant {

using namespace records;

namespace {

QDateTime floorHour(const QDateTime& t) {
    const QDateTime u = t.toUTC();
    return QDateTime(u.date(), QTime(u.time().hour(), 0), Qt::UTC);
}

QDateTime ceilHour(const QDateTime& t) {
    const QDateTime f = floorHour(t);
    return f == t ? f : f.addSecs(3600);
}

// The rows of one part of the period (invalid ends: open).
QString rowsPart(RecordFilter filter, const QDateTime& since, const QDateTime& until,
                 const SummaryRead& read, QVariantList* binds) {
    filter.since = since, filter.until = until;
    return QStringLiteral("SELECT %1 FROM quarn_sessions%2")
        .arg(read.rowColumns, whereAnd(filter, read.rowCondition, binds));
}

QString summaryPart(RecordFilter filter, const HourSplit& s, const SummaryRead& read,
                    QVariantList* binds) {
    filter.since = filter.until = QDateTime();
    QString condition = read.condition;
    if (s.from.isValid()) condition += QStringLiteral(" AND hour >= ?::timestamptz");
    if (s.until.isValid()) condition += QStringLiteral(" AND hour < ?::timestamptz");
    // Any bound leaves out the rows without a start time, as started < until does.
    if (s.until.isValid() && !s.from.isValid())
        condition += QStringLiteral(" AND hour > '-infinity'");
    // The filter's own values come first in the text, then the hours'.
    const QString where = whereAnd(filter, condition, binds);
    if (s.from.isValid()) *binds << sqlTime(s.from);
    if (s.until.isValid()) *binds << sqlTime(s.until);
    return QStringLiteral("SELECT %1 FROM %2%3").arg(read.columns, read.table, where);
}

}  // namespace

HourSplit splitHours(const QDateTime& since, const QDateTime& until) {
    HourSplit s;
    if (since.isValid()) s.from = ceilHour(since);
    if (until.isValid()) s.until = floorHour(until);
    s.whole = !s.from.isValid() || !s.until.isValid() || s.from < s.until;
    if (!s.whole) {
        s.edges.append({since, until});  // within an hour, or two parts of neighbouring ones
        return s;
    }
    if (since.isValid() && since != s.from) s.edges.append({since, s.from});
    if (until.isValid() && until != s.until) s.edges.append({s.until, until});
    return s;
}

QString summarySource(const RecordFilter& filter, bool summaries, const SummaryRead& read,
                      QVariantList* binds) {
    QStringList parts;
    if (!summaries) {
        parts << rowsPart(filter, filter.since, filter.until, read, binds);
    } else {
        const HourSplit s = splitHours(filter.since, filter.until);
        if (s.whole) parts << summaryPart(filter, s, read, binds);
        for (const auto& [since, until] : s.edges)
            parts << rowsPart(filter, since, until, read, binds);
    }
    return QStringLiteral("(") + parts.join(QStringLiteral(" UNION ALL ")) +
           QStringLiteral(") AS x");
}

QString oneIf(const QString& condition) {
    return QStringLiteral("CASE WHEN %1 THEN 1 ELSE 0 END").arg(condition);
}

bool readsSummaries(QSqlDatabase& db, bool* has, QueryFailure* f) {
    *has = false;
    return runQuery(
        db,
        QStringLiteral(
            "SELECT count(*) = 3 AND bool_and(has_table_privilege(t, 'SELECT'))"
            " FROM unnest(ARRAY[to_regclass('quarn_summary_hours'),"
            " to_regclass('quarn_summary_causes'), to_regclass('quarn_summary_sockets')])"
            " t WHERE t IS NOT NULL"),
        {}, [&](const QSqlQuery& q) { *has = q.value(0).toBool(); }, f);
}

}  // namespace quarn::plant
