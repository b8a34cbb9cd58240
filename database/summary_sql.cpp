#include "database/summary_sql.h"

#include "record/outcome.h"

namespace quarn::records {

namespace {

QString dot(const QString& alias) { return alias.isEmpty() ? QString() : alias + QLatin1Char('.'); }

}  // namespace

QString attemptSql(const QString& alias) {
    return QStringLiteral("%1outcome IS DISTINCT FROM '%2' AND %1outcome IS DISTINCT FROM '%3'")
        .arg(dot(alias), QLatin1String(kNoPassOutcome), QLatin1String(kHeldOutcome));
}

QString sessionSql(const QString& alias) {
    return QStringLiteral("%1outcome IS DISTINCT FROM '%2'")
        .arg(dot(alias), QLatin1String(kHeldOutcome));
}

QString hourSql(const QString& alias) {
    return QStringLiteral(
               "coalesce(date_bin('1 hour', %1started, timestamptz '2000-01-01 00:00+00'),"
               " '-infinity'::timestamptz)")
        .arg(dot(alias));
}

QString stageSql(const QString& alias) {
    return QStringLiteral(
               "coalesce(substring(%1message from 'block [0-9]+ of [0-9]+'), "
               "coalesce(%1outcome, ''))")
        .arg(dot(alias));
}

QString unitColumnsSql(const QString& alias) {
    return QStringLiteral(
               "%1id, %1serial, %1started, %1outcome, %1station, %1file, %1\"operator\","
               " %1image_sha256, %1slot")
        .arg(dot(alias));
}

QString unitRowsSql(const QString& attempts) {
    // One sort of each unit's attempts serves every figure: the frame of
    // the first row reaches its second for second_good, the whole unit for
    // attempts and final_good. The units' own order is of no matter: byte
    // order, whatever the database's collation, sorts them quickest. A
    // serial number and a session's own id are keyed apart: a serial number
    // that reads like another session's id is still a unit of its own.
    return QStringLiteral(
               "(SELECT * FROM (SELECT a.*, row_number() OVER w AS attempt_no,"
               " count(*) OVER (w ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)"
               " AS attempts,"
               " coalesce(a.outcome = 'good', false)::int AS first_good,"
               " coalesce(bool_or(a.outcome = 'good') OVER (w ROWS BETWEEN UNBOUNDED PRECEDING"
               " AND 1 FOLLOWING), false)::int AS second_good,"
               " coalesce(last_value(a.outcome) OVER (w ROWS BETWEEN UNBOUNDED PRECEDING"
               " AND UNBOUNDED FOLLOWING) = 'good', false)::int AS final_good"
               " FROM %1 a WINDOW w AS (PARTITION BY coalesce(a.serial <> '', false),"
               " (CASE WHEN a.serial <> '' THEN a.serial ELSE a.id::text END) COLLATE \"C\""
               " ORDER BY a.started, a.id)) f"
               " WHERE attempt_no = 1)")
        .arg(attempts);
}

QString summaryKeySql(const QString& alias) {
    return QStringLiteral(
               "%2 AS hour, coalesce(%1station, '') AS station, coalesce(%1file, '') AS file,"
               " coalesce(%1\"operator\", '') AS \"operator\","
               " coalesce(%1image_sha256, '') AS image_sha256")
        .arg(dot(alias), hourSql(alias));
}

QString medianSql(const QString& keys, const QString& source) {
    // Durations repeat: the running count of each value finds the middle
    // without sorting every session.
    return QStringLiteral(
               "SELECT %1, (min(v) FILTER (WHERE upto > floor((total - 1) / 2.0))"
               " + min(v) FILTER (WHERE upto > ceil((total - 1) / 2.0))) / 2 AS median"
               " FROM (SELECT %1, v, sum(n) OVER (PARTITION BY %1 ORDER BY v) AS upto,"
               " sum(n) OVER (PARTITION BY %1) AS total"
               " FROM (SELECT %1, v, sum(n) AS n FROM %2 s GROUP BY %1, v) g) c GROUP BY %1")
        .arg(keys, source);
}

}  // namespace quarn::records
