// The plant's figures kept by hour and by day, read whole or from a day on,
// and summed into the charts' figures. The buckets are date_bin's: it costs
// a third less per row than date_trunc over a time zone, and its UTC
// origin makes the same buckets whatever the session's time zone.
#include "plant/plant_buckets.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <functional>
#include <future>
#include <system_error>

#include "database/connection.h"
#include "record/first_pass.h"
#include "database/query_run.h"
#include "database/schema.h"

namespace quarn::plant {

using namespace records;

namespace {

// The rows the read covers: every row of the filter, or those started from `from` on.
QString whereFrom(const RecordFilter& filter, const QDateTime& from, const QString& condition,
                  QVariantList* binds) {
    if (!from.isValid()) return whereAnd(filter, condition, binds);
    const QString where =
        whereAnd(filter, condition + QStringLiteral(" AND started >= ?::timestamptz"), binds);
    *binds << sqlTime(from);
    return where;
}

}  // namespace

bool readHours(QSqlDatabase& db, const RecordFilter& filter, const QDateTime& from, bool verdict,
               QList<HourYield>* out, QueryFailure* f) {
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT coalesce(station, ''), date_bin('1 hour', started, timestamptz '2000-01-01 "
            "00:00+00'),"
            " count(*), count(*) FILTER (WHERE outcome = 'good'), count(*) FILTER (WHERE %1),"
            " count(*) FILTER (WHERE %1 AND outcome = 'good'), %3"
            " FROM quarn_sessions%2 GROUP BY 1, 2")
            .arg(unitSql(), whereFrom(filter, from, QStringLiteral("started IS NOT NULL"), &binds),
                 verdict ? QStringLiteral("count(*) FILTER (WHERE %1)").arg(mismatchSql())
                         : QStringLiteral("0"));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << HourYield{q.value(0).toString(),   utcTime(q.value(1)),
                              q.value(2).toLongLong(), q.value(3).toLongLong(),
                              q.value(4).toLongLong(), q.value(5).toLongLong(),
                              q.value(6).toLongLong()};
        },
        f);
}

bool readCauseDays(QSqlDatabase& db, const RecordFilter& filter, const QDateTime& from,
                   QList<CauseDay>* out, QueryFailure* f) {
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT date_bin('1 day', started, timestamptz '2000-01-01 00:00+00'), "
            "coalesce(outcome, ''),"
            " coalesce(substring(message from 'block [0-9]+ of [0-9]+'), coalesce(outcome, '')),"
            " count(*) FROM quarn_sessions%1 GROUP BY 1, 2, 3")
            .arg(whereFrom(filter, from, QStringLiteral("outcome <> 'good'"), &binds));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << CauseDay{
                utcTime(q.value(0)),
                {q.value(1).toString(), q.value(2).toString(), q.value(3).toLongLong()}};
        },
        f);
}

bool readSocketDays(QSqlDatabase& db, const RecordFilter& filter, const QDateTime& from,
                    QList<SocketDay>* out, QueryFailure* f) {
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT date_bin('1 day', started, timestamptz '2000-01-01 00:00+00'), "
            "coalesce(station, ''),"
            " coalesce(slot, ''), count(*), count(*) FILTER (WHERE outcome IS DISTINCT FROM 'good')"
            ", coalesce(sum(repeats), 0) FROM quarn_sessions%1 GROUP BY 1, 2, 3")
            .arg(whereFrom(filter, from, passSql(), &binds));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << SocketDay{
                utcTime(q.value(0)),
                {q.value(1).toString(), q.value(2).toString(), q.value(3).toLongLong(),
                 q.value(4).toLongLong(), q.value(5).toLongLong()}};
        },
        f);
}

namespace {

using Read = std::function<bool(QSqlDatabase&, QueryFailure*)>;

// What a read on a connection of its own came to: not run when the server
// would not give the connection (the read is then made on the view's).
struct ApartRead {
    bool opened = false, ok = false;
    QueryFailure failure;
};

ApartRead readApart(const ConnectionOpener& open, const Read& read) {
    ApartRead r;
    Connection c;
    QString why;
    r.opened = open(&c, &why);
    if (r.opened) r.ok = read(c.db(), &r.failure);
    return r;
}

// No future (an invalid one) when the system gives no thread.
std::future<ApartRead> startApart(const ConnectionOpener& open, Read read) {
    try {
        return std::async(std::launch::async, [open, read] { return readApart(open, read); });
    } catch (const std::system_error&) {
        return std::future<ApartRead>();
    }
}

// The read's outcome, made on db when it could not be made apart.
bool finished(std::future<ApartRead>& apart, const Read& read, QSqlDatabase& db, QueryFailure* f) {
    const ApartRead r = apart.valid() ? apart.get() : ApartRead();
    if (!r.opened) return read(db, f);
    if (!r.ok) *f = r.failure;
    return r.ok;
}

}  // namespace

bool readBuckets(QSqlDatabase& db, const RecordFilter& filter, const QDateTime& from,
                 const ConnectionOpener& open, PlantView* v, QueryFailure* f) {
    const bool verdict = v->approvalMismatches >= 0;
    const Read causes = [&](QSqlDatabase& d, QueryFailure* x) {
        return readCauseDays(d, filter, from, &v->causeDays, x);
    };
    const Read sockets = [&](QSqlDatabase& d, QueryFailure* x) {
        return readSocketDays(d, filter, from, &v->socketDays, x);
    };
    if (!open)
        return readHours(db, filter, from, verdict, &v->hours, f) && causes(db, f) &&
               sockets(db, f);
    // Each future is waited for before this returns: the reads' references stay good.
    std::future<ApartRead> c = startApart(open, causes), s = startApart(open, sockets);
    const bool hours = readHours(db, filter, from, verdict, &v->hours, f);
    QueryFailure fc, fs;
    const bool causesOk = finished(c, causes, db, &fc);
    const bool socketsOk = finished(s, sockets, db, &fs);
    if (hours && !causesOk) *f = fc;
    if (hours && causesOk && !socketsOk) *f = fs;
    return hours && causesOk && socketsOk;
}

void sumBuckets(PlantView* v) {
    QMap<std::pair<QString, QString>, qint64> causes;
    for (const CauseDay& d : std::as_const(v->causeDays))
        causes[{d.cause.outcome, d.cause.stage}] += d.cause.count;
    v->causes.clear();
    for (auto it = causes.begin(); it != causes.end(); ++it)
        v->causes << FailureCause{it.key().first, it.key().second, it.value()};
    std::stable_sort(v->causes.begin(), v->causes.end(),
                     [](const auto& a, const auto& b) { return a.count > b.count; });
    QMap<std::pair<QString, QString>, SocketCount> sockets;
    for (const SocketDay& d : std::as_const(v->socketDays)) {
        SocketCount& c = sockets[{d.count.station, d.count.slot}];
        c.station = d.count.station, c.slot = d.count.slot;
        c.sessions += d.count.sessions, c.failed += d.count.failed, c.repeats += d.count.repeats;
    }
    v->sockets = judgeSockets(sockets.values());
    if (v->approvalMismatches < 0) return;
    v->approvalMismatches = 0;
    for (const HourYield& h : std::as_const(v->hours)) v->approvalMismatches += h.mismatches;
}

}  // namespace quarn::plant
