#include "bench/bench_records.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "approval/approved_images.h"
#include "bench/bench_recall.h"
#include "bench/server_statements.h"
#include "database/migrations.h"
#include "tests/support/pg_server.h"

namespace bench {

namespace {

constexpr int kPushRecords = 100000;
constexpr int kReportRows = 1000000;
constexpr int kStations = 8;
constexpr double kPushTargetPerS = 5000;
constexpr double kReportTargetS = 1.0;
constexpr int kApprovedImages = 200;
constexpr int kCheckRuns = 21;
constexpr double kCheckTargetMs = 50;
constexpr int kReportRuns = 5;

// Runs quarn-records; the wall time in seconds, or -1 when it failed.
double timed(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "quarn-bench: quarn-records %s failed: %s\n",
                     qPrintable(args.join(' ')), p.readAllStandardError().constData());
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e9;
}

bool row(const char* what, double value, const char* unit, bool met, const QString& target) {
    std::printf("  %-44s %10.3f %-10s target %s%s\n", what, value, unit, qPrintable(target),
                met ? "" : "  MISSED");
    return met;
}

// The check a download makes before any port opens, in this process as the
// front ends call it: connect, read the approved list of 200 images, keep
// its copy. The median of the runs in ms, or -1 when an image was refused.
double approvalCheckMs(const testsupport::PgServer& pg, const QString& folder) {
    pg.sql(QStringLiteral("INSERT INTO quarn_images (sha256, length, file, title)"
                          " SELECT encode(sha256(i::text::bytea), 'hex'), 2000, 'fw-' || i || "
                          "'.bin', 'QX-200' FROM generate_series(1, %1) i")
               .arg(kApprovedImages));
    const QString sha = pg.sql(QStringLiteral("SELECT encode(sha256('7'::bytea), 'hex')"));
    QList<double> runs;
    for (int i = 0; i < kCheckRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        const quarn::records::ApprovalCheck c = quarn::records::checkImageApproval(
            pg.url(), sha, folder + QStringLiteral("/approved-images.json"));
        if (!c.allowed() || !c.warning.isEmpty()) return -1;
        runs << clock.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs[kCheckRuns / 2];
}

// The table filled on the server, 30 days of rows from 2026-11-01
// 06:00 (UTC) up to the pushed records' start, with generate_series,
// triggers off (session_replication_role: the fill is no push, and the
// server's stamps and first_pass are written as a push leaves them); in
// steps of a quarter million rows, each a statement of its own.
constexpr qint64 kFillStep = 250000;
constexpr double kRowsPushTargetPerS = 15000;
constexpr double kRowsReportTargetS = 0.5;
constexpr double kGrowthTarget = 1.2;

// Rows from..to-1 (of a fill adding count rows in all), spread over the 30 days.
bool fillRows(const testsupport::PgServer& pg, qint64 from, qint64 to, qint64 count) {
    for (qint64 at = from; at < to; at += kFillStep) {
        const bench::FillRows rows{
            QStringLiteral("generate_series(%1, %2) i, LATERAL (SELECT i AS n) p")
                .arg(at)
                .arg(qMin(to, at + kFillStep) - 1),
            QStringLiteral(
                "timestamptz '2026-11-01 06:00Z' + (i - %1) * (interval '30 days' / (%2))")
                .arg(from)
                .arg(count),
            QStringLiteral("'F-' || i"),
            QStringLiteral("'/dev/serial/by-id/usb-x'"),
            QStringLiteral("repeat('a', 64)"),
            QStringLiteral("true"),
            kStations};
        const QString out = pg.sql(QStringLiteral("SET session_replication_role = replica; ") +
                                   bench::fillStatement(rows));
        if (out.contains(QLatin1String("ERROR")))
            return std::fprintf(stderr, "quarn-bench: fill: %s\n", qPrintable(out)), false;
    }
    // The summaries counted again from every row (the fill ran no trigger).
    // The fill's pages written out before the push is timed: a plant's push
    // never follows millions of rows made a moment before, and the server
    // writing them meanwhile would be the fill's cost, not the push's.
    return runOnServer(pg, {quarn::database::refillStatement(), QStringLiteral("VACUUM ANALYZE"),
                            QStringLiteral("CHECKPOINT")});
}

// One size's figures: push of 100,000 records (of their own serial numbers),
// report --by station over every row and over the month (the medians).
struct SizeFigures {
    double pushPerS = -1, reportAllS = -1, reportMonthS = -1;
};

double medianReport(const QString& records, const QStringList& args) {
    QList<double> runs;
    for (int i = 0; i < kReportRuns; ++i) runs << timed(records, args);
    std::sort(runs.begin(), runs.end());
    return runs.first() < 0 ? -1 : runs[kReportRuns / 2];
}

SizeFigures measureSize(const testsupport::PgServer& pg, const QString& records, const QString& log,
                        int round) {
    SizeFigures f;
    QByteArray lines = testsupport::sampleRecords(kPushRecords, kStations);
    lines.replace("\"SN-", QByteArray("\"SN") + QByteArray::number(round) + '-');
    QFile file(log);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(lines) != lines.size())
        return f;
    file.close();
    QFile::remove(log + QStringLiteral(".sent"));
    const double pushS = timed(records, {"push", "--db", pg.url(), "--log", log});
    if (pushS < 0) return f;
    f.pushPerS = kPushRecords / pushS;
    const QStringList report{"report", "--db", pg.url(), "--by", "station"};
    f.reportAllS = medianReport(records, report);
    f.reportMonthS = medianReport(records, report + QStringList{"--since", "2026-11-01"});
    return f;
}

bool rowsRow(const char* what, double value, double atMillion, bool perS, double target) {
    const bool met = perS ? value >= target : value < target;
    const double ratio = perS ? atMillion / value : value / atMillion;
    std::printf("  %-36s %10.3f %-9s ratio to 1M %5.2f   target %s %g, ratio < %.1f%s\n", what,
                value, perS ? "records/s" : "s", ratio, perS ? ">=" : "<", target, kGrowthTarget,
                met && ratio < kGrowthTarget ? "" : "  MISSED");
    return met && ratio < kGrowthTarget;
}

bool printSize(qint64 rows, const SizeFigures& f, const SizeFigures& atMillion) {
    std::printf(" %lld rows filled in 30 days:\n", static_cast<long long>(rows));
    bool met = rowsRow("push of 100,000 records", f.pushPerS, atMillion.pushPerS, true,
                       kRowsPushTargetPerS);
    met &= rowsRow("report --by station, every row", f.reportAllS, atMillion.reportAllS, false,
                   kRowsReportTargetS);
    met &= rowsRow("report --by station --since the month", f.reportMonthS, atMillion.reportMonthS,
                   false, kRowsReportTargetS);
    return met;
}

// --rows N: the figures at 1,000,000 rows, then at N in the same table (the
// rows added, the push's rows kept), each beside its ratio to 1,000,000.
int runRowsBench(const RecordsOptions& o, const testsupport::PgServer& pg, const QString& log) {
    QByteArray schema;
    if (timed(o.recordsPath, {"schema"}, &schema) < 0 ||
        pg.sql(QString::fromUtf8(schema)).contains(QLatin1String("ERROR")) ||
        pg.sql(QStringLiteral("SELECT quarn_sessions_months('{2026-11-01Z,2026-12-01Z}')"))
            .contains(QLatin1String("ERROR")))
        return std::fprintf(stderr, "quarn-bench: the schema failed\n"), 1;
    const qint64 sizes[] = {1000000, qMax<qint64>(o.rows, 1000000)};
    SizeFigures atMillion;
    bool met = true;
    qint64 filled = 0;
    for (int round = 0; round < (sizes[1] > sizes[0] ? 2 : 1); ++round) {
        if (!fillRows(pg, filled, sizes[round], sizes[round] - filled)) return 1;
        filled = sizes[round];
        const SizeFigures f = measureSize(pg, o.recordsPath, log, round);
        if (f.pushPerS < 0 || f.reportAllS < 0 || f.reportMonthS < 0) return 1;
        if (round == 0) atMillion = f;
        met &= printSize(filled, f, atMillion);
    }
    return met || !o.checkTargets ? 0 : 1;
}

}  // namespace

