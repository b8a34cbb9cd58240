// The report from the database: one query, grouped on the server.
#include <QSqlError>
#include <QSqlQuery>

#include "records/connection.h"
#include "records/report.h"

namespace quarn::records {

namespace {

QString keyExpression(const QString& by) {
    if (by.isEmpty()) return QStringLiteral("''");
    if (by == QLatin1String("day"))
        return QStringLiteral("coalesce(to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD'), '')");
    return QStringLiteral("coalesce(\"%1\", '')").arg(by);
}

// The median as percentile_cont(0.5) gives it, from the count of each
// distinct duration: far quicker than sorting every row, as durations repeat.
QString medianQuery(const QString& key, const QString& where) {
    return QStringLiteral(
               "SELECT k, (min(seconds) FILTER (WHERE upto > floor((total - 1) / 2.0))"
               "  + min(seconds) FILTER (WHERE upto > ceil((total - 1) / 2.0))) / 2 AS median"
               " FROM (SELECT k, seconds, sum(n) OVER (PARTITION BY k ORDER BY seconds) AS upto,"
               "         sum(n) OVER (PARTITION BY k) AS total"
               "       FROM (SELECT %1 AS k, seconds, count(*) AS n FROM quarn_sessions"
               "             WHERE seconds IS NOT NULL%2 GROUP BY 1, 2) v) c"
               " GROUP BY k")
        .arg(key, where);
}

QString reportQuery(const QString& by, bool since) {
    QString failed;
    for (const QString& o : failingOutcomes())
        failed += QStringLiteral(", count(*) FILTER (WHERE outcome = '%1')").arg(o);
    const QString key = keyExpression(by);
    return QStringLiteral(
               "WITH a AS (SELECT k, count(*) AS sessions,"
               "  count(*) FILTER (WHERE outcome = 'good') AS good%3,"
               "  count(*) FILTER (WHERE unit) AS units,"
               "  count(*) FILTER (WHERE unit AND outcome = 'good') AS first_good"
               " FROM (SELECT %1 AS k, outcome, coalesce(serial, '') = '' OR row_number() OVER ("
               "         PARTITION BY %1, serial ORDER BY started, id) = 1 AS unit"
               "       FROM quarn_sessions%2) s GROUP BY k),"
               " m AS (%4)"
               " SELECT a.*, m.median FROM a LEFT JOIN m USING (k) ORDER BY k")
        .arg(key, since ? QStringLiteral(" WHERE started >= ?") : QString(), failed,
             medianQuery(key, since ? QStringLiteral(" AND started >= ?") : QString()));
}

ReportRow readRow(const QSqlQuery& q) {
    ReportRow r;
    int c = 0;
    r.key = q.value(c++).toString();
    r.sessions = q.value(c++).toLongLong();
    r.good = q.value(c++).toLongLong();
    for (const QString& o : failingOutcomes()) r.failed[o] = q.value(c++).toLongLong();
    r.units = q.value(c++).toLongLong();
    r.firstPassGood = q.value(c++).toLongLong();
    r.medianSeconds = q.isNull(c) ? -1 : q.value(c).toDouble();
    return r;
}

}  // namespace

Report reportFromDatabase(const QString& databaseUrl, const ReportRequest& request) {
    Report report;
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return report.error = target.error, report;
    Connection connection;
    if (!connection.open(target, &report.error)) return report;
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    q.prepare(reportQuery(request.by, request.since.isValid()));
    for (int i = 0; request.since.isValid() && i < 2; ++i)
        q.addBindValue(request.since.toUTC().toString(Qt::ISODateWithMs));
    if (!q.exec()) {
        report.error = QStringLiteral("the database refused: %1").arg(q.lastError().text());
        return report;
    }
    while (q.next()) report.rows << readRow(q);
    completeReport(report, request);
    return report;
}

}  // namespace quarn::records
