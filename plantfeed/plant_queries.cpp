#include "plantfeed/plant_queries.h"

#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <tuple>

#include "figures/filter_sql.h"
#include "figures/report_sql.h"
#include "figures/rules_sql.h"
#include "figures/summary_split.h"
#include "pg/query_run.h"
#include "plantfeed/image_units.h"
#include "plantfeed/plant_buckets.h"
#include "record/first_pass.h"

namespace quarn::plantfeed {

namespace {

// Today's good, failed, units and first-pass good per station: from the
// summaries since today began (or the period's start, when later). A held
// record (the retest limit refused the unit) is no session: not failed.
QString todaySource(const PlantRequest& r, bool summaries, QVariantList* binds) {
    recordlog::RecordFilter today = r.filter;
    if (!today.since.isValid() || today.since < r.today) today.since = r.today;
    const QString unit = figures::unitSql(), good = QStringLiteral("outcome = 'good'");
    const QString failed =
        QStringLiteral("outcome IS DISTINCT FROM 'good' AND ") + figures::sessionSql();
    const figures::SummaryRead read{
        QStringLiteral("quarn_summary_hours"),
        QStringLiteral("station, CASE WHEN %1 THEN sessions ELSE 0 END AS good,"
                       " CASE WHEN %2 THEN sessions ELSE 0 END AS failed, units,"
                       " first_pass_good AS fpg")
            .arg(good, failed),
        QStringLiteral("true"),
        QStringLiteral("coalesce(station, '') AS station, %1 AS good, %2 AS failed, %3 AS units,"
                       " %4 AS fpg")
            .arg(figures::oneIf(good), figures::oneIf(failed), figures::oneIf(unit),
                 figures::oneIf(unit + QStringLiteral(" AND ") + good)),
        QStringLiteral("true"),
        QStringLiteral("quarn_summary_days")};
    return figures::summarySource(today, summaries, read, binds);
}

// The last hour's sessions, and each station's latest record and failure,
// from the indexes on (station, started), the latter two read backwards.
QString tilesSql(const PlantRequest& r, bool summaries, const QStringList& stations,
                 QVariantList* binds) {
    QStringList values;
    for (const QString& s : stations) values << QStringLiteral("(?::text)"), *binds << s;
    const QString today = todaySource(r, summaries, binds);
    const QString hour = figures::whereAnd(
        r.filter, QStringLiteral("started >= ?::timestamptz AND ") + figures::sessionSql(), binds);
    *binds << figures::sqlTime(r.now.addSecs(-3600));
    const QString latest = figures::whereAnd(
        r.filter, QStringLiteral("s.station = st.station AND s.started IS NOT NULL"), binds,
        QStringLiteral("s"));
    const QString failure =
        figures::whereAnd(r.filter,
                          QStringLiteral("s.station = st.station AND s.started IS NOT NULL AND "
                                         "s.outcome IS DISTINCT FROM 'good' AND ") +
                              figures::sessionSql(QStringLiteral("s")),
                          binds, QStringLiteral("s"));
    return QStringLiteral(
               "WITH st(station) AS (VALUES %1),"
               " t AS (SELECT station, sum(good)::bigint AS good, sum(failed)::bigint AS failed,"
               " sum(units)::bigint AS units, sum(fpg)::bigint AS fpg FROM %2 GROUP BY station),"
               " h AS (SELECT coalesce(station, '') AS station, count(*) AS hour"
               " FROM quarn_sessions%3 GROUP BY 1)"
               " SELECT st.station, h.hour, t.good, t.failed, t.units, t.fpg, r.started,"
               " f.outcome, f.started FROM st LEFT JOIN t USING (station)"
               " LEFT JOIN h USING (station)"
               " LEFT JOIN LATERAL (SELECT s.started FROM quarn_sessions s%4"
               "  ORDER BY s.started DESC LIMIT 1) r ON true"
               " LEFT JOIN LATERAL (SELECT s.outcome, s.started FROM quarn_sessions s%5"
               "  ORDER BY s.started DESC LIMIT 1) f ON true ORDER BY st.station")
        .arg(values.join(QLatin1Char(',')), today, hour, latest, failure);
}

bool readTileRows(QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                  QList<StationTile>* out, QueryFailure* f);
bool readAttemptYields(QSqlDatabase& db, const PlantRequest& r, QList<StationTile>* tiles,
                       QueryFailure* f);

bool readTiles(QSqlDatabase& db, const PlantRequest& r, bool summaries,
               const QList<HourYield>& hours, QList<StationTile>* out, QueryFailure* f) {
    QStringList stations;
    for (const HourYield& h : hours)
        if (stations.isEmpty() || stations.last() != h.station) stations << h.station;
    if (stations.isEmpty()) return true;
    QVariantList binds;
    const QString sql = tilesSql(r, summaries, stations, &binds);
    return readTileRows(db, sql, binds, out, f) && readAttemptYields(db, r, out, f);
}

// Today's second-pass and final good per station, as the report counts them.
bool readAttemptYields(QSqlDatabase& db, const PlantRequest& r, QList<StationTile>* tiles,
                       QueryFailure* f) {
    recordlog::RecordFilter today = r.filter;
    if (!today.since.isValid() || today.since < r.today) today.since = r.today;
    QList<recordlog::ReportRow> rows;
    if (!figures::readReportRows(db, today, QStringLiteral("station"), r.summaries, &rows, f))
        return false;
    for (StationTile& t : *tiles)
        for (const recordlog::ReportRow& row : rows)
            if (row.key == t.station)
                t.secondPassGoodToday = row.secondPassGood, t.finalGoodToday = row.finalGood;
    return true;
}

bool readTileRows(QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                  QList<StationTile>* out, QueryFailure* f) {
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            StationTile t;
            t.station = q.value(0).toString();
            t.lastHour = q.value(1).toLongLong();
            t.goodToday = q.value(2).toLongLong();
            t.failedToday = q.value(3).toLongLong();
            t.unitsToday = q.value(4).toLongLong();
            t.firstPassGoodToday = q.value(5).toLongLong();
            t.lastRecord = pg::utcTime(q.value(6));
            t.lastFailureOutcome = q.value(7).toString();
            t.lastFailure = pg::utcTime(q.value(8));
            *out << t;
        },
        f);
}

