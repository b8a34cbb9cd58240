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

QString reportQuery(const QString& by, bool since) {
    QString failed;
    for (const QString& o : failingOutcomes())
        failed += QStringLiteral(", count(*) FILTER (WHERE outcome = '%1')").arg(o);
    return QStringLiteral(
               "WITH s AS (SELECT %1 AS k, outcome, seconds,"
               "  coalesce(serial, '') = '' OR row_number() OVER ("
               "    PARTITION BY %1, serial ORDER BY started, id) = 1 AS unit"
               "  FROM quarn_sessions%2)"
               " SELECT k, count(*), count(*) FILTER (WHERE outcome = 'good')%3,"
               "  count(*) FILTER (WHERE unit), count(*) FILTER (WHERE unit AND outcome = 'good'),"
               "  percentile_cont(0.5) WITHIN GROUP (ORDER BY seconds)"
               " FROM s GROUP BY k ORDER BY k")
        .arg(keyExpression(by), since ? QStringLiteral(" WHERE started >= ?") : QString(), failed);
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
    if (request.since.isValid()) q.addBindValue(request.since.toUTC().toString(Qt::ISODateWithMs));
    if (!q.exec()) {
        report.error = QStringLiteral("the database refused: %1").arg(q.lastError().text());
        return report;
    }
    while (q.next()) report.rows << readRow(q);
    completeReport(report, request);
    return report;
}

}  // namespace quarn::records
