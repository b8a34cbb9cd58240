#include "database/socket_sql.h"

#include <QHash>

#include "record/first_pass.h"

namespace quarn::records {

QString socketRepeatsSql() {
    return QStringLiteral("coalesce(sum(repeats) FILTER (WHERE %1), 0)").arg(passSql());
}

namespace {

// Each socket's latest service: station, slot, at.
QString lastServiceSql(bool service) {
    return service ? QStringLiteral(
                         "SELECT station, slot, max(serviced_at) AS at"
                         " FROM quarn_socket_service GROUP BY 1, 2")
                   : QStringLiteral(
                         "SELECT ''::text AS station, ''::text AS slot,"
                         " NULL::timestamptz AS at WHERE false");
}

// The records of the service's own hour after it, from quarn_sessions (by
// its index on started): the whole hours after it come from the summary.
// Hours are the summaries' UTC hours whatever the caller's TimeZone (a
// half-hour zone's hours would leave half an hour counted nowhere).
QString serviceHourSql() {
    return QStringLiteral(
        " UNION ALL SELECT l.station, l.slot, count(*) FROM l JOIN quarn_sessions s"
        "  ON s.started > l.at AND s.started < date_trunc('hour', l.at, 'UTC') + interval '1 hour'"
        "  AND coalesce(s.station, '') = l.station AND coalesce(s.slot, '') = l.slot"
        "  GROUP BY 1, 2");
}

}  // namespace

QString sinceServiceSql(bool service, bool summaries) {
    const QString whole =
        summaries ? QStringLiteral(
                        "SELECT x.station, x.slot, sum(x.sessions) AS n"
                        " FROM quarn_summary_sockets x LEFT JOIN l USING (station, slot)"
                        " WHERE l.at IS NULL OR x.hour >= date_trunc('hour', l.at, 'UTC') + "
                        "interval '1 hour' GROUP BY 1, 2") +
                        serviceHourSql()
                  : QStringLiteral(
                        "SELECT coalesce(s.station, '') AS station,"
                        " coalesce(s.slot, '') AS slot, count(*) AS n FROM quarn_sessions s"
                        " LEFT JOIN l ON l.station = coalesce(s.station, '')"
                        " AND l.slot = coalesce(s.slot, '')"
                        " WHERE l.at IS NULL OR s.started > l.at GROUP BY 1, 2");
    return QStringLiteral(
               "WITH l AS (%1) SELECT station, slot, sum(n)::bigint FROM (%2) w"
               " GROUP BY 1, 2")
        .arg(lastServiceSql(service), whole);
}

bool readSinceService(QSqlDatabase& db, QList<SocketCount>* sockets, QueryFailure* f) {
    bool service = false, summaries = false;
    if (!runQuery(
            db,
            QStringLiteral("SELECT to_regclass('quarn_socket_service') IS NOT NULL,"
                           " coalesce(has_table_privilege(to_regclass('quarn_summary_sockets'),"
                           " 'SELECT'), false)"),
            {},
            [&](const QSqlQuery& q) {
                service = q.value(0).toBool(), summaries = q.value(1).toBool();
            },
            f))
        return false;
    QHash<std::pair<QString, QString>, qint64> since;
    if (!runQuery(
            db, sinceServiceSql(service, summaries), {},
            [&](const QSqlQuery& q) {
                since[{q.value(0).toString(), q.value(1).toString()}] = q.value(2).toLongLong();
            },
            f))
        return false;
    for (SocketCount& s : *sockets) s.sinceService = since.value({s.station, s.slot});
    return true;
}

bool readSinceService(QSqlDatabase& db, QList<SocketVerdict>* sockets, QueryFailure* f) {
    QList<SocketCount> counts;
    for (const SocketVerdict& v : std::as_const(*sockets)) counts << v.count;
    if (!readSinceService(db, &counts, f)) return false;
    for (qsizetype i = 0; i < counts.size(); ++i)
        (*sockets)[i].count.sinceService = counts[i].sinceService;
    return true;
}

bool recordSocketService(QSqlDatabase& db, const QString& station, const QString& slot,
                         const QString& note, QString* by, QDateTime* at, QueryFailure* f) {
    // now() is the transaction's: the very serviced_at the default gave the
    // row, read without the SELECT right on the table an engineer lacks.
    return runQuery(
        db,
        QStringLiteral("WITH i AS (INSERT INTO quarn_socket_service (station, slot, note)"
                       " VALUES (?, ?, nullif(?, ''))) SELECT current_user, now()"),
        {station, slot, note},
        [&](const QSqlQuery& q) {
            *by = q.value(0).toString();
            *at = utcTime(q.value(1));
        },
        f);
}

}  // namespace quarn::records
