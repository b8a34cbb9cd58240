#include "bench-plant/bench_records.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "approval/approved_images.h"
#include "bench-plant/bench_recall.h"
#include "bench-plant/server_statements.h"
#include "tests/support/pg_server.h"

namespace bench {

namespace {

constexpr int kPushRecords = 100000;
constexpr int kReportRows = 1000000;
constexpr double kPushTargetPerS = 15000;
constexpr double kReportTargetS = 1.0;
constexpr int kApprovedImages = 200;
constexpr int kCheckRuns = 21;
constexpr double kCheckTargetMs = 50;
constexpr int kReportRuns = 5;

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
        const quarn::approval::ApprovalCheck c = quarn::approval::checkImageApproval(
            pg.url(), sha, folder + QStringLiteral("/approved-images.json"));
        if (!c.allowed() || !c.warning.isEmpty()) return -1;
        runs << clock.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs[kCheckRuns / 2];
}

constexpr double kRowsPushTargetPerS = 15000;
constexpr double kRowsReportTargetS = 0.5;
constexpr double kGrowthTarget = 1.2;

// A layer of the plant's history made on the server (server_statements.h),
// its summaries counted, and the report checked to count every row.
bool fillLayer(const testsupport::PgServer& pg, const RecordsOptions& o, qint64 total, bool first) {
    if (!runOnServer(
            pg, fillStatements(o.shape, total, first, QStringLiteral("F-")) + refillStatements()))
        return false;
    const qint64 rows = pg.sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toLongLong();
    return reportCountsAll(o.recordsPath, pg.url(), rows);
}

// One size's figures: push of 100,000 records (of their own serial numbers),
// report --by station over every row and since 30 days back (the medians).
struct SizeFigures {
    double pushPerS = -1, reportAllS = -1, reportMonthS = -1;
};

// The records of a push: a log of the shape's stations and sockets, of
// the last hours before now, serial numbers of their own.
QByteArray pushRecords(const PlantShape& shape, int n, const QString& serialPrefix) {
    testsupport::SampleShape s;
    s.stations = shape.stations;
    s.sockets = shape.sockets;
    s.start = QDateTime::currentDateTimeUtc().addSecs(-n);
    s.serialPrefix = serialPrefix;
    return testsupport::sampleRecords(n, s);
}

SizeFigures measureSize(const testsupport::PgServer& pg, const RecordsOptions& o,
                        const QString& log, int round) {
    const QString& records = o.recordsPath;
    SizeFigures f;
    const QByteArray lines = pushRecords(o.shape, kPushRecords, QStringLiteral("SN%1-").arg(round));
    QFile file(log);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(lines) != lines.size())
        return f;
    file.close();
    QFile::remove(log + QStringLiteral(".sent"));
    const double pushS = timedRecords(records, {"push", "--db", pg.url(), "--log", log});
    if (pushS < 0) return f;
    f.pushPerS = kPushRecords / pushS;
    const QStringList report{"report", "--db", pg.url(), "--by", "station"};
    f.reportAllS = medianRecords(records, report, kReportRuns);
    f.reportMonthS = medianRecords(
        records,
        report + QStringList{"--since", QDate::currentDate().addDays(-30).toString(Qt::ISODate)},
        kReportRuns);
    return f;
}

bool rowsRow(const char* what, double value, double atMillion, bool perS, double target) {
    const bool met = perS ? value >= target : value < target;
    const double ratio = perS ? atMillion / value : value / atMillion;
    std::printf("  %-42s %10.3f %-9s ratio to 1M %5.2f   target %s %g, ratio < %.1f%s\n", what,
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
    met &= rowsRow("report --by station --since 30 days back", f.reportMonthS,
                   atMillion.reportMonthS, false, kRowsReportTargetS);
    return met;
}

// --rows N: the figures at 1,000,000 rows, then at N in the same table (the
// rows added, the push's rows kept), each beside its ratio to 1,000,000.
int runRowsBench(const RecordsOptions& o, const testsupport::PgServer& pg, const QString& log) {
    QByteArray schema;
    if (timedRecords(o.recordsPath, {"schema"}, &schema) < 0 ||
        pg.sql(QString::fromUtf8(schema)).contains(QLatin1String("ERROR")))
        return std::fprintf(stderr, "quarn-bench: the schema failed\n"), 1;
    const qint64 rows = qMax(o.rows, kBaseRows);
    SizeFigures atMillion;
    bool met = true;
    for (int round = 0; round < (rows > kBaseRows ? 2 : 1); ++round) {
        if (!fillLayer(pg, o, rows, round == 0)) return 1;
        const SizeFigures f = measureSize(pg, o, log, round);
        if (f.pushPerS < 0 || f.reportAllS < 0 || f.reportMonthS < 0) return 1;
        if (round == 0) atMillion = f;
        met &= printSize(round == 0 ? kBaseRows : rows, f, atMillion);
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
    const QByteArray lines = pushRecords(o.shape, kPushRecords, QStringLiteral("SN-"));
    if (!f.open(QIODevice::WriteOnly) || f.write(lines) != lines.size()) return 1;
    f.close();

    const double pushS = timedRecords(o.recordsPath, {"push", "--db", pg.url(), "--log", log});
    if (pushS < 0) return 1;
    bool met = row("push of 100,000 records", kPushRecords / pushS, "records/s",
                   kPushRecords / pushS >= kPushTargetPerS, QStringLiteral(">= 15000"));

    const double checkMs = approvalCheckMs(pg, dir.path());
    if (checkMs < 0) return std::fprintf(stderr, "quarn-bench: the approval check failed\n"), 1;
    met &= row("approval check, 200 images listed (median)", checkMs, "ms",
               checkMs < kCheckTargetMs, QStringLiteral("< 50 ms"));

    // The rest of the million rows, made on the server: the push is measured
    // already, and sending 900,000 more would only take time.
    if (!fillLayer(pg, o, kReportRows - kPushRecords, true)) return 1;
    const int total = pg.sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toInt();
    QList<double> runs;
    for (int i = 0; i < kReportRuns; ++i)
        runs << timedRecords(o.recordsPath, {"report", "--db", pg.url(), "--by", "station"});
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
