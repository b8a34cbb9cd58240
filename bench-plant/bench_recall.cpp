#include "bench-plant/bench_recall.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "bench-plant/server_statements.h"
#include "figures/history_sql.h"
#include "pg/connection.h"
#include "pg/database_url.h"

namespace bench {

namespace {

constexpr qint64 kRecallRows = 10000000;
constexpr int kRecallRuns = 21;
constexpr double kRecallTargetMs = 100;
constexpr qint64 kFillChunk = 1000000;

// Rows made on the server in chunks, the triggers off meanwhile (the bench
// times reads; first_pass is set as the trigger would for these rows): a
// serial number every 2.5 sessions on 8 stations, one image per 200,000
// rows, and every 5,000th row a pilot image (2,000 rows of 10,000,000: a
// recall the size a plant meets).
QString recallFill(qint64 from, qint64 to) {
    return bench::fillStatement(
        {QStringLiteral("generate_series(%1, %2) i, LATERAL (SELECT i AS n) p").arg(from).arg(to),
         QStringLiteral("timestamptz '2026-01-01' + i * interval '2 second'"),
         QStringLiteral("'R-' || (i % 4000000)"), QStringLiteral("'slot-' || (i % 16)"),
         QStringLiteral("CASE WHEN i % 5000 = 0 THEN repeat('c', 64)"
                        " ELSE encode(sha256((i / 200000)::text::bytea), 'hex') END"),
         QStringLiteral("i < 4000000"), 8});
}

// On a connection of its own, without a time limit: a chunk takes longer
// than psql's minute on a busy machine.
bool fill(const testsupport::PgServer& pg) {
    quarn::pg::Connection c;
    QString why;
    if (!c.open(quarn::pg::parseDatabaseUrl(pg.url()), &why))
        return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(why)), false;
    QSqlQuery q(c.db());
    const auto run = [&](const QString& sql) {
        if (q.exec(sql)) return true;
        return std::fprintf(stderr, "quarn-bench: %s\n",
                            qPrintable(quarn::pg::describe(q.lastError()))),
               false;
    };
    if (!run(QStringLiteral("SELECT count(*) FROM quarn_sessions")) || !q.next()) return false;
    const qint64 have = q.value(0).toLongLong();
    if (!run(QStringLiteral("ALTER TABLE quarn_sessions DISABLE TRIGGER USER"))) return false;
    for (qint64 from = have; from < kRecallRows; from += kFillChunk)
        if (!run(recallFill(from, std::min(from + kFillChunk, kRecallRows) - 1))) return false;
    return run(QStringLiteral("ALTER TABLE quarn_sessions ENABLE TRIGGER USER")) &&
           run(QStringLiteral("ANALYZE quarn_sessions"));
}

// The median of the runs in ms; -1 when a run gave no rows.
double medianMs(const std::function<bool()>& run) {
    QList<double> runs;
    for (int i = 0; i < kRecallRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!run()) return -1;
        runs << clock.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs[kRecallRuns / 2];
}

bool printed(const char* what, double ms) {
    std::printf("  %-44s %10.3f %-10s target < 100 ms%s\n", what, ms, "ms",
                ms < kRecallTargetMs ? "" : "  MISSED");
    return ms >= 0 && ms < kRecallTargetMs;
}

}  // namespace

bool runRecallBench(const testsupport::PgServer& pg) {
    if (!fill(pg)) return std::fprintf(stderr, "quarn-bench: the recall rows failed\n"), false;
    qsizetype sessions = 0, units = 0;
    const double traceMs = medianMs([&] {
        sessions =
            quarn::figures::traceFromDatabase(pg.url(), QStringLiteral("R-1234567")).trace.size();
        return sessions > 0;
    });
    const double unitsMs = medianMs([&] {
        units = quarn::figures::unitsFromDatabase(pg.url(), QString(12, QLatin1Char('c')), {})
                    .units.size();
        return units > 0;
    });
    bool met = printed("trace SERIAL over 10,000,000 rows (median)", traceMs);
    met &= printed("units --image over 10,000,000 rows (median)", unitsMs);
    std::printf("  (trace: %lld sessions; units: %lld units; the connection included)\n",
                qlonglong(sessions), qlonglong(units));
    return met;
}

}  // namespace bench