int runRecordsBench(const RecordsOptions& o) {
    std::printf("quarn-bench --records: a PostgreSQL server of its own (fsync on), Unix socket\n");
    testsupport::PgServer pg(true);
    QTemporaryDir dir;
    if (!pg.ok() || !dir.isValid())
        return std::fprintf(stderr, "quarn-bench: no server: %s\n", qPrintable(pg.error())), 1;
    const QString log = dir.filePath(QStringLiteral("sessions.jsonl"));
    if (o.rows > 0) return runRowsBench(o, pg, log);
    QFile f(log);
    const QByteArray lines = testsupport::sampleRecords(kPushRecords, kStations);
    if (!f.open(QIODevice::WriteOnly) || f.write(lines) != lines.size()) return 1;
    f.close();

    const double pushS = timed(o.recordsPath, {"push", "--db", pg.url(), "--log", log});
    if (pushS < 0) return 1;
    bool met = row("push of 100,000 records", kPushRecords / pushS, "records/s",
                   kPushRecords / pushS >= kPushTargetPerS, QStringLiteral(">= 5000"));

    const double checkMs = approvalCheckMs(pg, dir.path());
    if (checkMs < 0) return std::fprintf(stderr, "quarn-bench: the approval check failed\n"), 1;
    met &= row("approval check, 200 images listed (median)", checkMs, "ms",
               checkMs < kCheckTargetMs, QStringLiteral("< 50 ms"));

    // The rest of the million rows, made on the server: the push is measured
    // already, and sending 900,000 more would only take time.
    pg.sql(QStringLiteral("SELECT quarn_sessions_months('{2026-11-01Z}')"));
    if (!fillRows(pg, 0, kReportRows - kPushRecords, kReportRows - kPushRecords)) return 1;
    const int total = pg.sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toInt();
    QList<double> runs;
    for (int i = 0; i < kReportRuns; ++i)
        runs << timed(o.recordsPath, {"report", "--db", pg.url(), "--by", "station"});
    std::sort(runs.begin(), runs.end());
    if (runs.first() < 0 || total != kReportRows)
        return std::fprintf(stderr, "quarn-bench: %d rows, not %d\n", total, kReportRows), 1;
    met &= row("report --by station over 1,000,000 rows (median)", runs[kReportRuns / 2], "s",
               runs[kReportRuns / 2] < kReportTargetS, QStringLiteral("< 1 s"));
    std::printf(
        "  (report runs: min %.3f s, max %.3f s; the program's start and connection included)\n",
        runs.first(), runs.last());
    met &= runRecallBench(pg);
    return met || !o.checkTargets ? 0 : 1;
}

}  // namespace bench
