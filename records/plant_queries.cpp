#include "records/plant_queries.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <functional>

#include "records/first_pass.h"

namespace quarn::records {

namespace {

struct Failure {
    QString error;
    Problem problem = Problem::Refused;
};

// Runs one statement with its binds; each row to `row`. False with *f.
bool run(QSqlDatabase& db, const QString& sql, const QVariantList& binds,
         const std::function<void(const QSqlQuery&)>& row, Failure* f) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return *f = {describe(q.lastError()), problemOf(q.lastError())}, false;
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) return *f = {describe(q.lastError()), problemOf(q.lastError())}, false;
    while (q.next()) row(q);
    return true;
}

// The filter's WHERE with one more condition.
QString whereAnd(const RecordFilter& filter, const QString& condition, QVariantList* binds,
                 const QString& alias = QString()) {
    const QString where = filterSql(filter, binds, alias);
    return where.isEmpty() ? QStringLiteral(" WHERE ") + condition
                           : where + QStringLiteral(" AND ") + condition;
}

QDateTime timeOf(const QVariant& v) {
    QDateTime t = v.toDateTime();
    return t.isValid() ? t.toUTC() : t;
}

bool readTiles(QSqlDatabase& db, const PlantRequest& r, QList<StationTile>* out, Failure* f) {
    QVariantList binds{sqlTime(r.now.addSecs(-3600)), sqlTime(r.today), sqlTime(r.today),
                       sqlTime(r.today), sqlTime(r.today)};
    const QString where = filterSql(r.filter, &binds);
    const QString failures = whereAnd(r.filter,
                                      QStringLiteral("s.station = t.station AND "
                                                     "s.outcome IS DISTINCT FROM 'good' "
                                                     "AND s.started IS NOT NULL"),
                                      &binds, QStringLiteral("s"));
    const QString sql =
        QStringLiteral(
            "WITH t AS (SELECT station,"
            " count(*) FILTER (WHERE started >= ?::timestamptz),"
            " count(*) FILTER (WHERE started >= ?::timestamptz AND outcome = 'good') AS good,"
            " count(*) FILTER (WHERE started >= ?::timestamptz AND outcome IS DISTINCT FROM "
            "'good'),"
            " count(*) FILTER (WHERE started >= ?::timestamptz AND %1),"
            " count(*) FILTER (WHERE started >= ?::timestamptz AND %1 AND outcome = 'good'),"
            " max(started) FROM quarn_sessions%2 GROUP BY station)"
            " SELECT t.*, f.outcome, f.started FROM t LEFT JOIN LATERAL"
            " (SELECT s.outcome, s.started FROM quarn_sessions s%3"
            "  ORDER BY s.started DESC LIMIT 1) f ON true"
            " ORDER BY t.station")
            .arg(unitSql(), where, failures);
    return run(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            StationTile t;
            t.station = q.value(0).toString();
            t.lastHour = q.value(1).toLongLong();
            t.goodToday = q.value(2).toLongLong();
            t.failedToday = q.value(3).toLongLong();
            t.unitsToday = q.value(4).toLongLong();
            t.firstPassGoodToday = q.value(5).toLongLong();
            t.lastRecord = timeOf(q.value(6));
            t.lastFailureOutcome = q.value(7).toString();
            t.lastFailure = timeOf(q.value(8));
            *out << t;
        },
        f);
}

bool readHours(QSqlDatabase& db, const PlantRequest& r, QList<HourYield>* out, Failure* f) {
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT coalesce(station, ''), date_trunc('hour', started),"
            " count(*), count(*) FILTER (WHERE outcome = 'good'), count(*) FILTER (WHERE %1),"
            " count(*) FILTER (WHERE %1 AND outcome = 'good')"
            " FROM quarn_sessions%2 GROUP BY 1, 2 ORDER BY 1, 2")
            .arg(unitSql(), whereAnd(r.filter, QStringLiteral("started IS NOT NULL"), &binds));
    return run(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << HourYield{q.value(0).toString(),   timeOf(q.value(1)),
                              q.value(2).toLongLong(), q.value(3).toLongLong(),
                              q.value(4).toLongLong(), q.value(5).toLongLong()};
        },
        f);
}

bool readCauses(QSqlDatabase& db, const PlantRequest& r, QList<FailureCause>* out, Failure* f) {
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT coalesce(outcome, ''),"
            " coalesce(substring(message from 'block [0-9]+ of [0-9]+'), coalesce(outcome, '')),"
            " count(*) FROM quarn_sessions%1 GROUP BY 1, 2 ORDER BY 3 DESC, 1, 2")
            .arg(whereAnd(r.filter, QStringLiteral("outcome <> 'good'"), &binds));
    return run(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << FailureCause{q.value(0).toString(), q.value(1).toString(),
                                 q.value(2).toLongLong()};
        },
        f);
}

}  // namespace

bool socketCounts(QSqlDatabase& db, const RecordFilter& filter, QList<SocketCount>* out,
                  QString* error, Problem* problem) {
    QVariantList binds;
    const QString sql = QStringLiteral(
                            "SELECT coalesce(station, ''), coalesce(slot, ''),"
                            " count(*) FILTER (WHERE %1),"
                            " count(*) FILTER (WHERE %1 AND outcome IS DISTINCT FROM 'good')"
                            " FROM quarn_sessions%2 GROUP BY 1, 2 ORDER BY 1, 2")
                            .arg(passSql(), filterSql(filter, &binds));
    Failure f;
    const bool ok = run(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << SocketCount{q.value(0).toString(), q.value(1).toString(),
                                q.value(2).toLongLong(), q.value(3).toLongLong()};
        },
        &f);
    if (!ok && error) *error = f.error;
    if (!ok && problem) *problem = f.problem;
    return ok;
}

PlantView queryPlantView(QSqlDatabase& db, const PlantRequest& request) {
    QElapsedTimer clock;
    clock.start();
    PlantView v;
    Failure f;
    QList<SocketCount> sockets;
    const bool ok = readTiles(db, request, &v.tiles, &f) && readHours(db, request, &v.hours, &f) &&
                    readCauses(db, request, &v.causes, &f) &&
                    socketCounts(db, request.filter, &sockets, &f.error, &f.problem);
    if (!ok) {
        PlantView failed;
        failed.error = f.error;
        failed.problem = f.problem;
        return failed;
    }
    v.sockets = judgeSockets(sockets);
    v.readAt = QDateTime::currentDateTimeUtc();
    v.readMs = double(clock.nsecsElapsed()) / 1e6;
    return v;
}

QString percentText(qint64 part, qint64 whole) {
    return whole > 0 ? QStringLiteral("%1 %").arg(100.0 * double(part) / double(whole), 0, 'f', 1)
                     : QStringLiteral("-");
}

}  // namespace quarn::records
