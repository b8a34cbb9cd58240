#include "figures/rules_sql.h"

namespace quarn::figures {

namespace {

QString dot(const QString& alias) { return alias.isEmpty() ? QString() : alias + QLatin1Char('.'); }

}  // namespace

QString attemptSql(const QString& alias) {
    return QStringLiteral("quarn_is_attempt(%1outcome)").arg(dot(alias));
}

QString unitSql() {
    return QStringLiteral("(%1 AND (first_pass OR coalesce(serial, '') = ''))").arg(attemptSql());
}

QString sessionSql(const QString& alias) {
    return QStringLiteral("quarn_is_session(%1outcome)").arg(dot(alias));
}

QString hourSql(const QString& alias) {
    return QStringLiteral("quarn_hour(%1started)").arg(dot(alias));
}

QString stageSql(const QString& alias) {
    return QStringLiteral("quarn_stage(%1message, %1outcome)").arg(dot(alias));
}

QString mismatchSql(const QString& alias) {
    return QStringLiteral("quarn_approval_mismatch(%1approved, %1server_approved)").arg(dot(alias));
}

QString unitColumnsSql(const QString& alias) {
    return QStringLiteral(
               "%1id, %1serial, %1started, %1outcome, %1station, %1file, %1\"operator\","
               " %1image_sha256, %1slot")
        .arg(dot(alias));
}

QString unitRowsSql(const QString& attempts) {
    // One sort of each unit's attempts serves every figure, as the
    // summaries' upkeep sorts them (quarn_summaries_move).
    return QStringLiteral(
               "(SELECT f.*, cardinality(outcomes) AS attempts,"
               " quarn_first_pass_good(outcomes)::int AS first_good,"
               " quarn_second_pass_good(outcomes)::int AS second_good,"
               " quarn_final_good(outcomes)::int AS final_good"
               " FROM (SELECT a.*, row_number() OVER w AS attempt_no,"
               " array_agg(a.outcome) OVER (w ROWS BETWEEN UNBOUNDED PRECEDING"
               " AND UNBOUNDED FOLLOWING) AS outcomes"
               " FROM %1 a WINDOW w AS (PARTITION BY quarn_unit(a.serial, a.id) COLLATE \"C\""
               " ORDER BY a.started, a.id)) f"
               " WHERE attempt_no = 1)")
        .arg(attempts);
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

}  // namespace quarn::figures
