// The plant's figures kept by hour and by UTC day, read whole or from a day
// on, and summed into the charts' figures. Each query sums rows of the same
// columns from the summary tables' whole hours and from the period's part
// hours in quarn_sessions (figures/summary_split.h), so its cost follows the
// hours and keys shown, not the sessions recorded.
#include "plantfeed/plant_buckets.h"

#include <QMap>
#include <algorithm>
#include <functional>
#include <future>
#include <system_error>

#include "database/schema.h"
#include "figures/rules_sql.h"
#include "figures/summary_split.h"
#include "pg/connection.h"
#include "pg/query_run.h"
#include "record/first_pass.h"

namespace quarn::plantfeed {

namespace {

// The filter's rows started from `from` on (invalid: all of them).
recordlog::RecordFilter fromOn(recordlog::RecordFilter filter, const QDateTime& from) {
    if (from.isValid() && (!filter.since.isValid() || filter.since < from)) filter.since = from;
    return filter;
}

// A summary's hour as its UTC day; none for rows without a start time.
const char kSummaryDay[] = "CASE WHEN hour > '-infinity' THEN date_trunc('day', hour, 'UTC') END";

}  // namespace

bool readHours(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
               bool summaries, QList<HourYield>* out, QueryFailure* f) {
    const QString unit = figures::unitSql(), good = QStringLiteral("outcome = 'good'");
    const figures::SummaryRead read{
        QStringLiteral("quarn_summary_hours"),
        QStringLiteral("station, hour, sessions, CASE WHEN %1 THEN sessions ELSE 0 END AS good,"
                       " units, first_pass_good AS fpg, mismatches")
            .arg(good),
        QStringLiteral("hour > '-infinity'"),
        QStringLiteral("coalesce(station, '') AS station, date_trunc('hour', started, 'UTC') AS "
                       "hour, 1 AS sessions, %1 AS good, %2 AS units, %3 AS fpg, %4 AS mismatches")
            .arg(figures::oneIf(good), figures::oneIf(unit),
                 figures::oneIf(unit + QStringLiteral(" AND ") + good),
                 figures::oneIf(figures::mismatchSql())),
        QStringLiteral("started IS NOT NULL"),
        QString()};  // by hour alone: the chart's points are hours
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT station, %2, sum(sessions)::bigint, sum(good)::bigint,"
            " sum(units)::bigint, sum(fpg)::bigint, sum(mismatches)::bigint"
            " FROM %1 GROUP BY station, hour")
            .arg(figures::summarySource(fromOn(filter, from), summaries, read, &binds),
                 pg::epochMsSql(QStringLiteral("hour")));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << HourYield{q.value(0).toString(),   pg::utcFromEpochMs(q.value(1)),
                              q.value(2).toLongLong(), q.value(3).toLongLong(),
                              q.value(4).toLongLong(), q.value(5).toLongLong(),
                              q.value(6).toLongLong()};
        },
        f);
}

bool readCauseDays(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                   bool summaries, QList<CauseDay>* out, QueryFailure* f) {
    // A session without an outcome is no cause: '' in the summaries.
    const figures::SummaryRead read{
        QStringLiteral("quarn_summary_causes"),
        QStringLiteral("%1 AS day, outcome, stage, failures").arg(QLatin1String(kSummaryDay)),
        QStringLiteral("outcome <> 'good' AND outcome <> ''"),
        QStringLiteral("date_trunc('day', started, 'UTC') AS day, coalesce(outcome, '') AS"
                       " outcome, coalesce(substring(message from 'block [0-9]+ of [0-9]+'),"
                       " coalesce(outcome, '')) AS stage, 1 AS failures"),
        QStringLiteral("outcome <> 'good'"),
        QStringLiteral("quarn_summary_causes_days")};
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT %2, outcome, stage, sum(failures)::bigint FROM %1 GROUP BY day, outcome, stage")
            .arg(figures::summarySource(fromOn(filter, from), summaries, read, &binds),
                 pg::epochMsSql(QStringLiteral("day")));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << CauseDay{
                pg::utcFromEpochMs(q.value(0)),
                {q.value(1).toString(), q.value(2).toString(), q.value(3).toLongLong()}};
        },
        f);
}

bool readSocketDays(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                    bool summaries, QList<SocketDay>* out, QueryFailure* f) {
    const figures::SummaryRead read{
        QStringLiteral("quarn_summary_sockets"),
        QStringLiteral("%1 AS day, station, slot, passes, failures, repeats")
            .arg(QLatin1String(kSummaryDay)),
        QStringLiteral("passes > 0"),
        QStringLiteral("date_trunc('day', started, 'UTC') AS day, coalesce(station, '') AS"
                       " station, coalesce(slot, '') AS slot, 1 AS passes, %1 AS failures,"
                       " coalesce(repeats, 0) AS repeats")
            .arg(figures::oneIf(QStringLiteral("outcome IS DISTINCT FROM 'good'"))),
        figures::attemptSql(),
        QStringLiteral("quarn_summary_sockets_days")};
    QVariantList binds;
    const QString sql =
        QStringLiteral(
            "SELECT %2, station, slot, sum(passes)::bigint,"
            " sum(failures)::bigint, sum(repeats)::bigint FROM %1 GROUP BY day, station, slot")
            .arg(figures::summarySource(fromOn(filter, from), summaries, read, &binds),
                 pg::epochMsSql(QStringLiteral("day")));
    return runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << SocketDay{
                pg::utcFromEpochMs(q.value(0)),
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

bool readBuckets(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QDateTime& from,
                 const ConnectionOpener& open, PlantView* v, QueryFailure* f) {
    const bool summaries = v->summaries;
    const Read causes = [&](QSqlDatabase& d, QueryFailure* x) {
        return readCauseDays(d, filter, from, summaries, &v->causeDays, x);
    };
    const Read sockets = [&](QSqlDatabase& d, QueryFailure* x) {
        return readSocketDays(d, filter, from, summaries, &v->socketDays, x);
    };
    if (!open)
        return readHours(db, filter, from, summaries, &v->hours, f) && causes(db, f) &&
               sockets(db, f);
    // Each future is waited for before this returns: the reads' references stay good.
    std::future<ApartRead> c = startApart(open, causes), s = startApart(open, sockets);
    const bool hours = readHours(db, filter, from, summaries, &v->hours, f);
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
    QMap<std::pair<QString, QString>, record::SocketCount> sockets;
    for (const SocketDay& d : std::as_const(v->socketDays)) {
        record::SocketCount& c = sockets[{d.count.station, d.count.slot}];
        c.station = d.count.station, c.slot = d.count.slot;
        c.sessions += d.count.sessions, c.failed += d.count.failed, c.repeats += d.count.repeats;
    }
    v->sockets = record::judgeSockets(sockets.values());
    if (v->approvalMismatches < 0) return;
    v->approvalMismatches = 0;
    for (const HourYield& h : std::as_const(v->hours)) v->approvalMismatches += h.mismatches;
}

}  // namespace quarn::plantfeed
