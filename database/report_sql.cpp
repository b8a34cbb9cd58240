#include "database/report_sql.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include "database/connection.h"
#include "database/push.h"
#include "database/query_run.h"
#include "database/schema.h"
#include "database/socket_sql.h"
#include "record/first_pass.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"

namespace quarn::records {

namespace {

// Every socket's sessions, failures and repeats as the slot rules count them
// (record/slot_flags.h), and its sessions since service; false with *error
// and *problem when a query fails.
bool socketCounts(QSqlDatabase& db, const RecordFilter& filter, QList<SocketCount>* out,
                  QString* error, Problem* problem) {
    QVariantList binds;
    const QString sql = QStringLiteral(
                            "SELECT coalesce(station, ''), coalesce(slot, ''),"
                            " count(*) FILTER (WHERE %1),"
                            " count(*) FILTER (WHERE %1 AND outcome IS DISTINCT FROM 'good'),"
                            " %3 FROM quarn_sessions%2 GROUP BY 1, 2 ORDER BY 1, 2")
                            .arg(passSql(), filterSql(filter, &binds), socketRepeatsSql());
    QueryFailure f;
    bool ok = runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << SocketCount{q.value(0).toString(), q.value(1).toString(),
                                q.value(2).toLongLong(), q.value(3).toLongLong(),
                                q.value(4).toLongLong()};
        },
        &f);
    ok = ok && readSinceService(db, out, &f);
    if (!ok && error) *error = f.error;
    if (!ok && problem) *problem = f.problem;
    return ok;
}

QString keyExpression(const QString& by) {
    if (by.isEmpty()) return QStringLiteral("''");
    if (by == QLatin1String("day"))
        return QStringLiteral("coalesce(to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD'), '')");
    return QStringLiteral("coalesce(\"%1\", '')").arg(by);
}

// One scan of the table, grouped by key, duration and outcome; the figures
// from those few groups. The median is percentile_cont(0.5)'s, found in the
// running count of each duration: durations repeat, so this is far quicker
// than sorting every row.
// verdict: the table has server_approved (else the mismatches are NULL).
QString reportQuery(const QString& by, bool since, bool verdict) {
    QString failed;
    for (const QString& o : failingOutcomes())
        failed += QStringLiteral(", sum(n) FILTER (WHERE outcome = '%1')::bigint").arg(o);
    const QString mismatches = verdict
                                   ? QStringLiteral("count(*) FILTER (WHERE %1)").arg(mismatchSql())
                                   : QStringLiteral("NULL::bigint");
    return QStringLiteral(
               "WITH g AS (SELECT %1 AS k, seconds, outcome, count(*) AS n,"
               "    count(*) FILTER (WHERE %4) AS units, %5 AS mismatches"
               "  FROM quarn_sessions%2 GROUP BY 1, 2, 3),"
               " c AS (SELECT k, seconds, sum(sum(n)) OVER (PARTITION BY k ORDER BY seconds) AS "
               "upto,"
               "    sum(sum(n)) OVER (PARTITION BY k) AS total"
               "  FROM g WHERE seconds IS NOT NULL GROUP BY k, seconds),"
               " m AS (SELECT k, (min(seconds) FILTER (WHERE upto > floor((total - 1) / 2.0))"
               "    + min(seconds) FILTER (WHERE upto > ceil((total - 1) / 2.0))) / 2 AS median"
               "  FROM c GROUP BY k)"
               " SELECT k, sum(n)::bigint, sum(n) FILTER (WHERE outcome = 'good')::bigint%3,"
               "  sum(units)::bigint, sum(units) FILTER (WHERE outcome = 'good')::bigint, "
               "min(median), sum(mismatches)::bigint"
               " FROM g LEFT JOIN m USING (k) GROUP BY k ORDER BY k")
        .arg(keyExpression(by), since ? QStringLiteral(" WHERE started >= ?") : QString(), failed,
             unitSql(), mismatches);
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
    ++c;
    r.approvalMismatches = q.isNull(c) ? -1 : q.value(c).toLongLong();
    return r;
}

}  // namespace

Report reportFromDatabase(const QString& databaseUrl, const ReportRequest& request) {
    Report report;
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) {
        report.usage = true;
        return report.error = target.error, report;
    }
    Connection connection;
    if (!connection.open(target, &report.error) ||
        !connection.limit(statementLimitMs(), &report.error))
        return report;
    bool verdict = false;
    QueryFailure look;
    if (!readsVerdict(connection.db(), &verdict, &look)) return report.error = look.error, report;
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    // A statement the server would not prepare (no table) is said as such,
    // not run as an EXECUTE of nothing.
    const bool prepared = q.prepare(reportQuery(request.by, request.since.isValid(), verdict));
    if (request.since.isValid()) q.addBindValue(request.since.toUTC().toString(Qt::ISODateWithMs));
    if (!prepared || !q.exec()) {
        report.denied = problemOf(q.lastError()) == Problem::Denied;
        report.error =
            report.denied ? notPermittedText(QCoreApplication::translate("Connection", "reporting"),
                                             QLatin1String(kViewerRole))
                          : describe(q.lastError());
        return report;
    }
    while (q.next()) report.rows << readRow(q);
    if (request.by == QLatin1String("slot")) {
        QList<SocketCount> sockets;
        Problem problem = Problem::Refused;
        if (!socketCounts(connection.db(), RecordFilter{request.since, {}, {}, {}}, &sockets,
                          &report.error, &problem))
            return report.rows.clear(), report;
        report.sockets = judgeSockets(sockets);
        judgeWear(&report.sockets, request.socketLife);
    }
    completeReport(report, request);
    for (ReportRow& r : report.rows)
        if (verdict && r.approvalMismatches < 0) r.approvalMismatches = 0;  // no rows
    return report;
}

}  // namespace quarn::records