// previous's figures of the days before `from`, with what was read from then on.
template <class T>
QList<T> merged(const QList<T>& kept, const QList<T>& read, const QDateTime& from,
                QDateTime T::*time) {
    QList<T> out;
    for (const T& k : kept)
        if (!(k.*time).isValid() || k.*time < from) out << k;
    return out + read;
}

}  // namespace

PlantView queryPlantView(QSqlDatabase& db, const PlantRequest& request, const PlantView* previous,
                         const QDateTime& changedFrom, const ConnectionOpener& open) {
    QElapsedTimer clock;
    clock.start();
    const bool partial = previous && previous->error.isEmpty() && changedFrom.isValid() &&
                         previous->filter == request.filter;
    // Whole UTC days: the days' buckets start there.
    const QDateTime from =
        partial ? QDateTime(changedFrom.toUTC().date(), QTime(0, 0), Qt::UTC) : QDateTime();
    PlantView v;
    QueryFailure f;
    v.summaries = request.summaries;
    v.approvalMismatches = 0;
    // A push's few days read quicker on one connection than new ones are made.
    bool ok = readBuckets(db, request.filter, from, partial ? ConnectionOpener() : open, &v, &f);
    if (ok && partial) {
        v.hours = merged(previous->hours, v.hours, from, &HourYield::hour);
        v.causeDays = merged(previous->causeDays, v.causeDays, from, &CauseDay::day);
        v.socketDays = merged(previous->socketDays, v.socketDays, from, &SocketDay::day);
    }
    // Sorted here, not by the server: its sort would not use the groups' order.
    std::sort(v.hours.begin(), v.hours.end(), [](const auto& a, const auto& b) {
        return std::tie(a.station, a.hour) < std::tie(b.station, b.hour);
    });
    sumBuckets(&v);
    // Since service counts every session of the socket, whatever the filter.
    if (!ok || !readTiles(db, request, v.summaries, v.hours, &v.tiles, &f) ||
        !figures::readSinceService(db, v.summaries, &v.sockets, &f)) {
        PlantView failed;
        failed.error = f.error;
        failed.problem = f.problem;
        return failed;
    }
    v.imageUnits = imageUnitsOf(db, request.filter.image);
    record::judgeWear(&v.sockets, request.socketLife);
    v.filter = request.filter;
    v.readAt = QDateTime::currentDateTimeUtc();
    v.readMs = double(clock.nsecsElapsed()) / 1e6;
    return v;
}

QString percentText(qint64 part, qint64 whole) {
    return whole > 0 ? QStringLiteral("%1 %").arg(100.0 * double(part) / double(whole), 0, 'f', 1)
                     : QStringLiteral("-");
}

}  // namespace quarn::plantfeed
