// The plant's charts' figures from the summaries: each query sums rows of
// the same columns from the summary table's whole hours and from the
// period's part hours in quarn_sessions (plant/summary_source.h), so its
// cost follows the hours and keys shown, not the sessions recorded.
#include "plant/plant_buckets.h"

#include <algorithm>
#include <functional>
#include <future>
#include <system_error>
#include <tuple>

#include "database/connection.h"
#include "database/query_run.h"
#include "database/schema.h"
#include "plant/summary_source.h"
#include "record/first_pass.h"

namespace quarn::plant {

using namespace records;

bool readHours(QSqlDatabase& db, const RecordFilter& filter, bool summaries, bool verdict,
               QList<HourYield>* out, QueryFailure* f) {
    const QString unit = unitSql(), good = QStringLiteral("outcome = 'good'");
    const SummaryRead read{
        QStringLiteral("quarn_summary_hours"),
        QStringLiteral("station, hour, sessions, CASE WHEN %1 THEN sessions ELSE 0 END AS good,"
                       " units, first_pass_good AS fpg, mismatches")
            .arg(good),
        QStringLiteral("hour > '-infinity'"),
        QStringLiteral("coalesce(station, '') AS station, date_trunc('hour', started, 'UTC') AS "
                       "hour, 1 AS sessions, %1 AS good, %2 AS units, %3 AS fpg, %4 AS mismatches")
            .arg(oneIf(good), oneIf(unit), oneIf(unit + QStringLiteral(" AND ") + good),
                 verdict ? oneIf(mismatchSql()) : QStringLiteral("0")),
        QStringLiteral("started IS NOT NULL")};
    QVariantList binds;
    const QString sql = QStringLiteral(
                            "SELECT station, hour, sum(sessions)::bigint, sum(good)::bigint,"
                            " sum(units)::bigint, sum(fpg)::bigint, sum(mismatches)::bigint"
                            " FROM %1 GROUP BY 1, 2")
                            .arg(summarySource(filter, summaries, read, &binds));
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

bool readCauses(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                QList<FailureCause>* out, QueryFailure* f) {
    // A session without an outcome is no cause: '' in the summaries.
    const SummaryRead read{
        QStringLiteral("quarn_summary_causes"), QStringLiteral("outcome, stage, failures"),
        QStringLiteral("outcome <> 'good' AND outcome <> ''"),
        QStringLiteral(
            "coalesce(outcome, '') AS outcome, coalesce(substring(message from"
            " 'block [0-9]+ of [0-9]+'), coalesce(outcome, '')) AS stage, 1 AS failures"),
        QStringLiteral("outcome <> 'good'")};
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT outcome, stage, sum(failures)::bigint FROM %1 GROUP BY 1, 2")
            .arg(summarySource(filter, summaries, read, &binds));
    const bool ok = runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << FailureCause{q.value(0).toString(), q.value(1).toString(),
                                 q.value(2).toLongLong()};
        },
        f);
    // Most frequent first; equal ones by outcome, then stage.
    std::sort(out->begin(), out->end(), [](const auto& a, const auto& b) {
        return std::tie(b.count, a.outcome, a.stage) < std::tie(a.count, b.outcome, b.stage);
    });
    return ok;
}

bool readSockets(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                 QList<SocketCount>* out, QueryFailure* f) {
    const SummaryRead read{
        QStringLiteral("quarn_summary_sockets"), QStringLiteral("station, slot, passes, failures"),
        QStringLiteral("passes > 0"),
        QStringLiteral("coalesce(station, '') AS station, coalesce(slot, '') AS slot, 1 AS passes,"
                       " %1 AS failures")
            .arg(oneIf(QStringLiteral("outcome IS DISTINCT FROM 'good'"))),
        passSql()};
    QVariantList binds;
    const QString sql = QStringLiteral(
                            "SELECT station, slot, sum(passes)::bigint, sum(failures)::bigint"
                            " FROM %1 GROUP BY 1, 2")
                            .arg(summarySource(filter, summaries, read, &binds));
    const bool ok = runQuery(
        db, sql, binds,
        [&](const QSqlQuery& q) {
            *out << SocketCount{q.value(0).toString(), q.value(1).toString(),
                                q.value(2).toLongLong(), q.value(3).toLongLong()};
        },
        f);
    std::sort(out->begin(), out->end(), [](const auto& a, const auto& b) {
        return std::tie(a.station, a.slot) < std::tie(b.station, b.slot);
    });
    return ok;
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

bool readBuckets(QSqlDatabase& db, const RecordFilter& filter, bool summaries,
                 const ConnectionOpener& open, PlantView* v, QueryFailure* f) {
    const bool verdict = v->approvalMismatches >= 0;
    QList<SocketCount> counts;
    const Read causes = [&](QSqlDatabase& d, QueryFailure* x) {
        return readCauses(d, filter, summaries, &v->causes, x);
    };
    const Read sockets = [&](QSqlDatabase& d, QueryFailure* x) {
        return readSockets(d, filter, summaries, &counts, x);
    };
    bool ok = false;
    if (!open) {
        ok = readHours(db, filter, summaries, verdict, &v->hours, f) && causes(db, f) &&
             sockets(db, f);
    } else {
        // Each future is waited for before this returns: the reads' references stay good.
        std::future<ApartRead> c = startApart(open, causes), s = startApart(open, sockets);
        const bool hours = readHours(db, filter, summaries, verdict, &v->hours, f);
        QueryFailure fc, fs;
        const bool causesOk = finished(c, causes, db, &fc);
        const bool socketsOk = finished(s, sockets, db, &fs);
        if (hours && !causesOk) *f = fc;
        if (hours && causesOk && !socketsOk) *f = fs;
        ok = hours && causesOk && socketsOk;
    }
    v->sockets = judgeSockets(counts);
    return ok;
}

}  // namespace quarn::plant
