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

}  // namespace

HourSplit splitOnHours(const records::RecordFilter& filter) {
    HourSplit split;
    split.hours = filter;
    if (filter.since.isValid()) split.hours.since = hourUp(filter.since);
    if (filter.until.isValid()) split.hours.until = hourDown(filter.until);
    const bool empty = split.hours.since.isValid() && split.hours.until.isValid() &&
                       split.hours.since >= split.hours.until;
    if (empty) return split.edges << filter, split;  // no whole hour between them
    split.whole = true;
    if (filter.since.isValid() && split.hours.since != filter.since) {
        records::RecordFilter edge = filter;
        edge.until = split.hours.since;
        split.edges << edge;
    }
    if (filter.until.isValid() && split.hours.until != filter.until) {
        records::RecordFilter edge = filter;
        edge.since = split.hours.until;
        split.edges << edge;
    }
    return split;
}

QString summaryWhere(const records::RecordFilter& hours, QVariantList* binds,
                     const QString& condition) {
    QStringList terms;
    if (hours.since.isValid()) terms << QStringLiteral("hour >= ?::timestamptz");
    if (hours.since.isValid()) *binds << sqlTime(hours.since);
    if (hours.until.isValid())
        terms << QStringLiteral("hour < ?::timestamptz AND hour > '-infinity'");
    if (hours.until.isValid()) *binds << sqlTime(hours.until);
    // The station and the image as filterSql says them: the summaries
    // have those columns under the same names.
    const QString rest = filterSql({{}, {}, hours.station, hours.image}, binds);
    if (!rest.isEmpty()) terms << rest.mid(QStringLiteral(" WHERE ").size());
    if (!condition.isEmpty()) terms << condition;
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(" AND ");
}

QString summarySource(const records::RecordFilter& filter, bool summaries, const SummaryRead& read,
                      QVariantList* binds) {
    const auto rows = [&](const records::RecordFilter& part) {
        return QStringLiteral("SELECT %1 FROM quarn_sessions%2")
            .arg(read.rowColumns, whereAnd(part, read.rowCondition, binds));
    };
    QStringList parts;
    const HourSplit split = splitOnHours(filter);
    if (!summaries) {
        parts << rows(filter);
    } else {
        if (split.whole)
            parts << QStringLiteral("SELECT %1 FROM %2%3")
                         .arg(read.columns, read.table,
                              summaryWhere(split.hours, binds, read.condition));
        for (const records::RecordFilter& edge : split.edges) parts << rows(edge);
    }
    return QStringLiteral("(") + parts.join(QStringLiteral(" UNION ALL ")) +
           QStringLiteral(") AS x");
}

QString oneIf(const QString& condition) {
    return QStringLiteral("CASE WHEN %1 THEN 1 ELSE 0 END").arg(condition);
}

}  // namespace quarn::figures
