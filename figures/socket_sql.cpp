#include "figures/socket_sql.h"

#include <QHash>

#include "figures/rules_sql.h"

namespace quarn::figures {

QString socketRepeatsSql() {
    return QStringLiteral("coalesce(sum(repeats) FILTER (WHERE %1), 0)").arg(attemptSql());
}

QString sinceServiceSql(bool summaries) {
    if (summaries)
        return QStringLiteral(
            "SELECT station, slot, sessions FROM quarn_summary_since_service WHERE sessions <> 0");
    return QStringLiteral(
               "WITH l AS (SELECT station, slot, max(serviced_at) AS at FROM quarn_socket_service"
               " GROUP BY 1, 2)"
               " SELECT coalesce(s.station, '') AS station, coalesce(s.slot, '') AS slot, count(*)"
               " FROM quarn_sessions s LEFT JOIN l ON l.station = coalesce(s.station, '')"
               " AND l.slot = coalesce(s.slot, '') WHERE (l.at IS NULL OR s.started > l.at) AND %1"
               " GROUP BY 1, 2")
        .arg(figures::sessionSql(QStringLiteral("s")));
}

bool readSinceService(QSqlDatabase& db, bool summaries, QList<record::SocketCount>* sockets,
                      pg::QueryFailure* f) {
    QHash<std::pair<QString, QString>, qint64> since;
    if (!pg::runQuery(
            db, sinceServiceSql(summaries), {},
            [&](const QSqlQuery& q) {
                since[{q.value(0).toString(), q.value(1).toString()}] = q.value(2).toLongLong();
            },
            f))
        return false;
    for (record::SocketCount& s : *sockets) s.sinceService = since.value({s.station, s.slot});
    return true;
}

bool readSinceService(QSqlDatabase& db, bool summaries, QList<record::SocketVerdict>* sockets,
                      pg::QueryFailure* f) {
    QList<record::SocketCount> counts;
    for (const record::SocketVerdict& v : std::as_const(*sockets)) counts << v.count;
    if (!readSinceService(db, summaries, &counts, f)) return false;
    for (qsizetype i = 0; i < counts.size(); ++i)
        (*sockets)[i].count.sinceService = counts[i].sinceService;
    return true;
}

bool recordSocketService(QSqlDatabase& db, const QString& station, const QString& slot,
                         const QString& note, QString* by, QDateTime* at, pg::QueryFailure* f) {
    // now() is the transaction's: the very serviced_at the default gave the
    // row, read without the SELECT right on the table an engineer lacks.
    return pg::runQuery(
        db,
        QStringLiteral("WITH i AS (INSERT INTO quarn_socket_service (station, slot, note)"
                       " VALUES (?, ?, nullif(?, ''))) SELECT current_user, now()"),
        {station, slot, note},
        [&](const QSqlQuery& q) {
            *by = q.value(0).toString();
            *at = pg::utcTime(q.value(1));
        },
        f);
}

}  // namespace quarn::figures
